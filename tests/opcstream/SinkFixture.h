// A data sink wired to real item records, a real handle table and a real (message-only)
// window, and a way to hand it a block the way a server does.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <vector>

#include "ItemHandleTable.h"
#include "OpcDataSink.h"
#include "OpcItem.h"
#include "StreamBuilder.h"

struct ClipFormats {
  CLIPFORMAT data, dataTime, writeComplete;
};
const ClipFormats& Clip();

// A global block holding the bytes; freed when the object goes.
class GlobalBlock {
 public:
  explicit GlobalBlock(const Bytes& bytes);
  ~GlobalBlock() { Free(); }
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  HGLOBAL Get() const { return m_h; }
  void Free();

 private:
  HGLOBAL m_h = nullptr;
};

class SinkFixture : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new record in the table; its handle is in m_hClient.
  COpcItem* AddRecord(const wchar_t* id = L"item");
  // Hands the bytes to OnDataChange in a fresh global block, freed right after.
  void Deliver(CLIPFORMAT cf, const Bytes& bytes, DWORD tymed = TYMED_HGLOBAL);
  void DeliverData(const Bytes& bytes) { Deliver(Clip().dataTime, bytes); }
  // The sink's messages posted to the window since the last call, in order.
  std::vector<MSG> Posted();

  HWND m_wnd = nullptr;
  COpcDataSink* m_sink = nullptr;  // the test holds one reference
  CItemHandleTable m_table;
  std::vector<std::unique_ptr<COpcItem>> m_records;
};
