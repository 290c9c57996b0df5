// What every client of one server process shares: the values, the simulated clock and the
// test hooks. A server object (one client's connection) keeps its own groups, browse
// position, locale and callbacks. The DLL gives each server object a SimShared of its own;
// the executable gives one to all clients of a variant, as a real server's address space is.
#pragma once

#include "AddressSpace.h"
#include "Signals.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace plover::sim {

class SimServer;

struct SimShared {
  explicit SimShared(SimVariant v);
  SimShared(const SimShared&) = delete;
  SimShared& operator=(const SimShared&) = delete;

  uint64_t NowMs() const;

  struct Injection {
    HRESULT hr;
    bool always;
  };

  SimVariant variant;
  const AddressSpace& space;
  Simulation sim;
  // The clock: wall time since start, or frozen and moved only by AdvanceTime.
  ULONGLONG startTick = 0;
  FILETIME origin{};
  bool deterministic = false;
  uint64_t frozenMs = 0;
  // Hooks.
  std::map<std::wstring, Injection> injections;
  std::multimap<std::wstring, VARTYPE> refusals;
  bool noDataObject = false;
  bool noDa1Async = false;
  DWORD streamPointerBytes = 0;  // 0: the build's own layout
  bool streamPacked = false;
  // The server objects attached, so the clock and its timers move all their groups.
  std::vector<SimServer*> servers;
};

std::shared_ptr<SimShared> MakeShared(SimVariant variant);

}  // namespace plover::sim
