#include "CliWatchCsv.h"

#include "CliText.h"
#include "ItemHandleTable.h"
#include "OpcText.h"

namespace {
// UTF-8 of a CSV field; plain ASCII (most values) is copied as it is.
void AppendField(std::string& out, const std::wstring& field) {
  bool ascii = true;
  for (wchar_t c : field)
    if (c >= 0x80 || c == L',' || c == L'"' || c == L'\r' || c == L'\n') {
      ascii = false;
      break;
    }
  if (ascii) {
    for (wchar_t c : field) out += static_cast<char>(c);
    return;
  }
  out += ToUtf8(CsvField(field));
}
}  // namespace

void CWatchCsv::Header() {
  m_buffer += "item,value,type,quality,qualityCode,time\r\n";
}

void CWatchCsv::AppendId(const COpcItem& item) {
  const OPCHANDLE h = item.m_hClient;
  const size_t slot = h & CItemHandleTable::kIndexMask;
  if (h == 0) {  // a record the core does not know: nothing to keep it by
    AppendField(m_buffer, item.m_strItemId);
    m_buffer += ',';
    return;
  }
  if (slot >= m_ids.size()) m_ids.resize(slot + 1);
  IdText& id = m_ids[slot];
  if (id.hClient != h) {  // first seen, or the slot now holds another record
    id.hClient = h;
    id.at = m_idText.size();
    AppendField(m_idText, item.m_strItemId);
    m_idText += ',';
    id.length = m_idText.size() - id.at;
  }
  m_buffer.append(m_idText, id.at, id.length);
}

void CWatchCsv::Row(const COpcItem& item) {
  AppendId(item);
  char value[kScalarValueTextMax];
  if (const size_t n = GetScalarValueText(item.m_value, item.m_wQuality, value))
    m_buffer.append(value, n);  // plain ASCII without a comma: no quotes
  else
    AppendField(m_buffer, GetValueText(item.m_value, item.m_wQuality));
  const DWORD key = (static_cast<DWORD>(item.m_value.vt) << 16) | item.m_wQuality;
  CachedText& cached = m_typeQualityCache[(item.m_value.vt * 7u + item.m_wQuality) & 15u];
  if (!cached.text || cached.key != key) {
    auto tq = m_typeQuality.find(key);
    if (tq == m_typeQuality.end()) {
      std::string text = ",";
      AppendField(text, GetTypeName(item.m_value.vt));
      text += ",";
      AppendField(text, QualityText(item.m_wQuality));
      text += "," + std::to_string(item.m_wQuality) + ",";
      tq = m_typeQuality.emplace(key, std::move(text)).first;
    }
    cached = {key, &tq->second};
  }
  m_buffer += *cached.text;
  // The values of one update share their time.
  if (item.m_ftTimeStamp.dwLowDateTime != m_lastTime.dwLowDateTime ||
      item.m_ftTimeStamp.dwHighDateTime != m_lastTime.dwHighDateTime || m_timeText.empty()) {
    m_lastTime = item.m_ftTimeStamp;
    m_timeText = ToUtf8(IsoTime(m_lastTime)) + "\r\n";
  }
  m_buffer += m_timeText;
  if (m_buffer.size() >= 1 << 16) Flush();
}

void CWatchCsv::Flush() {
  if (m_buffer.empty()) return;
  m_out.WriteUtf8(m_buffer);
  m_buffer.clear();
}
