// Recording every data change of the list's items (or of the selected ones) to a CSV file,
// in the lines of plover-cli's `watch --csv`. The recorder is a listener of the browse view's
// item observers: it sees each value as the client core stores it, with no subscription of
// its own. A group changed or an item added while it runs is simply heard from too.
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "App.h"
#include "BrowseView.h"
#include "MainFrm.h"
#include "ModalRunner.h"
#include "PloverView.h"

namespace {
std::wstring Format(UINT id, const std::wstring& first, const std::wstring& second = {}) {
  std::wstring text = LoadResString(id);
  if (size_t at = text.find(L"%1"); at != std::wstring::npos) text.replace(at, 2, first);
  if (size_t at = text.find(L"%2"); at != std::wstring::npos) text.replace(at, 2, second);
  return text;
}

std::wstring SystemText(DWORD code) {
  wchar_t buffer[512];
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  while (n > 0 && (buffer[n - 1] == L'\n' || buffer[n - 1] == L'\r' || buffer[n - 1] == L' ')) --n;
  wchar_t number[16];
  std::swprintf(number, std::size(number), L"0x%08lX", static_cast<unsigned long>(code));
  return n > 0 ? std::wstring(buffer, n) + L" (" + number + L")" : std::wstring(number);
}

// The file to record to, through the modal runner; empty when the user cancels.
std::wstring AskRecordFile(HWND owner) {
  std::wstring filter = LoadResString(IDS_RECORD_FILTER);
  for (wchar_t& c : filter)
    if (c == L'|') c = L'\0';
  const std::wstring title = LoadResString(IDS_RECORD_TITLE);
  std::wstring buffer(MAX_PATH * 4, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrTitle = title.c_str();
  ofn.lpstrDefExt = L"csv";
  ofn.Flags =
      OFN_EXPLORER | OFN_ENABLESIZING | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
  if (!GetModalRunner().GetFileName(ofn, FALSE)) return {};
  buffer.back() = L'\0';
  return buffer.c_str();
}
}  // namespace

void CMainFrame::OnRecordStart() {
  CBrowseView* view = GetBrowseView();
  if (!view || m_pRecorder) return;
  const std::wstring path = AskRecordFile(m_hWnd);
  if (path.empty()) return;
  // With rows selected the user says whether only they are recorded.
  std::vector<COpcRecorder::Key> only;
  if (CPloverView* list = GetItemView()) {
    const auto keys = list->SelectedKeys();
    if (!keys.empty()) {
      const int answer =
          AfxMessageBox(Format(IDS_RECORD_ONLY_SELECTED, std::to_wstring(keys.size())),
                        MB_YESNOCANCEL | MB_ICONQUESTION);
      if (answer == IDCANCEL) return;
      if (answer == IDYES)
        for (const auto& [group, id] : keys) only.emplace_back(static_cast<OPCHANDLE>(group), id);
    }
  }
  auto recorder = std::make_unique<COpcRecorder>();
  DWORD error = 0;
  if (!recorder->Open(path, std::move(only), &error)) {
    AfxMessageBox(Format(IDS_RECORD_CANNOT_CREATE, path, SystemText(error)),
                  MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  m_pRecorder = std::move(recorder);
  view->m_itemObservers.Add(m_pRecorder.get());
  ::SetTimer(m_hWnd, kRecordTimer, kRecordFlushMs, nullptr);
  ShowRecordStatus();
}

void CMainFrame::OnRecordTimer() {
  if (!m_pRecorder) {
    ::KillTimer(m_hWnd, kRecordTimer);
    return;
  }
  // Values that came and then stopped coming reach the file too.
  if (!m_pRecorder->Flush()) {
    StopRecording();
    return;
  }
  ShowRecordStatus();
}

void CMainFrame::ShowRecordStatus() {
  if (!m_pRecorder) return;
  // Only over the idle text or its own: a reconnect's or a menu's message stays readable.
  const std::wstring now = m_wndStatusBar.m_hWnd ? m_wndStatusBar.GetPaneText(0) : std::wstring();
  if (now != LoadResString(AFX_IDS_IDLEMESSAGE) && now != m_strRecordStatus && !now.empty()) return;
  m_strRecordStatus =
      Format(IDS_RECORD_RUNNING, m_pRecorder->Path(), std::to_wstring(m_pRecorder->Count()));
  SetMessageText(m_strRecordStatus);
}

bool CMainFrame::StopRecording() {
  if (!m_pRecorder) return false;
  ::KillTimer(m_hWnd, kRecordTimer);
  if (CBrowseView* view = GetBrowseView()) view->m_itemObservers.Remove(m_pRecorder.get());
  const std::unique_ptr<COpcRecorder> recorder = std::move(m_pRecorder);
  const bool ok = recorder->Close();
  m_strRecordStatus.clear();
  SetMessageText(Format(IDS_RECORD_STOPPED, recorder->Path(), std::to_wstring(recorder->Count())));
  if (!ok)
    AfxMessageBox(Format(IDS_RECORD_CANNOT_WRITE, recorder->Path(), SystemText(recorder->Error())),
                  MB_OK | MB_ICONEXCLAMATION);
  return true;
}

void CMainFrame::OnUpdateRecordStart(CCmdUI& ui) {
  ui.Enable(!m_pRecorder && IsServerConnected());
}
