// A connected COpcServer with its message boxes captured, a window for its messages, and
// the simulation server's test hooks.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "OpcServer.h"
#include "SimControl.h"

struct CapturedBox {
  HWND owner;
  std::wstring text, caption;
  UINT type;
};

// The live objects of the simulation server DLL, counted by a separate probe server
// object (which itself counts as one server).
PloverSimLiveCounts SimLiveCounts();

// The system's text for a code, as the error texts must show it.
std::wstring SystemText(DWORD code);

class OpcTest : public testing::Test {
 public:
  static std::vector<CapturedBox> s_boxes;

 protected:
  void SetUp() override;
  void TearDown() override;

  // Initialize + Connect; fails the test if either fails.
  void ConnectTo(const wchar_t* progId = PLOVER_SIM_PROGID);
  IPloverSimControl* Control();
  // The server's requested data type for an item, read back through the group's own
  // attributes enumerator.
  VARTYPE RequestedType(const COpcItem* item);
  // Messages posted to the notify window so far, in order (drains the queue).
  std::vector<MSG> TakeMessages();

  HWND m_hWnd = nullptr;
  COpcServer* m_server = nullptr;
  TComPtr<IPloverSimControl> m_control;
};
