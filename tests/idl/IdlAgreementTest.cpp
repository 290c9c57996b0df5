// The hand-written declarations the program compiles against (opcda.h, SimControl.h) and the
// IDL the proxy/stub is generated from describe the same interfaces: identifiers, method
// order, parameter types, structure layouts and enumerations. A difference would let a call
// cross the process boundary with the wrong stack or the wrong method.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "SimControl.h"
#include "SimProcess.h"
#include "opcda.h"

// The widl headers in a namespace of their own, their GUIDs as constants of their own. The
// interfaces are declared first, or the headers' "typedef struct IOPCServer IOPCServer" would
// name the global ones.
namespace gen {
struct IOPCServer;
struct IOPCServerPublicGroups;
struct IOPCBrowseServerAddressSpace;
struct IOPCGroupStateMgt;
struct IOPCPublicGroupStateMgt;
struct IOPCSyncIO;
struct IOPCAsyncIO;
struct IOPCItemMgt;
struct IEnumOPCItemAttributes;
struct IOPCCommon;
struct IOPCShutdown;
struct IOPCDataCallback;
struct IOPCAsyncIO2;
struct IOPCItemProperties;
struct IOPCBrowse;
struct IOPCItemIO;
struct IOPCSyncIO2;
struct IOPCAsyncIO3;
struct IOPCGroupStateMgt2;
struct IOPCItemDeadbandMgt;
struct IOPCItemSamplingMgt;
struct IPloverSimControl;
struct IPloverSimProcess;
#pragma push_macro("DEFINE_GUID")
#pragma push_macro("__CRT_UUID_DECL")
#undef DEFINE_GUID
#undef __CRT_UUID_DECL
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  constexpr GUID gen_##name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}};
#include "opcda_idl.h"
#include "ploversim_idl.h"
#pragma pop_macro("__CRT_UUID_DECL")
#pragma pop_macro("DEFINE_GUID")
}  // namespace gen

