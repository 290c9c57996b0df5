// A list box drawn as a two-column property sheet (name | value) with a draggable splitter
// and an in-place editor over the value of the row last clicked.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "Wnd.h"

// Editor kinds of a row. Any other value (hosts use ROW_DISPLAY) shows a "..." button that
// does nothing.
enum : int {
  ROW_CHOICE = 0,   // drop-down list of m_strChoices
  ROW_TEXT = 1,     // single-line text box
  ROW_COLOR = 2,    // colour chooser, value "RGB(r,g,b)"
  ROW_FONT = 3,     // font chooser, value is the face name
  ROW_FILE = 4,     // file-open chooser, value is the full path
  ROW_DISPLAY = 5,  // shown, not edited
};

// One row. Owned by the host; the list keeps only its address and never frees it.
class CPropertyRow {
 public:
  CPropertyRow(const std::wstring& name, const std::wstring& value, int kind,
               const std::wstring& choices)
      : m_strName(name), m_strValue(value), m_nKind(kind), m_strChoices(choices) {}

  std::wstring m_strName;
  std::wstring m_strValue;
  int m_nKind;
  std::wstring m_strChoices;  // ROW_CHOICE: every choice followed by '|', e.g. "ON|OFF|"
};

class CPropertyList : public CWnd {
 public:
  static constexpr int kRowHeight = 20;
  static constexpr UINT kChoiceId = 712;
  static constexpr UINT kTextId = 713;
  static constexpr UINT kButtonId = 714;

  // Attaching to a dialog's list box goes through SubclassWindow (DDX_Control); the state the
  // constructor sets up is what attaching needs.
  CPropertyList();
  ~CPropertyList() override;

  // Creates its own list box: forced owner-draw fixed, never sorted.
  BOOL Create(DWORD dwStyle, const RECT& rc, HWND hParent, UINT nID);

  // Appends a row (the same record may be added several times); returns its index.
  int AddRow(CPropertyRow* row);
  std::wstring GetRowValue(int index) const;
  void SetRowValue(int index, const std::wstring& value);

  void SetNameTextColor(COLORREF cr) { m_crNameText = cr; }
  void SetNameBkColor(COLORREF cr) { m_crNameBk = cr; }
  void SetValueTextColor(COLORREF cr) { m_crValueText = cr; }
  void SetValueBkColor(COLORREF cr) { m_crValueBk = cr; }

  // Value column's left edge in client pixels; 0 until the first row is drawn.
  int GetSplitterPos() const { return m_nSplitter; }
  // The row editors and choosers act on: the row of the last left-button release.
  int GetCurrentRow() const { return m_nCurRow; }

  // The colour a "RGB(r,g,b)" value names; black when the text has no "RGB".
  static COLORREF ParseColorText(const std::wstring& text);
  // The entries of a choice string: every piece ended by '|', empty ones included.
  static std::vector<std::wstring> SplitChoices(const std::wstring& choices);

  // clang-format off
  BEGIN_MSG_MAP(CPropertyList)
    MESSAGE_HANDLER(OCM_MEASUREITEM, OnMeasureItem)
    MESSAGE_HANDLER(OCM_DRAWITEM, OnDrawItem)
    REFLECTED_COMMAND_CODE_HANDLER(LBN_SELCHANGE, OnSelChange)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLButtonDown)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    MESSAGE_HANDLER(WM_LBUTTONUP, OnLButtonUp)
    MESSAGE_HANDLER(WM_CAPTURECHANGED, OnCaptureChanged)
    MESSAGE_HANDLER(WM_VSCROLL, OnScroll)
    MESSAGE_HANDLER(WM_MOUSEWHEEL, OnScroll)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    COMMAND_HANDLER(kChoiceId, CBN_SELCHANGE, OnChoiceChange)
    COMMAND_HANDLER(kChoiceId, CBN_KILLFOCUS, OnEditorKillFocus)
    COMMAND_HANDLER(kTextId, EN_CHANGE, OnTextChange)
    COMMAND_HANDLER(kTextId, EN_KILLFOCUS, OnEditorKillFocus)
    COMMAND_HANDLER(kButtonId, BN_CLICKED, OnChooser)
  END_MSG_MAP()
  // clang-format on

 private:
  CPropertyRow* GetRow(int index) const;
  void Redraw();
  void ShowChoiceEditor(CPropertyRow* row, RECT rc);
  void ShowTextEditor(CPropertyRow* row, RECT rc);
  void ShowChooserButton(RECT rc);
  HWND MakeEditor(LPCWSTR pszClass, LPCWSTR pszText, DWORD dwStyle, const RECT& rc, UINT nID);
  BOOL RunColorChooser(CPropertyRow* row, std::wstring& value);
  BOOL RunFileChooser(CPropertyRow* row, std::wstring& value);
  BOOL RunFontChooser(std::wstring& value);
  void InvertLine(int x);
  void EndDrag(int x, BOOL bPlace);

  LRESULT OnMeasureItem(UINT, WPARAM, LPARAM lParam, BOOL&);
  LRESULT OnDrawItem(UINT, WPARAM, LPARAM lParam, BOOL&);
  LRESULT OnSelChange(WORD, WORD, HWND, BOOL&);
  LRESULT OnLButtonDown(UINT, WPARAM, LPARAM lParam, BOOL& bHandled);
  LRESULT OnMouseMove(UINT, WPARAM, LPARAM lParam, BOOL& bHandled);
  LRESULT OnLButtonUp(UINT, WPARAM, LPARAM lParam, BOOL& bHandled);
  LRESULT OnCaptureChanged(UINT, WPARAM, LPARAM lParam, BOOL& bHandled);
  LRESULT OnScroll(UINT, WPARAM, LPARAM, BOOL& bHandled);
  LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled);
  LRESULT OnChoiceChange(WORD, WORD, HWND, BOOL&);
  LRESULT OnTextChange(WORD, WORD, HWND, BOOL&);
  LRESULT OnEditorKillFocus(WORD, WORD, HWND hCtl, BOOL&);
  LRESULT OnChooser(WORD, WORD, HWND, BOOL&);

  COLORREF m_crNameText = RGB(0, 0, 0);
  COLORREF m_crNameBk = RGB(192, 192, 192);
  COLORREF m_crValueText = RGB(0, 0, 0);
  COLORREF m_crValueBk = RGB(192, 192, 192);
  int m_nSplitter = 0;
  int m_nCurRow = 1;
  BOOL m_bTracking = FALSE;
  int m_nTrackTop = 0;
  int m_nTrackBottom = 0;
  int m_nTrackX = 0;
  HFONT m_hEditorFont = nullptr;
  HCURSOR m_hSizeCursor = nullptr;
  HWND m_hChoice = nullptr;
  HWND m_hText = nullptr;
  HWND m_hButton = nullptr;
  COLORREF m_customColors[16] = {};
};
