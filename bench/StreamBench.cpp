// How long the simulation server takes to build one data stream for 10,000 changed
// items (time-stamped format, the one clients ask for), from its values to the
// global memory block handed to the sink. Prints the median of many runs.
#include "SimControl.h"
#include "StreamWriter.h"
#include "opcda.h"

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using plover::sim::StreamItem;
using plover::sim::StreamWriter;

namespace {

constexpr size_t kItems = 10000;
constexpr int kRuns = 201;

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER freq) {
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(freq.QuadPart);
}

double MedianBuild(const std::vector<StreamItem>& items, const char* label) {
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  StreamWriter writer;
  std::vector<double> times;
  size_t bytes = 0;
  for (int run = 0; run < kRuns; ++run) {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    writer.BuildData(1, 0, S_OK, true, items.data(), items.size());
    HGLOBAL h = writer.CopyToGlobal();
    QueryPerformanceCounter(&b);
    bytes = writer.Bytes().size();
    GlobalFree(h);
    times.push_back(Milliseconds(a, b, freq));
  }
  std::sort(times.begin(), times.end());
  double median = times[times.size() / 2];
  std::printf("%-34s %6zu items  %8zu bytes  median %.3f ms  (min %.3f, max %.3f, %d runs)\n",
              label, items.size(), bytes, median, times.front(), times.back(), kRuns);
  return median;
}

// A sink that only counts what it is given.
class CountingSink : public IAdviseSink {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = (riid == IID_IUnknown || riid == IID_IAdviseSink) ? this : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  void STDMETHODCALLTYPE OnDataChange(FORMATETC*, STGMEDIUM* medium) override {
    if (const auto* p = static_cast<const DWORD*>(GlobalLock(medium->hGlobal))) {
      lastItems = p[1];
      GlobalUnlock(medium->hGlobal);
    }
    ++streams;
  }
  void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override {}
  void STDMETHODCALLTYPE OnRename(IMoniker*) override {}
  void STDMETHODCALLTYPE OnSave() override {}
  void STDMETHODCALLTYPE OnClose() override {}
  DWORD lastItems = 0;
  int streams = 0;
};

// The whole update cycle through COM: 10,000 items of the large server sampled,
// compared, converted and sent in one stream, driven by the deterministic clock.
void BenchUpdateCycle() {
  if (FAILED(CoInitialize(nullptr))) return;
  IOPCServer* server = nullptr;
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(PLOVER_SIM_LARGE_PROGID, &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOPCServer,
                              reinterpret_cast<void**>(&server)))) {
    std::printf("update cycle: %ls is not registered; skipped\n", PLOVER_SIM_LARGE_PROGID);
    CoUninitialize();
    return;
  }
  IPloverSimControl* control = nullptr;
  server->QueryInterface(IID_IPloverSimControl, reinterpret_cast<void**>(&control));
  control->SetDeterministic(TRUE);
  IOPCItemMgt* group = nullptr;
  OPCHANDLE hGroup = 0;
  DWORD revised = 0;
  server->AddGroup(L"Bench", TRUE, 1000, 1, nullptr, nullptr, 0, &hGroup, &revised, IID_IOPCItemMgt,
                   reinterpret_cast<IUnknown**>(&group));
  // Ramps, sines and triangles with periods other than a second: every one of them
  // shows a new value each second.
  std::vector<std::wstring> ids;
  for (int area = 1; area <= 400 && ids.size() < kItems; ++area)
    for (int tag = 1; tag <= 250 && ids.size() < kItems; ++tag)
      if (int k = (area + tag) % 5; (k == 0 || k == 1 || k == 4) && (area * 7 + tag) % 10 != 0) {
        wchar_t id[40];
        swprintf(id, 40, L"Bulk.Area%03d.Tag%03d", area, tag);
        ids.push_back(id);
      }
  std::vector<OPCITEMDEF> defs(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    defs[i] = OPCITEMDEF{};
    defs[i].szItemID = ids[i].data();
    defs[i].bActive = TRUE;
    defs[i].hClient = static_cast<OPCHANDLE>(i + 1);
  }
  OPCITEMRESULT* results = nullptr;
  HRESULT* errors = nullptr;
  group->AddItems(static_cast<DWORD>(defs.size()), defs.data(), &results, &errors);
  CoTaskMemFree(results);
  CoTaskMemFree(errors);
  CountingSink sink;
  IDataObject* data = nullptr;
  group->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&data));
  FORMATETC fe = {static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"OPCSTMFORMATDATATIME")),
                  nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  DWORD connection = 0;
  data->DAdvise(&fe, 0, &sink, &connection);
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  std::vector<double> times;
  DWORD fewest = 0xFFFFFFFF;
  for (int run = 0; run < 51; ++run) {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    control->AdvanceTime(1000);
    QueryPerformanceCounter(&b);
    if (run == 0) continue;  // the first cycle also sends the never-sent values
    times.push_back(Milliseconds(a, b, freq));
    fewest = std::min(fewest, sink.lastItems);
  }
  std::sort(times.begin(), times.end());
  std::printf(
      "%-34s %6lu items (fewest per stream)  median %.3f ms  (min %.3f, max %.3f, %zu runs)\n",
      "update cycle through COM", static_cast<unsigned long>(fewest), times[times.size() / 2],
      times.front(), times.back(), times.size());
  data->DUnadvise(connection);
  data->Release();
  group->Release();
  server->RemoveGroup(hGroup, TRUE);
  control->Release();
  server->Release();
  CoUninitialize();
}

}  // namespace

int main() {
  // Mostly numbers, like a plant's tags, with some text and arrays among them.
  std::vector<VARIANT> values(kItems);
  for (size_t i = 0; i < kItems; ++i) {
    VariantInit(&values[i]);
    switch (i % 10) {
      case 0:
        values[i].vt = VT_BSTR;
        values[i].bstrVal = SysAllocString(L"Motor running");
        break;
      case 1: {
        SAFEARRAY* psa = SafeArrayCreateVector(VT_R8, 0, 8);
        values[i].vt = VT_ARRAY | VT_R8;
        values[i].parray = psa;
        break;
      }
      case 2:
        values[i].vt = VT_BOOL;
        values[i].boolVal = VARIANT_TRUE;
        break;
      case 3:
        values[i].vt = VT_I4;
        values[i].lVal = static_cast<LONG>(i);
        break;
      default:
        values[i].vt = VT_R8;
        values[i].dblVal = 0.5 * static_cast<double>(i);
        break;
    }
  }
  std::vector<StreamItem> mixed(kItems), numbers(kItems);
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_R8;
  number.dblVal = 42.0;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  for (size_t i = 0; i < kItems; ++i) {
    mixed[i] = StreamItem{static_cast<DWORD>(i + 1), 0xC0, now, &values[i]};
    numbers[i] = StreamItem{static_cast<DWORD>(i + 1), 0xC0, now, &number};
  }
  MedianBuild(numbers, "data stream, 10,000 VT_R8");
  double mixedMs = MedianBuild(mixed, "data stream, 10,000 mixed values");
  for (VARIANT& v : values) VariantClear(&v);
  std::printf("figure: %.3f ms per 10,000-item stream (goal: well under 10 ms)\n", mixedMs);
  BenchUpdateCycle();
  return 0;
}
