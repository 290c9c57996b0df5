// Our declarations of the OPC Data Access 1.0/2.0/3.0 custom interfaces and the OPC Common ones
// every post-1.0 server carries (IConnectionPointContainer and IConnectionPoint are the
// platform's own, from ocidl.h).
// Binary compatibility with vendors' servers and their proxies rests on these: IIDs, vtable
// order, parameter lists and structure layouts follow the OPC DA standard exactly.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <objidl.h>
#include <oaidl.h>
#include <ocidl.h>

typedef DWORD OPCHANDLE;

// ---- Enumerations -------------------------------------------------------------------------

typedef enum tagOPCDATASOURCE { OPC_DS_CACHE = 1, OPC_DS_DEVICE = 2 } OPCDATASOURCE;

typedef enum tagOPCBROWSETYPE { OPC_BRANCH = 1, OPC_LEAF = 2, OPC_FLAT = 3 } OPCBROWSETYPE;

// "HIERARCHIAL" is the standard's own spelling.
typedef enum tagOPCNAMESPACETYPE { OPC_NS_HIERARCHIAL = 1, OPC_NS_FLAT = 2 } OPCNAMESPACETYPE;

typedef enum tagOPCBROWSEDIRECTION {
  OPC_BROWSE_UP = 1,
  OPC_BROWSE_DOWN = 2,
  OPC_BROWSE_TO = 3
} OPCBROWSEDIRECTION;

typedef enum tagOPCEUTYPE { OPC_NOENUM = 0, OPC_ANALOG = 1, OPC_ENUMERATED = 2 } OPCEUTYPE;

typedef enum tagOPCSERVERSTATE {
  OPC_STATUS_RUNNING = 1,
  OPC_STATUS_FAILED = 2,
  OPC_STATUS_NOCONFIG = 3,
  OPC_STATUS_SUSPENDED = 4,
  OPC_STATUS_TEST = 5
} OPCSERVERSTATE;

typedef enum tagOPCENUMSCOPE {
  OPC_ENUM_PRIVATE_CONNECTIONS = 1,
  OPC_ENUM_PUBLIC_CONNECTIONS = 2,
  OPC_ENUM_ALL_CONNECTIONS = 3,
  OPC_ENUM_PRIVATE = 4,
  OPC_ENUM_PUBLIC = 5,
  OPC_ENUM_ALL = 6
} OPCENUMSCOPE;

// OPC DA 3.0: which elements IOPCBrowse::Browse returns.
typedef enum tagOPCBROWSEFILTER {
  OPC_BROWSE_FILTER_ALL = 1,
  OPC_BROWSE_FILTER_BRANCHES = 2,
  OPC_BROWSE_FILTER_ITEMS = 3
} OPCBROWSEFILTER;

// ---- Constants ------------------------------------------------------------------------------

#define OPC_READABLE 1
#define OPC_WRITEABLE 2

#define OPC_QUALITY_MASK 0xC0
#define OPC_STATUS_MASK 0xFC
#define OPC_LIMIT_MASK 0x03

#define OPC_QUALITY_BAD 0x00
#define OPC_QUALITY_UNCERTAIN 0x40
#define OPC_QUALITY_GOOD 0xC0

#define OPC_QUALITY_CONFIG_ERROR 0x04
#define OPC_QUALITY_NOT_CONNECTED 0x08
#define OPC_QUALITY_DEVICE_FAILURE 0x0C
#define OPC_QUALITY_SENSOR_FAILURE 0x10
#define OPC_QUALITY_LAST_KNOWN 0x14
#define OPC_QUALITY_COMM_FAILURE 0x18
#define OPC_QUALITY_OUT_OF_SERVICE 0x1C
#define OPC_QUALITY_WAITING_FOR_INITIAL_DATA 0x20
#define OPC_QUALITY_LAST_USABLE 0x44
#define OPC_QUALITY_SENSOR_CAL 0x50
#define OPC_QUALITY_EGU_EXCEEDED 0x54
#define OPC_QUALITY_SUB_NORMAL 0x58
#define OPC_QUALITY_LOCAL_OVERRIDE 0xD8

