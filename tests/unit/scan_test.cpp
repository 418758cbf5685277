// The scan, in-process: devices are links named ttyUSB<n> in a device
// folder of the test's own, with simulated hubs and other things behind
// them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <thread>

#include "catalogue.h"
#include "commands/query.h"
#include "link/hubnames.h"
#include "simhubs.h"

namespace {

class ScanRig : public TestRig {
 public:
  void Link(int32_t index, const std::string& to) {
    TestRig::Link(ScanName(index), to);
  }
  void AddHub(int32_t index, hubsim::HubConfig config = {},
              hubsim::Faults faults = {}) {
    Link(index, hubs_.emplace_back(StartHub(config, faults))->TerminalPath());
  }
  // What /Q prints in the given form, its message last, and the status.
  std::string Scan(OutputForm form = OutputForm::kCompact) const {
    Request request;
    request.command = CommandKind::kScan;
    request.form = form;
    LineCollector out;
    const Outcome outcome = ScanForHubs(request, settings(), out);
    if (outcome != Outcome::kSuccess) out.lines.push_back(OutcomeText(outcome));
    std::string printed;
    for (const std::string& line : out.lines)
      printed += (printed.empty() ? "" : "\n") + line;
    return printed + " (" + std::to_string(ExitStatus(outcome)) + ")";
  }

 private:
  std::vector<std::unique_ptr<hubsim::Hub>> hubs_;
};

}  // namespace

TEST(ScanTest, HubsInIndexOrderWhateverAnswersFirst) {
  ScanRig dir;
  hubsim::Faults slow;
  slow.reply_delay_ms = 300;
  dir.AddHub(0, HubWith("04", 0x5, "1.3"), slow);
  dir.AddHub(3, HubWith("12", 0xA00));
  dir.AddHub(255, HubWith("08", 0));
  dir.AddHub(4, HubWith("04", 0), Answering("GP", "xx\r\n"));  // not a hub
  dir.Link(5, "/dev/null");                                    // not a tty
  dir.Link(6, "/nonexistent");
  EXPECT_EQ(
      "ttyUSB0, 4 ports, On=1,3, Off=2,4, FW=1.3\n"
      "ttyUSB3, 12 ports, On=10,12, Off=1,2,3,4,5,6,7,8,9,11, FW=2.1\n"
      "ttyUSB255, 8 ports, On=None, Off=1,2,3,4,5,6,7,8, FW=2.1\n"
      "3 Managed USB Hub(s) Found. (0)",
      dir.Scan(OutputForm::kText));
  EXPECT_EQ("0003ttyUSB0,3,255 (0)", dir.Scan());
  const std::string json = dir.Scan(OutputForm::kJson);
  EXPECT_EQ("[1, 2, 3, 4, 5, 6, 7, 8, 9, 11]",
            ParsedByPython(json.substr(0, json.size() - 4),
                           "[\"hubs\"][1][\"off\"]"));
}

TEST(ScanTest, ManySilentDevicesCostOneByteWait) {
  ScanRig dir;
  for (int32_t i = 0; i < 40; ++i) dir.AddHub(i, {}, Silent());
  dir.AddHub(40, HubWith("04", 0x5));
  const int64_t start = NowMicros();
  EXPECT_EQ("0001ttyUSB40 (0)", dir.Scan());
  EXPECT_GE(SecondsSince(start), kTestByteWait);
  ExpectAtMost(SecondsSince(start), kTestByteWait + kSlack);
}

TEST(ScanTest, ALockedDeviceIsWaitedForUntilOneByteWaitAfterTheStart) {
  ScanRig dir;
  for (int32_t i = 0; i < 3; ++i) dir.AddHub(i, HubWith("04", 0x5));
  const int freed_later =
      open(dir.Device("ttyUSB1").c_str(), O_RDONLY | O_NONBLOCK);
  const int kept = open(dir.Device("ttyUSB2").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_EQ(0, flock(freed_later, LOCK_EX) | flock(kept, LOCK_EX));
  std::thread release([&] {
    usleep(200000);
    close(freed_later);
  });
  const int64_t start = NowMicros();
  EXPECT_EQ("0002ttyUSB0,1 (0)", dir.Scan());
  EXPECT_GE(SecondsSince(start), kTestByteWait);
  ExpectAtMost(SecondsSince(start), kTestByteWait + kSlack);
  release.join();
  close(kept);
}

TEST(ScanTest, FewDescriptorsSlowTheScanNoneLeftMakeItIncomplete) {
  ScanRig dir;
  for (int32_t i = 0; i < 10; ++i) dir.AddHub(i, HubWith("04", 0x5));
  // Room for two or three probes; for the lock but not the port; none.
  // clang-format off
  const std::pair<int, std::string> cases[] = {
      {7, "0010ttyUSB0,1,2,3,4,5,6,7,8,9 (0)"}, {1, "Scan Incomplete! (1)"}, {0, "Scan Incomplete! (1)"}};
  // clang-format on
  for (const auto& [free, expected] : cases) {
    const DescriptorLimit limit(free);
    EXPECT_EQ(expected,
              dir.Scan(free ? OutputForm::kCompact : OutputForm::kJson))
        << free;
  }
}
