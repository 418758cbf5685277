#include "names/stablenames.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "simhubs.h"

// Links to the device, folder by folder, each sorted; links to anything
// else and folders that do not exist are passed over.
TEST(StableNamesTest, EveryLinkToTheDeviceInFolderOrder) {
  auto hub = StartHub();
  TempDir by_id, by_path;
  // Made neither in order nor in reverse order: a folder lists them as
  // made, in reverse, or by hash.
  for (const std::string& link :
       {by_id / "usb-B", by_id / "usb-C", by_id / "usb-A", by_path / "pci-0"})
    ASSERT_EQ(0, symlink(hub->TerminalPath().c_str(), link.c_str()));
  ASSERT_EQ(0, symlink("/dev/null", (by_id / "other").c_str()));
  EXPECT_EQ((std::vector<std::string>{by_id / "usb-A", by_id / "usb-B",
                                      by_id / "usb-C", by_path / "pci-0"}),
            StableNames(hub->TerminalPath(),
                        {by_id.path(), "/nonexistent", by_path.path()}));
}
