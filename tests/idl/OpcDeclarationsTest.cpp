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
  EXPECT_EQ(GuidText(CATID_OPCDAServer10), L"{63D5F430-CFE4-11D1-B2C8-0060083BA1FB}");
  EXPECT_EQ(GuidText(CATID_OPCDAServer20), L"{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}");
  // __uuidof must agree with the exported constants, or QueryInterface by template would ask
  // servers for the wrong interface.
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCServer), IID_IOPCServer));
  EXPECT_TRUE(IsEqualIID(__uuidof(IOPCItemMgt), IID_IOPCItemMgt));
  EXPECT_TRUE(IsEqualIID(__uuidof(IEnumOPCItemAttributes), IID_IEnumOPCItemAttributes));
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

TEST(OpcDeclarations, ResultCodesAndConstants) {
  EXPECT_EQ(static_cast<unsigned long>(OPC_E_INVALIDHANDLE), 0xC0040001ul);
  EXPECT_EQ(static_cast<unsigned long>(OPC_E_UNKNOWNITEMID), 0xC0040007ul);
  EXPECT_EQ(static_cast<unsigned long>(OPC_E_DUPLICATENAME), 0xC004000Cul);
  EXPECT_EQ(static_cast<unsigned long>(OPC_E_NOTFOUND), 0xC0040011ul);
  EXPECT_TRUE(SUCCEEDED(OPC_S_UNSUPPORTEDRATE));
  EXPECT_TRUE(SUCCEEDED(OPC_S_CLAMP));
  EXPECT_TRUE(FAILED(OPC_E_RANGE));
  EXPECT_EQ(OPC_QUALITY_LOCAL_OVERRIDE & OPC_QUALITY_MASK, OPC_QUALITY_GOOD);
  EXPECT_EQ(OPC_QUALITY_SUB_NORMAL & OPC_QUALITY_MASK, OPC_QUALITY_UNCERTAIN);
  EXPECT_EQ(OPC_QUALITY_WAITING_FOR_INITIAL_DATA & OPC_QUALITY_MASK, OPC_QUALITY_BAD);
}

}  // namespace
