// Registration, creation by ProgID, the variants, status and error texts.
#include "SimTestSupport.h"

#include "ClassesRootText.h"

namespace {

const wchar_t* const kProgIds[] = {PLOVER_SIM_PROGID, PLOVER_SIM_FLAT_PROGID,
                                   PLOVER_SIM_NOBROWSE_PROGID, PLOVER_SIM_LARGE_PROGID};

}  // namespace

TEST(SimRegistration, EveryProgIdIsRegisteredAsAnOpcServer) {
  const CLSID* clsids[] = {&CLSID_PloverSimServer, &CLSID_PloverSimServerFlat,
                           &CLSID_PloverSimServerNoBrowse, &CLSID_PloverSimServerLarge};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(testing::Message() << "ProgID " << i);
    wchar_t clsidText[40] = {};
    StringFromGUID2(*clsids[i], clsidText, 40);
    std::wstring progId = kProgIds[i];
    EXPECT_EQ(clsidText, ClassesRootText(progId + L"\\CLSID"));
    // Discovery reads the OPC key's default value the old way.
    wchar_t opc[256] = {};
    LONG size = sizeof(opc);
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueW(HKEY_CLASSES_ROOT, (progId + L"\\OPC").c_str(), opc, &size));
    std::wstring cls = std::wstring(L"CLSID\\") + clsidText;
    EXPECT_EQ(progId, ClassesRootText(cls + L"\\ProgID"));
    EXPECT_EQ(L"Apartment", ClassesRootText(cls + L"\\InprocServer32", L"ThreadingModel"));
    std::wstring path = ClassesRootText(cls + L"\\InprocServer32");
    EXPECT_NE(std::wstring::npos, path.find(L"PloverSim.dll"))
        << "path: " << testing::PrintToString(path);
    // The DA 1.0, 2.0 and 3.0 categories.
    for (const wchar_t* catid :
         {L"{63D5F430-CFE4-11D1-B2C8-0060083BA1FB}", L"{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}",
          L"{CC603642-66D7-48F1-B69A-B625E73652D7}"}) {
      HKEY cat = nullptr;
      EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT,
                                             (cls + L"\\Implemented Categories\\" + catid).c_str(),
                                             0, KEY_READ, &cat))
          << testing::PrintToString(std::wstring(catid));
      if (cat) RegCloseKey(cat);
    }
  }
}

TEST(SimRegistration, VariantsDifferInBrowsingAndOrganization) {
  OPCNAMESPACETYPE expected[] = {OPC_NS_HIERARCHIAL, OPC_NS_FLAT, OPC_NS_HIERARCHIAL,
                                 OPC_NS_HIERARCHIAL};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(testing::Message() << "ProgID " << i);
    CLSID clsid;
    ASSERT_EQ(S_OK, CLSIDFromProgID(kProgIds[i], &clsid));
    TComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, server.PutVoid()));
    TComPtr<IOPCBrowseServerAddressSpace> browse =
        Query<IOPCBrowseServerAddressSpace>(server.Get());
    // The DA 3.0 browse with the 2.0 one; group-less I/O everywhere.
    EXPECT_EQ(i != 2, bool(Query<IOPCBrowse>(server.Get())));
    EXPECT_TRUE(Query<IOPCItemIO>(server.Get()));
    if (i == 2) {
      EXPECT_FALSE(browse);
      EXPECT_TRUE(Query<IOPCServer>(server.Get()));
      continue;
    }
    ASSERT_TRUE(browse);
    OPCNAMESPACETYPE ns{};
    EXPECT_EQ(S_OK, browse->QueryOrganization(&ns));
    EXPECT_EQ(expected[i], ns);
    EXPECT_EQ(E_INVALIDARG, browse->QueryOrganization(nullptr));
    // The 3.0 browse of the root: a flat space lists every item there, under its full ID.
    TComPtr<IOPCBrowse> b3 = Query<IOPCBrowse>(server.Get());
    LPWSTR point = nullptr;
    BOOL more = FALSE;
    DWORD count = 0, none = 0;
    OPCBROWSEELEMENT* e = nullptr;
    ASSERT_EQ(S_OK, b3->Browse(const_cast<LPWSTR>(L""), &point, 0, OPC_BROWSE_FILTER_ALL,
                               const_cast<LPWSTR>(L""), const_cast<LPWSTR>(L""), FALSE, FALSE, 0,
                               &none, &more, &count, &e));
    ASSERT_GT(count, 0u);
    EXPECT_EQ(i == 1 ? DWORD(OPC_BROWSE_ISITEM) : DWORD(OPC_BROWSE_HASCHILDREN), e[0].dwFlagValue);
    TComPtr<IEnumString> flat;
    ASSERT_TRUE(SUCCEEDED(browse->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, flat.Put())));
    if (i == 1) {
      std::vector<std::wstring> all = Drain(flat.Get());
      EXPECT_EQ(all.size(), count);
      EXPECT_TRUE(Contains(all, e[count - 1].szItemID));
      EXPECT_STREQ(e[count - 1].szName, e[count - 1].szItemID);
    }
    for (DWORD k = 0; k < count; ++k) {
      CoTaskMemFree(e[k].szName);
      CoTaskMemFree(e[k].szItemID);
    }
    CoTaskMemFree(e);
  }
}

