// A workspace of the large simulation server's Bulk items, for the benchmarks that save,
// open or restore one: `groups` groups of `perGroup` items each, in the address space's order.
#pragma once
#include <cstdint>
#include <cwchar>
#include <string>
#include <utility>

#include "Workspace.h"

inline workspace::Workspace BulkWorkspace(const wchar_t* progId, int groups, int perGroup) {
  workspace::Workspace ws;
  ws.progId = progId;
  for (int g = 0; g < groups; ++g) {
    workspace::Group group;
    group.name = L"Area" + std::to_wstring(g + 1);
    group.id = static_cast<uint32_t>(g + 1);
    for (int n = g * perGroup; n < (g + 1) * perGroup; ++n) {
      wchar_t id[40];
      std::swprintf(id, 40, L"Bulk.Area%03d.Tag%03d", n / 250 + 1, n % 250 + 1);
      workspace::Item item;
      item.itemId = id;
      group.items.push_back(item);
    }
    ws.groups.push_back(std::move(group));
  }
  return ws;
}
