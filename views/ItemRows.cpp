#include "ItemRows.h"

#include <cwchar>
#include <iterator>

#include "OpcItem.h"
#include "OpcText.h"
#include "OpcVariantKind.h"

void CItemRow::TakeSnapshot(const COpcItem& item, bool withTime) {
  if (IsPlainVariantType(value.vt) && IsPlainVariantType(item.m_value.vt)) {
    value = item.m_value;
  } else if (FAILED(::VariantCopy(&value, const_cast<VARIANT*>(&item.m_value)))) {
    ::VariantClear(&value);
  }
  wQuality = item.m_wQuality;
  // A zero time stamp keeps the old one; so does one the calendar cannot show.
  const FILETIME& ft = item.m_ftTimeStamp;
  if (withTime && ft.dwHighDateTime != 0 && !(ft.dwHighDateTime & 0x80000000u)) ftTime = ft;
}

const std::wstring& CItemRow::TimeText() {
  if (ftTime.dwHighDateTime != ftShown.dwHighDateTime ||
      ftTime.dwLowDateTime != ftShown.dwLowDateTime) {
    std::wstring text = FormatLocalTime(ftTime);
    if (!text.empty()) strTime = std::move(text);
    ftShown = ftTime;
  }
  return strTime;
}

CItemRow* CItemRows::At(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_list.size()) return nullptr;
  return m_list[static_cast<size_t>(index)];
}

bool CItemRows::IsChecked(int index) const {
  const CItemRow* row = At(index);
  return row && row->bChecked;
}

std::vector<CItemRow*> CItemRows::Records() const {
  std::vector<CItemRow*> out;
  out.reserve(m_records.size());
  for (const auto& [handle, row] : m_records) out.push_back(row.get());
  return out;
}

CItemRow& CItemRows::Append(const COpcItem& item, int group, const std::wstring& groupName) {
  std::unique_ptr<CItemRow>& slot = m_records[item.m_hClient];
  if (!slot) {
    slot = std::make_unique<CItemRow>();
    CItemRow& row = *slot;
    row.hItem = item.m_hClient;
    row.nGroup = group;
    row.strGroupName = groupName;
    row.strItemId = item.m_strItemId;
    row.bChecked = item.m_bActive != FALSE;
    row.TakeSnapshot(item, false);  // the time column stays empty until a data message
    m_groupRows[group].push_back(&row);
  }
  CItemRow& row = *slot;
  ++row.nRows;
  m_list.push_back(&row);
  return row;
}

void CItemRows::Erase(int index) {
  CItemRow* row = At(index);
  if (!row) return;
  m_list.erase(m_list.begin() + index);
  if (--row->nRows > 0) return;
  auto group = m_groupRows.find(row->nGroup);
  if (group != m_groupRows.end()) {
    std::vector<CItemRow*>& rows = group->second;
    for (auto it = rows.begin(); it != rows.end(); ++it) {
      if (*it == row) {
        rows.erase(it);
        break;
      }
    }
    if (rows.empty()) m_groupRows.erase(group);
  }
  Forget(row);
}

void CItemRows::Forget(CItemRow* row) {
  if (row->hItem != 0) {
    m_records.erase(row->hItem);
    return;
  }
  m_detached.erase(row);
}

std::vector<int> CItemRows::IndexesOfGroup(int group) const {
  std::vector<int> out;
  for (int i = static_cast<int>(m_list.size()) - 1; i >= 0; --i)
    if (m_list[static_cast<size_t>(i)]->nGroup == group) out.push_back(i);
  return out;
}

void CItemRows::EraseGroup(int group) {
  std::erase_if(m_list, [group](const CItemRow* r) { return r->nGroup == group; });
  auto rows = m_groupRows.find(group);
  if (rows == m_groupRows.end()) return;
  for (CItemRow* row : rows->second) Forget(row);
  m_groupRows.erase(rows);
}

void CItemRows::Clear() {
  m_list.clear();
  m_groupRows.clear();
  m_records.clear();
  m_detached.clear();
}

void CItemRows::DetachAll(WORD quality, const FILETIME& when) {
  for (auto& [handle, row] : m_records) {
    row->hItem = 0;
    const CItemRow* key = row.get();
    m_detached[key] = std::move(row);
  }
  m_records.clear();
  for (const auto& [key, row] : m_detached) {
    row->wQuality = quality;
    row->ftTime = when;
  }
}

std::vector<CItemRow*> CItemRows::Detached() const {
  std::vector<CItemRow*> out;
  for (const auto& [key, row] : m_detached) out.push_back(row.get());
  return out;
}

CItemRow* CItemRows::Rebind(const COpcItem& item, int group) {
  if (m_detached.empty() || item.m_hClient == 0 || m_records.count(item.m_hClient)) return nullptr;
  auto rows = m_groupRows.find(group);
  if (rows == m_groupRows.end()) return nullptr;
  for (CItemRow* row : rows->second) {
    if (row->hItem != 0 || row->strItemId != item.m_strItemId) continue;
    auto slot = m_detached.find(row);
    if (slot == m_detached.end()) return nullptr;
    row->hItem = item.m_hClient;
    row->strError.clear();
    row->bChecked = item.m_bActive != FALSE;
    m_records[item.m_hClient] = std::move(slot->second);
    m_detached.erase(slot);
    return row;
  }
  return nullptr;
}

const std::vector<CItemRow*>* CItemRows::GroupRows(int group) const {
  auto rows = m_groupRows.find(group);
  return rows == m_groupRows.end() ? nullptr : &rows->second;
}

CItemRow* CItemRows::Find(OPCHANDLE hItem) const {
  auto found = m_records.find(hItem);
  return found == m_records.end() ? nullptr : found->second.get();
}

int CItemRows::IndexOf(OPCHANDLE hItem) const {
  for (size_t i = 0; i < m_list.size(); ++i)
    if (m_list[i]->hItem == hItem) return static_cast<int>(i);
  return -1;
}

int CItemRows::FindGroupText(int start, const wchar_t* text, bool partial, bool wrap) const {
  const int count = static_cast<int>(m_list.size());
  if (!text || count == 0) return -1;
  if (start < 0 || start >= count) start = 0;
  const int end = wrap ? start + count : count;
  const size_t length = std::wcslen(text);
  for (int n = start; n < end; ++n) {
    const int i = n % count;
    wchar_t number[16];
    std::swprintf(number, std::size(number), L"%d", m_list[static_cast<size_t>(i)]->nGroup);
    if (partial ? ::_wcsnicmp(number, text, length) == 0 : ::_wcsicmp(number, text) == 0) return i;
  }
  return -1;
}
