// How fast time-stamped data streams are decoded into COpcItem records: the real
// OnDataChange path (lock, read, resolve handles, build variants, post) over one global
// block prepared once and handed over again and again, and the stream reader alone for
// comparison, for both value layouts (32-bit: 16-byte VARIANT slots; 64-bit: 24-byte).
// Streams are built by the simulation server's own writer. The same values also go through
// the OPC DA 2.0 path, IOPCDataCallback::OnDataChange with the server's arrays, into the same
// records. Prints the median items per second of many runs.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "ItemHandleTable.h"
#include "OpcDataCallback.h"
#include "OpcDataSink.h"
#include "OpcItem.h"
#include "OpcStream.h"
#include "StreamWriter.h"

using plover::sim::StreamItem;
using plover::sim::StreamWriter;

namespace {

constexpr size_t kItems = 10000;
constexpr int kRuns = 101;

struct Figures {
  double median, best;  // items per second
};

template <class Fn>
Figures Measure(Fn&& once) {
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  std::vector<double> rates;
  once();  // warm-up: first allocations, page faults
  for (int run = 0; run < kRuns; ++run) {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    once();
    QueryPerformanceCounter(&b);
    const double seconds = double(b.QuadPart - a.QuadPart) / double(freq.QuadPart);
    rates.push_back(seconds > 0 ? kItems / seconds : 0);
  }
  std::sort(rates.begin(), rates.end());
  return {rates[rates.size() / 2], rates.back()};
}

void DrainMessages(HWND wnd) {
  MSG msg;
  while (PeekMessageW(&msg, wnd, 0, 0, PM_REMOVE)) {
  }
}

struct Case {
  const char* label;
  double target;  // items per second the sink should reach, 0 for none
  std::vector<VARIANT> values;
};

VARIANT RealValue(size_t i) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_R8;
  v.dblVal = 0.5 * double(i);
  return v;
}

VARIANT StringValue(size_t i) {
  wchar_t text[17];
  std::swprintf(text, 17, L"value %010zu", i);  // 16 characters
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text, 16);
  return v;
}

VARIANT ArrayValue(size_t i) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_R4;
  v.parray = SafeArrayCreateVector(VT_R4, 0, 16);
  float* data = static_cast<float*>(v.parray->pvData);
  for (int k = 0; k < 16; ++k) data[k] = float(i) + float(k) / 16;
  return v;
}

}  // namespace

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  HWND wnd = CreateWindowExW(0, L"STATIC", L"bench", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                             nullptr);
  CItemHandleTable table;
  std::vector<std::unique_ptr<COpcItem>> records;
  for (size_t i = 0; i < kItems; ++i) {
    records.push_back(std::make_unique<COpcItem>(L"Bench.Item"));
    records.back()->m_hClient = table.Add(records.back().get());
  }
  COpcDataSink* sink = new COpcDataSink;
  sink->AddRef();
  sink->SetNotifyWindow(wnd);
  sink->SetItemTable(&table);
  const CLIPFORMAT cf = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"OPCSTMFORMATDATATIME"));
  COpcDataCallback* callback = new COpcDataCallback;
  callback->AddRef();
  callback->SetNotifyWindow(wnd);
  callback->SetItemTable(&table);

  Case cases[] = {{"VT_R8 scalars", 10e6, {}},
                  {"16-character strings", 2e6, {}},
                  {"16-element VT_R4 arrays", 0, {}}};
  VARIANT (*makers[])(size_t) = {RealValue, StringValue, ArrayValue};
  std::printf("%zu items per stream, median (best) of %d runs, one thread\n\n", kItems, kRuns);
  std::printf("%-26s %6s %10s %18s %18s\n", "stream", "layout", "bytes", "sink items/s",
              "reader items/s");
  for (size_t c = 0; c < std::size(cases); ++c) {
    Case& k = cases[c];
    std::vector<StreamItem> items(kItems);
    for (size_t i = 0; i < kItems; ++i) {
      k.values.push_back(makers[c](i));
      items[i].hClient = records[i]->m_hClient;
      items[i].quality = 0xC0;
      items[i].timeStamp = {DWORD(i), 0x01DA0000};
    }
    for (size_t i = 0; i < kItems; ++i) items[i].value = &k.values[i];
    for (const unsigned pointerBytes : {4u, 8u}) {
      StreamWriter writer;
      writer.SetForm(pointerBytes, false);
      writer.BuildData(1, 0, S_OK, true, items.data(), items.size());
      HGLOBAL block = writer.CopyToGlobal();
      FORMATETC fe = {cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
      STGMEDIUM medium{};
      medium.tymed = TYMED_HGLOBAL;
      medium.hGlobal = block;

      const Figures sinkRate = Measure([&] {
        sink->OnDataChange(&fe, &medium);
        DrainMessages(wnd);  // one posted message per stream; keep the queue short
      });

      const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
      const size_t size = GlobalSize(block);
      uint64_t sum = 0;
      const Figures readerRate = Measure([&] {
        opcstream::DataHeader header;
        opcstream::ForEachDataItem(
            bytes, size, true, &header, [&](const opcstream::ItemView& item) {
              sum += item.hClient + item.quality + uint64_t(item.value.kind) + item.value.count;
            });
      });
      GlobalUnlock(block);

      std::printf("%-26s %3u-bit %10zu %10.2f M (%4.1f) %10.2f M (%4.1f)", k.label,
                  pointerBytes * 8, writer.Bytes().size(), sinkRate.median / 1e6,
                  sinkRate.best / 1e6, readerRate.median / 1e6, readerRate.best / 1e6);
      if (k.target > 0)
        std::printf("   target %.0f M/s: %s", k.target / 1e6,
                    sinkRate.median >= k.target ? "met" : "NOT met");
      std::printf("\n");
      if (sum == 42) std::printf(" ");  // keeps the reader's work observable
      // A decoded record, as a sanity check that the sink did the work measured.
      const VARIANT& last = records.back()->m_value;
      if (last.vt != k.values.back().vt) std::printf("  (unexpected record type %u)\n", last.vt);
      GlobalFree(block);
    }

    // The DA 2.0 path: the arrays a server hands to IOPCDataCallback::OnDataChange.
    std::vector<OPCHANDLE> handles(kItems);
    std::vector<WORD> qualities(kItems, 0xC0);
    std::vector<FILETIME> times(kItems);
    std::vector<HRESULT> errors(kItems, S_OK);
    for (size_t i = 0; i < kItems; ++i) {
      handles[i] = items[i].hClient;
      times[i] = items[i].timeStamp;
    }
    for (auto& r : records) VariantClear(&r->m_value);
    const Figures callbackRate = Measure([&] {
      callback->OnDataChange(0, 1, S_OK, S_OK, DWORD(kItems), handles.data(), k.values.data(),
                             qualities.data(), times.data(), errors.data());
      DrainMessages(wnd);
    });
    std::printf("%-26s %7s %10s %10.2f M (%4.1f)   (IOPCDataCallback)\n", k.label, "DA 2.0", "-",
                callbackRate.median / 1e6, callbackRate.best / 1e6);
    for (VARIANT& v : k.values) VariantClear(&v);
  }
  sink->SetItemTable(nullptr);
  sink->Release();
  callback->SetItemTable(nullptr);
  callback->Release();
  records.clear();
  DestroyWindow(wnd);
  CoUninitialize();
  return 0;
}
