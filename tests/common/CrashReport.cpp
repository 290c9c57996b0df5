// Every test program says where it crashed. Wine runs without a debugger here, so a crash
// (at exit too, after every test passed) otherwise ends the program with only an exit code.
#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI Report(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  char module[MAX_PATH] = "?";
  HMODULE base = nullptr;
  if (GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(record->ExceptionAddress), &base)) {
    GetModuleFileNameA(base, module, MAX_PATH);
  }
  char line[MAX_PATH + 160];
  int n = std::snprintf(
      line, sizeof line, "crash: exception 0x%08lX at %s+0x%llX on thread %lu\n",
      static_cast<unsigned long>(record->ExceptionCode), module,
      static_cast<unsigned long long>(static_cast<const char*>(record->ExceptionAddress) -
                                      reinterpret_cast<const char*>(base)),
      GetCurrentThreadId());
  DWORD written = 0;
  if (n > 0)
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(n), &written, nullptr);
  return EXCEPTION_CONTINUE_SEARCH;  // the exit code stays the exception's
}

const bool g_installed = (SetUnhandledExceptionFilter(&Report), true);

}  // namespace