#define OPC_LIMIT_OK 0x00
#define OPC_LIMIT_LOW 0x01
#define OPC_LIMIT_HIGH 0x02
#define OPC_LIMIT_CONST 0x03

// OPC DA 3.0: OPCBROWSEELEMENT.dwFlagValue bits (both, one or neither).
#define OPC_BROWSE_HASCHILDREN 0x01
#define OPC_BROWSE_ISITEM 0x02

// OPC DA 3.0 MaxAge: 0 reads the device, this value the cache; anything else is milliseconds.
#define OPC_MAXAGE_DEVICE 0u
#define OPC_MAXAGE_CACHE 0xFFFFFFFFu

// Clipboard format names of the OPC DA 1.0 data streams.
#define OPC_STM_FORMAT_DATA L"OPCSTMFORMATDATA"
#define OPC_STM_FORMAT_DATATIME L"OPCSTMFORMATDATATIME"
#define OPC_STM_FORMAT_WRITECOMPLETE L"OPCSTMFORMATWRITECOMPLETE"

// ---- Result codes ---------------------------------------------------------------------------

#define OPC_E_INVALIDHANDLE ((HRESULT)0xC0040001L)
#define OPC_E_BADTYPE ((HRESULT)0xC0040004L)
#define OPC_E_PUBLIC ((HRESULT)0xC0040005L)
#define OPC_E_BADRIGHTS ((HRESULT)0xC0040006L)
#define OPC_E_UNKNOWNITEMID ((HRESULT)0xC0040007L)
#define OPC_E_INVALIDITEMID ((HRESULT)0xC0040008L)
#define OPC_E_INVALIDFILTER ((HRESULT)0xC0040009L)
#define OPC_E_UNKNOWNPATH ((HRESULT)0xC004000AL)
#define OPC_E_RANGE ((HRESULT)0xC004000BL)
#define OPC_E_DUPLICATENAME ((HRESULT)0xC004000CL)
#define OPC_S_UNSUPPORTEDRATE ((HRESULT)0x0004000DL)
#define OPC_S_CLAMP ((HRESULT)0x0004000EL)
#define OPC_S_INUSE ((HRESULT)0x0004000FL)
#define OPC_E_INVALIDCONFIGFILE ((HRESULT)0xC0040010L)
#define OPC_E_NOTFOUND ((HRESULT)0xC0040011L)
// OPC DA 2.0: the property ID is not valid for the item.
#define OPC_E_INVALID_PID ((HRESULT)0xC0040203L)
// OPC DA 3.0.
#define OPC_E_DEADBANDNOTSET ((HRESULT)0xC0040400L)
#define OPC_E_DEADBANDNOTSUPPORTED ((HRESULT)0xC0040401L)
#define OPC_E_NOBUFFERING ((HRESULT)0xC0040402L)
#define OPC_E_INVALIDCONTINUATIONPOINT ((HRESULT)0xC0040403L)
#define OPC_S_DATAQUEUEOVERFLOW ((HRESULT)0x00040404L)
#define OPC_E_RATENOTSET ((HRESULT)0xC0040405L)
#define OPC_E_NOTSUPPORTED ((HRESULT)0xC0040406L)

// ---- Item property IDs (OPC DA 2.0: 1-8 the fixed set, 100-108 the recommended set) ----------