namespace {

// A generated type named as its hand-written twin, through pointers and const.
template <class T>
struct Hand {
  using type = T;
};
template <class T>
struct Hand<T*> {
  using type = typename Hand<T>::type*;
};
template <class T>
struct Hand<const T> {
  using type = const typename Hand<T>::type;
};
#define PLOVER_TWIN(T)  \
  template <>           \
  struct Hand<gen::T> { \
    using type = ::T;   \
  };
PLOVER_TWIN(tagOPCDATASOURCE)
PLOVER_TWIN(tagOPCBROWSETYPE)
PLOVER_TWIN(tagOPCNAMESPACETYPE)
PLOVER_TWIN(tagOPCBROWSEDIRECTION)
PLOVER_TWIN(tagOPCEUTYPE)
PLOVER_TWIN(tagOPCSERVERSTATE)
PLOVER_TWIN(tagOPCENUMSCOPE)
PLOVER_TWIN(tagOPCITEMDEF)
PLOVER_TWIN(tagOPCITEMRESULT)
PLOVER_TWIN(tagOPCITEMSTATE)
PLOVER_TWIN(tagOPCITEMATTRIBUTES)
PLOVER_TWIN(tagOPCSERVERSTATUS)
PLOVER_TWIN(tagOPCBROWSEFILTER)
PLOVER_TWIN(tagOPCITEMVQT)
PLOVER_TWIN(tagOPCITEMPROPERTY)
PLOVER_TWIN(tagOPCITEMPROPERTIES)
PLOVER_TWIN(tagOPCBROWSEELEMENT)
PLOVER_TWIN(IEnumOPCItemAttributes)
PLOVER_TWIN(PloverSimLiveCounts)

// The plain function type of a method, and the same with generated types renamed.
#if defined(__i386__)
#define PLOVER_CC __stdcall
#else
#define PLOVER_CC
#endif
template <class M>
struct Sig;
template <class R, class C, class... A>
struct Sig<R (PLOVER_CC C::*)(A...)> {
  using plain = R(A...);
  using renamed = R(typename Hand<A>::type...);
};

// The vtable slot a pointer to a virtual method names (Itanium C++ ABI: one plus the slot's
// byte offset).
template <class M>
ptrdiff_t Slot(M m) {
  struct Rep {
    ptrdiff_t ptr, adj;
  } rep;
  static_assert(sizeof(M) == sizeof(Rep));
  std::memcpy(&rep, &m, sizeof rep);
  return (rep.ptr - 1) / static_cast<ptrdiff_t>(sizeof(void*));
}

#define PLOVER_METHOD(I, M)                                                                        \
  static_assert(std::is_same_v<Sig<decltype(&::I::M)>::plain, Sig<decltype(&gen::I::M)>::renamed>, \
                #I "::" #M " has other parameter types in the IDL");                               \
  EXPECT_EQ(Slot(&::I::M), Slot(&gen::I::M)) << #I "::" #M;                                        \
  EXPECT_EQ(Slot(&::I::M), 3 + index++) << #I "::" #M " is not where the list puts it";

// The slot after the last method: the number of methods, counted by deriving.
#define PLOVER_COUNT(I)                                                           \
  {                                                                               \
    struct H : ::I {                                                              \
      virtual void Beyond() {}                                                    \
    };                                                                            \
    struct G : gen::I {                                                           \
      virtual void Beyond() {}                                                    \
    };                                                                            \
    EXPECT_EQ(Slot(&H::Beyond), 3 + index) << #I ": methods the IDL lacks";       \
    EXPECT_EQ(Slot(&G::Beyond), 3 + index) << #I ": methods opcda.h lacks";       \
    EXPECT_TRUE(IsEqualIID(__uuidof(::I), gen::gen_IID_##I)) << #I " identifier"; \
  }

TEST(IdlAgreement, OpcInterfacesMatchMethodForMethod) {
  int index = 0;
  PLOVER_METHOD(IOPCServer, AddGroup)
  PLOVER_METHOD(IOPCServer, GetErrorString)
  PLOVER_METHOD(IOPCServer, GetGroupByName)
  PLOVER_METHOD(IOPCServer, GetStatus)
  PLOVER_METHOD(IOPCServer, RemoveGroup)
  PLOVER_METHOD(IOPCServer, CreateGroupEnumerator)
  PLOVER_COUNT(IOPCServer)
  index = 0;
  PLOVER_METHOD(IOPCServerPublicGroups, GetPublicGroupByName)
  PLOVER_METHOD(IOPCServerPublicGroups, RemovePublicGroup)
  PLOVER_COUNT(IOPCServerPublicGroups)
  index = 0;
  PLOVER_METHOD(IOPCBrowseServerAddressSpace, QueryOrganization)
  PLOVER_METHOD(IOPCBrowseServerAddressSpace, ChangeBrowsePosition)
  PLOVER_METHOD(IOPCBrowseServerAddressSpace, BrowseOPCItemIDs)
  PLOVER_METHOD(IOPCBrowseServerAddressSpace, GetItemID)
  PLOVER_METHOD(IOPCBrowseServerAddressSpace, BrowseAccessPaths)
  PLOVER_COUNT(IOPCBrowseServerAddressSpace)
  index = 0;
  PLOVER_METHOD(IOPCGroupStateMgt, GetState)
  PLOVER_METHOD(IOPCGroupStateMgt, SetState)
  PLOVER_METHOD(IOPCGroupStateMgt, SetName)
  PLOVER_METHOD(IOPCGroupStateMgt, CloneGroup)
  PLOVER_COUNT(IOPCGroupStateMgt)
  index = 0;
  PLOVER_METHOD(IOPCPublicGroupStateMgt, GetState)
  PLOVER_METHOD(IOPCPublicGroupStateMgt, MoveToPublic)
  PLOVER_COUNT(IOPCPublicGroupStateMgt)
  index = 0;
  PLOVER_METHOD(IOPCSyncIO, Read)
  PLOVER_METHOD(IOPCSyncIO, Write)
  PLOVER_COUNT(IOPCSyncIO)
  index = 0;
  PLOVER_METHOD(IOPCAsyncIO, Read)
  PLOVER_METHOD(IOPCAsyncIO, Write)
  PLOVER_METHOD(IOPCAsyncIO, Refresh)
  PLOVER_METHOD(IOPCAsyncIO, Cancel)
  PLOVER_COUNT(IOPCAsyncIO)
  index = 0;
  PLOVER_METHOD(IOPCItemMgt, AddItems)
  PLOVER_METHOD(IOPCItemMgt, ValidateItems)
  PLOVER_METHOD(IOPCItemMgt, RemoveItems)
  PLOVER_METHOD(IOPCItemMgt, SetActiveState)
  PLOVER_METHOD(IOPCItemMgt, SetClientHandles)
  PLOVER_METHOD(IOPCItemMgt, SetDatatypes)
  PLOVER_METHOD(IOPCItemMgt, CreateEnumerator)
  PLOVER_COUNT(IOPCItemMgt)
  index = 0;
  PLOVER_METHOD(IEnumOPCItemAttributes, Next)
  PLOVER_METHOD(IEnumOPCItemAttributes, Skip)
  PLOVER_METHOD(IEnumOPCItemAttributes, Reset)
  PLOVER_METHOD(IEnumOPCItemAttributes, Clone)
  PLOVER_COUNT(IEnumOPCItemAttributes)
  index = 0;
  PLOVER_METHOD(IOPCCommon, SetLocaleID)
  PLOVER_METHOD(IOPCCommon, GetLocaleID)
  PLOVER_METHOD(IOPCCommon, QueryAvailableLocaleIDs)
  PLOVER_METHOD(IOPCCommon, GetErrorString)
  PLOVER_METHOD(IOPCCommon, SetClientName)
  PLOVER_COUNT(IOPCCommon)
  index = 0;
  PLOVER_METHOD(IOPCShutdown, ShutdownRequest)
  PLOVER_COUNT(IOPCShutdown)
  index = 0;
  PLOVER_METHOD(IOPCDataCallback, OnDataChange)
  PLOVER_METHOD(IOPCDataCallback, OnReadComplete)
  PLOVER_METHOD(IOPCDataCallback, OnWriteComplete)
  PLOVER_METHOD(IOPCDataCallback, OnCancelComplete)
  PLOVER_COUNT(IOPCDataCallback)
  index = 0;
  PLOVER_METHOD(IOPCAsyncIO2, Read)
  PLOVER_METHOD(IOPCAsyncIO2, Write)
  PLOVER_METHOD(IOPCAsyncIO2, Refresh2)
  PLOVER_METHOD(IOPCAsyncIO2, Cancel2)
  PLOVER_METHOD(IOPCAsyncIO2, SetEnable)
  PLOVER_METHOD(IOPCAsyncIO2, GetEnable)
  PLOVER_COUNT(IOPCAsyncIO2)
  index = 0;
  PLOVER_METHOD(IOPCItemProperties, QueryAvailableProperties)
  PLOVER_METHOD(IOPCItemProperties, GetItemProperties)
  PLOVER_METHOD(IOPCItemProperties, LookupItemIDs)
  PLOVER_COUNT(IOPCItemProperties)
}

// DA 3.0; the derived interfaces continue after their base's methods.
TEST(IdlAgreement, Da3InterfacesMatchMethodForMethod) {
  int index = 0;
  PLOVER_METHOD(IOPCBrowse, GetProperties)
  PLOVER_METHOD(IOPCBrowse, Browse)
  PLOVER_COUNT(IOPCBrowse)
  index = 0;
  PLOVER_METHOD(IOPCItemIO, Read)
  PLOVER_METHOD(IOPCItemIO, WriteVQT)
  PLOVER_COUNT(IOPCItemIO)
  index = 2;
  PLOVER_METHOD(IOPCSyncIO2, ReadMaxAge)
  PLOVER_METHOD(IOPCSyncIO2, WriteVQT)
  PLOVER_COUNT(IOPCSyncIO2)
  index = 6;
  PLOVER_METHOD(IOPCAsyncIO3, ReadMaxAge)
  PLOVER_METHOD(IOPCAsyncIO3, WriteVQT)
  PLOVER_METHOD(IOPCAsyncIO3, RefreshMaxAge)
  PLOVER_COUNT(IOPCAsyncIO3)
  index = 4;
  PLOVER_METHOD(IOPCGroupStateMgt2, SetKeepAlive)
  PLOVER_METHOD(IOPCGroupStateMgt2, GetKeepAlive)
  PLOVER_COUNT(IOPCGroupStateMgt2)
  index = 0;
  PLOVER_METHOD(IOPCItemDeadbandMgt, SetItemDeadband)
  PLOVER_METHOD(IOPCItemDeadbandMgt, GetItemDeadband)
  PLOVER_METHOD(IOPCItemDeadbandMgt, ClearItemDeadband)
  PLOVER_COUNT(IOPCItemDeadbandMgt)
  index = 0;
  PLOVER_METHOD(IOPCItemSamplingMgt, SetItemSamplingRate)
  PLOVER_METHOD(IOPCItemSamplingMgt, GetItemSamplingRate)
  PLOVER_METHOD(IOPCItemSamplingMgt, ClearItemSamplingRate)
  PLOVER_METHOD(IOPCItemSamplingMgt, SetItemBufferEnable)
  PLOVER_METHOD(IOPCItemSamplingMgt, GetItemBufferEnable)
  PLOVER_COUNT(IOPCItemSamplingMgt)
}

// A hook added to SimControl.h alone would be called through a proxy that does not know it.
TEST(IdlAgreement, SimulationHooksMatchMethodForMethod) {
  int index = 0;
  PLOVER_METHOD(IPloverSimControl, GetLiveCounts)
  PLOVER_METHOD(IPloverSimControl, FailMethod)
  PLOVER_METHOD(IPloverSimControl, ClearFailures)
  PLOVER_METHOD(IPloverSimControl, RefuseType)
  PLOVER_METHOD(IPloverSimControl, ClearRefusals)
  PLOVER_METHOD(IPloverSimControl, SetNoDataObject)
  PLOVER_METHOD(IPloverSimControl, PushStream)
  PLOVER_METHOD(IPloverSimControl, SetDeterministic)
  PLOVER_METHOD(IPloverSimControl, AdvanceTime)
  PLOVER_METHOD(IPloverSimControl, Flush)
  PLOVER_METHOD(IPloverSimControl, GetSimTime)
  PLOVER_METHOD(IPloverSimControl, SetNoDa1Async)
  PLOVER_METHOD(IPloverSimControl, SendShutdown)
  PLOVER_METHOD(IPloverSimControl, SetStreamForm)
  PLOVER_COUNT(IPloverSimControl)
  index = 0;
  PLOVER_METHOD(IPloverSimProcess, GetServerProcessId)
  PLOVER_COUNT(IPloverSimProcess)
}

#define PLOVER_FIELD(S, f)                                                         \
  static_assert(std::is_same_v<decltype(::S::f), Hand<decltype(gen::S::f)>::type>, \
                #S "." #f " has another type in the IDL");                         \
  EXPECT_EQ(offsetof(::S, f), offsetof(gen::S, f)) << #S "." #f;

TEST(IdlAgreement, StructuresMatchFieldForField) {
  PLOVER_FIELD(OPCITEMDEF, szAccessPath)
  PLOVER_FIELD(OPCITEMDEF, szItemID)
  PLOVER_FIELD(OPCITEMDEF, bActive)
  PLOVER_FIELD(OPCITEMDEF, hClient)
  PLOVER_FIELD(OPCITEMDEF, dwBlobSize)
  PLOVER_FIELD(OPCITEMDEF, pBlob)
  PLOVER_FIELD(OPCITEMDEF, vtRequestedDataType)
  PLOVER_FIELD(OPCITEMDEF, wReserved)
  EXPECT_EQ(sizeof(::OPCITEMDEF), sizeof(gen::OPCITEMDEF));
  PLOVER_FIELD(OPCITEMRESULT, hServer)
  PLOVER_FIELD(OPCITEMRESULT, vtCanonicalDataType)
  PLOVER_FIELD(OPCITEMRESULT, wReserved)
  PLOVER_FIELD(OPCITEMRESULT, dwAccessRights)
  PLOVER_FIELD(OPCITEMRESULT, dwBlobSize)
  PLOVER_FIELD(OPCITEMRESULT, pBlob)
  EXPECT_EQ(sizeof(::OPCITEMRESULT), sizeof(gen::OPCITEMRESULT));
  PLOVER_FIELD(OPCITEMSTATE, hClient)
  PLOVER_FIELD(OPCITEMSTATE, ftTimeStamp)
  PLOVER_FIELD(OPCITEMSTATE, wQuality)
  PLOVER_FIELD(OPCITEMSTATE, wReserved)
  PLOVER_FIELD(OPCITEMSTATE, vDataValue)
  EXPECT_EQ(sizeof(::OPCITEMSTATE), sizeof(gen::OPCITEMSTATE));
  PLOVER_FIELD(OPCITEMATTRIBUTES, szAccessPath)
  PLOVER_FIELD(OPCITEMATTRIBUTES, szItemID)
  PLOVER_FIELD(OPCITEMATTRIBUTES, bActive)
  PLOVER_FIELD(OPCITEMATTRIBUTES, hClient)
  PLOVER_FIELD(OPCITEMATTRIBUTES, hServer)
  PLOVER_FIELD(OPCITEMATTRIBUTES, dwAccessRights)
  PLOVER_FIELD(OPCITEMATTRIBUTES, dwBlobSize)
  PLOVER_FIELD(OPCITEMATTRIBUTES, pBlob)
  PLOVER_FIELD(OPCITEMATTRIBUTES, vtRequestedDataType)
  PLOVER_FIELD(OPCITEMATTRIBUTES, vtCanonicalDataType)
  PLOVER_FIELD(OPCITEMATTRIBUTES, dwEUType)
  PLOVER_FIELD(OPCITEMATTRIBUTES, vEUInfo)
  EXPECT_EQ(sizeof(::OPCITEMATTRIBUTES), sizeof(gen::OPCITEMATTRIBUTES));
  PLOVER_FIELD(OPCSERVERSTATUS, ftStartTime)
  PLOVER_FIELD(OPCSERVERSTATUS, ftCurrentTime)
  PLOVER_FIELD(OPCSERVERSTATUS, ftLastUpdateTime)
  PLOVER_FIELD(OPCSERVERSTATUS, dwServerState)
  PLOVER_FIELD(OPCSERVERSTATUS, dwGroupCount)
  PLOVER_FIELD(OPCSERVERSTATUS, dwBandWidth)
  PLOVER_FIELD(OPCSERVERSTATUS, wMajorVersion)
  PLOVER_FIELD(OPCSERVERSTATUS, wMinorVersion)
  PLOVER_FIELD(OPCSERVERSTATUS, wBuildNumber)
  PLOVER_FIELD(OPCSERVERSTATUS, wReserved)
  PLOVER_FIELD(OPCSERVERSTATUS, szVendorInfo)
  EXPECT_EQ(sizeof(::OPCSERVERSTATUS), sizeof(gen::OPCSERVERSTATUS));
  PLOVER_FIELD(OPCITEMVQT, vDataValue)
  PLOVER_FIELD(OPCITEMVQT, bQualitySpecified)
  PLOVER_FIELD(OPCITEMVQT, wQuality)
  PLOVER_FIELD(OPCITEMVQT, wReserved)
  PLOVER_FIELD(OPCITEMVQT, bTimeStampSpecified)
  PLOVER_FIELD(OPCITEMVQT, dwReserved)
  PLOVER_FIELD(OPCITEMVQT, ftTimeStamp)
  EXPECT_EQ(sizeof(::OPCITEMVQT), sizeof(gen::OPCITEMVQT));
  PLOVER_FIELD(OPCITEMPROPERTY, vtDataType)
  PLOVER_FIELD(OPCITEMPROPERTY, wReserved)
  PLOVER_FIELD(OPCITEMPROPERTY, dwPropertyID)
  PLOVER_FIELD(OPCITEMPROPERTY, szItemID)
  PLOVER_FIELD(OPCITEMPROPERTY, szDescription)
  PLOVER_FIELD(OPCITEMPROPERTY, vValue)
  PLOVER_FIELD(OPCITEMPROPERTY, hrErrorID)
  PLOVER_FIELD(OPCITEMPROPERTY, dwReserved)
  EXPECT_EQ(sizeof(::OPCITEMPROPERTY), sizeof(gen::OPCITEMPROPERTY));
  PLOVER_FIELD(OPCITEMPROPERTIES, hrErrorID)
  PLOVER_FIELD(OPCITEMPROPERTIES, dwNumProperties)
  PLOVER_FIELD(OPCITEMPROPERTIES, pItemProperties)
  PLOVER_FIELD(OPCITEMPROPERTIES, dwReserved)
  EXPECT_EQ(sizeof(::OPCITEMPROPERTIES), sizeof(gen::OPCITEMPROPERTIES));
  PLOVER_FIELD(OPCBROWSEELEMENT, szName)
  PLOVER_FIELD(OPCBROWSEELEMENT, szItemID)
  PLOVER_FIELD(OPCBROWSEELEMENT, dwFlagValue)
  PLOVER_FIELD(OPCBROWSEELEMENT, dwReserved)
  // The IDL spells the embedded property list out (see opcda.idl): same places, same types.
  {
    using Nested = ::OPCITEMPROPERTIES;
    const size_t at = offsetof(::OPCBROWSEELEMENT, ItemProperties);
    EXPECT_EQ(at + offsetof(Nested, hrErrorID), offsetof(gen::OPCBROWSEELEMENT, hrErrorID));
    EXPECT_EQ(at + offsetof(Nested, dwNumProperties),
              offsetof(gen::OPCBROWSEELEMENT, dwNumProperties));
    EXPECT_EQ(at + offsetof(Nested, pItemProperties),
              offsetof(gen::OPCBROWSEELEMENT, pItemProperties));
    EXPECT_EQ(at + offsetof(Nested, dwReserved),
              offsetof(gen::OPCBROWSEELEMENT, dwPropertiesReserved));
    static_assert(std::is_same_v<decltype(Nested::pItemProperties),
                                 Hand<decltype(gen::OPCBROWSEELEMENT::pItemProperties)>::type>);
  }
  EXPECT_EQ(sizeof(::OPCBROWSEELEMENT), sizeof(gen::OPCBROWSEELEMENT));
  PLOVER_FIELD(PloverSimLiveCounts, servers)
  PLOVER_FIELD(PloverSimLiveCounts, groups)
  PLOVER_FIELD(PloverSimLiveCounts, enumerators)
  PLOVER_FIELD(PloverSimLiveCounts, connections)
  PLOVER_FIELD(PloverSimLiveCounts, others)
  EXPECT_EQ(sizeof(::PloverSimLiveCounts), sizeof(gen::PloverSimLiveCounts));
}

TEST(IdlAgreement, EnumerationsMatchValueForValue) {
  const struct {
    const char* name;
    int hand, idl;
  } values[] = {
#define PLOVER_VALUE(v) {#v, static_cast<int>(::v), static_cast<int>(gen::v)},
      PLOVER_VALUE(OPC_DS_CACHE) PLOVER_VALUE(OPC_DS_DEVICE) PLOVER_VALUE(OPC_BRANCH)
          PLOVER_VALUE(OPC_LEAF) PLOVER_VALUE(OPC_FLAT) PLOVER_VALUE(OPC_NS_HIERARCHIAL)
              PLOVER_VALUE(OPC_NS_FLAT) PLOVER_VALUE(OPC_BROWSE_UP) PLOVER_VALUE(OPC_BROWSE_DOWN)
                  PLOVER_VALUE(OPC_BROWSE_TO) PLOVER_VALUE(OPC_NOENUM) PLOVER_VALUE(OPC_ANALOG)
                      PLOVER_VALUE(OPC_ENUMERATED) PLOVER_VALUE(OPC_STATUS_RUNNING)
                          PLOVER_VALUE(OPC_STATUS_FAILED) PLOVER_VALUE(OPC_STATUS_NOCONFIG)
                              PLOVER_VALUE(OPC_STATUS_SUSPENDED) PLOVER_VALUE(OPC_STATUS_TEST)
                                  PLOVER_VALUE(OPC_ENUM_PRIVATE_CONNECTIONS)
                                      PLOVER_VALUE(OPC_ENUM_PUBLIC_CONNECTIONS) PLOVER_VALUE(
                                          OPC_ENUM_ALL_CONNECTIONS) PLOVER_VALUE(OPC_ENUM_PRIVATE)
                                          PLOVER_VALUE(OPC_ENUM_PUBLIC) PLOVER_VALUE(OPC_ENUM_ALL)
                                              PLOVER_VALUE(OPC_BROWSE_FILTER_ALL)
                                                  PLOVER_VALUE(OPC_BROWSE_FILTER_BRANCHES)
                                                      PLOVER_VALUE(OPC_BROWSE_FILTER_ITEMS)
#undef PLOVER_VALUE
  };
  for (const auto& v : values) EXPECT_EQ(v.hand, v.idl) << v.name;
  static_assert(sizeof(::OPCDATASOURCE) == sizeof(gen::OPCDATASOURCE));
  static_assert(sizeof(::OPCBROWSEFILTER) == sizeof(gen::OPCBROWSEFILTER));
}

}  // namespace
