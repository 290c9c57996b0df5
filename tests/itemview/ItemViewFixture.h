// The application with its browse view's client connected to the simulation server in
// deterministic mode. Data messages reach the item list the way the frame passes them on;
// context menus and dialogs are answered by the runner.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "AppFixture.h"
#include "OpcServer.h"
#include "PloverView.h"
#include "SimControl.h"

class ItemRunner : public RecordingRunner {
 public:
  INT_PTR RunDialog(CDialog& dlg, HWND hOwner) override;
  BOOL TrackPopupMenu(HMENU hMenu, UINT nFlags, POINT pt, HWND hOwner) override;

  // Drives the next dialogs (set controls, press buttons); none: they are cancelled.
  std::function<void(HWND)> drive;
  // Each shown menu: (text, id) per entry, separators as ("", 0).
  std::vector<std::vector<std::pair<std::wstring, UINT>>> menus;
  std::vector<POINT> points;  // where each menu opened, in screen coordinates
  UINT menuChoice = 0;        // posted to the menu's owner as the chosen command
};

class ItemViewFixture : public AppFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the program and connects the browse view's client; deterministic clock.
  void Connect();
  COpcServer* Server() const { return Frame()->GetOpcServer(); }
  CPloverView* List() const { return Frame()->GetItemView(); }
  // Adds a group with these settings (it becomes current).
  void AddGroup(OPCHANDLE handle, const std::wstring& name, BOOL active = TRUE);
  // Adds the item to that group and announces it to the list, as the browse view does.
  COpcItem* AddItem(OPCHANDLE group, const std::wstring& itemId);
  // Moves the server's clock and handles the data messages that result.
  void Step(DWORD ms);

  int Rows() const;
  std::wstring Text(int row, int col) const;
  int Image(int row) const;
  void Select(int row);  // only that row (-1: none)

  ItemRunner m_items;
  TComPtr<IPloverSimControl> m_control;
  HWND m_hRelay = nullptr;
};

// Live objects of the simulation server DLL (a probe server object counts as one).
PloverSimLiveCounts SimLiveCounts();
