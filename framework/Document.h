// The document and the single-document template that ties document, frame and view together.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FrameworkRes.h"
#include "Wnd.h"

class CView;
class CFrameWnd;
class CSingleDocTemplate;

// The file a document is read from or written to.
class CArchive {
 public:
  CArchive(HANDLE hFile, bool bStoring) : m_hFile(hFile), m_bStoring(bStoring) {}
  bool IsStoring() const { return m_bStoring; }
  bool IsLoading() const { return !m_bStoring; }
  HANDLE m_hFile;

 private:
  bool m_bStoring;
};

class CDocument : public CCmdTarget {
 public:
  const std::wstring& GetTitle() const { return m_strTitle; }
  void SetTitle(const std::wstring& title);
  const std::wstring& GetPathName() const { return m_strPathName; }
  void SetPathName(const std::wstring& path, bool bAddToMRU = true);
  // No file any more: what the document showed was replaced, so it is untitled again and
  // the next save asks for a name.
  void SetUntitled();
  bool IsModified() const { return m_bModified; }
  void SetModifiedFlag(bool bModified = true) { m_bModified = bModified; }

  virtual BOOL OnNewDocument();
  virtual BOOL OnOpenDocument(const std::wstring& path);
  virtual BOOL OnSaveDocument(const std::wstring& path);
  virtual void DeleteContents() {}
  virtual void Serialize(CArchive&) {}

  // Asks to save a modified document; FALSE when the user cancels.
  virtual BOOL SaveModified();
  // Saves under path, or asks for a name when path is empty or bReplace is set.
  BOOL DoSave(const std::wstring& path, bool bReplace = true);

  void AddView(CView* pView);
  void RemoveView(CView* pView);
  const std::vector<CView*>& GetViews() const { return m_views; }
  // Sends the initial update to every view of the document.
  void SendInitialUpdate();
  CSingleDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }

  // clang-format off
  BEGIN_MSG_MAP(CDocument)
    COMMAND_ID_HANDLER(ID_FILE_SAVE, OnFileSave)
    COMMAND_ID_HANDLER(ID_FILE_SAVE_AS, OnFileSaveAs)
  END_MSG_MAP()
  // clang-format on

 protected:
  void OnFileSave();
  void OnFileSaveAs();

 private:
  friend class CSingleDocTemplate;
  std::wstring m_strTitle;
  std::wstring m_strPathName;
  bool m_bModified = false;
  std::vector<CView*> m_views;
  CSingleDocTemplate* m_pDocTemplate = nullptr;
};

class CSingleDocTemplate {
 public:
  using DocFactory = std::function<std::unique_ptr<CDocument>()>;
  using FrameFactory = std::function<std::unique_ptr<CFrameWnd>()>;
  using ViewFactory = std::function<std::unique_ptr<CView>()>;

  // The resource id names the menu, accelerators, icon and the document string.
  CSingleDocTemplate(UINT nIDResource, DocFactory doc, FrameFactory frame, ViewFactory view);
  ~CSingleDocTemplate();

  enum DocStringIndex {
    windowTitle,
    docName,
    fileNewName,
    filterName,
    filterExt,
    regFileTypeId,
    regFileTypeName
  };
  // One of the "\n"-separated parts of string resource m_nIDResource.
  std::wstring GetDocString(DocStringIndex index) const;

  // nullptr: a new, untitled document; else the file is opened as the document. The one
  // document and frame are reused once they exist.
  CDocument* OpenDocumentFile(const wchar_t* pszPath);
  CDocument* GetDocument() const { return m_pDocument.get(); }
  CFrameWnd* GetFrame() const { return m_pFrame.get(); }
  std::unique_ptr<CView> CreateView() const;
  // The document string's default name ("Larkspur") as the document's title.
  void SetDefaultTitle(CDocument* pDoc);

  const UINT m_nIDResource;

 private:
  DocFactory m_docFactory;
  FrameFactory m_frameFactory;
  ViewFactory m_viewFactory;
  std::unique_ptr<CDocument> m_pDocument;
  std::unique_ptr<CFrameWnd> m_pFrame;
};
