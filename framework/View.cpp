#include "View.h"

#include "Document.h"
#include "FrameWnd.h"
#include "Print.h"
#include "Splitter.h"

LPCWSTR CView::GetViewClass() const {
  return RegisterClass(L"PloverView", CS_DBLCLKS, ::LoadCursorW(nullptr, IDC_ARROW),
                       reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
}

BOOL CView::Create(HWND hParent, UINT nID, CDocument* pDoc, const RECT& rc) {
  LPCWSTR pszClass = GetViewClass();
  if (!pszClass) return FALSE;
  BOOL bOk;
  if (::lstrcmpW(pszClass, L"PloverView") == 0) {
    bOk = CreateEx(GetViewExStyle(), pszClass, nullptr, GetViewStyle(), rc.left, rc.top,
                   rc.right - rc.left, rc.bottom - rc.top, hParent,
                   reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)));
  } else {
    bOk = CreateControl(GetViewExStyle(), pszClass, GetViewStyle(), rc, hParent, nID);
  }
  if (!bOk) return FALSE;
  if (pDoc) pDoc->AddView(this);
  return TRUE;
}

LRESULT CView::OnInitialUpdateMsg(UINT, WPARAM, LPARAM, BOOL&) {
  OnInitialUpdate();
  return 0;
}

LRESULT CView::OnSetFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;  // the control needs its focus message too
  if (CFrameWnd* pFrame = GetParentFrame(m_hWnd)) pFrame->SetActiveView(this, false);
  return 0;
}

LRESULT CView::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
  bHandled = FALSE;
  CFrameWnd* pFrame = GetParentFrame(m_hWnd);
  if (pFrame && pFrame->GetActiveView() == this) pFrame->SetActiveView(nullptr, false);
  if (m_pDocument) m_pDocument->RemoveView(this);
  return 0;
}

void CView::OnFilePrint() {
  PrintView(*this, true);
}

void CView::OnFilePrintDirect() {
  PrintView(*this, false);
}

void CView::OnFilePrintPreview() {
  if (CFrameWnd* pFrame = GetParentFrame(m_hWnd)) pFrame->BeginPrintPreview(this);
}

void CView::OnNextPane() {
  if (auto* pSplitter = dynamic_cast<CSplitterWnd*>(CWnd::FromHandle(::GetParent(m_hWnd))))
    pSplitter->ActivateNext(false);
}

void CView::OnPrevPane() {
  if (auto* pSplitter = dynamic_cast<CSplitterWnd*>(CWnd::FromHandle(::GetParent(m_hWnd))))
    pSplitter->ActivateNext(true);
}
