// libFuzzer target over the workspace reader (opc/Workspace.cpp), built natively with clang,
// ASan and UBSan by tools/fuzz.sh. Whatever the reader accepts must write back and read
// again to the same text: the writer never produces a file its own reader refuses.
#include <cstdio>
#include <cstdlib>

#include "Workspace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  workspace::Workspace ws;
  workspace::Error err;
  if (!workspace::Read(reinterpret_cast<const char*>(data), size, ws, err)) {
    if (err.fault == workspace::Fault::None) std::abort();  // a refusal always says why
    return 0;
  }
  std::string text, again;
  if (!workspace::Write(ws, text, err)) return 0;  // e.g. an empty group name is unwritable
  workspace::Workspace back;
  if (!workspace::Read(text.data(), text.size(), back, err) ||
      !workspace::Write(back, again, err) || again != text) {
    std::fprintf(stderr, "workspace round trip changed the text\n");
    std::abort();
  }
  return 0;
}
