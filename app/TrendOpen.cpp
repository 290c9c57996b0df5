// The main frame's side of the trend window: which items, and the window's life.
#include <vector>

#include "BrowseView.h"
#include "MainFrm.h"
#include "ModalRunner.h"
#include "PloverView.h"

void CMainFrame::OpenTrend() {
  CPloverView* pList = GetItemView();
  CBrowseView* pBrowse = GetBrowseView();
  if (!pList || !pBrowse) return;
  std::vector<const COpcItem*> items;
  for (OPCHANDLE h : pList->SelectedItemHandles())
    if (const COpcItem* item = ResolveItem(h)) items.push_back(item);
  CTrendWnd* pTrend = GetTrendWnd();
  std::wstring refused;
  if (!pTrend) {
    // Nothing to draw: no empty window.
    if (items.empty()) return;
    auto created = std::make_unique<CTrendWnd>();
    if (!created->Create(m_hWnd, &pBrowse->m_itemObservers)) return;
    created->SetLiveCheck([this](OPCHANDLE h) { return ResolveItem(h) != nullptr; });
    m_pTrend = std::move(created);
    pTrend = m_pTrend.get();
    if (pTrend->AddItems(items, &refused) == 0) {
      pTrend->DestroyWindow();
    } else {
      ::ShowWindow(pTrend->m_hWnd, SW_SHOWNORMAL);
    }
  } else {
    pTrend->AddItems(items, &refused);
    ::ShowWindow(pTrend->m_hWnd, SW_SHOWNORMAL);
    ::SetWindowPos(pTrend->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
  if (!refused.empty()) AfxMessageBox(LoadResString(IDS_TREND_REFUSED) + L"\n" + refused, MB_OK);
}

void CMainFrame::OnUpdateTrend(CCmdUI& ui) {
  CPloverView* pList = GetItemView();
  ui.Enable(GetTrendWnd() != nullptr || (pList && pList->SendMessage(LVM_GETSELECTEDCOUNT) > 0));
}
