// The scan, in-process: devices are links named ttyUSB<n> in a directory
// of the test's own, with simulated hubs and other things behind them.
#include "commands/scan.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "commands/query.h"
#include "link/clock.h"
#include "simhubs.h"

namespace {

class ScanDir {
 public:
  ScanDir() {
    char pattern[] = "/tmp/tarvo-scan-XXXXXX";
    EXPECT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  ~ScanDir() {
    for (const std::string& link : links_) unlink(link.c_str());
    rmdir(dir_.c_str());
  }
  hubsim::Hub& AddHub(int32_t index, hubsim::HubConfig config = {},
                      hubsim::Faults faults = {}) {
    hubs_.push_back(StartHub(config, faults));
    Link(index, hubs_.back()->TerminalPath());
    return *hubs_.back();
  }
  void Link(int32_t index, const std::string& target) {
    links_.push_back(Device(index));
    EXPECT_EQ(0, symlink(target.c_str(), links_.back().c_str()));
  }
  std::string Device(int32_t index) const {
    return dir_ + "/ttyUSB" + std::to_string(index);
  }
  ScanOptions Options() const {
    ScanOptions options;
    options.name_prefix = dir_ + "/ttyUSB";
    options.lock_file_dirs = {};
    return options;
  }
  // The lines of /Q in the given form, the last one its outcome.
  std::vector<std::string> Scan(OutputForm form = OutputForm::kText,
                                int32_t* exit_status = nullptr) {
    Request request;
    request.command = CommandKind::kScan;
    request.form = form;
    LineCollector out;
    const Outcome outcome = ScanForHubs(request, out, Options());
    out.lines.push_back(outcome.message);
    if (exit_status != nullptr) *exit_status = outcome.exit_status;
    return out.lines;
  }

 private:
  std::string dir_;
  std::vector<std::string> links_;
  std::vector<std::unique_ptr<hubsim::Hub>> hubs_;
};

}  // namespace

TEST(ScanTest, HubsInIndexOrderWhateverAnswersFirst) {
  ScanDir dir;
  hubsim::Faults slow;
  slow.replyDelayMs = 300;
  dir.AddHub(0, HubWith("04", 0x5, "1.3"), slow);
  dir.AddHub(3, HubWith("12", 0xA00));
  dir.AddHub(255, HubWith("08", 0));
  dir.AddHub(4, HubWith("04", 0), Answering("GP", "xx\r\n"));  // not a hub
  dir.Link(5, "/dev/null");                                   // not a tty
  dir.Link(6, "/nonexistent");
  char file[] = "/tmp/tarvo-regular-XXXXXX";
  close(mkstemp(file));
  dir.Link(7, file);
  EXPECT_EQ((std::vector<std::string>{
                "ttyUSB0, 4 ports, On=1,3, Off=2,4, FW=1.3",
                "ttyUSB3, 12 ports, On=10,12, Off=1,2,3,4,5,6,7,8,9,11, FW=2.1",
                "ttyUSB255, 8 ports, On=None, Off=1,2,3,4,5,6,7,8, FW=2.1",
                "3 Managed USB Hub(s) Found."}),
            dir.Scan());
  EXPECT_EQ(std::vector<std::string>{"0003ttyUSB0,3,255"},
            dir.Scan(OutputForm::kCompact));
  std::ifstream written(file);
  EXPECT_EQ(std::char_traits<char>::eof(), written.get());  // never written
  unlink(file);
}

TEST(ScanTest, ManySilentDevicesCostOneByteWait) {
  ScanDir dir;
  for (int32_t i = 0; i < 40; ++i) dir.AddHub(i, {}, Silent());
  dir.AddHub(40, HubWith("04", 0x5));
  const int64_t start = MonotonicMicros();
  EXPECT_EQ(std::vector<std::string>{"0001ttyUSB40"},
            dir.Scan(OutputForm::kCompact));
  const double seconds = SecondsSince(start);
  EXPECT_GE(seconds, kByteWait);
  if (TimingIsNative()) {
    EXPECT_LT(seconds, kByteWait + kSlack);
  }
}

TEST(ScanTest, ALockedDeviceIsWaitedForUntilOneByteWaitAfterTheStart) {
  ScanDir dir;
  dir.AddHub(0, HubWith("04", 0x5));
  dir.AddHub(1, HubWith("04", 0x5));
  dir.AddHub(2, HubWith("04", 0x5));
  const int freed_later = open(dir.Device(1).c_str(), O_RDONLY | O_NONBLOCK);
  const int kept = open(dir.Device(2).c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_EQ(0, flock(freed_later, LOCK_EX));
  ASSERT_EQ(0, flock(kept, LOCK_EX));
  std::thread release([&] {
    usleep(500000);
    close(freed_later);
  });
  const int64_t start = MonotonicMicros();
  EXPECT_EQ(std::vector<std::string>{"0002ttyUSB0,1"},
            dir.Scan(OutputForm::kCompact));
  const double seconds = SecondsSince(start);
  release.join();
  close(kept);
  EXPECT_GE(seconds, kByteWait);
  if (TimingIsNative()) {
    EXPECT_LT(seconds, kByteWait + kSlack);
  }
}

TEST(ScanTest, FewDescriptorsSlowTheScanButLoseNoHub) {
  ScanDir dir;
  std::string expected = "0010ttyUSB";
  for (int32_t i = 0; i < 10; ++i) {
    dir.AddHub(i, HubWith("04", 0x5));
    expected += (i > 0 ? "," : "") + std::to_string(i);
  }
  struct rlimit saved;
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
  // Room for the descriptors open now and two or three probes.
  int64_t open_now = 0;
  for (int fd = 0; fd < 1024; ++fd) open_now += fcntl(fd, F_GETFD) >= 0;
  struct rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(open_now + 7);
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &tight));
  EXPECT_EQ(std::vector<std::string>{expected}, dir.Scan(OutputForm::kCompact));

  // No descriptor left at all: the scan says it is incomplete.
  std::vector<int> taken;
  for (int fd; (fd = dup(0)) >= 0;) taken.push_back(fd);
  int32_t status = 0;
  EXPECT_EQ(std::vector<std::string>{"Scan Incomplete!"}, dir.Scan(OutputForm::kText, &status));
  EXPECT_EQ(1, status);
  EXPECT_EQ(std::vector<std::string>{"Scan Incomplete!"},
            dir.Scan(OutputForm::kCompact));
  for (int fd : taken) close(fd);
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &saved));
}

TEST(ScanTest, NeedsNoThreadsAndLittleAddressSpace) {
  ScanDir dir;
  for (int32_t i = 0; i < 8; ++i) dir.AddHub(i * 2, HubWith("04", 0x5));
  std::ifstream statm("/proc/self/statm");
  int64_t pages = 0;
  statm >> pages;
  struct rlimit saved;
  ASSERT_EQ(0, getrlimit(RLIMIT_AS, &saved));
  struct rlimit tight = saved;
  // A new thread's stack alone would not fit in what is left.
  tight.rlim_cur = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + (4 << 20));
  if (!TimingIsNative()) GTEST_SKIP() << "sanitizers and emulators need more";
  ASSERT_EQ(0, setrlimit(RLIMIT_AS, &tight));
  const std::vector<std::string> lines = dir.Scan(OutputForm::kCompact);
  ASSERT_EQ(0, setrlimit(RLIMIT_AS, &saved));
  EXPECT_EQ(std::vector<std::string>{"0008ttyUSB0,2,4,6,8,10,12,14"}, lines);
}
