// What every benchmark measures with: wall and CPU milliseconds of this process, the median
// of repeated runs, and the messages waiting on this thread run to the end.
#pragma once
#include <windows.h>

#include <algorithm>
#include <vector>

inline double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// User plus kernel time of this process (another process's times are wrong under Wine).
inline double CpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& ft) {
    return static_cast<double>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) |
                               ft.dwLowDateTime) /
           10000.0;
  };
  return ms(kernel) + ms(user);
}

// The middle run; v must not be empty.
inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

inline void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}
