// The client core's tree, over a Win32 tree-view control. The port keeps the whole built
// tree as its own node model and puts a branch's children into the control only when the
// branch is first opened: a large address space costs one control message per node
// shown, not per node built. A branch whose children the core has not listed yet is
// listed through the lister as it opens. A node is the model's, and stays valid until
// DeleteAllItems.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "OpcUiPorts.h"

class COpcTreePort : public IOpcTree {
 public:
  explicit COpcTreePort(HWND hTree) : m_hTree(hTree) {}

  void DeleteAllItems() override;
  OpcTreeNode InsertItem(const std::wstring& text, OpcTreeNode parent, int32_t data) override;
  void SetItemData(OpcTreeNode node, int32_t data) override;
  OpcTreeNode GetParentItem(OpcTreeNode node) override;
  std::wstring GetItemText(OpcTreeNode node) override;
  // Puts the node (and the path to it) into the control and selects it.
  void SelectCaret(OpcTreeNode node) override;
  void Expand(OpcTreeNode node) override;
  // Shown with a button until it opens; the lister then inserts its children.
  void MarkExpandable(OpcTreeNode node) override;
  // Called for an expandable node as it opens, before its children are shown.
  void SetLister(std::function<void(OpcTreeNode)> lister) { m_lister = std::move(lister); }
  // In the message pane of the frame's status bar.
  void ShowStatusText(const std::wstring& text) override;

  // The data values of the node's leaves (data >= 0), in tree order: its own children, or
  // with subtree every leaf below it.
  void CollectLeaves(OpcTreeNode node, bool subtree, std::vector<int32_t>& leaves) const;
  // What SetItemData stored (-1 for no node).
  int32_t GetItemData(OpcTreeNode node) const;
  HWND Window() const { return m_hTree; }

  // The control's item of a node (nullptr while it is not shown yet), and back.
  HTREEITEM GetTreeItem(OpcTreeNode node) const;
  OpcTreeNode GetNode(HTREEITEM hItem) const;
  // The control is about to open hItem (TVN_ITEMEXPANDING, which goes to the control's
  // parent: its owner passes it on): its children go into the control now.
  void OnItemExpanding(HTREEITEM hItem);

 private:
  struct Node {
    std::wstring text;
    int32_t data;
    uint32_t parent;  // index + 1; 0 for a top-level node
    std::vector<uint32_t> children;
    HTREEITEM hItem = nullptr;
    bool shown = false;       // children are in the control
    bool expandable = false;  // children still to be listed by the lister
  };
  Node* Find(OpcTreeNode node);
  const Node* Find(OpcTreeNode node) const;
  static OpcTreeNode Handle(uint32_t index) {
    return reinterpret_cast<OpcTreeNode>(static_cast<uintptr_t>(index) + 1);
  }
  // Inserts the node into the control under its parent's item.
  void Show(uint32_t index);
  void ShowChildren(uint32_t index);
  // The control's button as the node's children say.
  void SetChildrenFlag(uint32_t index);
  // Makes the node's item exist: every ancestor's children are shown.
  HTREEITEM Reveal(uint32_t index);

  HWND m_hTree;
  std::vector<Node> m_nodes;
  std::unordered_map<HTREEITEM, uint32_t> m_byItem;
  std::function<void(OpcTreeNode)> m_lister;
};
