#include "Dialog.h"

#include <cerrno>
#include <cmath>
#include <type_traits>
#include <cwchar>
#include <limits>
#include <cwctype>

#include "FrameworkRes.h"
#include "ModalRunner.h"
#include "UiLanguage.h"

void CDataExchange::Fail(int nIDC) {
  m_bFailed = TRUE;
  HWND hCtrl = ::GetDlgItem(m_hDlg, nIDC);
  if (hCtrl) {
    ::SetFocus(hCtrl);
    ::SendMessageW(hCtrl, EM_SETSEL, 0, -1);
  }
}

namespace {
// The dialog's template in the chosen language.
LPCDLGTEMPLATEW Template(UINT nID) {
  return static_cast<LPCDLGTEMPLATEW>(LoadUiResource(RT_DIALOG, nID));
}

std::wstring GetItemText(HWND hDlg, int nIDC) {
  HWND h = ::GetDlgItem(hDlg, nIDC);
  int n = h ? ::GetWindowTextLengthW(h) : 0;
  std::wstring s(n + 1, L'\0');
  n = h ? ::GetWindowTextW(h, s.data(), n + 1) : 0;
  s.resize(n > 0 ? n : 0);
  return s;
}

bool IsBlankTail(const wchar_t* p) {
  while (*p && std::iswspace(*p)) ++p;
  return *p == 0;
}

// Parses the whole field as a number; trailing text or an empty field is an error.
template <typename T, typename Parse>
void ExchangeNumber(CDataExchange* pDX, int nIDC, T& value, Parse parse, const wchar_t* pszFmt,
                    UINT nIDError) {
  if (pDX->m_bFailed) return;
  if (!pDX->m_bSaveAndValidate) {
    wchar_t buf[64];
    std::swprintf(buf, 64, pszFmt, value);
    ::SetDlgItemTextW(pDX->m_hDlg, nIDC, buf);
    return;
  }
  std::wstring text = GetItemText(pDX->m_hDlg, nIDC);
  wchar_t* pEnd = nullptr;
  errno = 0;
  auto parsed = parse(text.c_str(), &pEnd);
  bool bNaN = false;
  if constexpr (std::is_floating_point_v<T>) bNaN = std::isnan(parsed);
  if (text.empty() || pEnd == text.c_str() || !IsBlankTail(pEnd) || errno == ERANGE || bNaN ||
      parsed < std::numeric_limits<T>::lowest() || parsed > std::numeric_limits<T>::max()) {
    AfxMessageBox(LoadResString(nIDError), MB_OK | MB_ICONEXCLAMATION);
    pDX->Fail(nIDC);
    return;
  }
  value = static_cast<T>(parsed);
}
}  // namespace

void DDX_Text(CDataExchange* pDX, int nIDC, std::wstring& value) {
  if (pDX->m_bFailed) return;
  if (pDX->m_bSaveAndValidate)
    value = GetItemText(pDX->m_hDlg, nIDC);
  else
    ::SetDlgItemTextW(pDX->m_hDlg, nIDC, value.c_str());
}

void DDX_Text(CDataExchange* pDX, int nIDC, int& value) {
  ExchangeNumber(
      pDX, nIDC, value, [](const wchar_t* s, wchar_t** e) { return std::wcstoll(s, e, 10); }, L"%d",
      IDS_FW_ENTER_INTEGER);
}

void DDX_Text(CDataExchange* pDX, int nIDC, DWORD& value) {
  ExchangeNumber(
      pDX, nIDC, value,
      [](const wchar_t* s, wchar_t** e) {
        // wcstoull would quietly wrap a minus sign around.
        const wchar_t* p = s;
        while (std::iswspace(*p)) ++p;
        if (*p == L'-') {
          *e = const_cast<wchar_t*>(s);
          return 0ull;
        }
        return std::wcstoull(s, e, 10);
      },
      L"%lu", IDS_FW_ENTER_UNSIGNED);
}

void DDX_Text(CDataExchange* pDX, int nIDC, double& value) {
  ExchangeNumber(
      pDX, nIDC, value, [](const wchar_t* s, wchar_t** e) { return std::wcstod(s, e); }, L"%g",
      IDS_FW_ENTER_NUMBER);
}

void DDX_Text(CDataExchange* pDX, int nIDC, float& value) {
  ExchangeNumber(
      pDX, nIDC, value, [](const wchar_t* s, wchar_t** e) { return std::wcstod(s, e); }, L"%g",
      IDS_FW_ENTER_NUMBER);
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
  if (pDX->m_bFailed) return;
  if (pDX->m_bSaveAndValidate)
    value = static_cast<int>(::IsDlgButtonChecked(pDX->m_hDlg, nIDC));
  else
    ::CheckDlgButton(pDX->m_hDlg, nIDC, static_cast<UINT>(value));
}

