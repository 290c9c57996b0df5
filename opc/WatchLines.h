// The lines of a watch in any of the three forms, built straight into UTF-8: a large watch
// prints hundreds of thousands of values a second, so what repeats (an item's ID, its type
// and quality, the time of an update) is formatted once and kept, and numbers are made
// without allocating. Each line is the record writer's line for ItemValueFields(item).
#pragma once
#include <windows.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "RecordOutput.h"
#include "OpcItem.h"

// The columns of read and watch: item, value, type, quality, quality code (machine only),
// time; and their fields for an item, the value and type as the item list shows them, the
// time in UTC.
const std::vector<RecordColumn>& ItemValueColumns();
std::vector<std::wstring> ItemValueFields(const COpcItem& item);

class CWatchLines {
 public:
  // widths: as CRecordWriter::Stream takes them (the columns form only).
  CWatchLines(CLineWriter& out, RecordFormat format, std::vector<size_t> widths = {});
  ~CWatchLines() { Flush(); }
  CWatchLines(const CWatchLines&) = delete;
  CWatchLines& operator=(const CWatchLines&) = delete;

  // The header row of CSV, at once; the columns form's comes with its first row.
  void Header();
  void Row(const COpcItem& item);
  void Flush();

 private:
  void AppendId(const COpcItem& item);
  std::string IdPiece(const std::wstring& id) const;
  void AppendValue(const char* ascii, size_t length);
  void AppendValue(const std::wstring& text);
  std::string TypeQualityPiece(VARTYPE vt, WORD quality) const;
  std::string TimePiece(const FILETIME& time) const;

  CLineWriter& m_out;
  const RecordFormat m_format;
  const std::vector<RecordColumn>& m_columns;
  std::vector<size_t> m_widths;
  bool m_bHeaderDone = false;
  std::string m_buffer;
  // The line's start up to the value, of each item seen, by the slot of its client handle:
  // one look-up without hashing, and the texts lie together in m_idText.
  struct IdText {
    OPCHANDLE hClient = 0;
    size_t at = 0, length = 0;
  };
  std::vector<IdText> m_ids;
  std::string m_idText;
  // From after the value up to the time, by type and quality, with a small direct-mapped
  // cache in front: the items of a group take turns between a few types.
  std::unordered_map<DWORD, std::string> m_typeQuality;
  struct CachedText {
    DWORD key = 0;
    const std::string* text = nullptr;  // map nodes stay where they are
  };
  CachedText m_typeQualityCache[16];
  // The time and the line's end; the values of one update share it.
  FILETIME m_lastTime = {0, 0};
  std::string m_timeText;
};
