#include <gtest/gtest.h>
#include <objbase.h>

// One apartment thread, like the Plover client: the sink is called on it.
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int rc = RUN_ALL_TESTS();
  CoUninitialize();
  return rc;
}
