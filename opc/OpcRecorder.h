// A recording: every value the client core stores, of every item or of chosen ones, as the
// lines of plover-cli's `watch --csv` in a UTF-8 file. It listens on an observer list (no
// subscription of its own, no polling) and knows no windows; whoever runs it calls Flush at
// least once a second when values stop coming, and Close at the end.
#pragma once
#include <windows.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "OpcItemObserver.h"
#include "RecordOutput.h"
#include "WatchLines.h"

class COpcRecorder : public IOpcItemObserver {
 public:
  // An item to record: its group's client handle and its ID (both survive a reconnect).
  using Key = std::pair<OPCHANDLE, std::wstring>;
  // Values are written out at least this often while they come.
  static constexpr ULONGLONG kFlushMs = 1000;

  COpcRecorder() = default;
  ~COpcRecorder() override { Close(); }
  COpcRecorder(const COpcRecorder&) = delete;
  COpcRecorder& operator=(const COpcRecorder&) = delete;

  // Creates the file (replacing one of that name) with the header row; only: the items to
  // record, none for every item. false, with the system's error code, when it cannot.
  bool Open(const std::wstring& path, std::vector<Key> only, DWORD* error);
  bool IsOpen() const { return m_file != nullptr; }

  void OnItemStored(OPCHANDLE hGroup, const COpcItem& item) override;
  void OnWriteResult(OPCHANDLE, HRESULT) override {}

  // Everything received goes to the file now. false once a write has failed (for good).
  bool Flush();
  // Flushes and closes the file; false when not everything could be written.
  bool Close();

  unsigned long long Count() const { return m_nCount; }
  bool Failed() const { return m_dwError != 0; }
  DWORD Error() const { return m_dwError; }
  const std::wstring& Path() const { return m_strPath; }
  bool RecordsAll() const { return m_only.empty(); }

 private:
  bool Wanted(OPCHANDLE hGroup, const COpcItem& item);

  std::wstring m_strPath;
  std::unique_ptr<CHandleWriter> m_file;
  std::unique_ptr<CWatchLines> m_lines;
  std::set<Key> m_only;
  // Whether each item is recorded, by the slot of its client handle: decided once per item,
  // not by its ID at every value.
  struct Verdict {
    OPCHANDLE hClient = 0, hGroup = 0;
    bool wanted = false;
  };
  std::vector<Verdict> m_verdicts;
  ULONGLONG m_lastFlush = 0;
  unsigned long long m_nCount = 0;
  DWORD m_dwError = 0;
};