#define OPC_PROPERTY_DATATYPE 1
#define OPC_PROPERTY_VALUE 2
#define OPC_PROPERTY_QUALITY 3
#define OPC_PROPERTY_TIMESTAMP 4
#define OPC_PROPERTY_ACCESS_RIGHTS 5
#define OPC_PROPERTY_SCAN_RATE 6
#define OPC_PROPERTY_EU_TYPE 7
#define OPC_PROPERTY_EU_INFO 8
#define OPC_PROPERTY_EU_UNITS 100
#define OPC_PROPERTY_DESCRIPTION 101
#define OPC_PROPERTY_HIGH_EU 102
#define OPC_PROPERTY_LOW_EU 103
#define OPC_PROPERTY_HIGH_IR 104
#define OPC_PROPERTY_LOW_IR 105
#define OPC_PROPERTY_CLOSE_LABEL 106
#define OPC_PROPERTY_OPEN_LABEL 107
#define OPC_PROPERTY_TIMEZONE 108

// ---- Structures (natural alignment, field order as the standard declares them) ---------------

typedef struct tagOPCITEMDEF {
  LPWSTR szAccessPath;
  LPWSTR szItemID;
  BOOL bActive;
  OPCHANDLE hClient;
  DWORD dwBlobSize;
  BYTE* pBlob;
  VARTYPE vtRequestedDataType;
  WORD wReserved;
} OPCITEMDEF;

typedef struct tagOPCITEMRESULT {
  OPCHANDLE hServer;
  VARTYPE vtCanonicalDataType;
  WORD wReserved;
  DWORD dwAccessRights;
  DWORD dwBlobSize;
  BYTE* pBlob;
} OPCITEMRESULT;

typedef struct tagOPCITEMSTATE {
  OPCHANDLE hClient;
  FILETIME ftTimeStamp;
  WORD wQuality;
  WORD wReserved;
  VARIANT vDataValue;
} OPCITEMSTATE;

typedef struct tagOPCITEMATTRIBUTES {
  LPWSTR szAccessPath;
  LPWSTR szItemID;
  BOOL bActive;
  OPCHANDLE hClient;
  OPCHANDLE hServer;
  DWORD dwAccessRights;
  DWORD dwBlobSize;
  BYTE* pBlob;
  VARTYPE vtRequestedDataType;
  VARTYPE vtCanonicalDataType;
  OPCEUTYPE dwEUType;
  VARIANT vEUInfo;
} OPCITEMATTRIBUTES;

typedef struct tagOPCSERVERSTATUS {
  FILETIME ftStartTime;
  FILETIME ftCurrentTime;
  FILETIME ftLastUpdateTime;
  OPCSERVERSTATE dwServerState;
  DWORD dwGroupCount;
  DWORD dwBandWidth;
  WORD wMajorVersion;
  WORD wMinorVersion;
  WORD wBuildNumber;
  WORD wReserved;
  LPWSTR szVendorInfo;
} OPCSERVERSTATUS;

// OPC DA 3.0. Embedded pointers may be NULL; senders zero the reserved fields.
typedef struct tagOPCITEMVQT {
  VARIANT vDataValue;
  BOOL bQualitySpecified;
  WORD wQuality;
  WORD wReserved;
  BOOL bTimeStampSpecified;
  DWORD dwReserved;
  FILETIME ftTimeStamp;
} OPCITEMVQT;

typedef struct tagOPCITEMPROPERTY {
  VARTYPE vtDataType;
  WORD wReserved;
  DWORD dwPropertyID;
  LPWSTR szItemID;
  LPWSTR szDescription;
  VARIANT vValue;
  HRESULT hrErrorID;
  DWORD dwReserved;
} OPCITEMPROPERTY;

typedef struct tagOPCITEMPROPERTIES {
  HRESULT hrErrorID;
  DWORD dwNumProperties;
  OPCITEMPROPERTY* pItemProperties;
  DWORD dwReserved;
} OPCITEMPROPERTIES;

typedef struct tagOPCBROWSEELEMENT {
  LPWSTR szName;
  LPWSTR szItemID;
  DWORD dwFlagValue;
  DWORD dwReserved;
  OPCITEMPROPERTIES ItemProperties;
} OPCBROWSEELEMENT;

