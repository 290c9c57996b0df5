// Told, inside the server's own callback, of every value as it lands in its item record and
// of every asynchronous write's per-item result. The posted window messages say only "this
// group changed", so a program that must see every change (a logger, a console client) or
// has no window to redraw listens here instead.
#pragma once
#include <windows.h>

#include "opcda.h"

class COpcItem;

class IOpcItemObserver {
 public:
  virtual ~IOpcItemObserver() = default;
  // The record already holds the new value, quality and time stamp.
  virtual void OnItemStored(OPCHANDLE hGroup, const COpcItem& item) = 0;
  // hClientItem is the item's client handle; 0 when the whole request failed.
  virtual void OnWriteResult(OPCHANDLE hClientItem, HRESULT error) = 0;
};
