// Right pane: the item list, one report row per added item. Rows arrive with the view's
// message handlers; the item menu starts reads, writes, refreshes, activation and deletion.
//
// The list is owner-data (virtual): the control keeps only the row count, selection and
// focus; the rows, their records and check boxes are the row model's (ItemRows.h), from which
// the view answers LVN_GETDISPINFO for texts, icon and check box. A refresh rewrites only that
// group's records and repaints once, at most once per repaint period; only rows on screen are
// ever formatted.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <oleauto.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ItemRows.h"
#include "PloverMessages.h"
#include "opcda.h"
#include "View.h"
#include "resource.h"

class COpcItem;
class IViewFrame;

class CPloverView : public CView {
 public:
  CPloverView();
  ~CPloverView() override;

  // Makes the row of that item the list's hot item; nothing when no row has it.
  void HighlightItem(const COpcItem* item);
  void OnInitialUpdate() override;
  // The item client handles of the selected rows, top to bottom (a detached row has none).
  std::vector<OPCHANDLE> SelectedItemHandles() const;

  // The server is lost: every row stays where it is, showing "bad: comm failure" from now
  // on, until an item of the same group and ID takes it back (WM_OPC_ITEMADDED).
  void DetachRows();
  // Rows still waiting for an item once the server is back: each shows the text its group
  // and item ID have in why (keyed "group|item ID"), else fallback. Returns how many.
  size_t MarkUnrestored(const std::map<std::wstring, std::wstring>& why,
                        const std::wstring& fallback);
  static std::wstring UnrestoredKey(int group, const std::wstring& itemId) {
    return std::to_wstring(group) + L"|" + itemId;
  }
  // The group and item ID of each selected row (what a recording of the selection follows).
  std::vector<std::pair<int, std::wstring>> SelectedKeys() const;

  // clang-format off
  BEGIN_MSG_MAP(CPloverView)
    // Rows appended by a run of item messages are counted before anything else reaches
    // the control (a message of the run itself excepted).
    if (m_bCountDue && uMsg != WM_OPC_ITEMADDED) SyncCount();
    MESSAGE_HANDLER(LVM_SETITEMSTATE, OnSetItemState)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
    MESSAGE_HANDLER(WM_KEYDOWN, OnKeyDown)
    MESSAGE_HANDLER(WM_OPC_DISCONNECT, OnOpcDisconnect)
    MESSAGE_HANDLER(WM_OPC_ITEMADDED, OnOpcItemAdded)
    MESSAGE_HANDLER(WM_OPC_GROUPDATA, OnOpcGroupData)
    MESSAGE_HANDLER(WM_OPC_GROUPCHANGED, OnOpcGroupChanged)
    MESSAGE_HANDLER(WM_OPC_GROUPDELETED, OnOpcGroupDeleted)
    MESSAGE_HANDLER(kRedrawAddedRows, OnRedrawAddedRows)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    MESSAGE_HANDLER(WM_CONTEXTMENU, OnContextMenu)
    REFLECTED_NOTIFY_CODE_HANDLER(LVN_GETDISPINFOW, OnGetDispInfo)
    REFLECTED_NOTIFY_CODE_HANDLER(LVN_ODFINDITEMW, OnFindItem)
    REFLECTED_NOTIFY_CODE_HANDLER(NM_DBLCLK, OnDblClk)
    REFLECTED_NOTIFY_CODE_HANDLER(LVN_ITEMCHANGED, OnItemChanged)
    COMMAND_ID_HANDLER(ID_ITEM_TOGGLE_ACTIVE, OnToggleActive)
    COMMAND_ID_HANDLER(ID_ITEM_REFRESH_CACHE, OnRefreshCache)
    COMMAND_ID_HANDLER(ID_ITEM_REFRESH_DEVICE, OnRefreshDevice)
    COMMAND_ID_HANDLER(ID_ITEM_READ_CACHE, OnReadCache)
    COMMAND_ID_HANDLER(ID_ITEM_READ_DEVICE, OnReadDevice)
    COMMAND_ID_HANDLER(ID_ITEM_ASYNC_READ_CACHE, OnAsyncReadCache)
    COMMAND_ID_HANDLER(ID_ITEM_ASYNC_READ_DEVICE, OnAsyncReadDevice)
    COMMAND_ID_HANDLER(ID_ITEM_ASYNC_WRITE, OnAsyncWrite)
    COMMAND_ID_HANDLER(ID_ITEM_SYNC_WRITE, OnSyncWrite)
    COMMAND_ID_HANDLER(ID_ITEM_DELETE, OnDeleteItem)
    CHAIN_MSG_MAP(CView)
  END_MSG_MAP()
  // clang-format on

