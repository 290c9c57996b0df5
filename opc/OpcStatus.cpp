#include "OpcStatus.h"

#include <algorithm>

#include "ComPtr.h"
#include "OpcText.h"

namespace {

std::wstring WideText(const wchar_t* s) {
  return s ? std::wstring(s) : std::wstring();
}

// Everything the server allocated for one attributes record, except the record itself.
void FreeAttributeContents(OPCITEMATTRIBUTES& a) {
  ::CoTaskMemFree(a.szItemID);
  ::CoTaskMemFree(a.szAccessPath);
  ::CoTaskMemFree(a.pBlob);
  ::VariantClear(&a.vEUInfo);
}

void CopyAttributes(const OPCITEMATTRIBUTES& a, ItemAttributeText& info) {
  info.m_bActive = a.bActive;
  info.m_hServer = a.hServer;
  info.m_hClient = a.hClient;
  info.m_strItemId = WideText(a.szItemID);
  info.m_strAccessPath = WideText(a.szAccessPath);
  info.m_strAccessRights = GetAccessRightsText(a.dwAccessRights);
  info.m_strCanonicalType = GetAttributeTypeText(a.vtCanonicalDataType);
  info.m_strRequestedType = GetAttributeTypeText(a.vtRequestedDataType);
  info.m_strEuType = GetEuTypeText(a.dwEUType);
}

}  // namespace

namespace {

// Calls take(record) for every record the group's enumerator yields, then frees it. Records
// are asked for many at a time: a large group is one call per hundreds of items.
template <class Take>
void ScanAttributes(IUnknown* group, Take take) {
  TComPtr<IOPCItemMgt> items;
  if (FAILED(items.QueryFrom(group)) || !items) return;
  TComPtr<IEnumOPCItemAttributes> attributes;
  // S_FALSE: the group has no items, and there is no enumerator to ask.
  HRESULT hr = items->CreateEnumerator(IID_IEnumOPCItemAttributes, attributes.PutUnknown());
  if (hr != S_OK || !attributes) return;
  constexpr ULONG kChunk = 256;
  for (;;) {
    OPCITEMATTRIBUTES* records = nullptr;
    ULONG fetched = 0;
    hr = attributes->Next(kChunk, &records, &fetched);
    // No more than asked for, whatever a faulty server says; whatever arrived is freed,
    // also with the call that ends the scan.
    if (!records || FAILED(hr)) fetched = 0;
    fetched = std::min(fetched, kChunk);
    for (ULONG i = 0; i < fetched; ++i) {
      take(records[i]);
      FreeAttributeContents(records[i]);
    }
    ::CoTaskMemFree(records);
    // A short or empty delivery ends the scan, so a faulty server cannot keep us here
    // for ever.
    if (hr != S_OK || fetched != kChunk) break;
  }
}

}  // namespace

void FillItemAttributes(IUnknown* group, OPCHANDLE hClient, ItemAttributeText& info) {
  ScanAttributes(group, [&](const OPCITEMATTRIBUTES& a) {
    if (a.hClient == hClient) CopyAttributes(a, info);
  });
}

void FillGroupAttributes(IUnknown* group, ItemAttributeMap& byClient) {
  ScanAttributes(group,
                 [&](const OPCITEMATTRIBUTES& a) { CopyAttributes(a, byClient[a.hClient]); });
}

void FillGroupActiveStates(IUnknown* group, ItemActiveMap& byClient) {
  ScanAttributes(group, [&](const OPCITEMATTRIBUTES& a) { byClient[a.hClient] = a.bActive; });
}

std::wstring GetServerStateText(DWORD state) {
  switch (state) {
    case OPC_STATUS_RUNNING:
      return L"RUNING";  // sic: the program's own spelling
    case OPC_STATUS_FAILED:
      return L"FAILED";
    case OPC_STATUS_NOCONFIG:
      return L"UNCONFIGURED";
    case OPC_STATUS_SUSPENDED:
      return L"SUSPENDED";
    case OPC_STATUS_TEST:
      return L"TEST";
    default:
      return L"UNKNOWN";
  }
}

void FillServerStatus(IOPCServer* server, ServerStatusText& info) {
  if (!server) return;
  OPCSERVERSTATUS* status = nullptr;
  if (FAILED(server->GetStatus(&status)) || !status) return;
  info.m_dwBandwidth = status->dwBandWidth == 0xFFFFFFFF ? 0 : status->dwBandWidth;
  info.m_dwGroupCount = status->dwGroupCount;
  info.m_strStartTime = FormatLocalTime(status->ftStartTime);
  info.m_strLastUpdateTime = FormatLocalTime(status->ftLastUpdateTime);
  info.m_strCurrentTime = FormatLocalTime(status->ftCurrentTime);
  info.m_strState = GetServerStateText(status->dwServerState);
  info.m_strVendor = WideText(status->szVendorInfo);
  ::CoTaskMemFree(status->szVendorInfo);
  ::CoTaskMemFree(status);
}
