#include "PloverView.h"

#include <oleauto.h>

#include <cwchar>
#include <iterator>
#include <vector>

#include "FrameWnd.h"
#include "InputDlg.h"
#include "ModalRunner.h"
#include "OpcGroup.h"
#include "OpcItem.h"
#include "OpcStatus.h"
#include "OpcText.h"
#include "TagPropertyDlg.h"
#include "UiLanguage.h"
#include "ViewFrame.h"

namespace {

const struct {
  const wchar_t* heading;
  int width;
} kColumns[] = {{L"GroupID", 60}, {L"GroupName", 100}, {L"TagName", 180},
                {L"Value", 80},   {L"Value Type", 80}, {L"Time", 120}};

// Value, type and time: the columns a data message changes.
const LONG kFirstDataColumn = 3;

const DWORD kListExStyle = 0x42D;  // grid lines, check boxes, hot track, full row, info tips

void CopyText(LVITEMW& item, const std::wstring& text) {
  if (!item.pszText || item.cchTextMax <= 0) return;
  ::lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
}

}  // namespace

CPloverView::CPloverView() {
  ::InitializeCriticalSection(&m_lock);
}

CPloverView::~CPloverView() {
  ClearRows();
  ::DeleteCriticalSection(&m_lock);
}

LPCWSTR CPloverView::GetViewClass() const {
  return WC_LISTVIEWW;
}

DWORD CPloverView::GetViewStyle() const {
  return WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA;
}

void CPloverView::SetRedraw(BOOL bRedraw) {
  if (bRedraw) {
    // Whatever changed while redrawing was off is painted: rows, header and scroll bars.
    if (m_nRedrawOff > 0 && --m_nRedrawOff == 0) {
      SendMessage(WM_SETREDRAW, TRUE);
      InvalidateAll();
    }
  } else if (m_nRedrawOff++ == 0) {
    SendMessage(WM_SETREDRAW, FALSE);
  }
}

void CPloverView::InvalidateAll() {
  ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
}

void CPloverView::InvalidateValues() {
  RECT rc;
  ::GetClientRect(m_hWnd, &rc);
  const int top = static_cast<int>(SendMessage(LVM_GETTOPINDEX));
  RECT first{LVIR_BOUNDS, kFirstDataColumn, 0, 0};
  RECT last{LVIR_BOUNDS, static_cast<LONG>(std::size(kColumns)) - 1, 0, 0};
  if (top >= 0 && static_cast<size_t>(top) < m_rows.Count() &&
      SendMessage(LVM_GETSUBITEMRECT, top, reinterpret_cast<LPARAM>(&first)) &&
      SendMessage(LVM_GETSUBITEMRECT, top, reinterpret_cast<LPARAM>(&last))) {
    rc.left = first.left;
    rc.right = last.right;
  }
  ::InvalidateRect(m_hWnd, &rc, FALSE);
}

void CPloverView::RequestRepaint() {
  if (m_bRepaintTimer) {
    m_bRepaintDue = true;
    return;
  }
  InvalidateValues();
  m_bRepaintTimer = ::SetTimer(m_hWnd, kRepaintTimer, kRepaintMs, nullptr) != 0;
}

LRESULT CPloverView::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  if (wParam != kRepaintTimer) {
    bHandled = FALSE;
    return 0;
  }
  if (m_bRepaintDue) {
    m_bRepaintDue = false;
    InvalidateValues();  // the period goes on
  } else {
    ::KillTimer(m_hWnd, kRepaintTimer);
    m_bRepaintTimer = false;
  }
  return 0;
}

IViewFrame* CPloverView::Frame() const {
  return GetViewFrame(m_hWnd);
}

void CPloverView::OnInitialUpdate() {
  CView::OnInitialUpdate();
  HWND hHeader = reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER));
  while ((!hHeader || ::SendMessageW(hHeader, HDM_GETITEMCOUNT, 0, 0) > 0) &&
         SendMessage(LVM_DELETECOLUMN, 0)) {
  }

  HIMAGELIST hImages = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 2);
  HINSTANCE hInst = ::GetModuleHandleW(nullptr);
  const UINT icons[] = {IDI_LIGHT_GREEN, IDI_LIGHT_RED};
  for (UINT id : icons) {
    HICON hIcon = static_cast<HICON>(
        ::LoadImageW(hInst, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    ImageList_AddIcon(hImages, hIcon);
    if (hIcon) ::DestroyIcon(hIcon);
  }
  // Every initial update brings a new list; the one it replaces is ours to free.
  auto hOld = reinterpret_cast<HIMAGELIST>(
      SendMessage(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(hImages)));
  if (hOld) ImageList_Destroy(hOld);
  m_hImages = hImages;

  SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, kListExStyle);
  // The check boxes' state images are asked for with the texts.
  SendMessage(LVM_SETCALLBACKMASK, LVIS_STATEIMAGEMASK);

  for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = LVCFMT_LEFT;
    col.cx = kColumns[i].width;
    col.pszText = const_cast<LPWSTR>(kColumns[i].heading);
    col.iSubItem = i;
    SendMessage(LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&col));
  }
}

