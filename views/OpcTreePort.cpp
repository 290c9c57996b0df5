#include "OpcTreePort.h"

COpcTreePort::Node* COpcTreePort::Find(OpcTreeNode node) {
  auto i = reinterpret_cast<uintptr_t>(node);
  return i >= 1 && i <= m_nodes.size() ? &m_nodes[i - 1] : nullptr;
}

const COpcTreePort::Node* COpcTreePort::Find(OpcTreeNode node) const {
  auto i = reinterpret_cast<uintptr_t>(node);
  return i >= 1 && i <= m_nodes.size() ? &m_nodes[i - 1] : nullptr;
}

void COpcTreePort::DeleteAllItems() {
  m_nodes.clear();
  m_byItem.clear();
  ::SendMessageW(m_hTree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
}

OpcTreeNode COpcTreePort::InsertItem(const std::wstring& text, OpcTreeNode parent, int32_t data) {
  uint32_t parentRef = 0;
  if (parent) {
    if (!Find(parent)) return nullptr;
    parentRef = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parent));
  }
  auto index = static_cast<uint32_t>(m_nodes.size());
  m_nodes.push_back(Node{text, data, parentRef, {}, nullptr, false, false});
  if (!parentRef) {
    Show(index);
    if (!m_nodes[index].hItem) {
      m_nodes.pop_back();
      return nullptr;
    }
    return Handle(index);
  }
  Node& up = m_nodes[parentRef - 1];
  up.children.push_back(index);
  if (up.hItem && up.shown) {
    Show(index);
  } else if (up.children.size() == 1) {
    // The control learns that the branch has children; they follow when it opens.
    SetChildrenFlag(parentRef - 1);
  }
  return Handle(index);
}

void COpcTreePort::Show(uint32_t index) {
  Node& node = m_nodes[index];
  if (node.hItem) return;
  TVINSERTSTRUCTW tvi = {};
  tvi.hParent = node.parent ? m_nodes[node.parent - 1].hItem : TVI_ROOT;
  tvi.hInsertAfter = TVI_LAST;
  tvi.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
  tvi.item.pszText = const_cast<LPWSTR>(node.text.c_str());
  tvi.item.lParam = static_cast<LPARAM>(node.data);
  tvi.item.cChildren = node.children.empty() && !node.expandable ? 0 : 1;
  node.hItem = reinterpret_cast<HTREEITEM>(
      ::SendMessageW(m_hTree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tvi)));
  if (node.hItem) m_byItem[node.hItem] = index;
}

void COpcTreePort::SetChildrenFlag(uint32_t index) {
  const Node& node = m_nodes[index];
  if (!node.hItem) return;
  TVITEMW item = {};
  item.mask = TVIF_CHILDREN;
  item.hItem = node.hItem;
  item.cChildren = node.children.empty() && !node.expandable ? 0 : 1;
  ::SendMessageW(m_hTree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void COpcTreePort::MarkExpandable(OpcTreeNode node) {
  Node* p = Find(node);
  if (!p || p->expandable || p->shown) return;
  p->expandable = true;
  if (p->children.empty()) SetChildrenFlag(static_cast<uint32_t>(p - m_nodes.data()));
}

void COpcTreePort::ShowChildren(uint32_t index) {
  if (m_nodes[index].shown || !m_nodes[index].hItem) return;
  if (m_nodes[index].expandable) {
    m_nodes[index].expandable = false;
    // The lister inserts into m_nodes: no reference into it is held across the call.
    if (m_lister) m_lister(Handle(index));
    // Nothing after all: the button goes.
    if (m_nodes[index].children.empty()) SetChildrenFlag(index);
  }
  m_nodes[index].shown = true;
  // Show may not hold a reference into m_nodes across the loop; the vector does not grow here.
  for (uint32_t child : m_nodes[index].children) Show(child);
}

HTREEITEM COpcTreePort::Reveal(uint32_t index) {
  Node& node = m_nodes[index];
  if (!node.hItem && node.parent) {
    Reveal(node.parent - 1);
    ShowChildren(node.parent - 1);
  }
  return node.hItem;
}

void COpcTreePort::SetItemData(OpcTreeNode node, int32_t data) {
  Node* p = Find(node);
  if (!p) return;
  p->data = data;
  if (!p->hItem) return;
  TVITEMW item = {};
  item.mask = TVIF_PARAM;
  item.hItem = p->hItem;
  item.lParam = static_cast<LPARAM>(data);
  ::SendMessageW(m_hTree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

int32_t COpcTreePort::GetItemData(OpcTreeNode node) const {
  const Node* p = Find(node);
  return p ? p->data : -1;
}

OpcTreeNode COpcTreePort::GetParentItem(OpcTreeNode node) {
  const Node* p = Find(node);
  return p && p->parent ? Handle(p->parent - 1) : nullptr;
}

std::wstring COpcTreePort::GetItemText(OpcTreeNode node) {
  const Node* p = Find(node);
  return p ? p->text : std::wstring();
}

void COpcTreePort::CollectLeaves(OpcTreeNode node, bool subtree,
                                 std::vector<int32_t>& leaves) const {
  const Node* p = Find(node);
  if (!p) return;
  // By hand rather than by recursion: a deep tree must not run the stack out.
  std::vector<std::pair<const Node*, size_t>> path{{p, 0}};
  while (!path.empty()) {
    auto& [at, next] = path.back();
    if (next >= at->children.size()) {
      path.pop_back();
      continue;
    }
    const Node& child = m_nodes[at->children[next++]];
    if (child.data >= 0)
      leaves.push_back(child.data);
    else if (subtree)
      path.push_back({&child, 0});
  }
}

HTREEITEM COpcTreePort::GetTreeItem(OpcTreeNode node) const {
  const Node* p = Find(node);
  return p ? p->hItem : nullptr;
}

OpcTreeNode COpcTreePort::GetNode(HTREEITEM hItem) const {
  auto it = m_byItem.find(hItem);
  return it == m_byItem.end() ? nullptr : Handle(it->second);
}

void COpcTreePort::OnItemExpanding(HTREEITEM hItem) {
  auto it = m_byItem.find(hItem);
  if (it != m_byItem.end()) ShowChildren(it->second);
}

void COpcTreePort::SelectCaret(OpcTreeNode node) {
  Node* p = Find(node);
  if (!p) return;
  HTREEITEM hItem = Reveal(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(node) - 1));
  ::SendMessageW(m_hTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(hItem));
}

void COpcTreePort::Expand(OpcTreeNode node) {
  if (!Find(node)) return;
  auto index = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(node) - 1);
  HTREEITEM hItem = Reveal(index);
  ShowChildren(index);
  ::SendMessageW(m_hTree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(hItem));
}

void COpcTreePort::ShowStatusText(const std::wstring& text) {
  // The frame's status bar is the top-level window's child with the status bar's id.
  constexpr int kStatusBarId = 0xE801;
  HWND bar = ::GetDlgItem(::GetAncestor(m_hTree, GA_ROOT), kStatusBarId);
  if (bar) ::SendMessageW(bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
