// The trend window: chosen items of the item list drawn over time, one pen each, with its
// legend (item ID, latest value, quality; a box to hide a pen, a menu to remove it), the
// span and scale choices, pause and "save as picture".
//
// A window of its own owned by the main frame rather than a third pane: the frame's
// splitter already gives the tree and the list the whole width, and a trend wants room of
// its own; an owned window stays above the frame, goes with it when it is minimised or
// closed, and can sit on a second screen.
//
// Values come from the client core's item observer, inside the server's callback: each is
// stored and marked, nothing more. The picture and the legend are brought up to date by a
// timer at most 30 times a second, as the item list's rows are.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "OpcItemObserver.h"
#include "TrendCtrl.h"
#include "Wnd.h"
#include "resource.h"

class COpcItem;
class COpcItemObserverList;

class CTrendWnd : public CWnd, public IOpcItemObserver {
 public:
  static const UINT_PTR kRepaintTimer = 0x7E1D;
  static const UINT kRepaintMs = 33;
  // The spans offered, in minutes, in the order of the span box.
  static constexpr int kSpanMinutes[] = {1, 5, 15, 60};

  ~CTrendWnd() override;
  // Creates the window (hidden) over owner, listening on observers until it closes.
  BOOL Create(HWND owner, COpcItemObserverList* observers);

  // A pen for each item not shown yet; an item that is no number is refused, its ID and why
  // added to refused (one line each). Returns how many pens were added.
  int AddItems(const std::vector<const COpcItem*>& items, std::wstring* refused);
  void RemovePen(size_t index);
  void SetPenVisible(size_t index, bool visible);
  size_t PenCount() const { return m_pens.size(); }
  const std::wstring& PenItemId(size_t index) const { return m_pens[index]->itemId; }
  const CTrendSeries& PenSeries(size_t index) const { return m_pens[index]->series; }
  CTrendCtrl& Trend() { return m_trend; }
  HWND Legend() const { return m_hLegend; }
  HWND Control(UINT id) const { return ::GetDlgItem(m_hWnd, static_cast<int>(id)); }
  // Whether an item client handle still names a live item. A pen whose item is gone (removed,
  // its group deleted, the server disconnected or lost) gets one bad sample then: its curve
  // stops there instead of holding its last value as if all were well.
  void SetLiveCheck(std::function<bool(OPCHANDLE)> isLive) { m_isLive = std::move(isLive); }
  // The picture as shown, to a PNG file; on failure *reason says why.
  BOOL SavePicture(const std::wstring& path, std::wstring* reason);
  // The right edge of the picture while it follows: the newest server time stamp seen, moved
  // on by the time passed here since it came.
  int64_t LiveEnd() const;
  // What the legend and the cursor say of a quality.
  static std::wstring QualityText(WORD quality);

  // IOpcItemObserver
  void OnItemStored(OPCHANDLE hGroup, const COpcItem& item) override;
  void OnWriteResult(OPCHANDLE, HRESULT) override {}

  // clang-format off
  BEGIN_MSG_MAP(CTrendWnd)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    MESSAGE_HANDLER(WM_SIZE, OnSize)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    MESSAGE_HANDLER(WM_CONTEXTMENU, OnContextMenu)
    COMMAND_HANDLER(IDC_TREND_SPAN, CBN_SELCHANGE, OnSpanChange)
    COMMAND_HANDLER(IDC_TREND_SCALE, CBN_SELCHANGE, OnScaleChange)
    COMMAND_HANDLER(IDC_TREND_LOW, EN_CHANGE, OnLimitsChange)
    COMMAND_HANDLER(IDC_TREND_HIGH, EN_CHANGE, OnLimitsChange)
    COMMAND_HANDLER(IDC_TREND_PAUSE, BN_CLICKED, OnPause)
    COMMAND_HANDLER(IDC_TREND_SAVE, BN_CLICKED, OnSave)
    COMMAND_ID_HANDLER(ID_TREND_REMOVE, OnRemoveSelected)
    COMMAND_ID_HANDLER(ID_TREND_TOGGLE, OnToggleSelected)
    NOTIFY_HANDLER(IDC_TREND_LEGEND, LVN_ITEMCHANGED, OnLegendChanged)
    NOTIFY_HANDLER(IDC_TREND_LEGEND, NM_CUSTOMDRAW, OnLegendDraw)
    NOTIFY_HANDLER(IDC_TREND_LEGEND, LVN_KEYDOWN, OnLegendKey)
  END_MSG_MAP()
  // clang-format on

 private:
  struct Pen {
    OPCHANDLE hClient = 0;
    std::wstring itemId;
    bool steps = false;
    bool visible = true;
    COLORREF color = 0;
    CTrendSeries series;
    double latest = 0;
    WORD quality = 0;
    bool hasLatest = false;
    bool lost = false;                      // its item is gone
    std::wstring shownValue, shownQuality;  // what the legend says now
  };

  LRESULT OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& bHandled);
  LRESULT OnSize(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnContextMenu(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
  LRESULT OnSpanChange(WORD, WORD, HWND, BOOL&);
  LRESULT OnScaleChange(WORD, WORD, HWND, BOOL&);
  LRESULT OnLimitsChange(WORD, WORD, HWND, BOOL&);
  LRESULT OnPause(WORD, WORD, HWND, BOOL&);
  LRESULT OnSave(WORD, WORD, HWND, BOOL&);
  void OnRemoveSelected();
  void OnToggleSelected();
  LRESULT OnLegendChanged(int, NMHDR* pnmh, BOOL&);
  LRESULT OnLegendDraw(int, NMHDR* pnmh, BOOL&);
  LRESULT OnLegendKey(int, NMHDR* pnmh, BOOL&);

  void CreateChildren();
  void Layout();
  // The control's pens from ours, after any change of the list.
  void SyncPens();
  void UpdateLegend(bool all);
  int SelectedLegendRow() const;
  std::wstring ValueText(const Pen& pen, double v, WORD quality) const;
  COLORREF NextColor() const;

  COpcItemObserverList* m_pObservers = nullptr;
  std::vector<std::unique_ptr<Pen>> m_pens;
  std::unordered_map<OPCHANDLE, Pen*> m_byHandle;
  CTrendCtrl m_trend;
  HWND m_hLegend = nullptr;
  HFONT m_hFont = nullptr;
  bool m_bDirty = false;
  bool m_bFilling = false;  // the legend's own changes, not the user's
  int64_t m_lastStamp = 0;
  ULONGLONG m_lastStampTick = 0;
  int64_t m_paintedEnd = 0;
  std::function<bool(OPCHANDLE)> m_isLive;
};