// Stream headers: the wire layout is the same on every build (no pointers inside).
typedef struct tagOPCGROUPHEADER {
  DWORD dwSize;
  DWORD dwItemCount;
  OPCHANDLE hClientGroup;
  DWORD dwTransactionID;
  HRESULT hrStatus;
} OPCGROUPHEADER;

typedef struct tagOPCITEMHEADER1 {
  OPCHANDLE hClient;
  DWORD dwValueOffset;
  WORD wQuality;
  WORD wReserved;
  FILETIME ftTimeStampItem;
} OPCITEMHEADER1;

typedef struct tagOPCITEMHEADER2 {
  OPCHANDLE hClient;
  DWORD dwValueOffset;
  WORD wQuality;
  WORD wReserved;
} OPCITEMHEADER2;

typedef struct tagOPCGROUPHEADERWRITE {
  DWORD dwItemCount;
  OPCHANDLE hClientGroup;
  DWORD dwTransactionID;
  HRESULT hrStatus;
} OPCGROUPHEADERWRITE;

typedef struct tagOPCITEMHEADERWRITE {
  OPCHANDLE hClient;
  HRESULT dwError;
} OPCITEMHEADERWRITE;

#ifdef __cplusplus
static_assert(sizeof(OPCGROUPHEADER) == 20, "OPCGROUPHEADER is 20 bytes on the wire");
static_assert(sizeof(OPCITEMHEADER1) == 20, "OPCITEMHEADER1 is 20 bytes on the wire");
static_assert(sizeof(OPCITEMHEADER2) == 12, "OPCITEMHEADER2 is 12 bytes on the wire");
static_assert(sizeof(OPCGROUPHEADERWRITE) == 16, "OPCGROUPHEADERWRITE is 16 bytes on the wire");
static_assert(sizeof(OPCITEMHEADERWRITE) == 8, "OPCITEMHEADERWRITE is 8 bytes on the wire");
#endif

// ---- Interface identifiers and component categories -------------------------------------------

#ifdef __cplusplus
extern "C" {
#endif
extern const IID IID_IOPCServer;
extern const IID IID_IOPCServerPublicGroups;
extern const IID IID_IOPCBrowseServerAddressSpace;
extern const IID IID_IOPCGroupStateMgt;
extern const IID IID_IOPCPublicGroupStateMgt;
extern const IID IID_IOPCSyncIO;
extern const IID IID_IOPCAsyncIO;
extern const IID IID_IOPCItemMgt;
extern const IID IID_IEnumOPCItemAttributes;
extern const IID IID_IOPCDataCallback;
extern const IID IID_IOPCAsyncIO2;
extern const IID IID_IOPCItemProperties;
extern const IID IID_IOPCCommon;
extern const IID IID_IOPCShutdown;
extern const IID IID_IOPCBrowse;
extern const IID IID_IOPCItemIO;
extern const IID IID_IOPCSyncIO2;
extern const IID IID_IOPCAsyncIO3;
extern const IID IID_IOPCGroupStateMgt2;
extern const IID IID_IOPCItemDeadbandMgt;
extern const IID IID_IOPCItemSamplingMgt;
extern const GUID CATID_OPCDAServer10;
extern const GUID CATID_OPCDAServer20;
extern const GUID CATID_OPCDAServer30;
#ifdef __cplusplus
}
#endif

// ---- Interfaces (C++ only; vtable order after IUnknown as the standard gives it) ---------------

#ifdef __cplusplus

struct IOPCServer : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddGroup(LPCWSTR szName, BOOL bActive,
                                             DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                                             LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD dwLCID,
                                             OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate,
                                             REFIID riid, IUnknown** ppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LCID dwLocale,
                                                   LPWSTR* ppString) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetGroupByName(LPCWSTR szName, REFIID riid,
                                                   IUnknown** ppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(OPCSERVERSTATUS** ppServerStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid,
                                                          IUnknown** ppUnk) = 0;
};

