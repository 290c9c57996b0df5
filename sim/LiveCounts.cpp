#include "ComObject.h"

namespace plover::sim {

namespace {
LONG g_counts[static_cast<int>(LiveKind::Count_)];
LONG g_locks;
}  // namespace

void LiveCountAdd(LiveKind kind) {
  InterlockedIncrement(&g_counts[static_cast<int>(kind)]);
}
void LiveCountRemove(LiveKind kind) {
  InterlockedDecrement(&g_counts[static_cast<int>(kind)]);
}
long LiveCount(LiveKind kind) {
  return g_counts[static_cast<int>(kind)];
}

long ModuleLockCount() {
  long n = g_locks;
  for (LONG c : g_counts) n += c;
  return n;
}
void ModuleLock() {
  InterlockedIncrement(&g_locks);
}
void ModuleUnlock() {
  InterlockedDecrement(&g_locks);
}

}  // namespace plover::sim
