#include "OpcTreePort.h"

#include <vector>

namespace {

HTREEITEM Item(OpcTreeNode node) {
  return static_cast<HTREEITEM>(node);
}

}  // namespace

void COpcTreePort::DeleteAllItems() {
  ::SendMessageW(m_hTree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
}

OpcTreeNode COpcTreePort::InsertItem(const std::wstring& text, OpcTreeNode parent, int32_t data) {
  TVINSERTSTRUCTW tvi = {};
  tvi.hParent = parent ? Item(parent) : TVI_ROOT;
  tvi.hInsertAfter = TVI_LAST;
  tvi.item.mask = TVIF_TEXT | TVIF_PARAM;
  tvi.item.pszText = const_cast<LPWSTR>(text.c_str());
  tvi.item.lParam = static_cast<LPARAM>(data);
  return reinterpret_cast<HTREEITEM>(
      ::SendMessageW(m_hTree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&tvi)));
}

void COpcTreePort::SetItemData(OpcTreeNode node, int32_t data) {
  TVITEMW item = {};
  item.mask = TVIF_PARAM;
  item.hItem = Item(node);
  item.lParam = static_cast<LPARAM>(data);
  ::SendMessageW(m_hTree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

int32_t COpcTreePort::GetItemData(OpcTreeNode node) const {
  TVITEMW item = {};
  item.mask = TVIF_PARAM;
  item.hItem = Item(node);
  if (!node || !::SendMessageW(m_hTree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
    return -1;
  return static_cast<int32_t>(item.lParam);
}

OpcTreeNode COpcTreePort::GetParentItem(OpcTreeNode node) {
  if (!node) return nullptr;
  return reinterpret_cast<HTREEITEM>(
      ::SendMessageW(m_hTree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(Item(node))));
}

std::wstring COpcTreePort::GetItemText(OpcTreeNode node) {
  if (!node) return std::wstring();
  // The control says nothing about the length: grow the buffer until the text fits.
  for (size_t size = 256; size <= 65536; size *= 2) {
    std::vector<wchar_t> buffer(size, L'\0');
    TVITEMW item = {};
    item.mask = TVIF_TEXT;
    item.hItem = Item(node);
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(size);
    if (!::SendMessageW(m_hTree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
      return std::wstring();
    // The control may answer with its own buffer instead of filling ours.
    std::wstring text = item.pszText ? item.pszText : L"";
    if (text.size() + 1 < size) return text;
  }
  return std::wstring();
}

void COpcTreePort::SelectCaret(OpcTreeNode node) {
  ::SendMessageW(m_hTree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(Item(node)));
}

void COpcTreePort::Expand(OpcTreeNode node) {
  ::SendMessageW(m_hTree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(Item(node)));
}

void COpcTreePort::ShowStatusText(const std::wstring& text) {
  // The frame's status bar is the top-level window's child with the status bar's id.
  constexpr int kStatusBarId = 0xE801;
  HWND bar = ::GetDlgItem(::GetAncestor(m_hTree, GA_ROOT), kStatusBarId);
  if (bar) ::SendMessageW(bar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
