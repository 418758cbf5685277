// The real waits of a hub's port and of its lock, in the real executable:
// every other test runs with waits of its own, or none. These tests carry
// the ctest label "slow".
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <thread>

#include "fixture.h"

using RealWaits = E2E;

TEST_F(RealWaits, ASilentHubCostsOneByteWait) {
  hubsim::Hub& hub = AddHub(0, {}, hubsim::Silent());
  const hubsim::RunResult r = Tarvo({"/G:ttyUSB0"});
  EXPECT_RUN(r, "Query Err\n", 1);
  EXPECT_GE(r.seconds, kHubByteWait);
  ExpectAtMost(r.seconds, kHubByteWait + kHubByteWaitSlack);
  EXPECT_EQ(std::vector<std::string>{"?Q\r"}, hub.Frames());
}

TEST_F(RealWaits, ALockIsWaitedForThirtySecondsAndTakenTheMomentItIsFree) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x5));
  const int holder =
      open("/dev/ttyUSB0", O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_EQ(0, flock(holder, LOCK_EX | LOCK_NB));
  const hubsim::RunResult busy = Tarvo({"/S:ttyUSB0", "1:2"});
  EXPECT_RUN(busy, "Port Busy!\n", 1);
  EXPECT_GE(busy.seconds, 30);
  ExpectAtMost(busy.seconds, 30 + kHubByteWaitSlack);
  EXPECT_TRUE(hub.Frames().empty());
  std::thread release([&] {
    usleep(1000000);
    close(holder);
  });
  const hubsim::RunResult freed = Tarvo({"/G:ttyUSB0"});
  release.join();
  EXPECT_RUN(freed, "On=1,3 Off=2,4\n", 0);
  EXPECT_GE(freed.seconds, 1);
  EXPECT_LT(freed.seconds, 1 + kSlack);
}