int CPloverView::GetFirstSelected() const {
  return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

std::vector<std::pair<int, std::wstring>> CPloverView::SelectedKeys() const {
  std::vector<std::pair<int, std::wstring>> keys;
  for (int i = GetFirstSelected(); i >= 0;
       i = static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(i), LVNI_SELECTED)))
    if (const CItemRow* row = m_rows.At(i)) keys.emplace_back(row->nGroup, row->strItemId);
  return keys;
}

std::vector<OPCHANDLE> CPloverView::SelectedItemHandles() const {
  std::vector<OPCHANDLE> handles;
  for (int i = GetFirstSelected(); i >= 0;
       i = static_cast<int>(SendMessage(LVM_GETNEXTITEM, i, LVNI_SELECTED))) {
    if (CItemRow* row = m_rows.At(i); row && row->hItem) handles.push_back(row->hItem);
  }
  return handles;
}

COpcItem* CPloverView::SelectedItem(CItemRow** ppRow) const {
  CItemRow* row = m_rows.At(GetFirstSelected());
  if (ppRow) *ppRow = row;
  IViewFrame* frame = Frame();
  return (row && frame) ? frame->ResolveItem(row->hItem) : nullptr;
}

void CPloverView::ClearRows() {
  m_rows.Clear();
  m_bCountDue = false;
}

