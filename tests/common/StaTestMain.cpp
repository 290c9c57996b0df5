#include <gtest/gtest.h>
#include <objbase.h>

// The suites that talk to COM objects run on one apartment thread, as the client does.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int rc = RUN_ALL_TESTS();
  CoUninitialize();
  return rc;
}
