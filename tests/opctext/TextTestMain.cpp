#include <gtest/gtest.h>
#include <objbase.h>

// The status and attribute suites talk to COM objects from one apartment thread, as the
// client does.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int rc = RUN_ALL_TESTS();
  CoUninitialize();
  return rc;
}
