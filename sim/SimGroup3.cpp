// The OPC DA 3.0 side of a group: reads by maximum age and writes of value, quality and time
// stamp (IOPCSyncIO2, IOPCAsyncIO3), keep-alive (IOPCGroupStateMgt2) and item deadbands
// (IOPCItemDeadbandMgt).
#include "SimGroup.h"
#include "SimServer.h"

#include <olectl.h>

#include <algorithm>

namespace plover::sim {

bool SimGroup::NeedsDevice(const GroupItem& item, DWORD maxAge) const {
  if (maxAge == 0 || !item.cached) return true;
  if (maxAge == OPC_MAXAGE_CACHE) return false;
  // Only an active item of an active group has a cache kept up to date.
  if (!m_state.active || !item.active) return true;
  return m_server->AgeMs(item.cacheTime) > maxAge;
}

// ---- keep-alive ---------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SimGroup::SetKeepAlive(DWORD dwKeepAliveTime,
                                                 DWORD* pdwRevisedKeepAliveTime) {
  if (HRESULT hr = CheckAlive(L"IOPCGroupStateMgt2::SetKeepAlive"); hr != S_OK) return hr;
  if (!pdwRevisedKeepAliveTime) return E_INVALIDARG;
  // In the steps the update timer works in.
  const DWORD revised = dwKeepAliveTime ? SimServer::ReviseRate(dwKeepAliveTime) : 0;
  m_state.keepAlive = revised;
  *pdwRevisedKeepAliveTime = revised;
  ScheduleMe();
  return revised == dwKeepAliveTime ? S_OK : OPC_S_UNSUPPORTEDRATE;
}

HRESULT STDMETHODCALLTYPE SimGroup::GetKeepAlive(DWORD* pdwKeepAliveTime) {
  if (HRESULT hr = CheckAlive(L"IOPCGroupStateMgt2::GetKeepAlive"); hr != S_OK) return hr;
  if (!pdwKeepAliveTime) return E_INVALIDARG;
  *pdwKeepAliveTime = m_state.keepAlive;
  return S_OK;
}

void SimGroup::RestartKeepAlive() {
  if (m_server && m_state.keepAlive) m_keepAliveDueMs = m_server->NowMs() + m_state.keepAlive;
}

uint64_t SimGroup::NextEventMs() const {
  return m_state.keepAlive ? std::min(m_nextDueMs, m_keepAliveDueMs) : m_nextDueMs;
}

void SimGroup::RunDue(uint64_t nowMs) {
  if (m_nextDueMs <= nowMs) {
    m_nextDueMs = nowMs + m_state.revisedRate;
    UpdateCycle();
  }
  KeepAliveTick(nowMs);
}

void SimGroup::KeepAliveTick(uint64_t nowMs) {
  if (m_server && m_state.active && m_state.keepAlive && m_keepAliveDueMs <= nowMs)
    SendKeepAlive(nowMs);
}

void SimGroup::SendKeepAlive(uint64_t nowMs) {
  // Due again a period from now whether or not anyone listens, so time always moves on.
  m_keepAliveDueMs = nowMs + m_state.keepAlive;
  IOPCDataCallback* raw = m_dataPoint.Sink<IOPCDataCallback>();
  if (!raw || !m_callbackEnabled) return;
  // No items, but arrays all the same: a proxy refuses null ones.
  CallbackBatch empty({});
  if (!empty.Ok()) return;
  ComPtr<IOPCDataCallback> sink(raw);
  KeepAlive<SimGroup> self(this);
  const HRESULT hr = sink->OnDataChange(0, m_state.hClient, S_OK, S_OK, 0, empty.handles,
                                        empty.values, empty.qualities, empty.times, empty.errors);
  if (m_server) m_server->CallbackResult(hr);
}

