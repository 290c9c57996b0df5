// The two widgets the client core fills, as small interfaces: the views adapt the Win32
// tree-view and list box to them, the tests use in-memory fakes.
#pragma once
#include <cstdint>
#include <string>

// A tree node; nullptr means "none" (or "top level" as a parent).
using OpcTreeNode = void*;

class IOpcTree {
 public:
  virtual ~IOpcTree() = default;
  virtual void DeleteAllItems() = 0;
  // Inserts at the last position under parent (nullptr: top level) with its data value, in
  // one step (a real tree-view pays per message); nullptr on failure.
  virtual OpcTreeNode InsertItem(const std::wstring& text, OpcTreeNode parent, int32_t data) = 0;
  virtual void SetItemData(OpcTreeNode node, int32_t data) = 0;
  virtual OpcTreeNode GetParentItem(OpcTreeNode node) = 0;
  virtual std::wstring GetItemText(OpcTreeNode node) = 0;
  virtual void SelectCaret(OpcTreeNode node) = 0;
  virtual void Expand(OpcTreeNode node) = 0;
  // The node has children that are not inserted yet: the tree shows that it can open, and
  // has its owner list them when it does.
  virtual void MarkExpandable(OpcTreeNode node) { (void)node; }
  // A short note for the user about the tree as a whole (e.g. that it is incomplete);
  // where it shows is the adapter's choice.
  virtual void ShowStatusText(const std::wstring& text) { (void)text; }
};

class IOpcServerList {
 public:
  virtual ~IOpcServerList() = default;
  virtual void ResetContent() = 0;
  virtual void AddString(const std::wstring& text) = 0;
  virtual int GetCount() = 0;
  virtual void SetCurSel(int index) = 0;
};
