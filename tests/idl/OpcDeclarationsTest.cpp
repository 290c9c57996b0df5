// Binary facts of our OPC DA declarations that vendors' servers depend on.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "opcda.h"

namespace {

std::wstring GuidText(const GUID& g) {
  wchar_t buf[40] = {};
  StringFromGUID2(g, buf, 40);
  return buf;
}

TEST(OpcDeclarations, InterfaceIdentifiers) {
  EXPECT_EQ(GuidText(IID_IOPCServer), L"{39C13A4D-011E-11D0-9675-0020AFD8ADB3}");
  EXPECT_EQ(GuidText(IID_IOPCServerPublicGroups), L"{39C13A4E-011E-11D0-9675-0020AFD8ADB3}");
  EXPECT_EQ(GuidText(IID_IOPCBrowseServerAddressSpace), L"{39C13A4F-011E-11D0-9675-0020AFD8ADB3}");
  EXPECT_EQ(GuidText(IID_IOPCGroupStateMgt), L"{39C13A50-011E-11D0-9675-0020AFD8ADB3}");
  EXPECT_EQ(GuidText(IID_IOPCPublicGroupStateMgt), L"{39C13A51-011E-11D0-9675-0020AFD8ADB3}");
  EXPECT_EQ(GuidText(IID_IOPCSyncIO), L"{39C13A52-011E-11D0-9675-0020AFD8ADB3}");
  EXPECT_EQ(GuidText(IID_IOPCAsyncIO), L"{39C13A53-011E-11D0-9675-0020AFD8ADB3}");
  EXPECT_EQ(GuidText(IID_IOPCItemMgt), L"{39C13A54-011E-11D0-9675-0020AFD8ADB3}");
  EXPECT_EQ(GuidText(IID_IEnumOPCItemAttributes), L"{39C13A55-011E-11D0-9675-0020AFD8ADB3}");
  EXPECT_EQ(GuidText(IID_IOPCDataCallback), L"{39C13A70-011E-11D0-9675-0020AFD8ADB3}");
  EXPECT_EQ(GuidText(IID_IOPCAsyncIO2), L"{39C13A71-011E-11D0-9675-0020AFD8ADB3}");
  EXPECT_EQ(GuidText(IID_IOPCItemProperties), L"{39C13A72-011E-11D0-9675-0020AFD8ADB3}");
  EXPECT_EQ(GuidText(IID_IOPCCommon), L"{F31DFDE2-07B6-11D2-B2D8-0060083BA1FB}");
  EXPECT_EQ(GuidText(IID_IOPCShutdown), L"{F31DFDE1-07B6-11D2-B2D8-0060083BA1FB}");
  EXPECT_EQ(GuidText(CATID_OPCDAServer10), L"{63D5F430-CFE4-11D1-B2C8-0060083BA1FB}");
  EXPECT_EQ(GuidText(CATID_OPCDAServer20), L"{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}");
  const struct {
    const IID& iid;
    const wchar_t* text;
  } da3[] = {
      {IID_IOPCBrowse, L"{39227004-A18F-4B57-8B0A-5235670F4468}"},
      {IID_IOPCItemIO, L"{85C0B427-2893-4CBC-BD78-E5FC5146F08F}"},
      {IID_IOPCSyncIO2, L"{730F5F0F-55B1-4C81-9E18-FF8A0904E1FA}"},
      {IID_IOPCAsyncIO3, L"{0967B97B-36EF-423E-B6F8-6BFF1E40D39D}"},
      {IID_IOPCGroupStateMgt2, L"{8E368666-D72E-4F78-87ED-647611C61C9F}"},
      {IID_IOPCItemDeadbandMgt, L"{5946DA93-8B39-4EC8-AB3D-AA73DF5BC86F}"},
      {IID_IOPCItemSamplingMgt, L"{3E22D313-F08B-41A5-86C8-95E95CB49FFC}"},
      {CATID_OPCDAServer30, L"{CC603642-66D7-48F1-B69A-B625E73652D7}"},
  };
  for (const auto& d : da3) EXPECT_EQ(GuidText(d.iid), d.text);
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCBrowse), IID_IOPCBrowse));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCItemIO), IID_IOPCItemIO));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCSyncIO2), IID_IOPCSyncIO2));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCAsyncIO3), IID_IOPCAsyncIO3));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCGroupStateMgt2), IID_IOPCGroupStateMgt2));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCItemDeadbandMgt), IID_IOPCItemDeadbandMgt));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCItemSamplingMgt), IID_IOPCItemSamplingMgt));
  // __uuidof must agree with the exported constants, or QueryInterface by template would ask
  // servers for the wrong interface.
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCServer), IID_IOPCServer));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCItemMgt), IID_IOPCItemMgt));
  EXPECT_TRUE(IsEqualIID(__uuidof(IEnumOPCItemAttributes), IID_IEnumOPCItemAttributes));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCDataCallback), IID_IOPCDataCallback));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCAsyncIO2), IID_IOPCAsyncIO2));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCItemProperties), IID_IOPCItemProperties));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCCommon), IID_IOPCCommon));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCShutdown), IID_IOPCShutdown));
  // The platform's connection point interfaces these are advised through.
  EXPECT_EQ(GuidText(IID_IConnectionPointContainer), L"{B196B284-BAB4-101A-B69C-00AA00341D07}");
  EXPECT_EQ(GuidText(IID_IConnectionPoint), L"{B196B286-BAB4-101A-B69C-00AA00341D07}");
}

