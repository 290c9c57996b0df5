#include "ViewFrame.h"

#include "FrameWnd.h"

IViewFrame* GetViewFrame(HWND hView) {
  return dynamic_cast<IViewFrame*>(GetParentFrame(hView));
}
