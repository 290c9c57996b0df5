// Right pane: the item list. For now a plain report list-view; rows arrive with the client core.
#pragma once
#include "View.h"

class CPloverView : public CView {
 protected:
  LPCWSTR GetViewClass() const override;
  DWORD GetViewStyle() const override;
};