// ---- IOPCSyncIO2 --------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SimGroup::ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge,
                                               VARIANT** ppvValues, WORD** ppwQualities,
                                               FILETIME** ppftTimeStamps, HRESULT** ppErrors) {
  if (ppvValues) *ppvValues = nullptr;
  if (ppwQualities) *ppwQualities = nullptr;
  if (ppftTimeStamps) *ppftTimeStamps = nullptr;
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCSyncIO2::ReadMaxAge"); hr != S_OK) return hr;
  if (dwCount == 0 || !phServer || !pdwMaxAge || !ppvValues || !ppwQualities || !ppftTimeStamps ||
      !ppErrors)
    return E_INVALIDARG;
  auto* values = CoTaskArray<VARIANT>(dwCount);
  auto* qualities = CoTaskArray<WORD>(dwCount);
  auto* times = CoTaskArray<FILETIME>(dwCount);
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!values || !qualities || !times || !errors) {
    CoTaskMemFree(values);
    CoTaskMemFree(qualities);
    CoTaskMemFree(times);
    CoTaskMemFree(errors);
    return E_OUTOFMEMORY;
  }
  bool anyFailed = false;
  for (DWORD i = 0; i < dwCount; ++i) {
    GroupItem* item = FindItem(phServer[i]);
    if (!item)
      errors[i] = OPC_E_INVALIDHANDLE;
    else
      ReadItem(*item, NeedsDevice(*item, pdwMaxAge[i]), &values[i], &qualities[i], &times[i],
               &errors[i]);
    anyFailed = anyFailed || FAILED(errors[i]);
  }
  *ppvValues = values;
  *ppwQualities = qualities;
  *ppftTimeStamps = times;
  *ppErrors = errors;
  return anyFailed ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE SimGroup::WriteVQT(DWORD dwCount, OPCHANDLE* phServer,
                                             OPCITEMVQT* pItemVQT, HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCSyncIO2::WriteVQT"); hr != S_OK) return hr;
  if (dwCount == 0 || !phServer || !pItemVQT || !ppErrors) return E_INVALIDARG;
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!errors) return E_OUTOFMEMORY;
  bool anyFailed = false;
  for (DWORD i = 0; i < dwCount; ++i) {
    GroupItem* item = FindItem(phServer[i]);
    errors[i] = item ? WriteItem(*item, pItemVQT[i].vDataValue, &pItemVQT[i]) : OPC_E_INVALIDHANDLE;
    anyFailed = anyFailed || FAILED(errors[i]);
  }
  *ppErrors = errors;
  return anyFailed ? S_FALSE : S_OK;
}

// ---- IOPCAsyncIO3 -------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SimGroup::ReadMaxAge(DWORD dwCount, OPCHANDLE* phServer, DWORD* pdwMaxAge,
                                               DWORD dwTransactionID, DWORD* pdwCancelID,
                                               HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO3::ReadMaxAge"); hr != S_OK) return hr;
  if (!m_dataPoint.Connected()) return CONNECT_E_NOCONNECTION;
  if (dwCount == 0 || !phServer || !pdwMaxAge || !pdwCancelID || !ppErrors) return E_INVALIDARG;
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!errors) return E_OUTOFMEMORY;
  std::vector<std::pair<OPCHANDLE, OPCHANDLE>> valid;
  std::vector<DWORD> ages;
  for (DWORD i = 0; i < dwCount; ++i) {
    GroupItem* item = FindItem(phServer[i]);
    if (!item) {
      errors[i] = OPC_E_INVALIDHANDLE;
    } else if (!(m_server->Space().Item(item->index).access & kReadable)) {
      errors[i] = OPC_E_BADRIGHTS;
    } else {
      valid.emplace_back(phServer[i], item->hClient);
      ages.push_back(pdwMaxAge[i]);
    }
  }
  const bool all = valid.size() == dwCount;
  *pdwCancelID = valid.empty()
                     ? 0
                     : Defer2(dwTransactionID,
                              [valid = std::move(valid), ages = std::move(ages), dwTransactionID](
                                  SimGroup* g) { g->CompleteRead2(valid, ages, dwTransactionID); });
  *ppErrors = errors;
  return all ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE SimGroup::WriteVQT(DWORD dwCount, OPCHANDLE* phServer,
                                             OPCITEMVQT* pItemVQT, DWORD dwTransactionID,
                                             DWORD* pdwCancelID, HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO3::WriteVQT"); hr != S_OK) return hr;
  if (!m_dataPoint.Connected()) return CONNECT_E_NOCONNECTION;
  if (dwCount == 0 || !phServer || !pItemVQT || !pdwCancelID || !ppErrors) return E_INVALIDARG;
  return QueueWrite2(dwCount, phServer, nullptr, pItemVQT, dwTransactionID, pdwCancelID, ppErrors);
}