  // Posted to itself by the first of a run of added rows: the run is counted and drawn
  // once, when the message loop comes back.
  static const UINT kRedrawAddedRows = WM_APP + 0x110;
  // Data messages repaint the list at most once per period of this timer: the first at
  // once, any later ones of the period together when it ends.
  static const UINT_PTR kRepaintTimer = 0x5030;
  static const UINT kRepaintMs = 33;

 protected:
  LPCWSTR GetViewClass() const override;
  DWORD GetViewStyle() const override;

 private:
  LRESULT OnOpcDisconnect(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnOpcItemAdded(UINT, WPARAM wParam, LPARAM lParam, BOOL&);
  LRESULT OnOpcGroupData(UINT, WPARAM, LPARAM lParam, BOOL&);
  LRESULT OnOpcGroupChanged(UINT, WPARAM, LPARAM lParam, BOOL&);
  LRESULT OnOpcGroupDeleted(UINT, WPARAM, LPARAM lParam, BOOL&);
  LRESULT OnRedrawAddedRows(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& bHandled);
  // What a data message changed is shown now, or at the end of the current period.
  void RequestRepaint();
  // Marks the value, type and time columns of the rows on screen for the next paint: a row's
  // other columns and its icons do not change with data, and a cell costs Wine 50 us.
  void InvalidateValues();
  // Marks the whole list, header and scroll bars included, for the next paint, without
  // erasing first (an erase shows as a blank list until the paint comes).
  void InvalidateAll();
  LRESULT OnContextMenu(UINT, WPARAM, LPARAM lParam, BOOL&);
  // Check boxes are the view's: an owner-data list stores no state image. A box is its
  // item's active flag: setting one through LVM_SETITEMSTATE, a click on it and the space bar
  // activate or deactivate the item at the server.
  LRESULT OnSetItemState(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  LRESULT OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL& bHandled);
  LRESULT OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL& bHandled);
  void ToggleCheck(int index);
  // Activates or deactivates the rows' items that are not so already, one server call per
  // group however many rows; a box and icon change only where the server agreed. Returns
  // whether any changed.
  bool SetRowsActive(const std::vector<CItemRow*>& rows, bool active);
  // Tells the control how many rows there are now.
  void SyncCount();
  LRESULT OnGetDispInfo(int, NMHDR* pnmh, BOOL&);
  // Type-ahead: the next row, from the start index and wrapping, whose first column begins
  // with the typed text, as a list of stored rows would find it.
  LRESULT OnFindItem(int, NMHDR* pnmh, BOOL&);
  LRESULT OnDblClk(int, NMHDR*, BOOL&);
  LRESULT OnItemChanged(int, NMHDR*, BOOL&) { return 0; }
  void OnToggleActive();
  void OnRefreshCache();
  void OnRefreshDevice();
  void OnReadCache();
  void OnReadDevice();
  void OnAsyncReadCache();
  void OnAsyncReadDevice();
  void OnAsyncWrite() { Write(true); }
  void OnSyncWrite() { Write(false); }
  void OnDeleteItem();

  void Write(bool async);
  // The lowest selected row, or -1.
  int GetFirstSelected() const;
  // The live item of the first selected row, or none (no selection, or the item is gone).
  COpcItem* SelectedItem(CItemRow** ppRow = nullptr) const;
  IViewFrame* Frame() const;
  void ClearRows();
  // Nested: redrawing comes back on with the last SetRedraw(TRUE).
  void SetRedraw(BOOL bRedraw);

  class CLock {
   public:
    explicit CLock(CRITICAL_SECTION& cs) : m_cs(cs) { ::EnterCriticalSection(&m_cs); }
    ~CLock() { ::LeaveCriticalSection(&m_cs); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

   private:
    CRITICAL_SECTION& m_cs;
  };

  CRITICAL_SECTION m_lock;  // recursive: a handler re-entered on the same thread goes on
  HIMAGELIST m_hImages = nullptr;
  int m_nRedrawOff = 0;
  bool m_bCountDue = false;      // the model has rows the control does not count yet
  bool m_bRepaintTimer = false;  // a period is running
  bool m_bRepaintDue = false;    // data changed during it
  CItemRows m_rows;
};
