// Figures of the command-line client, run in this process against
// "Plover.SimServer.Large.1" with the records going to a file:
//   browse --flat of 100,000 items: time to the last line;
//   read of 10,000 items in one call: time to the last line;
//   watch of 100,000 items in 10 groups, CSV to a file: values per second and CPU per value,
//   with the server's clock driven as fast as the client takes the values.
// Prints figures only; asserts nothing.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "CliRun.h"
#include "CliText.h"
#include "CliWatchLines.h"
#include "OpcText.h"
#include "ComPtr.h"
#include "SimControl.h"

namespace {

// A file writer that notes when the last record went out.
class CTimedFile : public CCliWriter {
 public:
  explicit CTimedFile(const std::wstring& path)
      : m_file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr),
               true) {}
  void Write(const std::wstring& text) override {
    m_file.Write(text);
    m_lastMs = NowMs();
  }
  // The watch writes UTF-8: straight through, as the real file writer takes it.
  void WriteUtf8(const std::string& text) override {
    m_file.WriteUtf8(text);
    m_lastMs = NowMs();
  }
  void Flush() override { m_file.Flush(); }
  double m_lastMs = 0;

 private:
  CHandleWriter m_file;
};

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

std::wstring ListFile(int count) {
  std::wstring text;
  for (int n = 0; n < count; ++n) text += BulkId(n) + L"\n";
  std::string bytes = ToUtf8(text);
  std::wstring path = TempPath(L"plover-cli-bench-list.txt");
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return path;
}

struct Run {
  int rc;
  double toLastLineMs;
  double cpuMs;
  double wallMs;
};

Run Measure(const std::vector<std::wstring>& args, const CliHooks& hooks) {
  CTimedFile out(TempPath(L"plover-cli-bench-out.txt"));
  CStringWriter err;
  const double cpu0 = CpuMs(), t0 = NowMs();
  int rc = RunCli(args, out, err, hooks);
  const double t1 = NowMs(), cpu1 = CpuMs();
  if (rc != 0) std::printf("    (exit %d: %s)\n", rc, err.m_text.c_str());
  return {rc, out.m_lastMs - t0, cpu1 - cpu0, t1 - t0};
}

}  // namespace

// Arguments pick parts (browse, read, csv, watch, forms); none runs them all.
int main(int argc, char** argv) {
  auto part = [&](const char* name) {
    if (argc < 2) return true;
    for (int i = 1; i < argc; ++i)
      if (std::strcmp(argv[i], name) == 0) return true;
    return false;
  };
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const wchar_t* large = PLOVER_SIM_LARGE_PROGID;
  std::printf("plover-cli against %ls (figures of this machine, under Wine)\n",
              PLOVER_SIM_LARGE_PROGID);

  for (int i = 0; i < 3 && part("browse"); ++i) {
    Run r = Measure({L"browse", large, L"--flat", L"--filter", L"Bulk.*"}, {});
    std::printf("  browse --flat, 100,000 items: %.0f ms to the last line (%.0f ms in all)\n",
                r.toLastLineMs, r.wallMs);
  }

  const std::wstring list10k = ListFile(10000);
  for (int i = 0; i < 3 && part("read"); ++i) {
    Run r = Measure({L"read", large, L"--file", list10k, L"--csv"}, {});
    std::printf("  read of 10,000 items: %.0f ms to the last line (%.0f ms in all)\n",
                r.toLastLineMs, r.wallMs);
  }

  if (part("csv")) {
    // The client's share alone: one CSV line per value of 1,000 real items, 1,000 times.
    std::vector<COpcItem> items(1000);
    for (size_t i = 0; i < items.size(); ++i) {
      items[i].m_strItemId = BulkId(static_cast<int>(i));
      items[i].m_hClient = static_cast<OPCHANDLE>((1u << 22) | i);  // as the core numbers them
      items[i].m_value.vt = VT_R8;
      items[i].m_ftTimeStamp = {1, 30000000};
    }
    CStringWriter sink;
    CWatchLines csv(sink, CliFormat::kCsv);
    double valueText = 0;
    const double cpu0 = CpuMs();
    for (int round = 0; round < 1000; ++round) {
      for (COpcItem& item : items) {
        item.m_value.dblVal = round * 0.37 + static_cast<double>(&item - items.data());
        csv.Row(item);
      }
      sink.m_text.clear();
    }
    const double cpu1 = CpuMs();
    for (int round = 0; round < 1000; ++round)
      for (COpcItem& item : items) valueText += GetValueText(item.m_value, 0xC0).size();
    const double cpu2 = CpuMs();
    std::printf("  CSV lines of a watch, client only: %.2f us per value (the value text %.2f us)\n",
                (cpu1 - cpu0) / 1000.0, (cpu2 - cpu1) / 1000.0);
    if (valueText < 0) std::printf("\n");  // keeps the loop from being optimised away
  }

  const std::wstring list100k = ListFile(100000);
  TComPtr<IPloverSimControl> control;
  CliHooks hooks;
  hooks.connected = [&](IUnknown* server) {
    control.QueryFrom(server);
    if (control) control->SetDeterministic(TRUE);
  };
  hooks.idle = [&] {
    if (control) control->AdvanceTime(100);
  };
  auto watch = [&](unsigned values, const wchar_t* format = L"--csv") {
    std::vector<std::wstring> args = {L"watch",  large,  L"--file",  list100k,
                                      L"--rate", L"100", L"--count", std::to_wstring(values)};
    if (*format) args.push_back(format);
    Run r = Measure(args, hooks);
    control.Release();
    return r;
  };
  // Two watches that differ only in length: their difference is the sustained rate, free
  // of connecting and adding the items.
  const unsigned kShort = 500000, kLong = 3000000;
  for (int i = 0; i < 2 && part("watch"); ++i) {
    const Run s = watch(kShort), r = watch(kLong);
    std::printf("  watch of 100,000 items in 10 groups, CSV to a file: %u values in %.0f ms\n",
                kLong, r.wallMs);
    std::printf(
        "    %.0f values/s by the clock; CPU %.2f us per value (server and client in one "
        "process), so one free core sustains %.0f values/s\n",
        kLong * 1000.0 / r.wallMs, r.cpuMs * 1000.0 / kLong, kLong * 1000.0 / r.cpuMs);
    const double values = kLong - kShort, ms = r.wallMs - s.wallMs, cpu = r.cpuMs - s.cpuMs;
    std::printf(
        "    sustained (the last %.0f values, setup excluded): %.0f values/s by the clock; CPU "
        "%.2f us per value, so one free core sustains %.0f values/s\n",
        values, values * 1000.0 / ms, cpu * 1000.0 / values, values * 1000.0 / cpu);
  }
  // The other two forms, for comparison (a log is CSV; these are for people and scripts).
  for (const wchar_t* format : {L"--json", L""}) {
    if (!part("forms")) break;
    const Run s = watch(kShort, format), r = watch(kLong, format);
    const double values = kLong - kShort, ms = r.wallMs - s.wallMs, cpu = r.cpuMs - s.cpuMs;
    std::printf("  watch %ls, sustained: %.0f values/s by the clock; CPU %.2f us per value\n",
                *format ? format : L"in columns", values * 1000.0 / ms, cpu * 1000.0 / values);
  }
  DeleteFileW(list10k.c_str());
  DeleteFileW(TempPath(L"plover-cli-bench-out.txt").c_str());
  CoUninitialize();
  return 0;
}
