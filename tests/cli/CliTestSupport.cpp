#include "CliTestSupport.h"

#include <regex>

#include "CliText.h"
#include "SimServer.h"
#include "opcda.h"

PloverSimLiveCounts SimLiveCounts() {
  PloverSimLiveCounts counts = {};
  TComPtr<IPloverSimControl> control;
  if (SUCCEEDED(CreateSimServer(PLOVER_SIM_PROGID, control))) control->GetLiveCounts(&counts);
  return counts;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    pos = end + 1;
  }
  return lines;
}

CliResult CliTest::Run(const std::vector<std::wstring>& args,
                       const std::function<void(IPloverSimControl*)>& prepare,
                       const std::function<void(IPloverSimControl*)>& idle) {
  TComPtr<IPloverSimControl> control;
  CliHooks hooks;
  hooks.connected = [&](IUnknown* server) {
    ASSERT_TRUE(SUCCEEDED(control.QueryFrom(server)) && control) << "not the simulation server";
    control->SetDeterministic(TRUE);
    TComPtr<IOPCServer> opc;
    OPCSERVERSTATUS* st = nullptr;
    if (SUCCEEDED(opc.QueryFrom(server)) && opc && SUCCEEDED(opc->GetStatus(&st)) && st) {
      m_origin = st->ftStartTime;
      ::CoTaskMemFree(st->szVendorInfo);
      ::CoTaskMemFree(st);
    }
    if (prepare) prepare(control.Get());
  };
  int rounds = 0;
  if (idle) {
    hooks.idle = [&] {
      ASSERT_TRUE(control) << "a watch waits before it connected";
      // A watch that never reaches its end is ended, and fails the test, instead of hanging.
      if (++rounds > 10000) {
        ADD_FAILURE() << "the command did not end after 10000 idle rounds";
        CliConsoleCtrlHandler(CTRL_C_EVENT);
        return;
      }
      idle(control.Get());
    };
  }
  CStringWriter out, err;
  CliResult r;
  r.rc = RunCli(args, out, err, hooks);
  r.out = out.m_text;
  r.err = err.m_text;
  return r;
}

std::string CliTest::Expand(const std::string& text) const {
  static const std::regex token(R"(\{T\+(\d+)\})");
  std::string out;
  auto begin = std::sregex_iterator(text.begin(), text.end(), token);
  size_t last = 0;
  for (auto it = begin; it != std::sregex_iterator(); ++it) {
    out += text.substr(last, static_cast<size_t>(it->position()) - last);
    ULARGE_INTEGER t;
    t.LowPart = m_origin.dwLowDateTime;
    t.HighPart = m_origin.dwHighDateTime;
    t.QuadPart += std::stoull((*it)[1].str()) * 10000;
    FILETIME ft = {t.LowPart, t.HighPart};
    out += ToUtf8(IsoTime(ft));
    last = static_cast<size_t>(it->position() + it->length());
  }
  return out + text.substr(last);
}

std::wstring CliTest::TempFile(const std::string& name, const std::string& bytes) {
  wchar_t dir[MAX_PATH];
  ::GetTempPathW(MAX_PATH, dir);
  std::wstring wide;
  FromUtf8(name, wide);
  std::wstring path =
      std::wstring(dir) + L"plover-cli-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + wide;
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << "cannot create a temporary file";
  DWORD written = 0;
  ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(h);
  m_files.push_back(path);
  return path;
}

void CliTest::TearDown() {
  for (const std::wstring& f : m_files) ::DeleteFileW(f.c_str());
}
