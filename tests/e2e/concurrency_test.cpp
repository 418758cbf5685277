#include <thread>

#include "fixture.h"

using Concurrency = E2E;

// Eight runs at once against one 8-port hub, each switching its own port,
// round after round: every run's change must survive every other's.
TEST_F(Concurrency, NoLostUpdateNoInterleavedFrame) {
  hubsim::Hub& hub = AddHub(0, HubWith("08", 0x0));
  const std::vector<std::string> ops = {"1:", "T:", "0:", "T:", "T:"};
  constexpr int kRuns = 8;
  constexpr int kRounds = 5;
  uint32_t expected = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<hubsim::RunResult> results(kRuns);
    std::vector<std::thread> runs;
    for (int port = 1; port <= kRuns; ++port) {
      const std::string op = ops[(port + round) % ops.size()];
      const uint32_t bit = 1u << (port - 1);
      if (op == "1:") expected |= bit;
      if (op == "0:") expected &= ~bit;
      if (op == "T:") expected ^= bit;
      const std::string arg = op + std::to_string(port);
      runs.emplace_back([this, &results, port, arg] {
        results[port - 1] = Tarvo({"/S:ttyUSB0", arg});
      });
    }
    for (std::thread& t : runs) t.join();
    for (int i = 0; i < kRuns; ++i) {
      SCOPED_TRACE("round " + std::to_string(round) + " port " + std::to_string(i + 1));
      EXPECT_RUN(results[i], "", 0);
    }
    EXPECT_EQ(hubsim::StateHex(expected), hubsim::StateHex(hub.Config().states))
        << "round " << round;
  }
  // Every run's three frames arrived together and whole.
  std::vector<std::string> frames = hub.Frames();
  ASSERT_EQ(3u * kRuns * kRounds, frames.size());
  for (size_t i = 0; i < frames.size(); i += 3) {
    EXPECT_EQ("?Q\r", frames[i]) << i;
    EXPECT_EQ("GP\r", frames[i + 1]) << i;
    EXPECT_EQ(19u, frames[i + 2].size()) << i;
    EXPECT_EQ(0u, frames[i + 2].rfind("SPmira    ", 0)) << frames[i + 2];
  }
}
