// In-memory stand-ins for the tree and the server list box the client core fills.
#pragma once
#include <deque>
#include <string>
#include <vector>

#include "OpcUiPorts.h"

class FakeTree : public IOpcTree {
 public:
  struct Node {
    std::wstring text;
    Node* parent = nullptr;
    int32_t data = 0x7fffffff;  // "never set"
    std::vector<Node*> children;
    bool expanded = false;
    bool expandable = false;  // marked as having children still to be listed
  };

  void DeleteAllItems() override {
    m_nodes.clear();
    m_top.clear();
    m_caret = nullptr;
    ++m_deleteAllCalls;
  }
  OpcTreeNode InsertItem(const std::wstring& text, OpcTreeNode parent, int32_t data) override {
    if (m_refuse == m_nodes.size() + 1) return nullptr;  // refuse the n-th insert
    m_nodes.push_back(Node{text, static_cast<Node*>(parent), data, {}, false, false});
    Node* n = &m_nodes.back();
    (n->parent ? n->parent->children : m_top).push_back(n);
    return n;
  }
  void SetItemData(OpcTreeNode node, int32_t data) override {
    static_cast<Node*>(node)->data = data;
  }
  OpcTreeNode GetParentItem(OpcTreeNode node) override {
    return node ? static_cast<Node*>(node)->parent : nullptr;
  }
  std::wstring GetItemText(OpcTreeNode node) override { return static_cast<Node*>(node)->text; }
  void SelectCaret(OpcTreeNode node) override { m_caret = static_cast<Node*>(node); }
  void Expand(OpcTreeNode node) override { static_cast<Node*>(node)->expanded = true; }
  void MarkExpandable(OpcTreeNode node) override { static_cast<Node*>(node)->expandable = true; }
  void ShowStatusText(const std::wstring& text) override { m_status.push_back(text); }

  // The node reached from the top by texts, or nullptr.
  Node* Find(std::initializer_list<std::wstring> path) const {
    const std::vector<Node*>* level = &m_top;
    Node* found = nullptr;
    for (const std::wstring& text : path) {
      found = nullptr;
      for (Node* n : *level)
        if (n->text == text) found = n;
      if (!found) return nullptr;
      level = &found->children;
    }
    return found;
  }
  static std::vector<std::wstring> Texts(const Node* n) {
    std::vector<std::wstring> out;
    if (n)
      for (const Node* c : n->children) out.push_back(c->text);
    return out;
  }
  static int Depth(const Node* n) {
    int d = 0;
    if (n)
      for (const Node* c : n->children) {
        int cd = 1 + Depth(c);
        if (cd > d) d = cd;
      }
    return d;
  }

  std::deque<Node> m_nodes;  // stable addresses
  std::vector<Node*> m_top;
  Node* m_caret = nullptr;
  int m_deleteAllCalls = 0;
  size_t m_refuse = 0;                 // 1-based insert to refuse, 0 for none
  std::vector<std::wstring> m_status;  // every status text shown
};

class FakeServerList : public IOpcServerList {
 public:
  void ResetContent() override {
    m_items.clear();
    m_sel = -1;
    ++m_resets;
  }
  void AddString(const std::wstring& text) override { m_items.push_back(text); }
  int GetCount() override { return static_cast<int>(m_items.size()); }
  void SetCurSel(int index) override { m_sel = index; }

  std::vector<std::wstring> m_items;
  int m_sel = -1;
  int m_resets = 0;
};
