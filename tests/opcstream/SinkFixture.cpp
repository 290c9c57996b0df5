#include "SinkFixture.h"

#include <cstring>

const ClipFormats& Clip() {
  static const ClipFormats f = {
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"OPCSTMFORMATDATA")),
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"OPCSTMFORMATDATATIME")),
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"OPCSTMFORMATWRITECOMPLETE")),
  };
  return f;
}

GlobalBlock::GlobalBlock(const Bytes& bytes) {
  m_h = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
  if (void* p = m_h ? GlobalLock(m_h) : nullptr) {
    if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(m_h);
  }
}

void GlobalBlock::Free() {
  if (m_h) {
    // Scribble over the block first, so a record still pointing into it would show.
    if (void* p = GlobalLock(m_h)) {
      std::memset(p, 0xCD, GlobalSize(m_h));
      GlobalUnlock(m_h);
    }
    GlobalFree(m_h);
    m_h = nullptr;
  }
}

void SinkFixture::SetUp() {
  m_wnd = CreateWindowExW(0, L"STATIC", L"sink target", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          nullptr, nullptr);
  ASSERT_TRUE(m_wnd);
  m_sink = new COpcDataSink;
  m_sink->AddRef();
  m_sink->SetNotifyWindow(m_wnd);
  m_sink->SetItemTable(&m_table);
}

void SinkFixture::TearDown() {
  if (m_sink) {
    m_sink->SetItemTable(nullptr);
    EXPECT_EQ(0u, m_sink->Release());
  }
  Posted();
  if (m_wnd) DestroyWindow(m_wnd);
}

COpcItem* SinkFixture::AddRecord(const wchar_t* id) {
  m_records.push_back(std::make_unique<COpcItem>(id));
  COpcItem* rec = m_records.back().get();
  rec->m_hClient = m_table.Add(rec);
  EXPECT_NE(0u, rec->m_hClient);
  return rec;
}

void SinkFixture::Deliver(CLIPFORMAT cf, const Bytes& bytes, DWORD tymed) {
  GlobalBlock block(bytes);
  ASSERT_TRUE(block.Get());
  FORMATETC fe = {cf, nullptr, DVASPECT_CONTENT, -1, tymed};
  STGMEDIUM medium{};
  medium.tymed = tymed;
  medium.hGlobal = block.Get();
  m_sink->OnDataChange(&fe, &medium);
  // The caller still owns its medium and block, unchanged: the sink neither frees nor
  // rewrites them.
  EXPECT_EQ(tymed, medium.tymed);
  EXPECT_EQ(block.Get(), medium.hGlobal);
  EXPECT_EQ(bytes.empty() ? 1u : bytes.size(), GlobalSize(block.Get()));
  if (const void* p = GlobalLock(block.Get())) {
    EXPECT_TRUE(bytes.empty() || std::memcmp(p, bytes.data(), bytes.size()) == 0);
    GlobalUnlock(block.Get());
  } else {
    ADD_FAILURE() << "the caller's block was freed";
  }
}

std::vector<MSG> SinkFixture::Posted() {
  std::vector<MSG> out;
  MSG msg;
  while (m_wnd && PeekMessageW(&msg, m_wnd, WM_OPC_DATACHANGE, WM_OPC_WRITEERROR, PM_REMOVE))
    out.push_back(msg);
  return out;
}
