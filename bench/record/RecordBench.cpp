// The window's recording (COpcRecorder on the group manager's observer list) of 100,000
// items at full rate into a CSV file:
//   the recorder alone: lines of 1,000 item records, 1,000 rounds, into a real file;
//   10 groups of 10,000 items all changing, the server's clock driven (deterministic mode),
//   without and with the recording: values per second into the file, CPU per value of this
//   process, and what the recording adds to it;
// against "Plover.SimServer.Large.1" (in this process) and, with "local", also against
// "Plover.SimServer.Local.Large.Private.1" (its own process). Arguments: memory, inproc,
// local; none runs memory and inproc. Figures only; nothing is asserted.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "ComPtr.h"
#include "OpcItem.h"
#include "OpcItemObserverList.h"
#include "OpcRecorder.h"
#include "OpcServer.h"
#include "OpcUiPorts.h"
#include "SimControl.h"
#include "SimProcess.h"

namespace {

std::wstring TempPath(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name;
}

std::wstring BulkId(int n) {  // n from 0 to 99,999
  wchar_t id[40];
  swprintf(id, 40, L"Bulk.Area%03d.Tag%03d", n / 250 + 1, n % 250 + 1);
  return id;
}

LONGLONG FileBytes(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

class CCounter : public IOpcItemObserver {
 public:
  void OnItemStored(OPCHANDLE, const COpcItem&) override { ++values; }
  void OnWriteResult(OPCHANDLE, HRESULT) override {}
  size_t values = 0;
};

int NoBox(OpcBoxOwner, const std::wstring&, const std::wstring&, UINT) {
  return IDOK;
}

void RecorderAlone() {
  std::vector<COpcItem> items(1000);
  for (size_t i = 0; i < items.size(); ++i) {
    items[i].m_strItemId = BulkId(static_cast<int>(i));
    items[i].m_hClient = static_cast<OPCHANDLE>((1u << 22) | i);  // as the core numbers them
    items[i].m_value.vt = VT_R8;
  }
  const std::wstring path = TempPath(L"plover-record-bench-alone.csv");
  COpcRecorder recorder;
  DWORD error = 0;
  if (!recorder.Open(path, {}, &error)) {
    std::printf("  cannot create %ls (%lu)\n", path.c_str(), static_cast<unsigned long>(error));
    return;
  }
  const double t0 = NowMs(), cpu0 = CpuMs();
  for (int round = 0; round < 1000; ++round) {
    const FILETIME time = {static_cast<DWORD>(round * 1000000u), 30000000};
    for (COpcItem& item : items) {
      item.m_value.dblVal = round * 0.37 + static_cast<double>(&item - items.data());
      item.m_ftTimeStamp = time;
      recorder.OnItemStored(1, item);
    }
  }
  recorder.Close();
  const double ms = NowMs() - t0, cpu = CpuMs() - cpu0;
  const double values = static_cast<double>(recorder.Count());
  std::printf(
      "  recorder alone, 1,000,000 values into a CSV file of %.1f MB: %.0f values/s by the "
      "clock; CPU %.3f us per value\n",
      FileBytes(path) / 1e6, values * 1000.0 / ms, cpu * 1000.0 / values);
  DeleteFileW(path.c_str());
}

void Subscribed(const wchar_t* progId, const char* label) {
  std::printf("%s (%ls)\n", label, progId);
  HWND wnd =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  COpcServer opc;
  opc.Initialize(wnd);
  TComPtr<IPloverSimControl> control;
  if (!opc.Connect(progId, L"") || FAILED(control.QueryFrom(opc.m_pServer.Get()))) {
    std::printf("  connect failed, or no test hooks\n");
    opc.Disconnect();
    DestroyWindow(wnd);
    return;
  }
  control->SetDeterministic(TRUE);
  COpcItemObserverList observers;
  CCounter counter;
  observers.Add(&counter);
  opc.m_groupManager.SetItemObserver(&observers);
  opc.SetGroupUpdateRate(1000);
  opc.SetGroupDeadband(0.0f);
  for (int g = 0; g < 10; ++g) {
    const OPCHANDLE handle = static_cast<OPCHANDLE>(g + 1);
    if (FAILED(opc.AddGroup(handle, L"G" + std::to_wstring(g + 1)))) break;
    std::vector<OpcItemRequest> requests(10000);
    for (int i = 0; i < 10000; ++i) requests[i].strItemId = BulkId(g * 10000 + i);
    std::vector<OpcItemOutcome> outcomes;
    if (opc.AddItems(handle, requests, outcomes) != requests.size())
      std::printf("  group %d: not every item added\n", g + 1);
  }
  control->Flush();
  Pump();

  // Ten updates of every item: 1,000,000 values.
  auto run = [&](COpcRecorder* recorder) {
    if (recorder) observers.Add(recorder);
    counter.values = 0;
    const double t0 = NowMs(), cpu0 = CpuMs();
    control->AdvanceTime(10000);
    control->Flush();
    Pump();
    if (recorder) {
      observers.Remove(recorder);
      recorder->Close();
    }
    return std::make_pair((NowMs() - t0), CpuMs() - cpu0);
  };
  const std::wstring path = TempPath(L"plover-record-bench.csv");
  for (int i = 0; i < 2; ++i) {
    const auto bare = run(nullptr);
    const size_t bareValues = counter.values;
    COpcRecorder recorder;
    DWORD error = 0;
    if (!recorder.Open(path, {}, &error)) {
      std::printf("  cannot create %ls (%lu)\n", path.c_str(), static_cast<unsigned long>(error));
      break;
    }
    const auto rec = run(&recorder);
    const double values = static_cast<double>(recorder.Count());
    std::printf(
        "  without recording: %zu values in %.0f ms = %.0f values/s; CPU %.3f us per value\n",
        bareValues, bare.first, bareValues * 1000.0 / bare.first,
        bare.second * 1000.0 / bareValues);
    std::printf(
        "  recording 100,000 items: %.0f values (%.1f MB of CSV) in %.0f ms = %.0f values/s "
        "into the file; CPU %.3f us per value, the recording's share %.3f us%s\n",
        values, FileBytes(path) / 1e6, rec.first, values * 1000.0 / rec.first,
        rec.second * 1000.0 / values, (rec.second - bare.second) * 1000.0 / values,
        recorder.Failed() ? " (THE FILE FAILED)" : "");
  }
  DeleteFileW(path.c_str());
  opc.m_groupManager.SetItemObserver(nullptr);
  control.Release();
  opc.Disconnect();
  Pump();
  DestroyWindow(wnd);
}

}  // namespace

int main(int argc, char** argv) {
  auto part = [&](const char* name, bool byDefault) {
    if (argc < 2) return byDefault;
    for (int i = 1; i < argc; ++i)
      if (std::strcmp(argv[i], name) == 0) return true;
    return false;
  };
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  SetOpcMessageBox(NoBox);
  std::printf("recording to CSV (figures of this machine, under Wine)\n");
  if (part("memory", true)) RecorderAlone();
  if (part("inproc", true)) Subscribed(PLOVER_SIM_LARGE_PROGID, "in this process");
  if (part("local", false))
    Subscribed(PLOVER_SIM_LOCAL_LARGE_PRIVATE_PROGID, "in a process of its own");
  CoUninitialize();
  return 0;
}
