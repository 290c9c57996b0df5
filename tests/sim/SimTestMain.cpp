#include <gtest/gtest.h>
#include <objbase.h>

// The client side of the tests is one apartment thread, like the Plover client.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int rc = RUN_ALL_TESTS();
  CoUninitialize();
  return rc;
}
