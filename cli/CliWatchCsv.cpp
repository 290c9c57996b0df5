#include "CliWatchCsv.h"

#include "CliText.h"
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

void CWatchCsv::Row(const COpcItem& item) {
  auto id = m_ids.find(&item);
  if (id == m_ids.end()) {
    std::string text;
    AppendField(text, item.m_strItemId);
    id = m_ids.emplace(&item, text + ",").first;
  }
  m_buffer += id->second;
  AppendField(m_buffer, GetValueText(item.m_value, item.m_wQuality));
  const DWORD key = (static_cast<DWORD>(item.m_value.vt) << 16) | item.m_wQuality;
  auto tq = m_typeQuality.find(key);
  if (tq == m_typeQuality.end()) {
    std::string text = ",";
    AppendField(text, GetTypeName(item.m_value.vt));
    text += ",";
    AppendField(text, QualityText(item.m_wQuality));
    text += "," + std::to_string(item.m_wQuality) + ",";
    tq = m_typeQuality.emplace(key, text).first;
  }
  m_buffer += tq->second;
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
