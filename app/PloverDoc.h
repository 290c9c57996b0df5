// The document: the workspace file. What the user works with lives in the OPC client
// objects of the browse view; saving writes it out, opening reads and checks a whole file
// and keeps it for the application to restore once the views are ready.
#pragma once
#include <memory>

#include "Document.h"
#include "Workspace.h"

class CPloverDoc : public CDocument {
 public:
  BOOL OnNewDocument() override;
  // Nothing is read into the document itself: the file goes to the pending workspace.
  void Serialize(CArchive& ar) override;
  // A zero-byte file opens with nothing to restore; a file that is not a sound workspace
  // is reported (file and line) and changes nothing.
  BOOL OnOpenDocument(const std::wstring& path) override;
  // Writes the live workspace through a temporary file; the modified flag stays clear. A
  // workspace the reader would refuse is written only when the user says so.
  BOOL OnSaveDocument(const std::wstring& path) override;

  // The workspace read by the last successful open, once; none for an empty file.
  std::unique_ptr<workspace::Workspace> TakePendingWorkspace() { return std::move(m_pPending); }

 private:
  std::unique_ptr<workspace::Workspace> m_pPending;
};
