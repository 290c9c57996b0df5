#include "PloverDoc.h"

#include "App.h"
#include "FrameWnd.h"
#include "MainFrm.h"
#include "ModalRunner.h"
#include "WaitCursor.h"
#include "WorkspaceFile.h"
#include "TextRes.h"
#include "UiLanguage.h"
#include "WorkspaceRestore.h"

namespace {
std::wstring FormatText(UINT nID, const std::wstring& arg) {
  std::wstring s = LoadResString(nID);
  size_t pos = s.find(L"%1");
  if (pos != std::wstring::npos) s.replace(pos, 2, arg);
  return s;
}

void ReportUnreadable(const std::wstring& path, const workspace::Error& err) {
  AfxMessageBox(FormatResString(IDS_WS_CANNOT_OPEN, {path, workspace::FaultText(err)}),
                MB_OK | MB_ICONEXCLAMATION);
}
}  // namespace

namespace {
// A new or opened workspace ends the attempts to bring a lost server back.
void StopReconnect(CSingleDocTemplate* pTemplate) {
  if (auto* pFrame = pTemplate ? dynamic_cast<CMainFrame*>(pTemplate->GetFrame()) : nullptr)
    pFrame->StopReconnect();
}
}  // namespace

BOOL CPloverDoc::OnNewDocument() {
  m_pPending.reset();
  StopReconnect(GetDocTemplate());
  return CDocument::OnNewDocument();
}

void CPloverDoc::Serialize(CArchive& ar) {
  (void)ar;
}

BOOL CPloverDoc::OnOpenDocument(const std::wstring& path) {
  m_pPending.reset();
  StopReconnect(GetDocTemplate());
  CWaitCursor wait;
  std::string bytes;
  switch (ReadWorkspaceFile(path, bytes)) {
    case WorkspaceFileResult::Ok:
      break;
    case WorkspaceFileResult::TooLarge: {
      workspace::Error err;
      err.fault = workspace::Fault::TooLarge;
      ReportUnreadable(path, err);
      return FALSE;
    }
    default:
      AfxMessageBox(FormatText(AFX_IDP_FAILED_TO_OPEN_DOC, path), MB_OK | MB_ICONEXCLAMATION);
      return FALSE;
  }
  // What earlier versions saved: a document with nothing in it.
  if (bytes.empty()) {
    SetModifiedFlag(false);
    return TRUE;
  }
  auto ws = std::make_unique<workspace::Workspace>();
  workspace::Error err;
  if (!workspace::Read(bytes.data(), bytes.size(), *ws, err)) {
    ReportUnreadable(path, err);
    return FALSE;
  }
  m_pPending = std::move(ws);
  SetModifiedFlag(false);
  return TRUE;
}

BOOL CPloverDoc::OnSaveDocument(const std::wstring& path) {
  CWaitCursor wait;
  CSingleDocTemplate* pTemplate = GetDocTemplate();
  auto* pFrame = pTemplate ? dynamic_cast<CMainFrame*>(pTemplate->GetFrame()) : nullptr;
  workspace::Workspace ws = pFrame ? CaptureWorkspace(*pFrame) : workspace::Workspace();
  std::string text;
  workspace::Error err;
  if (!workspace::Write(ws, text, err)) {
    AfxMessageBox(FormatText(AFX_IDP_FAILED_TO_SAVE_DOC, path) + L"\n" + workspace::FaultText(err),
                  MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  // More than a file may hold (the program can hold more items than a file): the user
  // chooses, before the file is touched.
  workspace::Error reopen;
  if (!workspace::Reopens(text, reopen) &&
      AfxMessageBox(FormatResString(IDS_WS_SAVE_UNREADABLE, {path, workspace::FaultText(reopen)}),
                    MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
    return FALSE;
  if (!WriteFileReplacing(path, text)) {
    AfxMessageBox(FormatText(AFX_IDP_FAILED_TO_SAVE_DOC, path), MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  SetModifiedFlag(false);
  return TRUE;
}
