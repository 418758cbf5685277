#include <gtest/gtest.h>

#include "devns.h"
#include "fixture.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Before any thread exists: unshare() refuses threaded processes.
  if (!::testing::GTEST_FLAG(list_tests))
    g_private_dev_error = sandbox::EnterPrivateDev();
  return RUN_ALL_TESTS();
}
