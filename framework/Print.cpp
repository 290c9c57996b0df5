#include "Print.h"

#include <commdlg.h>

#include "App.h"
#include "Document.h"
#include "FrameWnd.h"
#include "ModalRunner.h"
#include "View.h"

namespace {
// A printer DC for the chosen printer (or the default one) without showing anything.
HDC CreateDefaultPrinterDC() {
  CWinApp* pApp = AfxGetApp();
  PRINTDLGW pd{};
  pd.lStructSize = sizeof(pd);
  pd.Flags = PD_RETURNDC | PD_RETURNDEFAULT;
  if (pApp && pApp->m_hDevNames) {
    // With settings from print setup, build the DC from them instead of the default.
    auto* pNames = static_cast<DEVNAMES*>(::GlobalLock(pApp->m_hDevNames));
    HDC hdc = nullptr;
    if (pNames) {
      const wchar_t* base = reinterpret_cast<const wchar_t*>(pNames);
      DEVMODEW* pMode =
          pApp->m_hDevMode ? static_cast<DEVMODEW*>(::GlobalLock(pApp->m_hDevMode)) : nullptr;
      hdc = ::CreateDCW(base + pNames->wDriverOffset, base + pNames->wDeviceOffset, nullptr, pMode);
      if (pMode) ::GlobalUnlock(pApp->m_hDevMode);
      ::GlobalUnlock(pApp->m_hDevNames);
    }
    return hdc;
  }
  if (!GetModalRunner().PrintDialog(pd)) return nullptr;
  if (pd.hDevMode) ::GlobalFree(pd.hDevMode);
  if (pd.hDevNames) ::GlobalFree(pd.hDevNames);
  return pd.hDC;
}
}  // namespace

BOOL PrintView(CView& view, bool bAsk) {
  CWinApp* pApp = AfxGetApp();
  HDC hdc = nullptr;
  if (bAsk) {
    PRINTDLGW pd{};
    pd.lStructSize = sizeof(pd);
    pd.hwndOwner = pApp && pApp->m_pMainWnd ? pApp->m_pMainWnd->m_hWnd : nullptr;
    pd.Flags = PD_RETURNDC | PD_NOSELECTION | PD_NOPAGENUMS | PD_USEDEVMODECOPIESANDCOLLATE;
    pd.hDevMode = pApp ? pApp->m_hDevMode : nullptr;
    pd.hDevNames = pApp ? pApp->m_hDevNames : nullptr;
    if (!GetModalRunner().PrintDialog(pd)) return FALSE;
    if (pApp) {
      if (pApp->m_hDevMode && pApp->m_hDevMode != pd.hDevMode) ::GlobalFree(pApp->m_hDevMode);
      if (pApp->m_hDevNames && pApp->m_hDevNames != pd.hDevNames) ::GlobalFree(pApp->m_hDevNames);
      pApp->m_hDevMode = pd.hDevMode;
      pApp->m_hDevNames = pd.hDevNames;
    }
    hdc = pd.hDC;
  } else {
    hdc = CreateDefaultPrinterDC();
  }
  if (!hdc) return FALSE;

  std::wstring name;
  if (view.GetDocument()) name = view.GetDocument()->GetTitle();
  DOCINFOW di{};
  di.cbSize = sizeof(di);
  di.lpszDocName = name.c_str();
  BOOL bOk = FALSE;
  if (::StartDocW(hdc, &di) > 0) {
    if (::StartPage(hdc) > 0) {
      view.OnDraw(hdc);
      bOk = ::EndPage(hdc) > 0;
    }
    if (bOk)
      bOk = ::EndDoc(hdc) > 0;
    else
      ::AbortDoc(hdc);
  }
  ::DeleteDC(hdc);
  if (!bOk) AfxMessageBox(LoadResString(AFX_IDP_FAILED_TO_START_PRINT), MB_OK | MB_ICONEXCLAMATION);
  return bOk;
}

