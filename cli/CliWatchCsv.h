// The CSV lines of a watch, built straight into UTF-8: a large watch prints hundreds of
// thousands of values a second, so what repeats (the item's ID, its type and quality, the
// time of an update) is formatted once and kept.
#pragma once
#include <windows.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "CliOutput.h"
#include "OpcItem.h"

class CWatchCsv {
 public:
  explicit CWatchCsv(CCliWriter& out) : m_out(out) {}
  ~CWatchCsv() { Flush(); }
  CWatchCsv(const CWatchCsv&) = delete;
  CWatchCsv& operator=(const CWatchCsv&) = delete;

  void Header();
  // The same line as the record writer's CSV form for this item.
  void Row(const COpcItem& item);
  void Flush();

 private:
  void AppendId(const COpcItem& item);

  CCliWriter& m_out;
  std::string m_buffer;
  // "ID," as CSV of each item seen, by the slot of its client handle: one look-up without
  // hashing, and the texts lie together in m_idText.
  struct IdText {
    OPCHANDLE hClient = 0;
    size_t at = 0, length = 0;
  };
  std::vector<IdText> m_ids;
  std::string m_idText;
  // ",TYPE,quality,code," by type and quality, with a small direct-mapped cache in front:
  // the items of a group take turns between a few types.
  std::unordered_map<DWORD, std::string> m_typeQuality;
  struct CachedText {
    DWORD key = 0;
    const std::string* text = nullptr;  // map nodes stay where they are
  };
  CachedText m_typeQualityCache[16];
  FILETIME m_lastTime = {0, 0};
  std::string m_timeText;
};