struct IOPCServerPublicGroups : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetPublicGroupByName(LPCWSTR szName, REFIID riid,
                                                         IUnknown** ppUnk) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemovePublicGroup(OPCHANDLE hServerGroup, BOOL bForce) = 0;
};

struct IOPCBrowseServerAddressSpace : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) = 0;
  virtual HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection,
                                                         LPCWSTR szString) = 0;
  virtual HRESULT STDMETHODCALLTYPE BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType,
                                                     LPCWSTR szFilterCriteria,
                                                     VARTYPE vtDataTypeFilter,
                                                     DWORD dwAccessRightsFilter,
                                                     IEnumString** ppIEnumString) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) = 0;
  virtual HRESULT STDMETHODCALLTYPE BrowseAccessPaths(LPCWSTR szItemID,
                                                      IEnumString** ppIEnumString) = 0;
};

struct IOPCGroupStateMgt : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName,
                                             LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID,
                                             OPCHANDLE* phClientGroup,
                                             OPCHANDLE* phServerGroup) = 0;
  // Every in-pointer may be null, meaning "leave unchanged".
  virtual HRESULT STDMETHODCALLTYPE SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate,
                                             BOOL* pActive, LONG* pTimeBias,
                                             FLOAT* pPercentDeadband, DWORD* pLCID,
                                             OPCHANDLE* phClientGroup) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetName(LPCWSTR szName) = 0;
  virtual HRESULT STDMETHODCALLTYPE CloneGroup(LPCWSTR szName, REFIID riid, IUnknown** ppUnk) = 0;
};

struct IOPCPublicGroupStateMgt : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetState(BOOL* pPublic) = 0;
  virtual HRESULT STDMETHODCALLTYPE MoveToPublic() = 0;
};

struct IOPCSyncIO : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                                         OPCITEMSTATE** ppItemValues, HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                                          HRESULT** ppErrors) = 0;
};

struct IOPCAsyncIO : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount,
                                         OPCHANDLE* phServer, DWORD* pTransactionID,
                                         HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE* phServer,
                                          VARIANT* pItemValues, DWORD* pTransactionID,
                                          HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE Refresh(DWORD dwConnection, OPCDATASOURCE dwSource,
                                            DWORD* pTransactionID) = 0;
  virtual HRESULT STDMETHODCALLTYPE Cancel(DWORD dwTransactionID) = 0;
};

struct IOPCItemMgt : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddItems(DWORD dwCount, OPCITEMDEF* pItemArray,
                                             OPCITEMRESULT** ppAddResults, HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray,
                                                  BOOL bBlobUpdate,
                                                  OPCITEMRESULT** ppValidationResults,
                                                  HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveItems(DWORD dwCount, OPCHANDLE* phServer,
                                                HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive,
                                                   HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetClientHandles(DWORD dwCount, OPCHANDLE* phServer,
                                                     OPCHANDLE* phClient, HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDatatypes(DWORD dwCount, OPCHANDLE* phServer,
                                                 VARTYPE* pRequestedDatatypes,
                                                 HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateEnumerator(REFIID riid, IUnknown** ppUnk) = 0;
};

struct IEnumOPCItemAttributes : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray,
                                         ULONG* pceltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumOPCItemAttributes** ppEnumItemAttributes) = 0;
};

// ---- OPC DA 2.0 and OPC Common ----------------------------------------------------------------

// On the server object of every post-1.0 server.
struct IOPCCommon : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetLocaleID(LCID dwLcid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* pdwLcid) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) = 0;
  // No locale parameter: the session's locale applies.
  virtual HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LPWSTR* ppString) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetClientName(LPCWSTR szName) = 0;
};

// Implemented by the client; advised on the server object's connection point.
struct IOPCShutdown : public IUnknown {
  // szReason belongs to the server; it is an empty string, never null, when none is given.
  virtual HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR szReason) = 0;
};

