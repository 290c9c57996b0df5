// How fast the item list keeps up. In the real program (frame, views, client core) against
// "Plover.SimServer.Large.1":
//  1. one WM_OPC_GROUPDATA for a group of 10,000 rows, with 10,000 and with 100,000 rows in
//     the list, and for a group of 100,000 rows; each followed by the repaint it causes;
//  2. end to end: every one of the 100,000 items in 10 groups gets a new value in every
//     round; the server sends each group's stream to the data sink, which updates the
//     records and posts its message, which the list turns into a refresh and a repaint.
//     The same paced at 1,000,000 values/s in real time, for the CPU share and the repaint
//     rate a user's machine would see, and what one repaint costs;
//  3. the browse tree's branch command: 10,000 and 100,000 items added in batches until
//     their rows are drawn (against adding them one by one, as double-clicks do), the
//     memory each row costs, and a state change of a 10,000-item group with the list's
//     icon update, split into server calls, the list's message and the repaint.
// Prints medians and CPU time; asserts nothing.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "BenchClock.h"
#include "MainFrm.h"
#include "OpcServer.h"
#include "OpcText.h"
#include "PloverApp.h"
#include "PloverView.h"
#include "SimControl.h"
#include "psapi.h"
#include "StreamWriter.h"

using plover::sim::StreamItem;
using plover::sim::StreamWriter;

namespace {

CMainFrame* g_pFrame = nullptr;
WNDPROC g_oldListProc = nullptr;
long g_paints = 0;

LRESULT CALLBACK CountingListProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_PAINT) ++g_paints;
  return CallWindowProcW(g_oldListProc, h, m, w, l);
}

double PrivateMb() {
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  pmc.cb = sizeof(pmc);
  K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                          sizeof(pmc));
  return double(pmc.PagefileUsage) / (1024.0 * 1024.0);  // committed memory
}

LRESULT CALLBACK RelayProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_OPC_DATACHANGE && g_pFrame) {
    g_pFrame->OnGroupData(w, l);
    return 0;
  }
  return DefWindowProcW(h, m, w, l);
}

const wchar_t* BulkId(int n, wchar_t* buffer) {  // n in 0..99,999
  swprintf(buffer, 40, L"Bulk.Area%03d.Tag%03d", n / 250 + 1, n % 250 + 1);
  return buffer;
}

struct Bench {
  COpcServer* server = nullptr;
  HWND hList = nullptr;
  std::vector<std::vector<COpcItem*>> groups;  // index g: client handle g + 1

  void AddGroup(int handle, int first, int count) {
    server->SetGroupActive(TRUE);
    server->SetGroupUpdateRate(1000);
    server->AddGroup(static_cast<OPCHANDLE>(handle), L"Group" + std::to_wstring(handle));
    groups.resize(std::max<size_t>(groups.size(), size_t(handle)));
    std::vector<COpcItem*>& items = groups[size_t(handle) - 1];
    wchar_t id[40];
    double core = 0, list = 0;
    for (int n = first; n < first + count; ++n) {
      double t0 = NowMs();
      COpcItem* item = server->AddItem(BulkId(n, id));
      double t1 = NowMs();
      core += t1 - t0;
      if (!item) continue;
      items.push_back(item);
      g_pFrame->OnItemAdded(static_cast<OPCHANDLE>(handle), item);
      list += NowMs() - t1;
    }
    std::printf("    group %d: %d items, core AddItem %.0f ms, list rows %.0f ms\n", handle, count,
                core, list);
  }

  void RemoveGroups() {
    std::vector<int> handles;
    server->GetGroupHandles(handles);
    for (int h : handles) server->RemoveGroup(static_cast<OPCHANDLE>(h), FALSE);
  }

