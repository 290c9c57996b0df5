#include "Document.h"

#include <algorithm>

#include "App.h"
#include "FrameWnd.h"
#include "FrameworkRes.h"
#include "ModalRunner.h"
#include "View.h"
#include "WaitCursor.h"

namespace {
std::wstring FileTitleOf(const std::wstring& path) {
  size_t pos = path.find_last_of(L"\\/:");
  return pos == std::wstring::npos ? path : path.substr(pos + 1);
}

std::wstring FormatText(UINT nID, const std::wstring& arg) {
  std::wstring s = LoadResString(nID);
  size_t pos = s.find(L"%1");
  if (pos != std::wstring::npos) s.replace(pos, 2, arg);
  return s;
}
}  // namespace

void CDocument::SetTitle(const std::wstring& title) {
  m_strTitle = title;
  if (m_pDocTemplate && m_pDocTemplate->GetFrame())
    m_pDocTemplate->GetFrame()->OnUpdateFrameTitle();
}

void CDocument::SetPathName(const std::wstring& path, bool bAddToMRU) {
  wchar_t full[MAX_PATH * 4];
  DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
  m_strPathName = (n > 0 && n < MAX_PATH * 4) ? std::wstring(full, n) : path;
  SetTitle(FileTitleOf(m_strPathName));
  if (bAddToMRU && AfxGetApp()) AfxGetApp()->AddToRecentFileList(m_strPathName);
}

void CDocument::SetUntitled() {
  m_strPathName.clear();
  if (m_pDocTemplate)
    m_pDocTemplate->SetDefaultTitle(this);
  else
    SetTitle(std::wstring());
}

BOOL CDocument::OnNewDocument() {
  DeleteContents();
  m_strPathName.clear();
  SetModifiedFlag(false);
  return TRUE;
}

BOOL CDocument::OnOpenDocument(const std::wstring& path) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    AfxMessageBox(FormatText(AFX_IDP_FAILED_TO_OPEN_DOC, path), MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  CWaitCursor wait;
  DeleteContents();
  CArchive ar(h, false);
  Serialize(ar);
  ::CloseHandle(h);
  SetModifiedFlag(false);
  return TRUE;
}