BOOL CPreviewWnd::Create() {
  // The page keeps the printer's paper proportions when a printer is there.
  if (HDC hdc = CreateDefaultPrinterDC()) {
    int cx = ::GetDeviceCaps(hdc, HORZSIZE), cy = ::GetDeviceCaps(hdc, VERTSIZE);
    if (cx > 0 && cy > 0) m_sizePaper = SIZE{cx * 10, cy * 10};
    ::DeleteDC(hdc);
  }
  LPCWSTR pszClass = RegisterClass(L"PloverPreview", 0, ::LoadCursorW(nullptr, IDC_ARROW),
                                   reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1));
  if (!pszClass ||
      !CreateEx(0, pszClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0,
                m_frame.m_hWnd, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(AFX_IDW_PREVIEW))))
    return FALSE;
  HFONT hFont = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  std::wstring print = LoadResString(AFX_IDS_PREVIEW_PRINT),
               close = LoadResString(AFX_IDS_PREVIEW_CLOSE);
  m_hPrint = ::CreateWindowExW(0, L"BUTTON", print.c_str(), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                               4, 4, 90, 24, m_hWnd, reinterpret_cast<HMENU>(IDC_PREVIEW_PRINT),
                               ::GetModuleHandleW(nullptr), nullptr);
  m_hClose = ::CreateWindowExW(0, L"BUTTON", close.c_str(), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                               98, 4, 90, 24, m_hWnd, reinterpret_cast<HMENU>(IDC_PREVIEW_CLOSE),
                               ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(m_hPrint, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
  ::SendMessageW(m_hClose, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
  ::SetFocus(m_hWnd);
  return TRUE;
}

RECT CPreviewWnd::GetPageRect() const {
  RECT rc{};
  ::GetClientRect(m_hWnd, &rc);
  int top = ButtonStripHeight() + 8;
  int cyAvail = rc.bottom - top - 8, cxAvail = rc.right - 16;
  if (cyAvail <= 0 || cxAvail <= 0) return RECT{0, 0, 0, 0};
  // Fit the paper's proportions into the space left under the buttons.
  int cy = cyAvail;
  int cx = static_cast<int>(static_cast<long long>(cy) * m_sizePaper.cx / m_sizePaper.cy);
  if (cx > cxAvail) {
    cx = cxAvail;
    cy = static_cast<int>(static_cast<long long>(cx) * m_sizePaper.cy / m_sizePaper.cx);
  }
  int left = (rc.right - cx) / 2;
  return RECT{left, top, left + cx, top + cy};
}

LRESULT CPreviewWnd::OnPaint(UINT, WPARAM, LPARAM, BOOL&) {
  PAINTSTRUCT ps;
  HDC hdc = ::BeginPaint(m_hWnd, &ps);
  RECT page = GetPageRect();
  RECT shadow = page;
  ::OffsetRect(&shadow, 3, 3);
  ::FillRect(hdc, &shadow, static_cast<HBRUSH>(::GetStockObject(DKGRAY_BRUSH)));
  ::FillRect(hdc, &page, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  ::FrameRect(hdc, &page, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
  ::EndPaint(m_hWnd, &ps);
  return 0;
}

LRESULT CPreviewWnd::OnSize(UINT, WPARAM, LPARAM, BOOL&) {
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
  return 0;
}

LRESULT CPreviewWnd::OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  // Posted: the button must finish its click before the preview (its parent) goes away.
  switch (LOWORD(wParam)) {
    case IDC_PREVIEW_PRINT:
      ::PostMessageW(m_hWnd, WM_ENDPREVIEW, TRUE, 0);
      return 0;
    case IDC_PREVIEW_CLOSE:
      ::PostMessageW(m_hWnd, WM_ENDPREVIEW, FALSE, 0);
      return 0;
  }
  bHandled = FALSE;
  return 0;
}

LRESULT CPreviewWnd::OnEndPreview(UINT, WPARAM wParam, LPARAM, BOOL&) {
  CView& view = m_view;
  m_frame.EndPrintPreview();  // deletes this object: nothing of it is touched below
  if (wParam) PrintView(view, true);
  return 0;
}

LRESULT CPreviewWnd::OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
  if (wParam == VK_ESCAPE) {
    m_frame.EndPrintPreview();
    return 0;
  }
  bHandled = FALSE;
  return 0;
}