// Implemented by the client; advised on a group's connection point. Every array belongs to
// the server, which frees it after the call returns: the client copies what it keeps.
struct IOPCDataCallback : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OnDataChange(DWORD dwTransid, OPCHANDLE hGroup,
                                                 HRESULT hrMasterquality, HRESULT hrMastererror,
                                                 DWORD dwCount, OPCHANDLE* phClientItems,
                                                 VARIANT* pvValues, WORD* pwQualities,
                                                 FILETIME* pftTimeStamps, HRESULT* pErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup,
                                                   HRESULT hrMasterquality, HRESULT hrMastererror,
                                                   DWORD dwCount, OPCHANDLE* phClientItems,
                                                   VARIANT* pvValues, WORD* pwQualities,
                                                   FILETIME* pftTimeStamps, HRESULT* pErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup,
                                                    HRESULT hrMastererr, DWORD dwCount,
                                                    OPCHANDLE* pClienthandles,
                                                    HRESULT* pErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) = 0;
};

// On the group; results arrive through its IOPCDataCallback connection.
struct IOPCAsyncIO2 : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID,
                                         DWORD* pdwCancelID, HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                                          DWORD dwTransactionID, DWORD* pdwCancelID,
                                          HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID,
                                             DWORD* pdwCancelID) = 0;
  virtual HRESULT STDMETHODCALLTYPE Cancel2(DWORD dwCancelID) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEnable(BOOL bEnable) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetEnable(BOOL* pbEnable) = 0;
};

// On the server object. szItemID is input only, though declared without const.
struct IOPCItemProperties : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount,
                                                             DWORD** ppPropertyIDs,
                                                             LPWSTR** ppDescriptions,
                                                             VARTYPE** ppvtDataTypes) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetItemProperties(LPWSTR szItemID, DWORD dwCount,
                                                      DWORD* pdwPropertyIDs, VARIANT** ppvData,
                                                      HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE LookupItemIDs(LPWSTR szItemID, DWORD dwCount,
                                                  DWORD* pdwPropertyIDs, LPWSTR** ppszNewItemIDs,
                                                  HRESULT** ppErrors) = 0;
};

// ---- OPC DA 3.0 ---------------------------------------------------------------------------------

// On the server object. Every string parameter is [ref]: "" for the root or no filter, never
// NULL. The continuation point is [in, out]: pass NULL or a CoTaskMemAlloc'd string (the server
// frees it) and free what comes back; NULL or "" there means the level is complete.
struct IOPCBrowse : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetProperties(DWORD dwItemCount, LPWSTR* pszItemIDs,
                                                  BOOL bReturnPropertyValues, DWORD dwPropertyCount,
                                                  DWORD* pdwPropertyIDs,
                                                  OPCITEMPROPERTIES** ppItemProperties) = 0;
  virtual HRESULT STDMETHODCALLTYPE Browse(LPWSTR szItemID, LPWSTR* pszContinuationPoint,
                                           DWORD dwMaxElementsReturned,
                                           OPCBROWSEFILTER dwBrowseFilter,
                                           LPWSTR szElementNameFilter, LPWSTR szVendorFilter,
                                           BOOL bReturnAllProperties, BOOL bReturnPropertyValues,
                                           DWORD dwPropertyCount, DWORD* pdwPropertyIDs,
                                           BOOL* pbMoreElements, DWORD* pdwCount,
                                           OPCBROWSEELEMENT** ppBrowseElements) = 0;
};

// On the server object: reads and writes by item ID, no group needed.
struct IOPCItemIO : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Read(DWORD dwCount, LPCWSTR* pszItemIDs, DWORD* pdwMaxAge,
                                         VARIANT** ppvValues, WORD** ppwQualities,
                                         FILETIME** ppftTimeStamps, HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE WriteVQT(DWORD dwCount, LPCWSTR* pszItemIDs,
                                             OPCITEMVQT* pItemVQT, HRESULT** ppErrors) = 0;
};