void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index) {
  if (pDX->m_bFailed) return;
  if (pDX->m_bSaveAndValidate)
    index = static_cast<int>(::SendDlgItemMessageW(pDX->m_hDlg, nIDC, CB_GETCURSEL, 0, 0));
  else
    ::SendDlgItemMessageW(pDX->m_hDlg, nIDC, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void DDX_CBString(CDataExchange* pDX, int nIDC, std::wstring& value) {
  if (pDX->m_bFailed) return;
  if (pDX->m_bSaveAndValidate) {
    value = GetItemText(pDX->m_hDlg, nIDC);
    return;
  }
  // Select the matching entry; an editable combo box keeps the text even without one.
  HWND h = ::GetDlgItem(pDX->m_hDlg, nIDC);
  LRESULT i = ::SendMessageW(h, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(value.c_str()));
  ::SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
  if (i == CB_ERR) ::SetWindowTextW(h, value.c_str());
}

void DDX_LBIndex(CDataExchange* pDX, int nIDC, int& index) {
  if (pDX->m_bFailed) return;
  if (pDX->m_bSaveAndValidate)
    index = static_cast<int>(::SendDlgItemMessageW(pDX->m_hDlg, nIDC, LB_GETCURSEL, 0, 0));
  else
    ::SendDlgItemMessageW(pDX->m_hDlg, nIDC, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& control) {
  if (pDX->m_bFailed || control.m_hWnd) return;
  HWND h = ::GetDlgItem(pDX->m_hDlg, nIDC);
  if (!h || !control.SubclassWindow(h)) pDX->m_bFailed = TRUE;
}

INT_PTR CDialog::DoModal(HWND hOwner) {
  return GetModalRunner().RunDialog(*this, hOwner);
}

INT_PTR CDialog::RunModalLoop(HWND hOwner) {
  m_bModal = TRUE;
  m_nModalResult = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), Template(m_nIDTemplate),
                                             hOwner, StaticDlgProc, reinterpret_cast<LPARAM>(this));
  m_bModal = FALSE;
  return m_nModalResult;
}

BOOL CDialog::Create(HWND hParent) {
  m_bModal = FALSE;
  HWND h = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), Template(m_nIDTemplate),
                                        hParent, StaticDlgProc, reinterpret_cast<LPARAM>(this));
  return h != nullptr;
}

void CDialog::EndDialog(INT_PTR nResult) {
  m_nModalResult = nResult;
  if (m_bModal)
    ::EndDialog(m_hWnd, nResult);
  else
    DestroyWindow();
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(m_hWnd, bSaveAndValidate);
  DoDataExchange(&dx);
  return !dx.m_bFailed;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (UpdateData(TRUE)) EndDialog(IDOK);
}

void CDialog::OnCancel() {
  EndDialog(IDCANCEL);
}

LRESULT CDialog::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
  LRESULT lResult = 0;
  if (ReflectNotification(uMsg, wParam, lParam, lResult) ||
      ProcessWindowMessage(m_hWnd, uMsg, wParam, lParam, lResult)) {
    // These few return their result directly from a dialog procedure.
    if ((uMsg >= WM_CTLCOLORMSGBOX && uMsg <= WM_CTLCOLORSTATIC) || uMsg == WM_COMPAREITEM ||
        uMsg == WM_VKEYTOITEM || uMsg == WM_CHARTOITEM || uMsg == WM_QUERYDRAGICON)
      return lResult;
    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, lResult);
    return TRUE;
  }
  if (uMsg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (LOWORD(wParam) == IDOK) {
      OnOK();
      return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
      OnCancel();
      return TRUE;
    }
  }
  return FALSE;
}

void CenterOverOwner(HWND hWnd) {
  // A template's position is relative to the screen's top-left corner, where the dialog
  // would cover the owner's menu and toolbar: centred over the owner (or the screen)
  // instead, inside the work area of the owner's monitor.
  if (!hWnd || (::GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD)) return;
  HWND hOwner = ::GetWindow(hWnd, GW_OWNER);
  if (hOwner && (!::IsWindowVisible(hOwner) || ::IsIconic(hOwner))) hOwner = nullptr;
  HMONITOR hMon = hOwner ? ::MonitorFromWindow(hOwner, MONITOR_DEFAULTTONEAREST)
                         : ::MonitorFromWindow(hWnd, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO mi{};
  mi.cbSize = sizeof(mi);
  if (!::GetMonitorInfoW(hMon, &mi)) return;
  const RECT area = mi.rcWork;
  RECT around = area, rc{};
  if (hOwner) ::GetWindowRect(hOwner, &around);
  ::GetWindowRect(hWnd, &rc);
  const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
  int x = (around.left + around.right - cx) / 2;
  int y = (around.top + around.bottom - cy) / 2;
  if (x + cx > area.right) x = area.right - cx;
  if (y + cy > area.bottom) y = area.bottom - cy;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  ::SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CDialog::StaticDlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  CDialog* pDlg = static_cast<CDialog*>(CWnd::FromHandle(hWnd));
  if (uMsg == WM_INITDIALOG) {
    pDlg = reinterpret_cast<CDialog*>(lParam);
    pDlg->Attach(hWnd);
    CenterOverOwner(hWnd);
    LRESULT lResult = 0;
    if (pDlg->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, lResult)) return lResult;
    return pDlg->OnInitDialog();
  }
  if (!pDlg) return FALSE;
  INT_PTR r = pDlg->WindowProc(uMsg, wParam, lParam);
  if (uMsg == WM_NCDESTROY) {
    pDlg->Detach();
    pDlg->OnFinalMessage(hWnd);
  }
  return r;
}