BOOL CDocument::OnSaveDocument(const std::wstring& path) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    AfxMessageBox(FormatText(AFX_IDP_FAILED_TO_SAVE_DOC, path), MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  CWaitCursor wait;
  CArchive ar(h, true);
  Serialize(ar);
  BOOL bClosed = ::CloseHandle(h);
  if (!bClosed) {
    AfxMessageBox(FormatText(AFX_IDP_FAILED_TO_SAVE_DOC, path), MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  SetModifiedFlag(false);
  return TRUE;
}

BOOL CDocument::SaveModified() {
  if (!IsModified()) return TRUE;
  std::wstring name = m_strPathName.empty() ? m_strTitle : m_strPathName;
  switch (
      AfxMessageBox(FormatText(AFX_IDP_ASK_TO_SAVE, name), MB_YESNOCANCEL | MB_ICONEXCLAMATION)) {
    case IDCANCEL:
      return FALSE;
    case IDYES:
      return DoSave(m_strPathName, m_strPathName.empty());
    default:
      return TRUE;
  }
}

BOOL CDocument::DoSave(const std::wstring& path, bool bReplace) {
  std::wstring newName = path;
  if (newName.empty() || bReplace) {
    if (newName.empty()) newName = m_strTitle;
    if (!AfxGetApp() ||
        !AfxGetApp()->DoPromptFileName(newName, AFX_IDS_SAVEFILE,
                                       OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, FALSE))
      return FALSE;
  }
  if (!OnSaveDocument(newName)) return FALSE;
  SetPathName(newName);
  return TRUE;
}

void CDocument::OnFileSave() {
  DoSave(m_strPathName, m_strPathName.empty());
}

void CDocument::OnFileSaveAs() {
  DoSave(m_strPathName.empty() ? std::wstring() : m_strPathName, true);
}

void CDocument::AddView(CView* pView) {
  if (std::find(m_views.begin(), m_views.end(), pView) == m_views.end()) m_views.push_back(pView);
  pView->m_pDocument = this;
}

void CDocument::RemoveView(CView* pView) {
  m_views.erase(std::remove(m_views.begin(), m_views.end(), pView), m_views.end());
  pView->m_pDocument = nullptr;
}

void CDocument::SendInitialUpdate() {
  std::vector<CView*> views = m_views;
  for (CView* pView : views)
    if (pView->m_hWnd) pView->SendMessage(WM_FW_INITIALUPDATE);
}

CSingleDocTemplate::CSingleDocTemplate(UINT nIDResource, DocFactory doc, FrameFactory frame,
                                       ViewFactory view)
    : m_nIDResource(nIDResource),
      m_docFactory(std::move(doc)),
      m_frameFactory(std::move(frame)),
      m_viewFactory(std::move(view)) {}

CSingleDocTemplate::~CSingleDocTemplate() {
  // The frame's views point at the document: the window goes first.
  if (m_pFrame && m_pFrame->m_hWnd) m_pFrame->DestroyWindow();
  m_pFrame.reset();
  m_pDocument.reset();
}

std::unique_ptr<CView> CSingleDocTemplate::CreateView() const {
  return m_viewFactory ? m_viewFactory() : nullptr;
}

std::wstring CSingleDocTemplate::GetDocString(DocStringIndex index) const {
  std::wstring s = LoadResString(m_nIDResource);
  size_t start = 0;
  for (int i = 0; i < index; ++i) {
    size_t pos = s.find(L'\n', start);
    if (pos == std::wstring::npos) return std::wstring();
    start = pos + 1;
  }
  size_t end = s.find(L'\n', start);
  return s.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

void CSingleDocTemplate::SetDefaultTitle(CDocument* pDoc) {
  std::wstring title = GetDocString(docName);
  if (title.empty()) title = LoadResString(AFX_IDS_UNTITLED);
  pDoc->SetTitle(title);
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const wchar_t* pszPath) {
  bool bCreatedDoc = false;
  if (m_pDocument) {
    if (!m_pDocument->SaveModified()) return nullptr;
  } else {
    m_pDocument = m_docFactory();
    if (!m_pDocument) return nullptr;
    m_pDocument->m_pDocTemplate = this;
    bCreatedDoc = true;
  }
  CDocument* pDoc = m_pDocument.get();

  bool bCreatedFrame = false;
  if (!m_pFrame || !m_pFrame->m_hWnd) {
    m_pFrame = m_frameFactory();
    if (!m_pFrame) return nullptr;
    m_pFrame->m_pTemplate = this;
    m_pFrame->m_pCreatingDoc = pDoc;
    BOOL bOk = m_pFrame->LoadFrame(m_nIDResource);
    m_pFrame->m_pCreatingDoc = nullptr;
    if (!bOk) {
      m_pFrame.reset();
      if (bCreatedDoc) m_pDocument.reset();
      return nullptr;
    }
    bCreatedFrame = true;
    CWinApp* pApp = AfxGetApp();
    if (pApp && !pApp->m_pMainWnd) pApp->m_pMainWnd = m_pFrame.get();
  }

  if (!pszPath) {
    SetDefaultTitle(pDoc);
    if (!pDoc->OnNewDocument()) {
      if (bCreatedFrame) m_pFrame->DestroyWindow();
      return nullptr;
    }
  } else {
    // On failure an existing document stays as it was: nothing was read into it yet.
    if (!pDoc->OnOpenDocument(pszPath)) {
      if (bCreatedFrame) {
        m_pFrame->DestroyWindow();
      }
      return nullptr;
    }
    pDoc->SetPathName(pszPath);
  }
  m_pFrame->InitialUpdateFrame(pDoc);
  return pDoc;
}
