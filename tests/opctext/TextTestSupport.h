// The simulation server as the client meets it, and a watch on the COM task allocator so
// tests can see that whatever a server hands out is freed.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include "ComPtr.h"
#include "SimControl.h"
#include "TaskMemWatch.h"
#include "opcda.h"

// While one lives, counts task-memory blocks allocated and not yet freed.

class SimTextTest : public testing::Test {
 protected:
  void SetUp() override;
  TComPtr<IOPCItemMgt> AddGroup(const wchar_t* name, OPCHANDLE hClient);
  // Adds one item; returns its server handle.
  OPCHANDLE AddItem(IOPCItemMgt* group, const wchar_t* id, VARTYPE requested, OPCHANDLE hClient);

  TComPtr<IOPCServer> m_server;
  TComPtr<IPloverSimControl> m_control;
};
