// Every seed and every input that ever crashed the fuzz target, read at run time and
// walked exactly as the fuzz target walks it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "StreamWalk.h"

namespace {

// The source tree as Wine sees it: a Unix path is on drive Z:.
std::wstring SourceDir() {
  std::string dir = PLOVER_SOURCE_DIR;
  std::wstring out = dir.size() > 1 && dir[1] == ':' ? L"" : L"Z:";
  for (char c : dir) out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out;
}

struct Input {
  std::wstring name;
  std::vector<uint8_t> bytes;
};

std::vector<Input> ReadFolder(const std::wstring& folder) {
  std::vector<Input> inputs;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return inputs;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::wstring name = fd.cFileName;
    if (name.rfind(L"README", 0) == 0) continue;
    Input in{name, {}};
    if (FILE* f = _wfopen((folder + L"\\" + name).c_str(), L"rb")) {
      uint8_t buf[4096];
      size_t n;
      while ((n = fread(buf, 1, sizeof buf, f)) > 0) in.bytes.insert(in.bytes.end(), buf, buf + n);
      fclose(f);
    }
    inputs.push_back(std::move(in));
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  return inputs;
}

std::string Narrow(const std::wstring& s) {
  return std::string(s.begin(), s.end());
}

}  // namespace

TEST(StreamReplay, SeedCorpusDecodesCompletely) {
  const std::vector<Input> seeds = ReadFolder(SourceDir() + L"\\fuzz\\corpus");
  ASSERT_GE(seeds.size(), 10u) << "fuzz/corpus not found under " << Narrow(SourceDir());
  for (const Input& in : seeds) {
    SCOPED_TRACE(Narrow(in.name));
    ASSERT_GE(in.bytes.size(), 2u);
    const streamwalk::Result r = streamwalk::Walk(in.bytes.data(), in.bytes.size());
    EXPECT_TRUE(r.inBounds);
    EXPECT_TRUE(r.headerFits);
    // The seeds are well formed: every item announced is there and every value decodes.
    uint32_t count = 0;
    std::memcpy(&count, in.bytes.data() + (in.bytes[0] % 3 == 2 ? 1 : 5), 4);
    EXPECT_EQ(count, r.items);
    if (in.bytes[0] % 3 != 2) {
      EXPECT_EQ(r.items, r.values);
      // Seeds named l64 are in the 64-bit layout, all others in the 32-bit one, whichever
      // layout the kind byte makes the reader prefer.
      EXPECT_EQ(in.name.rfind(L"l64", 0) == 0 ? opcstream::Layout::k64 : opcstream::Layout::k32,
                r.layout);
    }
  }
}

TEST(StreamReplay, CrashInputsStayInBounds) {
  // Each file, and every prefix of it, since a block may end anywhere.
  for (const Input& in : ReadFolder(SourceDir() + L"\\fuzz\\crashes")) {
    SCOPED_TRACE(Narrow(in.name));
    for (size_t n = 0; n <= in.bytes.size(); ++n) {
      std::vector<uint8_t> copy(in.bytes.begin(), in.bytes.begin() + n);
      EXPECT_TRUE(streamwalk::Walk(copy.data(), copy.size()).inBounds) << n;
    }
  }
}
