// Right pane: the item list, one report row per added item. Rows arrive with the view's
// message handlers.
#pragma once
#include "View.h"

class COpcItem;

class CPloverView : public CView {
 public:
  // Makes the row of that item the list's hot item; nothing when no row has it.
  void HighlightItem(const COpcItem* item);

 protected:
  LPCWSTR GetViewClass() const override;
  DWORD GetViewStyle() const override;
};
