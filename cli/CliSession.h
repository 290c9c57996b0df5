// One connection of the console client: the client core with a hidden message-only window
// for the messages it posts, its message boxes turned into lines on standard error, and a
// message loop on the console thread.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "CliOutput.h"
#include "CliRun.h"
#include "OpcItemObserver.h"
#include "OpcServer.h"

class CCliSession : public IOpcItemObserver {
 public:
  CCliSession(CCliWriter& err, const CliHooks& hooks);
  ~CCliSession() override;
  CCliSession(const CCliSession&) = delete;
  CCliSession& operator=(const CCliSession&) = delete;

  // false when the server could not be reached; the reason is on standard error.
  bool Connect(const std::wstring& progId, const std::wstring& node);
  // Disconnects: every group and reference goes at the server.
  void Close() { m_server.Disconnect(); }
  COpcServer& Server() { return m_server; }
  HWND Window() const { return m_hWnd; }
  // Adds ids to that group in one batched add, each in the server's own type (no tries) under
  // the manager's access path. items and errors get one entry per ID: the record, or nullptr
  // and the reason (OPC_E_DUPLICATENAME for an ID already in the group or listed before).
  void AddItems(OPCHANDLE group, const std::vector<std::wstring>& ids,
                std::vector<COpcItem*>& items, std::vector<HRESULT>& errors);
  // The server's or the system's text for a code, on one line.
  std::wstring ErrorText(HRESULT code) const;
  // "ITEM: text (0x...)" on standard error.
  void ReportItem(const std::wstring& item, HRESULT code);

  // Dispatches messages until done() holds, a stop is asked for (Ctrl+C, the time limit)
  // or the server goes; limitMs bounds the wait (INFINITE: none). Returns done().
  bool Pump(const std::function<bool()>& done, DWORD limitMs = INFINITE);
  // The server shut down, died or stopped answering (said once on standard error).
  bool ServerGone();
  void StopAfter(DWORD ms);
  // Before the last calls to a server in another process: waits until it answers a status
  // request asked from now on. One that does not within kAliveLimitMs counts as gone, and
  // Close then asks nothing of it.
  void ConfirmAnswering();

  // How long a server in another process may leave a status request unanswered before a
  // watch counts it as gone, and how often it is asked.
  static constexpr DWORD kAliveLimitMs = 5000;
  static constexpr DWORD kAliveTickMs = 500;

  std::function<void(OPCHANDLE group, const COpcItem& item)> m_onStored;
  std::function<void(OPCHANDLE item, HRESULT error)> m_onWriteResult;

  // IOpcItemObserver
  void OnItemStored(OPCHANDLE hGroup, const COpcItem& item) override;
  void OnWriteResult(OPCHANDLE hClientItem, HRESULT error) override;

 private:
  static LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void ReportLoss();

  CCliWriter& m_err;
  const CliHooks& m_hooks;
  HWND m_hWnd = nullptr;
  COpcServer m_server;
  bool m_bServerGone = false;
  bool m_bTimeUp = false;
};

// Set by CliConsoleCtrlHandler; cleared when a watch starts.
bool CliStopRequested();
void CliResetStop(HWND wake);
