#include "ModalRunner.h"

#include "App.h"
#include "Dialog.h"
#include "FrameworkRes.h"

namespace {
CModalRunner g_realRunner;
CModalRunner* g_pRunner = &g_realRunner;
}  // namespace

int CModalRunner::MessageBox(HWND hOwner, const std::wstring& text, const std::wstring& caption,
                             UINT nType) {
  return ::MessageBoxW(hOwner, text.c_str(), caption.c_str(), nType);
}

INT_PTR CModalRunner::RunDialog(CDialog& dlg, HWND hOwner) {
  return dlg.RunModalLoop(hOwner);
}

BOOL CModalRunner::GetFileName(OPENFILENAMEW& ofn, BOOL bOpen) {
  return bOpen ? ::GetOpenFileNameW(&ofn) : ::GetSaveFileNameW(&ofn);
}

BOOL CModalRunner::PrintDialog(PRINTDLGW& pd) {
  return ::PrintDlgW(&pd);
}

BOOL CModalRunner::ChooseColor(CHOOSECOLORW& cc) {
  return ::ChooseColorW(&cc);
}

BOOL CModalRunner::ChooseFont(CHOOSEFONTW& cf) {
  return ::ChooseFontW(&cf);
}

BOOL CModalRunner::TrackPopupMenu(HMENU hMenu, UINT nFlags, POINT pt, HWND hOwner) {
  return ::TrackPopupMenu(hMenu, nFlags, pt.x, pt.y, 0, hOwner, nullptr);
}

INT_PTR DriveDialog(CDialog& dlg, HWND hOwner, const std::function<void(HWND hDlg)>& drive) {
  dlg.m_nModalResult = -1;
  if (!dlg.Create(hOwner)) return -1;
  HWND hDlg = dlg.m_hWnd;
  if (drive) drive(hDlg);
  if (::IsWindow(hDlg) && dlg.m_hWnd == hDlg) dlg.EndDialog(IDCANCEL);
  return dlg.m_nModalResult;
}

CModalRunner& GetModalRunner() {
  return *g_pRunner;
}

CModalRunner* SetModalRunner(CModalRunner* pRunner) {
  CModalRunner* pPrev = g_pRunner;
  g_pRunner = pRunner ? pRunner : &g_realRunner;
  return pPrev;
}

int AfxMessageBox(const std::wstring& text, UINT nType) {
  CWinApp* pApp = AfxGetApp();
  std::wstring caption = pApp ? pApp->m_strAppName : LoadResString(AFX_IDS_APP_TITLE);
  if (caption.empty()) caption = L"Plover";
  HWND hOwner = nullptr;
  if (pApp && pApp->m_pMainWnd && ::IsWindow(pApp->m_pMainWnd->m_hWnd))
    hOwner = pApp->m_pMainWnd->m_hWnd;
  // A modal message box owned by a disabled window would re-enable the wrong one. Only then
  // does the active popup own it: the start-up splash is a popup too, and a box it owned
  // would vanish with it.
  if (hOwner && !::IsWindowEnabled(hOwner)) hOwner = ::GetLastActivePopup(hOwner);
  return GetModalRunner().MessageBox(hOwner, text, caption, nType);
}
