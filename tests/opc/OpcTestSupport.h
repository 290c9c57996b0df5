// A connected COpcServer with its message boxes captured, a window for its messages, and
// the simulation server's test hooks.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "OpcServer.h"
#include "ServerProcess.h"
#include "SimControl.h"
#include "SimProcess.h"

struct CapturedBox {
  OpcBoxOwner owner;
  std::wstring text, caption;
  UINT type;
};

// The live objects of the simulation server DLL, counted by a separate probe server
// object (which itself counts as one server).
PloverSimLiveCounts SimLiveCounts();

// Where the simulation server runs: loaded into this process, or an executable of its own
// reached through the proxy/stub. Scenario fixtures run once against each.
enum class ServerKind { InProcess, OwnProcess };
const wchar_t* ProgIdOf(ServerKind kind);
std::string KindName(ServerKind kind);
inline auto BothServerKinds() {
  return testing::Values(ServerKind::InProcess, ServerKind::OwnProcess);
}

// The system's text for a code, as the error texts must show it.
std::wstring SystemText(DWORD code);

class OpcTest : public testing::Test {
 public:
  static std::vector<CapturedBox> s_boxes;

 protected:
  void SetUp() override;
  void TearDown() override;

  // Initialize + Connect; fails the test if either fails. Without a ProgID: the server of
  // m_kind.
  void ConnectTo(const wchar_t* progId = nullptr);
  // The live objects of the connected server's process (in-process: of the DLL); before a
  // connection, through a probe object of the in-process server.
  PloverSimLiveCounts SimLiveCounts();
  // Dispatches messages until cond holds; false (and a test failure naming what) after a
  // generous cap, well inside ctest's time-out so that TearDown still runs.
  template <class Cond>
  bool PumpUntil(Cond cond, const char* what) {
    const ULONGLONG until = GetTickCount64() + 30000;
    while (GetTickCount64() < until) {
      if (cond()) return true;
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        // The notify window's messages are kept for TakeMessages.
        if (msg.hwnd == m_hWnd) {
          m_kept.push_back(msg);
          continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      if (cond()) return true;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    if (cond()) return true;
    ADD_FAILURE() << "gave up waiting for " << what;
    return false;
  }
  IPloverSimControl* Control();
  // The server's requested data type for an item, read back through the group's own
  // attributes enumerator.
  VARTYPE RequestedType(const COpcItem* item);
  // Messages posted to the notify window so far, in order (drains the queue).
  std::vector<MSG> TakeMessages();

  ServerKind m_kind = ServerKind::InProcess;
  std::vector<MSG> m_kept;
  HWND m_hWnd = nullptr;
  COpcServer* m_server = nullptr;
  TComPtr<IPloverSimControl> m_control;
  // The executable server's process, which must end once the test lets go of it.
  ServerProcessWatch m_serverProcess;
};
