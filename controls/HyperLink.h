// CHyperLink: a static text shown as a web link (underlined, link colours, a pointing hand,
// the highlight colour under the pointer, a tooltip with the address) that opens its address
// with the system's handler on a click, or beeps and says why it could not.
#pragma once
#include <windows.h>

#include <string>

#include "Wnd.h"

// The shell call and the process start, replaceable so tests can play success and failure.
class CLinkOpener {
 public:
  virtual ~CLinkOpener() = default;
  // The shell's "open" verb on the address; above 32 means success.
  virtual int ShellOpen(const std::wstring& address, int nShowCmd);
  // Starts a command line; above 31 means success, otherwise an error code of the table.
  virtual int RunCommand(const std::wstring& commandLine, int nShowCmd);
};

CLinkOpener& GetLinkOpener();
// Installs an opener (nullptr restores the real one); returns the previous one.
CLinkOpener* SetLinkOpener(CLinkOpener* pOpener);

class CHyperLink : public CWnd {
 public:
  static constexpr COLORREF kUnvisitedColor = RGB(0, 0, 238);
  static constexpr COLORREF kVisitedColor = RGB(85, 26, 139);
  static constexpr UINT_PTR kToolId = 1;
  // Buffer sizes, in characters: what does not fit is not used at all.
  static constexpr size_t kCommandChars = 520;
  static constexpr size_t kRegistryChars = 260;

  CHyperLink();
  ~CHyperLink() override;

  void SetLinkAddress(const std::wstring& address);
  const std::wstring& GetLinkAddress() const { return m_strAddress; }
  void SetVisited(BOOL bVisited);
  BOOL IsVisited() const { return m_bVisited; }
  BOOL IsHovering() const { return m_bHover; }
  // The colour the text is drawn in now.
  COLORREF GetLinkColor() const;
  HWND GetToolTip() const { return m_hToolTip; }
  HCURSOR GetHandCursor() const { return m_hHandCursor; }
  HFONT GetLinkFont() const { return m_hLinkFont; }

  // The shell's result (above 32: success), or the fallback command's start result.
  static int OpenLinkAddress(const std::wstring& address, int nShowCmd);
  static void ShowLinkError(int code);
  static std::wstring LinkErrorText(int code);
  // 0 or the registry's error code; a value longer than kRegistryChars fails.
  static LONG ReadClassesRootDefault(HKEY hRoot, const std::wstring& subKey, std::wstring& out);
  // The web-page handler's template cut at its "%1" with the address appended after a
  // blank; empty when that would not fit kCommandChars.
  static std::wstring BuildFallbackCommand(const std::wstring& commandTemplate,
                                           const std::wstring& address);
  void FitToText();
  void LoadHandCursor();

  // clang-format off
  BEGIN_MSG_MAP(CHyperLink)
    REFLECTED_COMMAND_CODE_HANDLER(STN_CLICKED, OnClicked)
    MESSAGE_HANDLER(OCM_CTLCOLORSTATIC, OnCtlColor)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
    MESSAGE_HANDLER(WM_CAPTURECHANGED, OnCaptureChanged)
    MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  END_MSG_MAP()
  // clang-format on

 protected:
  // Takes over the static: notify style, caption and address, underlined font, size, tooltip.
  void OnSubclassed() override;
  LRESULT WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND) override;

 private:
  LRESULT OnClicked(WORD, WORD, HWND, BOOL&);
  LRESULT OnCtlColor(UINT, WPARAM wParam, LPARAM, BOOL&);
  LRESULT OnMouseMove(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&);
  LRESULT OnCaptureChanged(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&);
  LRESULT OnSetCursor(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL&);
  void RepaintNow();
  void FreeFont();

  COLORREF m_crHover;
  BOOL m_bHover = FALSE;
  BOOL m_bVisited = FALSE;
  const BOOL m_bUnderline = TRUE;
  const BOOL m_bAutoSize = TRUE;
  std::wstring m_strAddress;
  HFONT m_hLinkFont = nullptr;
  HCURSOR m_hHandCursor = nullptr;
  HWND m_hToolTip = nullptr;
};