// Structure layouts as a MIDL-generated header lays them out, for the build's pointer size.
TEST(OpcDeclarations, StructureLayouts) {
  constexpr size_t P = sizeof(void*);
  EXPECT_EQ(offsetof(OPCITEMDEF, szItemID), P);
  EXPECT_EQ(offsetof(OPCITEMDEF, bActive), 2 * P);
  EXPECT_EQ(offsetof(OPCITEMDEF, dwBlobSize), 2 * P + 8);
  EXPECT_EQ(offsetof(OPCITEMDEF, pBlob), P == 8 ? 32u : 20u);
  EXPECT_EQ(offsetof(OPCITEMDEF, vtRequestedDataType), P == 8 ? 40u : 24u);
  EXPECT_EQ(sizeof(OPCITEMDEF), P == 8 ? 48u : 28u);

  EXPECT_EQ(offsetof(OPCITEMRESULT, vtCanonicalDataType), 4u);
  EXPECT_EQ(offsetof(OPCITEMRESULT, dwAccessRights), 8u);
  EXPECT_EQ(offsetof(OPCITEMRESULT, pBlob), 16u);

  EXPECT_EQ(offsetof(OPCITEMSTATE, ftTimeStamp), 4u);
  EXPECT_EQ(offsetof(OPCITEMSTATE, wQuality), 12u);
  EXPECT_EQ(offsetof(OPCITEMSTATE, vDataValue), 16u);

  EXPECT_EQ(offsetof(OPCITEMATTRIBUTES, hServer), 2 * P + 8);
  EXPECT_EQ(offsetof(OPCITEMATTRIBUTES, pBlob), P == 8 ? 40u : 28u);
  EXPECT_EQ(offsetof(OPCITEMATTRIBUTES, vtRequestedDataType), P == 8 ? 48u : 32u);
  EXPECT_EQ(offsetof(OPCITEMATTRIBUTES, dwEUType), P == 8 ? 52u : 36u);
  EXPECT_EQ(offsetof(OPCITEMATTRIBUTES, vEUInfo), P == 8 ? 56u : 40u);

  EXPECT_EQ(offsetof(OPCSERVERSTATUS, dwServerState), 24u);
  EXPECT_EQ(offsetof(OPCSERVERSTATUS, dwBandWidth), 32u);
  EXPECT_EQ(offsetof(OPCSERVERSTATUS, wBuildNumber), 40u);
  EXPECT_EQ(offsetof(OPCSERVERSTATUS, szVendorInfo), P == 8 ? 48u : 44u);

  // DA 3.0, as measured with both MinGW-w64 targets.
  const bool w64 = P == 8;
  EXPECT_EQ(offsetof(OPCITEMPROPERTY, szDescription), w64 ? 16u : 12u);
  EXPECT_EQ(offsetof(OPCITEMPROPERTY, vValue), w64 ? 24u : 16u);
  EXPECT_EQ(offsetof(OPCITEMPROPERTY, hrErrorID), w64 ? 48u : 32u);
  EXPECT_EQ(sizeof(OPCITEMPROPERTY), w64 ? 56u : 40u);
  EXPECT_EQ(sizeof(OPCITEMPROPERTIES), w64 ? 24u : 16u);
  EXPECT_EQ(offsetof(OPCBROWSEELEMENT, ItemProperties), w64 ? 24u : 16u);
  EXPECT_EQ(sizeof(OPCBROWSEELEMENT), w64 ? 48u : 32u);
  EXPECT_EQ(offsetof(OPCITEMVQT, bQualitySpecified), w64 ? 24u : 16u);
  EXPECT_EQ(offsetof(OPCITEMVQT, wQuality), w64 ? 28u : 20u);
  EXPECT_EQ(offsetof(OPCITEMVQT, bTimeStampSpecified), w64 ? 32u : 24u);
  EXPECT_EQ(offsetof(OPCITEMVQT, ftTimeStamp), w64 ? 40u : 32u);
  EXPECT_EQ(sizeof(OPCITEMVQT), w64 ? 48u : 40u);

  // Wire headers: identical on every build.
  EXPECT_EQ(offsetof(OPCGROUPHEADER, hrStatus), 16u);
  EXPECT_EQ(offsetof(OPCITEMHEADER1, ftTimeStampItem), 12u);
  EXPECT_EQ(offsetof(OPCITEMHEADER2, wQuality), 8u);
  EXPECT_EQ(offsetof(OPCGROUPHEADERWRITE, hrStatus), 12u);
  EXPECT_EQ(offsetof(OPCITEMHEADERWRITE, dwError), 4u);
}

