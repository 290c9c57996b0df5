// The document: it holds nothing. Everything the user works with lives in the OPC client
// objects of the browse view.
#pragma once
#include "Document.h"

class CPloverDoc : public CDocument {
 public:
  BOOL OnNewDocument() override;
  // Reads and writes nothing: a saved document is an empty file.
  void Serialize(CArchive& ar) override;
};
