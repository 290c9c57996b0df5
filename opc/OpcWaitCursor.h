// Shows the hourglass for the life of the object (the core's long registry and COM calls).
#pragma once
#include <windows.h>

class COpcWaitCursor {
 public:
  COpcWaitCursor() : m_hPrev(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
  ~COpcWaitCursor() { ::SetCursor(m_hPrev ? m_hPrev : ::LoadCursorW(nullptr, IDC_ARROW)); }
  COpcWaitCursor(const COpcWaitCursor&) = delete;
  COpcWaitCursor& operator=(const COpcWaitCursor&) = delete;

 private:
  HCURSOR m_hPrev;
};
