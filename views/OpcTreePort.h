// The client core's tree, over a Win32 tree-view control: nodes are HTREEITEMs, the node
// data is the item's lParam.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "OpcUiPorts.h"

class COpcTreePort : public IOpcTree {
 public:
  explicit COpcTreePort(HWND hTree) : m_hTree(hTree) {}

  void DeleteAllItems() override;
  OpcTreeNode InsertItem(const std::wstring& text, OpcTreeNode parent, int32_t data) override;
  void SetItemData(OpcTreeNode node, int32_t data) override;
  OpcTreeNode GetParentItem(OpcTreeNode node) override;
  std::wstring GetItemText(OpcTreeNode node) override;
  void SelectCaret(OpcTreeNode node) override;
  void Expand(OpcTreeNode node) override;
  // In the message pane of the frame's status bar.
  void ShowStatusText(const std::wstring& text) override;

  // What SetItemData stored (the view reads a leaf's index back through this).
  int32_t GetItemData(OpcTreeNode node) const;
  HWND Window() const { return m_hTree; }

 private:
  HWND m_hTree;
};
