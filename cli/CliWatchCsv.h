// The CSV lines of a watch, built straight into UTF-8: a large watch prints hundreds of
// thousands of values a second, so what repeats (the item's ID, its type and quality, the
// time of an update) is formatted once and kept.
#pragma once
#include <windows.h>

#include <string>
#include <unordered_map>

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
  CCliWriter& m_out;
  std::string m_buffer;
  std::unordered_map<const COpcItem*, std::string> m_ids;  // "ID," as CSV
  std::unordered_map<DWORD, std::string> m_typeQuality;    // ",TYPE,quality,code,"
  FILETIME m_lastTime = {0, 0};
  std::string m_timeText;
};
