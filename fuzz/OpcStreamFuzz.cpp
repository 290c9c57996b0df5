// libFuzzer target over the OPC DA 1.0 stream reader (opc/OpcStream.cpp), built natively
// with clang, ASan and UBSan by tools/fuzz.sh.
#include <cstdio>
#include <cstdlib>

#include "StreamWalk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const streamwalk::Result r = streamwalk::Walk(data, size);
  if (!r.inBounds) {
    std::fprintf(stderr, "stream reader handed out a view outside the block\n");
    std::abort();
  }
  return 0;
}