void CPloverView::SyncCount() {
  m_bCountDue = false;
  // Appended rows do not scroll the list to its focused row, as inserted ones did not.
  SendMessage(LVM_SETITEMCOUNT, m_rows.Count(), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
}

LRESULT CPloverView::OnOpcDisconnect(UINT, WPARAM, LPARAM, BOOL&) {
  ClearRows();
  SendMessage(LVM_DELETEALLITEMS);
  return 0;
}

LRESULT CPloverView::OnOpcItemAdded(UINT, WPARAM wParam, LPARAM lParam, BOOL&) {
  CLock lock(m_lock);
  IViewFrame* frame = Frame();
  auto* item = reinterpret_cast<COpcItem*>(lParam);
  if (!frame || !item || item->m_hClient == 0) return 0;
  COpcGroup* group = frame->GetGroup(static_cast<OPCHANDLE>(wParam));
  if (!group) return 0;
  // A row the lost server left behind takes its item back in place, box and selection kept.
  if (CItemRow* back = m_rows.Rebind(*item, static_cast<int>(wParam))) {
    back->nImage = group->m_bActive && item->m_bActive ? 0 : 1;
    InvalidateAll();
    return 0;
  }

  CItemRow& row = m_rows.Append(*item, static_cast<int>(wParam), group->m_strName);
  row.nImage = group->m_bActive && item->m_bActive ? 0 : 1;
  // The browse view adds whole branches: the control learns the new count once, when the
  // message loop comes back or anything else reaches the list first.
  if (!m_bCountDue) {
    m_bCountDue = true;
    if (!::PostMessageW(m_hWnd, kRedrawAddedRows, 0, 0)) SyncCount();
  }
  return 0;
}

void CPloverView::DetachRows() {
  CLock lock(m_lock);
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  m_rows.DetachAll(OPC_QUALITY_BAD | OPC_QUALITY_COMM_FAILURE, now);
  for (CItemRow* row : m_rows.Detached()) row->nImage = 1;
  InvalidateAll();
}

size_t CPloverView::MarkUnrestored(const std::map<std::wstring, std::wstring>& why,
                                   const std::wstring& fallback) {
  CLock lock(m_lock);
  const std::vector<CItemRow*> rows = m_rows.Detached();
  for (CItemRow* row : rows) {
    auto found = why.find(UnrestoredKey(row->nGroup, row->strItemId));
    row->strError = found != why.end() ? found->second : fallback;
  }
  InvalidateAll();
  return rows.size();
}

LRESULT CPloverView::OnRedrawAddedRows(UINT, WPARAM, LPARAM, BOOL&) {
  if (m_bCountDue) SyncCount();
  return 0;
}

LRESULT CPloverView::OnOpcGroupData(UINT, WPARAM, LPARAM lParam, BOOL&) {
  CLock lock(m_lock);
  IViewFrame* frame = Frame();
  const std::vector<CItemRow*>* rows = m_rows.GroupRows(static_cast<int>(lParam));
  if (!frame || !rows) return 0;
  // Every row of the group, whichever items the stream carried: the sink has already
  // updated the records. A row whose item is gone keeps what it showed. The rows' texts come
  // from these snapshots when they are painted, so the list itself is not touched, and
  // redrawing is never turned off (that shows as a blank or half-painted list).
  for (CItemRow* row : *rows) {
    if (const COpcItem* item = frame->ResolveItem(row->hItem)) row->TakeSnapshot(*item, true);
  }
  RequestRepaint();
  return 0;
}

LRESULT CPloverView::OnOpcGroupChanged(UINT, WPARAM, LPARAM lParam, BOOL&) {
  CLock lock(m_lock);
  IViewFrame* frame = Frame();
  if (!frame) return 0;
  COpcGroup* group = frame->GetGroup(static_cast<OPCHANDLE>(lParam));
  const std::vector<CItemRow*>* rows = m_rows.GroupRows(static_cast<int>(lParam));
  if (!group || !rows) return 0;
  // One scan of the group's attributes for all its rows; an inactive group shows red
  // whatever its items say, so the server need not be asked at all.
  ItemActiveMap active;
  if (group->m_bActive) frame->GetGroupActiveStates(static_cast<OPCHANDLE>(lParam), active);
  // Names and icons come from the rows when painted, as the values do.
  for (CItemRow* row : *rows) {
    row->strGroupName = group->m_strName;
    if (!group->m_bActive) {
      row->nImage = 1;
      continue;
    }
    const COpcItem* item = frame->ResolveItem(row->hItem);
    if (!item) continue;
    auto found = active.find(item->m_hClient);  // none found: counts as inactive
    row->nImage = found != active.end() && found->second ? 0 : 1;
    // The box follows what the server says, where it says anything.
    if (found != active.end()) row->bChecked = found->second != FALSE;
  }
  InvalidateAll();
  return 0;
}

LRESULT CPloverView::OnOpcGroupDeleted(UINT, WPARAM, LPARAM lParam, BOOL&) {
  CLock lock(m_lock);
  const int key = static_cast<int>(lParam);
  if (m_rows.GroupRows(key)) {
    SetRedraw(FALSE);
    // The control moves selection and focus with the rows; the model's rows follow in one
    // pass.
    for (int i : m_rows.IndexesOfGroup(key)) SendMessage(LVM_DELETEITEM, i);
    m_rows.EraseGroup(key);
    SetRedraw(TRUE);
  }
  // The rows are gone before the core frees the group's item records.
  if (IViewFrame* frame = Frame()) frame->RemoveGroup(static_cast<OPCHANDLE>(lParam));
  return 0;
}

LRESULT CPloverView::OnGetDispInfo(int, NMHDR* pnmh, BOOL&) {
  auto* info = reinterpret_cast<NMLVDISPINFOW*>(pnmh);
  LVITEMW& it = info->item;
  CItemRow* row = m_rows.At(it.iItem);
  if (!row) return 0;
  if (it.mask & LVIF_IMAGE) it.iImage = row->nImage;
  if (it.mask & LVIF_INDENT) it.iIndent = 0;
  if ((it.mask & LVIF_STATE) && (it.stateMask & LVIS_STATEIMAGEMASK)) {
    const bool checked = m_rows.IsChecked(it.iItem);
    it.state = (it.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(checked ? 2u : 1u);
  }
  if (!(it.mask & LVIF_TEXT)) return 0;
  switch (it.iSubItem) {
    case 0: {
      wchar_t text[16];
      std::swprintf(text, std::size(text), L"%d", row->nGroup);
      CopyText(it, text);
      break;
    }
    case 1:
      CopyText(it, row->strGroupName);
      break;
    case 2:
      CopyText(it, row->strItemId);
      break;
    case 3:
      CopyText(it,
               row->strError.empty() ? ::GetValueText(row->value, row->wQuality) : row->strError);
      break;
    case 4:
      CopyText(it, ::GetTypeName(row->value.vt));
      break;
    case 5:
      CopyText(it, row->TimeText());
      break;
  }
  return 0;
}

LRESULT CPloverView::OnFindItem(int, NMHDR* pnmh, BOOL&) {
  // Type-ahead only: an owner-data row has no lParam to find.
  auto* find = reinterpret_cast<NMLVFINDITEMW*>(pnmh);
  const LVFINDINFOW& what = find->lvfi;
  return m_rows.FindGroupText(find->iStart, what.psz, (what.flags & LVFI_PARTIAL) != 0,
                              (what.flags & LVFI_WRAP) != 0);
}

void CPloverView::HighlightItem(const COpcItem* item) {
  if (!item || item->m_hClient == 0) return;
  const int index = m_rows.IndexOf(item->m_hClient);
  if (index >= 0) SendMessage(LVM_SETHOTITEM, index);
}

void CPloverView::ToggleCheck(int index) {
  CItemRow* row = m_rows.At(index);
  if (!row || !SetRowsActive({row}, !row->bChecked)) return;
  // Every row showing the record.
  InvalidateAll();
}

bool CPloverView::SetRowsActive(const std::vector<CItemRow*>& rows, bool active) {
  IViewFrame* frame = Frame();
  if (!frame) return false;
  std::vector<COpcItem*> items;
  std::vector<OPCHANDLE> asked;
  for (CItemRow* row : rows) {
    if (row->bChecked == active) continue;
    if (COpcItem* item = frame->ResolveItem(row->hItem)) {
      items.push_back(item);
      asked.push_back(row->hItem);
    }
  }
  if (items.empty()) return false;
  std::vector<HRESULT> errors;
  frame->SetItemsActive(items, active ? TRUE : FALSE, errors);
  // Messages may have run during the calls: the records are found again.
  bool changed = false;
  for (size_t i = 0; i < asked.size() && i < errors.size(); ++i) {
    CItemRow* row = m_rows.Find(asked[i]);
    if (!row || FAILED(errors[i])) continue;
    row->bChecked = active;
    const COpcGroup* group = frame->GetGroup(static_cast<OPCHANDLE>(row->nGroup));
    row->nImage = active && group && group->m_bActive ? 0 : 1;
    changed = true;
  }
  return changed;
}

LRESULT CPloverView::OnSetItemState(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
  auto* state = reinterpret_cast<const LVITEMW*>(lParam);
  if (!state || !(state->stateMask & LVIS_STATEIMAGEMASK)) {
    bHandled = FALSE;
    return 0;
  }
  // Only the two check box images mean anything here; -1 is every row.
  const UINT image = state->state & LVIS_STATEIMAGEMASK;
  const int index = static_cast<int>(wParam);
  if (index >= static_cast<int>(m_rows.Count())) return FALSE;
  if (image == INDEXTOSTATEIMAGEMASK(1u) || image == INDEXTOSTATEIMAGEMASK(2u)) {
    const bool checked = image == INDEXTOSTATEIMAGEMASK(2u);
    if (index < 0) {
      if (SetRowsActive(m_rows.Records(), checked)) ::InvalidateRect(m_hWnd, nullptr, FALSE);
    } else if (m_rows.IsChecked(index) != checked) {
      ToggleCheck(index);
    }
  }
  // Selection and focus stay the control's.
  LVITEMW rest = *state;
  rest.stateMask &= ~LVIS_STATEIMAGEMASK;
  if (!rest.stateMask) return TRUE;
  return DefWindowProc(LVM_SETITEMSTATE, wParam, reinterpret_cast<LPARAM>(&rest));
}

LRESULT CPloverView::OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL& bHandled) {
  // The hit test the control itself makes for a click: by column.
  LVHITTESTINFO hit{};
  hit.pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  const int index =
      static_cast<int>(SendMessage(LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (index >= 0 && (hit.flags & LVHT_ONITEMSTATEICON)) ToggleCheck(index);
  bHandled = FALSE;  // the control still reports the click
  return 0;
}

LRESULT CPloverView::OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  if (wParam == VK_SPACE) {
    ToggleCheck(
        static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED)));
  }
  bHandled = FALSE;  // the control still selects the focused row
  return 0;
}

