// The client core's server list, over a Win32 list box.
#pragma once
#include <windows.h>

#include "OpcUiPorts.h"

class COpcListBoxPort : public IOpcServerList {
 public:
  explicit COpcListBoxPort(HWND hList) : m_hList(hList) {}

  void ResetContent() override;
  void AddString(const std::wstring& text) override;
  int GetCount() override;
  // Selects without a selection-change notification, as LB_SETCURSEL does.
  void SetCurSel(int index) override;
  HWND Window() const { return m_hList; }

 private:
  HWND m_hList;
};
