#include "WatchLines.h"

#include "RecordText.h"
#include "ItemHandleTable.h"
#include "OpcText.h"

namespace {

// The ID, value, type, quality, quality code and time columns.
enum Column : size_t { kId, kValue, kType, kQuality, kCode, kTime };

std::wstring Padded(const std::wstring& text, size_t width) {
  const size_t w = DisplayWidth(text);
  return w < width ? text + std::wstring(width - w, L' ') : text;
}

}  // namespace

const std::vector<RecordColumn>& ItemValueColumns() {
  static const std::vector<RecordColumn> kColumns = {{L"ITEM", L"item"},
                                                     {L"VALUE", L"value"},
                                                     {L"TYPE", L"type"},
                                                     {L"QUALITY", L"quality"},
                                                     {L"QUALITY CODE", L"qualityCode", true, true},
                                                     {L"TIME", L"time"}};
  return kColumns;
}

std::vector<std::wstring> ItemValueFields(const COpcItem& item) {
  return {item.m_strItemId,
          GetValueText(item.m_value, item.m_wQuality),
          GetTypeName(item.m_value.vt),
          QualityText(item.m_wQuality),
          std::to_wstring(item.m_wQuality),
          IsoTime(item.m_ftTimeStamp)};
}

CWatchLines::CWatchLines(CLineWriter& out, RecordFormat format, std::vector<size_t> widths)
    : m_out(out),
      m_format(format),
      m_columns(ItemValueColumns()),
      m_widths(StreamWidths(m_columns, std::move(widths))) {}

void CWatchLines::Header() {
  if (m_format != RecordFormat::kCsv || m_bHeaderDone) return;
  m_bHeaderDone = true;
  m_buffer += ToUtf8(CsvHeaderLine(m_columns));
}

// Pieces of the line, in each form as CRecordWriter writes it: the start up to the value,
// the value, from after the value up to the time, and the time with the line's end.
std::string CWatchLines::IdPiece(const std::wstring& id) const {
  switch (m_format) {
    case RecordFormat::kCsv:
      return ToUtf8(CsvField(id) + L",");
    case RecordFormat::kJson:
      return ToUtf8(L"{" + JsonString(m_columns[kId].key) + L":" + JsonString(id) + L"," +
                    JsonString(m_columns[kValue].key) + L":");
    case RecordFormat::kColumns:
      break;
  }
  return ToUtf8(Padded(id, m_widths[kId]) + L"  ");
}

void CWatchLines::AppendValue(const std::wstring& text) {
  switch (m_format) {
    case RecordFormat::kCsv:
      m_buffer += ToUtf8(CsvField(text));
      return;
    case RecordFormat::kJson:
      m_buffer += ToUtf8(JsonString(text));
      return;
    case RecordFormat::kColumns:
      m_buffer += ToUtf8(Padded(text, m_widths[kValue]) + L"  ");
      return;
  }
}

// A value text of digits, signs, letters, spaces and brackets: nothing to quote or escape,
// one column a character.
void CWatchLines::AppendValue(const char* ascii, size_t length) {
  switch (m_format) {
    case RecordFormat::kCsv:
      m_buffer.append(ascii, length);
      return;
    case RecordFormat::kJson:
      m_buffer += '"';
      m_buffer.append(ascii, length);
      m_buffer += '"';
      return;
    case RecordFormat::kColumns:
      m_buffer.append(ascii, length);
      if (length < m_widths[kValue]) m_buffer.append(m_widths[kValue] - length, ' ');
      m_buffer += "  ";
      return;
  }
}

std::string CWatchLines::TypeQualityPiece(VARTYPE vt, WORD quality) const {
  const std::wstring type = GetTypeName(vt), text = QualityText(quality);
  const std::wstring code = std::to_wstring(quality);
  switch (m_format) {
    case RecordFormat::kCsv:
      return ToUtf8(L"," + CsvField(type) + L"," + CsvField(text) + L"," + CsvField(code) + L",");
    case RecordFormat::kJson:
      return ToUtf8(L"," + JsonString(m_columns[kType].key) + L":" + JsonString(type) + L"," +
                    JsonString(m_columns[kQuality].key) + L":" + JsonString(text) + L"," +
                    JsonString(m_columns[kCode].key) + L":" + code + L"," +
                    JsonString(m_columns[kTime].key) + L":");
    case RecordFormat::kColumns:
      break;
  }
  // The quality code is for machines only.
  return ToUtf8(Padded(type, m_widths[kType]) + L"  " + Padded(text, m_widths[kQuality]) + L"  ");
}

std::string CWatchLines::TimePiece(const FILETIME& time) const {
  const std::wstring text = IsoTime(time);
  switch (m_format) {
    case RecordFormat::kCsv:
      return ToUtf8(CsvField(text) + L"\n");
    case RecordFormat::kJson:
      return ToUtf8(JsonString(text) + L"}\n");
    case RecordFormat::kColumns:
      break;
  }
  return ToUtf8(text + L"\n");
}

void CWatchLines::AppendId(const COpcItem& item) {
  const OPCHANDLE h = item.m_hClient;
  const size_t slot = h & CItemHandleTable::kIndexMask;
  if (h == 0) {  // a record the core does not know: nothing to keep it by
    m_buffer += IdPiece(item.m_strItemId);
    return;
  }
  if (slot >= m_ids.size()) m_ids.resize(slot + 1);
  IdText& id = m_ids[slot];
  if (id.hClient != h) {  // first seen, or the slot now holds another record
    id.hClient = h;
    id.at = m_idText.size();
    m_idText += IdPiece(item.m_strItemId);
    id.length = m_idText.size() - id.at;
  }
  m_buffer.append(m_idText, id.at, id.length);
}

void CWatchLines::Row(const COpcItem& item) {
  if (!m_bHeaderDone && m_format == RecordFormat::kColumns) {
    m_bHeaderDone = true;
    std::vector<std::wstring> headers;
    for (const RecordColumn& c : m_columns) headers.emplace_back(c.header);
    m_buffer += ToUtf8(ColumnsLine(m_columns, headers, m_widths));
  }
  AppendId(item);
  char value[kScalarValueTextMax];
  if (const size_t n = GetScalarValueText(item.m_value, item.m_wQuality, value))
    AppendValue(value, n);
  else
    AppendValue(GetValueText(item.m_value, item.m_wQuality));
  const DWORD key = (static_cast<DWORD>(item.m_value.vt) << 16) | item.m_wQuality;
  CachedText& cached = m_typeQualityCache[(item.m_value.vt * 7u + item.m_wQuality) & 15u];
  if (!cached.text || cached.key != key) {
    auto tq = m_typeQuality.find(key);
    if (tq == m_typeQuality.end())
      tq = m_typeQuality.emplace(key, TypeQualityPiece(item.m_value.vt, item.m_wQuality)).first;
    cached = {key, &tq->second};
  }
  m_buffer += *cached.text;
  if (item.m_ftTimeStamp.dwLowDateTime != m_lastTime.dwLowDateTime ||
      item.m_ftTimeStamp.dwHighDateTime != m_lastTime.dwHighDateTime || m_timeText.empty()) {
    m_lastTime = item.m_ftTimeStamp;
    m_timeText = TimePiece(m_lastTime);
  }
  m_buffer += m_timeText;
  if (m_buffer.size() >= 1 << 16) Flush();
}

void CWatchLines::Flush() {
  if (m_buffer.empty()) return;
  m_out.WriteUtf8(m_buffer);
  m_buffer.clear();
}