  // The branch command's path: one batched add, then a row for each new item, drawn once.
  void BatchAdd(int handle, int first, int count) {
    server->SetGroupActive(TRUE);
    server->SetGroupUpdateRate(1000);
    server->AddGroup(static_cast<OPCHANDLE>(handle), L"Group" + std::to_wstring(handle));
    groups.resize(std::max<size_t>(groups.size(), size_t(handle)));
    std::vector<COpcItem*>& items = groups[size_t(handle) - 1];
    std::vector<OpcItemRequest> requests(static_cast<size_t>(count));
    wchar_t id[40];
    for (int n = 0; n < count; ++n) requests[size_t(n)].strItemId = BulkId(first + n, id);
    const double mb0 = PrivateMb();
    double t0 = NowMs();
    std::vector<OpcItemOutcome> outcomes;
    server->AddItems(static_cast<OPCHANDLE>(handle), requests, outcomes);
    double t1 = NowMs();
    for (const OpcItemOutcome& o : outcomes) {
      if (o.hr != S_OK) continue;
      items.push_back(o.pItem);
      g_pFrame->OnItemAdded(static_cast<OPCHANDLE>(handle), o.pItem);
    }
    double t2 = NowMs();
    Pump();
    UpdateWindow(hList);
    double t3 = NowMs();
    std::printf(
        "    batched: %d items, core AddItems %.0f ms, list rows %.0f ms, drawn %.0f ms: "
        "%.0f ms in all; %.2f KB per item and row\n",
        count, t1 - t0, t2 - t1, t3 - t2, t3 - t0, (PrivateMb() - mb0) * 1024.0 / count);
  }

  // A state change of the group as the group dialog makes it, and the list's update: the
  // server calls, the list's message (with its attribute scan) and the repaint, each timed.
  void StateChange(int handle) {
    server->SelectGroup(static_cast<OPCHANDLE>(handle));
    std::vector<double> ms, calls, message, paint, scan, flags;
    for (int r = 0; r < 9; ++r) {
      double t0 = NowMs();
      server->ChangeGroupDeadband(r % 2 ? 0.0f : 0.5f);
      server->ChangeGroupActive(TRUE);
      double t1 = NowMs();
      SendMessageW(hList, WM_OPC_GROUPCHANGED, 0, handle);
      double t2 = NowMs();
      UpdateWindow(hList);
      double t3 = NowMs();
      ItemAttributeMap attributes;
      server->GetGroupAttributes(static_cast<OPCHANDLE>(handle), attributes);
      double t4 = NowMs();
      ItemActiveMap active;
      server->GetGroupActiveStates(static_cast<OPCHANDLE>(handle), active);
      flags.push_back(NowMs() - t4);
      scan.push_back(t4 - t3);
      ms.push_back(t3 - t0);
      calls.push_back(t1 - t0);
      message.push_back(t2 - t1);
      paint.push_back(t3 - t2);
    }
    std::printf(
        "    state change of a %zu-item group with the list's update: median %.1f ms (server "
        "calls %.1f ms, list message %.1f ms, repaint %.1f ms; alone, a scan of the active "
        "flags %.1f ms, of all attributes %.1f ms)\n",
        groups[size_t(handle) - 1].size(), Median(ms), Median(calls), Median(message),
        Median(paint), Median(flags), Median(scan));
  }

  // Median of one data message for the group plus the repaint it causes.
  double GroupData(int handle, int runs) {
    std::vector<double> ms, msg;
    std::vector<COpcItem*>& items = groups[size_t(handle) - 1];
    for (int r = 0; r < runs; ++r) {
      for (COpcItem* item : items) {  // the sink would have changed every record
        VariantClear(&item->m_value);
        item->m_value.vt = VT_R8;
        item->m_value.dblVal = r + 0.25;
        item->m_ftTimeStamp = {DWORD(r) * 10000000u, 0x01DA0000};
      }
      double t0 = NowMs();
      SendMessageW(hList, WM_OPC_GROUPDATA, 0, handle);
      double t1 = NowMs();
      UpdateWindow(hList);
      ms.push_back(NowMs() - t0);
      msg.push_back(t1 - t0);
    }
    std::printf("    (message alone: median %.2f ms)\n", Median(msg));
    return Median(ms);
  }
};

}  // namespace