// Calls through the vtable land on the method the standard puts in that slot.
struct SlotRecorder : IOPCSyncIO, IOPCAsyncIO {
  int last = -1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Read(OPCDATASOURCE, DWORD, OPCHANDLE*, OPCITEMSTATE**,
                                 HRESULT**) override {
    last = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(DWORD, OPCHANDLE*, VARIANT*, HRESULT**) override {
    last = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Read(DWORD, OPCDATASOURCE, DWORD, OPCHANDLE*, DWORD*,
                                 HRESULT**) override {
    last = 10;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(DWORD, DWORD, OPCHANDLE*, VARIANT*, DWORD*, HRESULT**) override {
    last = 11;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Refresh(DWORD, OPCDATASOURCE, DWORD*) override {
    last = 12;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Cancel(DWORD) override {
    last = 13;
    return S_OK;
  }
};

TEST(OpcDeclarations, VtableSlotsFollowIUnknown) {
  SlotRecorder rec;
  IOPCAsyncIO* async = &rec;
  void** vtbl = *reinterpret_cast<void***>(async);
  using CancelFn = HRESULT(STDMETHODCALLTYPE*)(IOPCAsyncIO*, DWORD);
  reinterpret_cast<CancelFn>(vtbl[3 + 3])(async, 7);
  EXPECT_EQ(rec.last, 13);
  using RefreshFn = HRESULT(STDMETHODCALLTYPE*)(IOPCAsyncIO*, DWORD, OPCDATASOURCE, DWORD*);
  reinterpret_cast<RefreshFn>(vtbl[3 + 2])(async, 1, OPC_DS_CACHE, nullptr);
  EXPECT_EQ(rec.last, 12);

  IOPCSyncIO* sync = &rec;
  void** svtbl = *reinterpret_cast<void***>(sync);
  using WriteFn = HRESULT(STDMETHODCALLTYPE*)(IOPCSyncIO*, DWORD, OPCHANDLE*, VARIANT*, HRESULT**);
  reinterpret_cast<WriteFn>(svtbl[3 + 1])(sync, 0, nullptr, nullptr, nullptr);
  EXPECT_EQ(rec.last, 1);
}

// The DA 2.0 and Common interfaces: each slot counted from the end of IUnknown.
struct Da2SlotRecorder : IOPCDataCallback, IOPCAsyncIO2, IOPCItemProperties, IOPCCommon {
  int last = -1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT Hit(int slot) {
    last = slot;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*,
                                         VARIANT*, WORD*, FILETIME*, HRESULT*) override {
    return Hit(0);
  }
  HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*,
                                           VARIANT*, WORD*, FILETIME*, HRESULT*) override {
    return Hit(1);
  }
  HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*,
                                            HRESULT*) override {
    return Hit(2);
  }
  HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD, OPCHANDLE) override { return Hit(3); }
  HRESULT STDMETHODCALLTYPE Read(DWORD, OPCHANDLE*, DWORD, DWORD*, HRESULT**) override {
    return Hit(10);
  }
  HRESULT STDMETHODCALLTYPE Write(DWORD, OPCHANDLE*, VARIANT*, DWORD, DWORD*, HRESULT**) override {
    return Hit(11);
  }
  HRESULT STDMETHODCALLTYPE Refresh2(OPCDATASOURCE, DWORD, DWORD*) override { return Hit(12); }
  HRESULT STDMETHODCALLTYPE Cancel2(DWORD) override { return Hit(13); }
  HRESULT STDMETHODCALLTYPE SetEnable(BOOL) override { return Hit(14); }
  HRESULT STDMETHODCALLTYPE GetEnable(BOOL*) override { return Hit(15); }
  HRESULT STDMETHODCALLTYPE QueryAvailableProperties(LPWSTR, DWORD*, DWORD**, LPWSTR**,
                                                     VARTYPE**) override {
    return Hit(20);
  }
  HRESULT STDMETHODCALLTYPE GetItemProperties(LPWSTR, DWORD, DWORD*, VARIANT**,
                                              HRESULT**) override {
    return Hit(21);
  }
  HRESULT STDMETHODCALLTYPE LookupItemIDs(LPWSTR, DWORD, DWORD*, LPWSTR**, HRESULT**) override {
    return Hit(22);
  }
  HRESULT STDMETHODCALLTYPE SetLocaleID(LCID) override { return Hit(30); }
  HRESULT STDMETHODCALLTYPE GetLocaleID(LCID*) override { return Hit(31); }
  HRESULT STDMETHODCALLTYPE QueryAvailableLocaleIDs(DWORD*, LCID**) override { return Hit(32); }
  HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT, LPWSTR*) override { return Hit(33); }
  HRESULT STDMETHODCALLTYPE SetClientName(LPCWSTR) override { return Hit(34); }
};

// Calls slot `slot` after IUnknown with the given arguments (their count and sizes must be
// the method's: a __stdcall callee pops them on 32-bit builds) and says which method ran.
template <class I, class... Args>
int CallSlot(Da2SlotRecorder& rec, int slot, Args... args) {
  I* itf = &rec;
  void** vtbl = *reinterpret_cast<void***>(itf);
  using Fn = HRESULT(STDMETHODCALLTYPE*)(I*, Args...);
  rec.last = -1;
  reinterpret_cast<Fn>(vtbl[3 + slot])(itf, args...);
  return rec.last;
}

TEST(OpcDeclarations, Da2AndCommonSlotsFollowIUnknown) {
  Da2SlotRecorder rec;
  const DWORD n = 0;
  void* p = nullptr;
  using C = IOPCDataCallback;
  EXPECT_EQ(0, CallSlot<C>(rec, 0, n, n, n, n, n, p, p, p, p, p));
  EXPECT_EQ(1, CallSlot<C>(rec, 1, n, n, n, n, n, p, p, p, p, p));
  EXPECT_EQ(2, CallSlot<C>(rec, 2, n, n, n, n, p, p));
  EXPECT_EQ(3, CallSlot<C>(rec, 3, n, n));
  using A = IOPCAsyncIO2;
  EXPECT_EQ(10, CallSlot<A>(rec, 0, n, p, n, p, p));
  EXPECT_EQ(11, CallSlot<A>(rec, 1, n, p, p, n, p, p));
  EXPECT_EQ(12, CallSlot<A>(rec, 2, n, n, p));
  EXPECT_EQ(13, CallSlot<A>(rec, 3, n));
  EXPECT_EQ(14, CallSlot<A>(rec, 4, n));
  EXPECT_EQ(15, CallSlot<A>(rec, 5, p));
  using P = IOPCItemProperties;
  EXPECT_EQ(20, CallSlot<P>(rec, 0, p, p, p, p, p));
  EXPECT_EQ(21, CallSlot<P>(rec, 1, p, n, p, p, p));
  EXPECT_EQ(22, CallSlot<P>(rec, 2, p, n, p, p, p));
  using M = IOPCCommon;
  EXPECT_EQ(30, CallSlot<M>(rec, 0, n));
  EXPECT_EQ(31, CallSlot<M>(rec, 1, p));
  EXPECT_EQ(32, CallSlot<M>(rec, 2, p, p));
  EXPECT_EQ(33, CallSlot<M>(rec, 3, n, p));
  EXPECT_EQ(34, CallSlot<M>(rec, 4, p));
  EXPECT_EQ(sizeof(void*), sizeof(IOPCShutdown));  // one vtable pointer, no data
}

TEST(OpcDeclarations, ResultCodesAndConstants) {
  EXPECT_EQ(static_cast<unsigned long>(OPC_E_INVALID_PID), 0xC0040203ul);
  EXPECT_EQ(OPC_PROPERTY_EU_INFO, 8);
  EXPECT_EQ(OPC_PROPERTY_TIMEZONE, 108);
  EXPECT_EQ(static_cast<unsigned long>(OPC_E_INVALIDHANDLE), 0xC0040001ul);
  EXPECT_EQ(static_cast<unsigned long>(OPC_E_UNKNOWNITEMID), 0xC0040007ul);
  EXPECT_EQ(static_cast<unsigned long>(OPC_E_DUPLICATENAME), 0xC004000Cul);
  EXPECT_EQ(static_cast<unsigned long>(OPC_E_NOTFOUND), 0xC0040011ul);
  EXPECT_TRUE(SUCCEEDED(OPC_S_UNSUPPORTEDRATE));
  EXPECT_TRUE(SUCCEEDED(OPC_S_CLAMP));
  EXPECT_TRUE(FAILED(OPC_E_RANGE));
  const struct {
    HRESULT code;
    unsigned long value;
  } da3[] = {
      {OPC_E_DEADBANDNOTSET, 0xC0040400ul},    {OPC_E_DEADBANDNOTSUPPORTED, 0xC0040401ul},
      {OPC_E_NOBUFFERING, 0xC0040402ul},       {OPC_E_INVALIDCONTINUATIONPOINT, 0xC0040403ul},
      {OPC_S_DATAQUEUEOVERFLOW, 0x00040404ul}, {OPC_E_RATENOTSET, 0xC0040405ul},
      {OPC_E_NOTSUPPORTED, 0xC0040406ul},
  };
  for (const auto& c : da3) EXPECT_EQ(static_cast<unsigned long>(c.code), c.value);
  EXPECT_EQ(OPC_BROWSE_HASCHILDREN | OPC_BROWSE_ISITEM, 3);
  EXPECT_EQ(OPC_BROWSE_FILTER_ITEMS, 3);
  EXPECT_EQ(OPC_MAXAGE_CACHE, 0xFFFFFFFFu);
  EXPECT_EQ(OPC_QUALITY_LOCAL_OVERRIDE & OPC_QUALITY_MASK, OPC_QUALITY_GOOD);
  EXPECT_EQ(OPC_QUALITY_SUB_NORMAL & OPC_QUALITY_MASK, OPC_QUALITY_UNCERTAIN);
  EXPECT_EQ(OPC_QUALITY_WAITING_FOR_INITIAL_DATA & OPC_QUALITY_MASK, OPC_QUALITY_BAD);
}

}  // namespace