LRESULT CPloverView::OnContextMenu(UINT, WPARAM, LPARAM lParam, BOOL&) {
  const int index = GetFirstSelected();
  if (index < 0) return 0;
  POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  if (lParam == -1) {  // from the keyboard: under the selected row
    RECT rc{LVIR_BOUNDS, 0, 0, 0};
    SendMessage(LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rc));
    pt = {rc.left, rc.bottom};
    ::ClientToScreen(m_hWnd, &pt);
  }
  HMENU hMenu = LoadUiMenu(IDR_ITEMMENU);
  if (!hMenu) return 0;
  CFrameWnd* pFrame = GetParentFrame(m_hWnd);
  GetModalRunner().TrackPopupMenu(::GetSubMenu(hMenu, 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt,
                                  pFrame ? pFrame->m_hWnd : m_hWnd);
  ::DestroyMenu(hMenu);
  return 0;
}

LRESULT CPloverView::OnDblClk(int, NMHDR*, BOOL&) {
  CItemRow* row = m_rows.At(GetFirstSelected());
  IViewFrame* frame = Frame();
  if (!row || !frame) return 0;
  COpcGroup* group = frame->SelectGroup(static_cast<OPCHANDLE>(row->nGroup));
  ItemAttributeText info;  // no attributes found: shown inactive, "OFF"
  std::vector<OpcPropertyRow> properties;
  if (const COpcItem* item = frame->ResolveItem(row->hItem)) {
    frame->GetItemAttributes(item, info);
    frame->GetItemProperties(item, properties);
  }
  CFrameWnd* pFrame = GetParentFrame(m_hWnd);
  CTagPropertyDlg dlg(group, &info, pFrame ? pFrame->m_hWnd : nullptr);
  dlg.SetItemProperties(std::move(properties));
  dlg.DoModal();
  return 0;
}