const bool kQuick = GetEnvironmentVariableW(L"PLOVER_BENCH_QUICK", nullptr, 0) > 0;

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  auto app = std::make_unique<CPloverApp>();
  if (!app->InitInstance()) return 1;
  g_pFrame = dynamic_cast<CMainFrame*>(app->m_pMainWnd);
  Pump();
  HWND relay =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  SetWindowLongPtrW(relay, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RelayProc));
  Bench b;
  b.server = g_pFrame->GetOpcServer();
  b.hList = g_pFrame->GetItemView()->m_hWnd;
  g_oldListProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(b.hList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingListProc)));
  if (!b.server->Initialize(relay) || !b.server->Connect(PLOVER_SIM_LARGE_PROGID, L"")) {
    std::printf("cannot connect to %ls (is PloverSim.dll registered?)\n", PLOVER_SIM_LARGE_PROGID);
    return 1;
  }
  TComPtr<IPloverSimControl> control;
  control.QueryFrom(b.server->m_pServer.Get());
  control->SetDeterministic(TRUE);  // no timer updates: only the streams below

  std::printf(
      "itemview_bench: %ls, list %d x %d pixels\n", PLOVER_SIM_LARGE_PROGID,
      [&] {
        RECT rc;
        GetClientRect(b.hList, &rc);
        return int(rc.right);
      }(),
      [&] {
        RECT rc;
        GetClientRect(b.hList, &rc);
        return int(rc.bottom);
      }());
  double t0 = NowMs();
  b.AddGroup(1, 0, kQuick ? 1000 : 10000);
  Pump();  // the list draws the added rows once
  std::printf("  10,000 rows added in %.0f ms\n", NowMs() - t0);
  std::printf("  group data, 10,000-row group, 10,000 rows in all:  median %.2f ms\n",
              b.GroupData(1, 31));
  if (kQuick) {
    SendMessageW(b.hList, WM_OPC_DISCONNECT, 0, 0);
    b.groups.clear();
    b.RemoveGroups();
    b.BatchAdd(1, 0, 1000);
    b.StateChange(1);
    return 0;
  }
  t0 = NowMs();
  for (int g = 2; g <= 10; ++g) b.AddGroup(g, (g - 1) * 10000, 10000);
  Pump();
  std::printf("  90,000 more rows added in %.0f ms (%ld rows)\n", NowMs() - t0,
              long(SendMessageW(b.hList, LVM_GETITEMCOUNT, 0, 0)));
  std::printf("  group data, 10,000-row group, 100,000 rows in all: median %.2f ms\n",
              b.GroupData(1, 31));
  std::printf("  group data, same, last group (rows at the bottom): median %.2f ms\n",
              b.GroupData(10, 31));

  // End to end. Two prepared streams per group, alternating, so every value changes in
  // every round; the server hands each to the sink as it would after an update.
  const CLIPFORMAT cf = CLIPFORMAT(RegisterClipboardFormatW(L"OPCSTMFORMATDATATIME"));
  std::vector<VARIANT> values(2 * 10000);
  for (size_t i = 0; i < values.size(); ++i) {
    VariantInit(&values[i]);
    values[i].vt = VT_R8;
    values[i].dblVal = double(i) * 0.125;
  }
  std::vector<std::vector<uint8_t>> streams[2];
  for (int phase = 0; phase < 2; ++phase) {
    for (size_t g = 0; g < b.groups.size(); ++g) {
      std::vector<StreamItem> items(b.groups[g].size());
      for (size_t i = 0; i < items.size(); ++i) {
        items[i].hClient = b.groups[g][i]->m_hClient;
        items[i].quality = 0xC0;
        items[i].timeStamp = {DWORD(phase) * 10000000u + DWORD(i), 0x01DA0000};
        items[i].value = &values[size_t(phase) * 10000 + i];
      }
      StreamWriter w;
      w.BuildData(DWORD(g + 1), 0, S_OK, true, items.data(), items.size());
      streams[phase].push_back(w.Bytes());
    }
  }
  const int rounds = 20;
  size_t values_sent = 0;
  g_paints = 0;
  double wall0 = NowMs(), cpu0 = CpuMs();
  for (int r = 0; r < rounds; ++r) {
    for (size_t g = 0; g < b.groups.size(); ++g) {
      COpcGroup* group = b.server->GetGroup(OPCHANDLE(g + 1));
      const std::vector<uint8_t>& s = streams[r % 2][g];
      control->PushStream(group->m_hServer, cf, s.data(), DWORD(s.size()));
      values_sent += b.groups[g].size();
    }
    Pump();  // the sink's messages become refreshes, then one repaint
  }
  double wall = NowMs() - wall0, cpu = CpuMs() - cpu0;
  std::printf("  end to end: %zu values in %d rounds, %.0f ms wall, %.0f ms CPU\n", values_sent,
              rounds, wall, cpu);
  std::printf("    %.2f million values/s at full load, %.3f us CPU per value\n",
              double(values_sent) / wall / 1000.0, cpu * 1000.0 / double(values_sent));
  std::printf("    at 1,000,000 values/s that is %.0f%% of one core\n",
              cpu * 1000.0 / double(values_sent) * 100.0);
  std::printf("    %ld repaints of the list, %.1f per second\n", g_paints,
              double(g_paints) * 1000.0 / wall);

  // The same at 1,000,000 values/s in real time: a round (100,000 values) every 100 ms,
  // messages and timers handled in between, so the list repaints as often as it would.
  const int paced = 40;
  g_paints = 0;
  wall0 = NowMs();
  cpu0 = CpuMs();
  for (int r = 0; r < paced; ++r) {
    for (size_t g = 0; g < b.groups.size(); ++g) {
      COpcGroup* group = b.server->GetGroup(OPCHANDLE(g + 1));
      const std::vector<uint8_t>& s = streams[r % 2][g];
      control->PushStream(group->m_hServer, cf, s.data(), DWORD(s.size()));
    }
    for (double due = wall0 + 100.0 * (r + 1), now = NowMs(); now < due; now = NowMs()) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(due - now) + 1, QS_ALLINPUT);
      Pump();
    }
  }
  wall = NowMs() - wall0;
  cpu = CpuMs() - cpu0;
  std::printf(
      "  paced at 1,000,000 values/s for %.1f s: %.0f%% of one core, %.1f repaints/s, %.3f us "
      "CPU per value\n",
      wall / 1000.0, cpu * 100.0 / wall, double(g_paints) * 1000.0 / wall,
      cpu * 1000.0 / (double(paced) * 100000.0));
  // What a repaint of the whole list costs: what bounds the figure above.
  std::vector<double> repaint;
  for (int r = 0; r < 15; ++r) {
    InvalidateRect(b.hList, nullptr, FALSE);
    double t = NowMs();
    UpdateWindow(b.hList);
    repaint.push_back(NowMs() - t);
  }
  // And what a data message for the group on screen costs with the repaint it causes.
  std::vector<double> dataRepaint;
  for (int r = 0; r < 15; ++r) {
    // Two ticks end any repaint period still running, so the message repaints at once.
    for (int i = 0; i < 2; ++i) SendMessageW(b.hList, WM_TIMER, CPloverView::kRepaintTimer, 0);
    double t = NowMs();
    SendMessageW(b.hList, WM_OPC_GROUPDATA, 0, 1);
    UpdateWindow(b.hList);
    dataRepaint.push_back(NowMs() - t);
  }
  std::printf(
      "    one repaint of the whole list (%ld rows on screen): median %.1f ms; a 10,000-row "
      "group's data message with its repaint: median %.1f ms\n",
      long(SendMessageW(b.hList, LVM_GETCOUNTPERPAGE, 0, 0)), Median(repaint), Median(dataRepaint));

  // One group of 100,000 rows.
  SendMessageW(b.hList, WM_OPC_DISCONNECT, 0, 0);
  control.Release();
  b.server->Disconnect();
  if (!b.server->Connect(PLOVER_SIM_LARGE_PROGID, L"")) return 1;
  control.QueryFrom(b.server->m_pServer.Get());
  control->SetDeterministic(TRUE);
  b.groups.clear();
  t0 = NowMs();
  b.AddGroup(100, 0, 100000);
  Pump();
  std::printf("  100,000-row group added in %.0f ms\n", NowMs() - t0);
  b.groups[0] = b.groups[99];
  std::printf("  group data, 100,000-row group: median %.2f ms\n", b.GroupData(100, 11));

  // The branch command's path: batched adds.
  SendMessageW(b.hList, WM_OPC_DISCONNECT, 0, 0);
  b.groups.clear();
  b.RemoveGroups();
  b.BatchAdd(1, 0, 10000);
  b.StateChange(1);
  SendMessageW(b.hList, WM_OPC_DISCONNECT, 0, 0);
  b.groups.clear();
  b.RemoveGroups();
  b.BatchAdd(2, 0, 100000);

  control.Release();
  b.server->Disconnect();
  SendMessageW(g_pFrame->m_hWnd, WM_CLOSE, 0, 0);
  Pump();
  app->ExitInstance();
  DestroyWindow(relay);
  return 0;
}
