// Shows the hourglass for the life of the object.
#pragma once
#include <windows.h>

class CWaitCursor {
 public:
  CWaitCursor() : m_hPrev(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
  ~CWaitCursor() { ::SetCursor(m_hPrev ? m_hPrev : ::LoadCursorW(nullptr, IDC_ARROW)); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;

 private:
  HCURSOR m_hPrev;
};