TEST(SimRegistration, ComIdentityRules) {
  TComPtr<IUnknown> unk;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_PloverSimServer, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IUnknown, unk.PutVoid()));
  TComPtr<IOPCServer> s = Query<IOPCServer>(unk.Get());
  TComPtr<IUnknown> again = Query<IUnknown>(s.Get());
  EXPECT_EQ(unk.Get(), again.Get());
  TComPtr<IClassFactory> cf;
  EXPECT_EQ(S_OK, CoGetClassObject(CLSID_PloverSimServer, CLSCTX_INPROC_SERVER, nullptr,
                                   IID_IClassFactory, cf.PutVoid()));
  TComPtr<IUnknown> aggregated;
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            cf->CreateInstance(unk.Get(), IID_IUnknown, aggregated.PutVoid()));
  EXPECT_EQ(E_NOINTERFACE, unk->QueryInterface(IID_IDispatch, aggregated.PutVoid()));
}

class SimStatus : public SimFixture {};

TEST_F(SimStatus, GetStatusDescribesTheRunningSimulation) {
  OPCSERVERSTATUS* st = nullptr;
  EXPECT_EQ(E_INVALIDARG, server->GetStatus(nullptr));
  ASSERT_EQ(S_OK, server->GetStatus(&st));
  ASSERT_NE(nullptr, st);
  EXPECT_EQ(OPC_STATUS_RUNNING, st->dwServerState);
  EXPECT_EQ(0u, st->dwGroupCount);
  EXPECT_EQ(0xFFFFFFFFu, st->dwBandWidth);
  EXPECT_NE(0u, st->ftStartTime.dwHighDateTime);
  EXPECT_LE(CompareFileTime(&st->ftStartTime, &st->ftCurrentTime), 0);
  EXPECT_EQ(0u, st->ftLastUpdateTime.dwHighDateTime) << "nothing sent yet";
  ASSERT_NE(nullptr, st->szVendorInfo);
  EXPECT_NE(nullptr, wcsstr(st->szVendorInfo, L"Simulation"));
  CoTaskMemFree(st->szVendorInfo);
  CoTaskMemFree(st);

  TComPtr<IOPCItemMgt> g1 = AddGroup(L"A");
  TComPtr<IOPCItemMgt> g2 = AddGroup(L"B");
  ASSERT_EQ(S_OK, server->GetStatus(&st));
  EXPECT_EQ(2u, st->dwGroupCount);
  CoTaskMemFree(st->szVendorInfo);
  CoTaskMemFree(st);
}

