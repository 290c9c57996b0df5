#include "PloverDoc.h"

BOOL CPloverDoc::OnNewDocument() {
  return CDocument::OnNewDocument();
}

void CPloverDoc::Serialize(CArchive& ar) {
  (void)ar;
}