void CPloverView::OnToggleActive() {
  CItemRow* row = nullptr;
  COpcItem* item = SelectedItem(&row);
  IViewFrame* frame = Frame();
  if (!item || !frame) return;
  ItemAttributeText info;  // no attributes found: inactive, so the toggle activates
  frame->GetItemAttributes(item, info);
  // The icon changes at once, whatever the server answers.
  row->nImage = info.m_bActive ? 1 : 0;
  const OPCHANDLE hItem = row->hItem;
  const HRESULT hr = frame->SetItemActive(item, !info.m_bActive);
  // The box follows the item's flag as the server took it.
  if (CItemRow* shown = m_rows.Find(hItem); shown && SUCCEEDED(hr)) {
    if (const COpcItem* now = frame->ResolveItem(hItem)) shown->bChecked = now->m_bActive != FALSE;
  }
  const int index = GetFirstSelected();
  SendMessage(LVM_REDRAWITEMS, index, index);
}

void CPloverView::OnRefreshCache() {
  if (GetFirstSelected() < 0) return;
  if (IViewFrame* frame = Frame()) frame->RefreshCache();
}

void CPloverView::OnRefreshDevice() {
  if (GetFirstSelected() < 0) return;
  if (IViewFrame* frame = Frame()) frame->RefreshDevice();
}

// After a synchronous read the record holds the new value, but the row shows it only
// with the group's next data message.
void CPloverView::OnReadCache() {
  if (COpcItem* item = SelectedItem()) Frame()->ReadCache(item);
}

void CPloverView::OnReadDevice() {
  if (COpcItem* item = SelectedItem()) Frame()->ReadDevice(item);
}

void CPloverView::OnAsyncReadCache() {
  if (COpcItem* item = SelectedItem()) Frame()->AsyncReadCache(item);
}

void CPloverView::OnAsyncReadDevice() {
  if (COpcItem* item = SelectedItem()) Frame()->AsyncReadDevice(item);
}

void CPloverView::Write(bool async) {
  COpcItem* item = SelectedItem();
  IViewFrame* frame = Frame();
  if (!item || !frame) return;
  CInputDlg dlg;
  dlg.m_strItemId = item->m_strItemId;
  dlg.m_strInput = frame->GetValueText(item);
  CFrameWnd* pFrame = GetParentFrame(m_hWnd);
  if (dlg.DoModal(pFrame ? pFrame->m_hWnd : nullptr) != IDOK || dlg.m_strInput.empty()) return;
  // Data messages may have run while the box was up: find the row's item again.
  item = SelectedItem();
  frame = Frame();
  if (!item || !frame) return;
  std::wstring reason;
  if (async ? frame->WriteAsync(item, dlg.m_strInput, &reason)
            : frame->WriteSync(item, dlg.m_strInput, &reason))
    return;
  // Which item and why: the server's refusal, or a text that does not convert.
  AfxMessageBox(
      LoadResString(async ? IDS_ASYNC_WRITE_ERROR : IDS_SYNC_WRITE_ERROR) + L"\n" + reason, MB_OK);
}

void CPloverView::OnDeleteItem() {
  const int index = GetFirstSelected();
  CItemRow* row = m_rows.At(index);
  IViewFrame* frame = Frame();
  if (!row || !frame) return;
  COpcItem* item = frame->ResolveItem(row->hItem);
  SendMessage(LVM_DELETEITEM, index);
  m_rows.Erase(index);
  if (item) frame->RemoveItem(item);
}