// Every code the server returns has a text of its own, from both GetErrorString methods and
// in every locale the server accepts; the locales offered, accepted and refused agree.
TEST_F(SimStatus, GetErrorStringKnowsEveryCodeTheServerReturns) {
  TComPtr<IOPCCommon> common = Query<IOPCCommon>(server.Get());
  ASSERT_TRUE(common);
  const struct {
    HRESULT code;
    const wchar_t* fragment;  // of the server's own text, or null for the system's
  } cases[] = {{OPC_E_INVALIDHANDLE, L"handle"},
               {OPC_E_BADTYPE, L"data type"},
               {OPC_E_PUBLIC, L"public group"},
               {OPC_E_BADRIGHTS, L"access rights"},
               {OPC_E_UNKNOWNITEMID, L"address space"},
               {OPC_E_INVALIDITEMID, L"syntax"},
               {OPC_E_INVALIDFILTER, L"filter"},
               {OPC_E_UNKNOWNPATH, L"access path"},
               {OPC_E_RANGE, L"range"},
               {OPC_E_DUPLICATENAME, L"Duplicate"},
               {OPC_S_UNSUPPORTEDRATE, L"rate"},
               {OPC_S_CLAMP, L"clamped"},
               {OPC_S_INUSE, L"references"},
               {OPC_E_INVALIDCONFIGFILE, L"configuration"},
               {OPC_E_NOTFOUND, L"locate"},
               {OPC_E_INVALID_PID, L"property ID"},
               {OPC_E_INVALIDCONTINUATIONPOINT, L"continuation point"},
               {OPC_E_NOTSUPPORTED, L"time stamp"},
               {OPC_E_DEADBANDNOTSET, L"No deadband"},
               {OPC_E_DEADBANDNOTSUPPORTED, L"not support deadband"},
               {S_FALSE, L"not for every item"},
               {E_INVALIDARG, nullptr},
               {E_OUTOFMEMORY, nullptr},
               {E_POINTER, nullptr},
               {E_NOTIMPL, nullptr},
               {E_FAIL, nullptr},
               {E_NOINTERFACE, nullptr},
               {E_UNEXPECTED, nullptr},
               {CONNECT_E_NOCONNECTION, nullptr},
               {CONNECT_E_ADVISELIMIT, nullptr},
               {CONNECT_E_CANNOTCONNECT, nullptr},
               {OLE_E_NOCONNECTION, nullptr},
               {DV_E_FORMATETC, nullptr},
               {DISP_E_OVERFLOW, nullptr},
               {DISP_E_TYPEMISMATCH, nullptr},
               {RPC_E_DISCONNECTED, nullptr},
               {CLASS_E_NOAGGREGATION, nullptr},
               {CLASS_E_CLASSNOTAVAILABLE, nullptr}};
  const LCID accepted[] = {0x0800, 0x0400, 0x0409, 0};
  std::vector<std::wstring> texts;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << c.code);
    LPWSTR first = nullptr;
    ASSERT_EQ(S_OK, common->GetErrorString(c.code, &first));
    std::wstring text = first ? first : L"";
    CoTaskMemFree(first);
    EXPECT_TRUE(!text.empty() && text.back() != L'\n' && text.back() != L'\r')
        << "a text, with no line break at its end: " << text;
    if (c.fragment) {
      EXPECT_NE(std::wstring::npos, text.find(c.fragment)) << text;
    }
    for (LCID lcid : accepted) {
      LPWSTR same = nullptr;
      ASSERT_EQ(S_OK, server->GetErrorString(c.code, lcid, &same)) << "locale " << lcid;
      EXPECT_STREQ(text.c_str(), same);
      CoTaskMemFree(same);
    }
    EXPECT_FALSE(Contains(texts, text)) << "two codes share the text " << text;
    texts.push_back(text);
  }

  // English texts only: Chinese is neither offered nor accepted; the default locales are.
  LPWSTR text = reinterpret_cast<LPWSTR>(1);
  EXPECT_EQ(E_INVALIDARG, server->GetErrorString(static_cast<HRESULT>(0xC0041234), 0x409, &text));
  EXPECT_EQ(nullptr, text);
  EXPECT_EQ(E_INVALIDARG, server->GetErrorString(OPC_E_BADTYPE, 0x409, nullptr));
  for (LCID refused : {LCID(0x0804), LCID(0x0411)}) {
    EXPECT_EQ(E_INVALIDARG, server->GetErrorString(OPC_E_BADTYPE, refused, &text)) << refused;
    EXPECT_EQ(E_INVALIDARG, common->SetLocaleID(refused)) << refused;
  }
  DWORD count = 0;
  LCID* offered = nullptr;
  ASSERT_EQ(S_OK, common->QueryAvailableLocaleIDs(&count, &offered));
  std::vector<LCID> list(offered, offered + count);
  CoTaskMemFree(offered);
  EXPECT_EQ((std::vector<LCID>{0x0800, 0x0400, 0x0409}), list);
  for (LCID lcid : accepted) {
    EXPECT_EQ(S_OK, common->SetLocaleID(lcid)) << lcid;
    LCID now = 1;
    ASSERT_EQ(S_OK, common->GetLocaleID(&now));
    EXPECT_EQ(lcid, now);
  }
}