HRESULT STDMETHODCALLTYPE SimGroup::RefreshMaxAge(DWORD dwMaxAge, DWORD dwTransactionID,
                                                  DWORD* pdwCancelID) {
  if (HRESULT hr = CheckAlive(L"IOPCAsyncIO3::RefreshMaxAge"); hr != S_OK) return hr;
  if (!m_dataPoint.Connected()) return CONNECT_E_NOCONNECTION;
  if (!pdwCancelID) return E_INVALIDARG;
  bool anyActive = false;
  for (const auto& [h, item] : m_items) anyActive = anyActive || item.active;
  if (!m_state.active || !anyActive) return E_FAIL;  // as Refresh2
  *pdwCancelID = Defer2(dwTransactionID, [dwMaxAge, dwTransactionID](SimGroup* g) {
    g->CompleteRefresh2(dwMaxAge, dwTransactionID);
  });
  return S_OK;
}

// ---- IOPCItemDeadbandMgt ------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE SimGroup::SetItemDeadband(DWORD dwCount, OPCHANDLE* phServer,
                                                    FLOAT* pPercentDeadband, HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCItemDeadbandMgt::SetItemDeadband"); hr != S_OK) return hr;
  if (dwCount == 0 || !phServer || !pPercentDeadband || !ppErrors) return E_INVALIDARG;
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!errors) return E_OUTOFMEMORY;
  bool anyFailed = false;
  for (DWORD i = 0; i < dwCount; ++i) {
    GroupItem* item = FindItem(phServer[i]);
    const float band = pPercentDeadband[i];
    if (!item)
      errors[i] = OPC_E_INVALIDHANDLE;
    else if (!(band >= 0.0f && band <= 100.0f))  // NaN fails too
      errors[i] = E_INVALIDARG;
    else if (m_server->Space().Item(item->index).euType != kEuAnalog)
      errors[i] = OPC_E_DEADBANDNOTSUPPORTED;
    else
      item->deadband = band;
    anyFailed = anyFailed || FAILED(errors[i]);
  }
  *ppErrors = errors;
  return anyFailed ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE SimGroup::GetItemDeadband(DWORD dwCount, OPCHANDLE* phServer,
                                                    FLOAT** ppPercentDeadband, HRESULT** ppErrors) {
  if (ppPercentDeadband) *ppPercentDeadband = nullptr;
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCItemDeadbandMgt::GetItemDeadband"); hr != S_OK) return hr;
  if (dwCount == 0 || !phServer || !ppPercentDeadband || !ppErrors) return E_INVALIDARG;
  auto* bands = CoTaskArray<FLOAT>(dwCount);
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!bands || !errors) {
    CoTaskMemFree(bands);
    CoTaskMemFree(errors);
    return E_OUTOFMEMORY;
  }
  bool anyFailed = false;
  for (DWORD i = 0; i < dwCount; ++i) {
    GroupItem* item = FindItem(phServer[i]);
    if (!item)
      errors[i] = OPC_E_INVALIDHANDLE;
    else if (item->deadband < 0.0f)
      errors[i] = OPC_E_DEADBANDNOTSET;
    else
      bands[i] = item->deadband;
    anyFailed = anyFailed || FAILED(errors[i]);
  }
  *ppPercentDeadband = bands;
  *ppErrors = errors;
  return anyFailed ? S_FALSE : S_OK;
}

HRESULT STDMETHODCALLTYPE SimGroup::ClearItemDeadband(DWORD dwCount, OPCHANDLE* phServer,
                                                      HRESULT** ppErrors) {
  if (ppErrors) *ppErrors = nullptr;
  if (HRESULT hr = CheckAlive(L"IOPCItemDeadbandMgt::ClearItemDeadband"); hr != S_OK) return hr;
  if (dwCount == 0 || !phServer || !ppErrors) return E_INVALIDARG;
  auto* errors = CoTaskArray<HRESULT>(dwCount);
  if (!errors) return E_OUTOFMEMORY;
  bool anyFailed = false;
  for (DWORD i = 0; i < dwCount; ++i) {
    GroupItem* item = FindItem(phServer[i]);
    if (!item)
      errors[i] = OPC_E_INVALIDHANDLE;
    else if (item->deadband < 0.0f)
      errors[i] = OPC_E_DEADBANDNOTSET;
    else
      item->deadband = -1.0f;  // the group's again
    anyFailed = anyFailed || FAILED(errors[i]);
  }
  *ppErrors = errors;
  return anyFailed ? S_FALSE : S_OK;
}

}  // namespace plover::sim
