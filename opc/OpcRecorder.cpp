#include "OpcRecorder.h"

#include "ItemHandleTable.h"
#include "OpcItem.h"

bool COpcRecorder::Open(const std::wstring& path, std::vector<Key> only, DWORD* error) {
  Close();
  m_dwError = 0;
  m_nCount = 0;
  m_verdicts.clear();
  m_only =
      std::set<Key>(std::make_move_iterator(only.begin()), std::make_move_iterator(only.end()));
  // Others may read the file while it grows.
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = ::GetLastError();
    return false;
  }
  m_strPath = path;
  m_file = std::make_unique<CHandleWriter>(h, true);
  m_lines = std::make_unique<CWatchLines>(*m_file, RecordFormat::kCsv);
  m_lines->Header();
  m_lastFlush = ::GetTickCount64();
  if (!Flush()) {
    if (error) *error = m_dwError;
    m_lines.reset();
    m_file.reset();
    ::DeleteFileW(path.c_str());
    return false;
  }
  return true;
}

bool COpcRecorder::Wanted(OPCHANDLE hGroup, const COpcItem& item) {
  if (m_only.empty()) return true;
  const OPCHANDLE h = item.m_hClient;
  if (h == 0) return m_only.count({hGroup, item.m_strItemId}) != 0;
  const size_t slot = h & CItemHandleTable::kIndexMask;
  if (slot >= m_verdicts.size()) m_verdicts.resize(slot + 1);
  Verdict& v = m_verdicts[slot];
  // A slot used again by another item, or the same item in another group, is decided anew.
  if (v.hClient != h || v.hGroup != hGroup)
    v = {h, hGroup, m_only.count({hGroup, item.m_strItemId}) != 0};
  return v.wanted;
}

void COpcRecorder::OnItemStored(OPCHANDLE hGroup, const COpcItem& item) {
  if (!m_lines || !Wanted(hGroup, item)) return;
  m_lines->Row(item);
  ++m_nCount;
  if (::GetTickCount64() - m_lastFlush >= kFlushMs) Flush();
}

bool COpcRecorder::Flush() {
  if (!m_lines) return !Failed();
  m_lines->Flush();
  m_file->Flush();
  m_lastFlush = ::GetTickCount64();
  if (m_file->Failed() && !m_dwError) m_dwError = m_file->Error();
  return !Failed();
}

bool COpcRecorder::Close() {
  if (!m_lines) return !Failed();
  const bool ok = Flush();
  m_lines.reset();
  m_file.reset();  // closes the handle
  m_verdicts.clear();
  return ok;
}
