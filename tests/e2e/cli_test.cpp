// What only the real executable shows: its streams, exit statuses, and
// what happens to them when they are closed.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "fixture.h"

using Executable = E2E;

TEST_F(Executable, OneLineOnStandardOutputAndTheExitStatus) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x5));
  const struct {
    std::vector<std::string> args;
    std::string out;
    int status;
  } cases[] = {
      {{"/S:ttyUSB0", "0:1"}, "", 0},
      {{"/Q"},
       "ttyUSB0, 4 ports, On=3, Off=1,2,4, FW=2.1\n1 Managed USB Hub(s) "
       "Found.\n",
       0},
      {{"/G:ttyUSB7"}, "Query Err\n", 1},
      {{"/G:ttyUSB0/../ttyUSB0"}, "Invalid Command!\n", 2},
      {{"/X:ttyUSB0"}, "DoCommandError\n", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    EXPECT_RUN(Tarvo(c.args), c.out, c.status);
  }
  EXPECT_EQ(0x4u, hub.Config().states);
}

TEST_F(Executable, ClosedOutputIsAFailureAndNeverReachesAHub) {
  std::vector<hubsim::Hub*> hubs;
  for (int i = 0; i < 3; ++i) hubs.push_back(&AddHub(i, HubWith("04", 0x5)));
  auto closed = [&](const std::vector<std::string>& args, const char* how) {
    return sandbox::Run(TarvoArgv(args, how), 60).status;
  };
  EXPECT_EQ(1, closed({"/H"}, "exec >&-"));
  EXPECT_EQ(1, closed({"/Q", "-F"}, "exec >&- 2>&- <&-"));
  // Room for one probe at a time: the next probe's descriptors are opened
  // just before a hub's line is written.
  EXPECT_EQ(1, closed({"/Q"}, "exec >&- <&-; ulimit -n 8"));
  // A terminal, opened read-only, takes output line by line: each line's
  // write fails at once, and the exit finds nothing left to flush.
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 &&
              unlockpt(terminal) == 0);
  EXPECT_EQ(1, sandbox::Run(TarvoArgv({"/G:ttyUSB0"}, "exec 1<&0"), 60,
                            ptsname(terminal))
                   .status);
  close(terminal);
  // A command that prints nothing on success has nothing to lose.
  EXPECT_EQ(0, closed({"/S:ttyUSB0", "1:2"}, "exec >&- 2>&- <&-"));
  for (hubsim::Hub* hub : hubs) {
    std::string frames;
    for (const std::string& frame : hub->Frames()) {
      frames += frame;
      EXPECT_TRUE(frame == "?Q\r" || frame == "GP\r" ||
                  (frame.size() == 19 && frame.compare(0, 2, "SP") == 0))
          << "only tarvo's frames reach a hub: " << frame;
    }
    EXPECT_EQ(frames, hub->Received());
  }
  EXPECT_EQ(0x7u, hubs[0]->Config().states);
  for (const char* input : {"/dev/null", "", "/dev/zero"}) {
    SCOPED_TRACE(input);
    EXPECT_RUN(Tarvo({"/G:ttyUSB0"}, 60, input), "On=1,2,3 Off=4\n", 0);
  }
}