struct IOPCSyncIO2 : public IOPCSyncIO {
  virtual HRESULT STDMETHODCALLTYPE ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge,
                                               VARIANT** ppvValues, WORD** ppwQualities,
                                               FILETIME** ppftTimeStamps, HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE WriteVQT(DWORD dwCount, OPCHANDLE* phServer,
                                             OPCITEMVQT* pItemVQT, HRESULT** ppErrors) = 0;
};

struct IOPCAsyncIO3 : public IOPCAsyncIO2 {
  virtual HRESULT STDMETHODCALLTYPE ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge,
                                               DWORD dwTransactionID, DWORD* pdwCancelID,
                                               HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE WriteVQT(DWORD dwCount, OPCHANDLE* phServer,
                                             OPCITEMVQT* pItemVQT, DWORD dwTransactionID,
                                             DWORD* pdwCancelID, HRESULT** ppErrors) = 0;
  // Completes in OnDataChange with the transaction ID.
  virtual HRESULT STDMETHODCALLTYPE RefreshMaxAge(DWORD dwMaxAge, DWORD dwTransactionID,
                                                  DWORD* pdwCancelID) = 0;
};

// A keep-alive is an OnDataChange with dwCount 0.
struct IOPCGroupStateMgt2 : public IOPCGroupStateMgt {
  virtual HRESULT STDMETHODCALLTYPE SetKeepAlive(DWORD dwKeepAliveTime,
                                                 DWORD* pdwRevisedKeepAliveTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetKeepAlive(DWORD* pdwKeepAliveTime) = 0;
};

struct IOPCItemDeadbandMgt : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetItemDeadband(DWORD dwCount, OPCHANDLE* phServer,
                                                    FLOAT* pPercentDeadband,
                                                    HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetItemDeadband(DWORD dwCount, OPCHANDLE* phServer,
                                                    FLOAT** ppPercentDeadband,
                                                    HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearItemDeadband(DWORD dwCount, OPCHANDLE* phServer,
                                                      HRESULT** ppErrors) = 0;
};

struct IOPCItemSamplingMgt : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetItemSamplingRate(DWORD dwCount, OPCHANDLE* phServer,
                                                        DWORD* pdwRequestedSamplingRate,
                                                        DWORD** ppdwRevisedSamplingRate,
                                                        HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetItemSamplingRate(DWORD dwCount, OPCHANDLE* phServer,
                                                        DWORD** ppdwSamplingRate,
                                                        HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearItemSamplingRate(DWORD dwCount, OPCHANDLE* phServer,
                                                          HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetItemBufferEnable(DWORD dwCount, OPCHANDLE* phServer,
                                                        BOOL* pbEnable, HRESULT** ppErrors) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetItemBufferEnable(DWORD dwCount, OPCHANDLE* phServer,
                                                        BOOL** ppbEnable, HRESULT** ppErrors) = 0;
};

// Lets __uuidof and IID_PPV_ARGS work with these interfaces.
__CRT_UUID_DECL(IOPCServer, 0x39c13a4d, 0x011e, 0x11d0, 0x96, 0x75, 0x00, 0x20, 0xaf, 0xd8, 0xad,
                0xb3)
__CRT_UUID_DECL(IOPCServerPublicGroups, 0x39c13a4e, 0x011e, 0x11d0, 0x96, 0x75, 0x00, 0x20, 0xaf,
                0xd8, 0xad, 0xb3)
__CRT_UUID_DECL(IOPCBrowseServerAddressSpace, 0x39c13a4f, 0x011e, 0x11d0, 0x96, 0x75, 0x00, 0x20,
                0xaf, 0xd8, 0xad, 0xb3)
__CRT_UUID_DECL(IOPCGroupStateMgt, 0x39c13a50, 0x011e, 0x11d0, 0x96, 0x75, 0x00, 0x20, 0xaf, 0xd8,
                0xad, 0xb3)
__CRT_UUID_DECL(IOPCPublicGroupStateMgt, 0x39c13a51, 0x011e, 0x11d0, 0x96, 0x75, 0x00, 0x20, 0xaf,
                0xd8, 0xad, 0xb3)
__CRT_UUID_DECL(IOPCSyncIO, 0x39c13a52, 0x011e, 0x11d0, 0x96, 0x75, 0x00, 0x20, 0xaf, 0xd8, 0xad,
                0xb3)
__CRT_UUID_DECL(IOPCAsyncIO, 0x39c13a53, 0x011e, 0x11d0, 0x96, 0x75, 0x00, 0x20, 0xaf, 0xd8, 0xad,
                0xb3)
__CRT_UUID_DECL(IOPCItemMgt, 0x39c13a54, 0x011e, 0x11d0, 0x96, 0x75, 0x00, 0x20, 0xaf, 0xd8, 0xad,
                0xb3)
__CRT_UUID_DECL(IEnumOPCItemAttributes, 0x39c13a55, 0x011e, 0x11d0, 0x96, 0x75, 0x00, 0x20, 0xaf,
                0xd8, 0xad, 0xb3)
__CRT_UUID_DECL(IOPCDataCallback, 0x39c13a70, 0x011e, 0x11d0, 0x96, 0x75, 0x00, 0x20, 0xaf, 0xd8,
                0xad, 0xb3)
__CRT_UUID_DECL(IOPCAsyncIO2, 0x39c13a71, 0x011e, 0x11d0, 0x96, 0x75, 0x00, 0x20, 0xaf, 0xd8, 0xad,
                0xb3)
__CRT_UUID_DECL(IOPCItemProperties, 0x39c13a72, 0x011e, 0x11d0, 0x96, 0x75, 0x00, 0x20, 0xaf, 0xd8,
                0xad, 0xb3)
__CRT_UUID_DECL(IOPCCommon, 0xf31dfde2, 0x07b6, 0x11d2, 0xb2, 0xd8, 0x00, 0x60, 0x08, 0x3b, 0xa1,
                0xfb)
__CRT_UUID_DECL(IOPCShutdown, 0xf31dfde1, 0x07b6, 0x11d2, 0xb2, 0xd8, 0x00, 0x60, 0x08, 0x3b, 0xa1,
                0xfb)
__CRT_UUID_DECL(IOPCBrowse, 0x39227004, 0xa18f, 0x4b57, 0x8b, 0x0a, 0x52, 0x35, 0x67, 0x0f, 0x44,
                0x68)
__CRT_UUID_DECL(IOPCItemIO, 0x85c0b427, 0x2893, 0x4cbc, 0xbd, 0x78, 0xe5, 0xfc, 0x51, 0x46, 0xf0,
                0x8f)
__CRT_UUID_DECL(IOPCSyncIO2, 0x730f5f0f, 0x55b1, 0x4c81, 0x9e, 0x18, 0xff, 0x8a, 0x09, 0x04, 0xe1,
                0xfa)
__CRT_UUID_DECL(IOPCAsyncIO3, 0x0967b97b, 0x36ef, 0x423e, 0xb6, 0xf8, 0x6b, 0xff, 0x1e, 0x40, 0xd3,
                0x9d)
__CRT_UUID_DECL(IOPCGroupStateMgt2, 0x8e368666, 0xd72e, 0x4f78, 0x87, 0xed, 0x64, 0x76, 0x11, 0xc6,
                0x1c, 0x9f)
__CRT_UUID_DECL(IOPCItemDeadbandMgt, 0x5946da93, 0x8b39, 0x4ec8, 0xab, 0x3d, 0xaa, 0x73, 0xdf, 0x5b,
                0xc8, 0x6f)
__CRT_UUID_DECL(IOPCItemSamplingMgt, 0x3e22d313, 0xf08b, 0x41a5, 0x86, 0xc8, 0x95, 0xe9, 0x5c, 0xb4,
                0x9f, 0xfc)

#endif  // __cplusplus
