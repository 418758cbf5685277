// The scan, in-process: devices are links named ttyUSB<n> in a device
// folder of the test's own, with simulated hubs and other things behind
// them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "commandline.h"
#include "dispatch.h"
#include "simhubs.h"

TEST(ScanTest, HubsInIndexOrderWhateverAnswersFirst) {
  TestRig rig;
  hubsim::Faults slow;
  slow.reply_delay_ms = 300;
  rig.AddHub("ttyUSB0", HubWith("04", 0x5, "1.3"), slow);
  const hubsim::Hub& fourth = rig.AddHub("ttyUSB3", HubWith("12", 0xA00));
  rig.AddHub("ttyUSB255", HubWith("08", 0));
  rig.AddHub("ttyUSB4", HubWith("04", 0),
             Answering("GP", "xx\r\n"));  // not a hub
  rig.Link("ttyUSB5", "/dev/null");       // not a tty
  rig.Link("ttyUSB6", "/nonexistent");
  rig.Link("ttyUSB7", "ttyUSB3");  // the same hub: probed once
  // The same device by way of another folder: probed once, as the lowest.
  TempDir elsewhere;
  ASSERT_EQ(
      0, symlink(fourth.TerminalPath().c_str(), (elsewhere / "hub").c_str()));
  rig.Link("ttyUSB8", elsewhere / "hub");
  // Each hub line is out as soon as it is known.
  EXPECT_EQ(
      "ttyUSB0, 4 ports, On=1,3, Off=2,4, FW=1.3\n(flushed)\n"
      "ttyUSB3, 12 ports, On=10,12, Off=1,2,3,4,5,6,7,8,9,11, FW=2.1\n"
      "(flushed)\nttyUSB255, 8 ports, On=None, Off=1,2,3,4,5,6,7,8, FW=2.1\n"
      "(flushed)\n3 Managed USB Hub(s) Found.\n(0)",
      rig.Run({"/Q"}));
  EXPECT_EQ("0003ttyUSB0,3,255\n(0)", rig.Run({"/Q", "-F"}));
  const std::string json = rig.Run({"/Q", "-J"});
  EXPECT_EQ("[1, 2, 3, 4, 5, 6, 7, 8, 9, 11]",
            ParsedByPython(json.substr(0, json.size() - 4),
                           "[\"hubs\"][1][\"off\"]"));
}

TEST(ScanTest, ManySilentDevicesCostOneByteWait) {
  TestRig rig;
  for (int32_t i = 0; i < 40; ++i)
    rig.AddHub("ttyUSB" + std::to_string(i), {}, Silent());
  rig.AddHub("ttyUSB40", HubWith("04", 0x5));
  const int64_t start = NowMicros();
  EXPECT_EQ("0001ttyUSB40\n(0)", rig.Run({"/Q", "-F"}));
  EXPECT_GE(SecondsSince(start), kTestByteWait);
  ExpectAtMost(SecondsSince(start), kTestByteWait + kSlack);
}

// A device freed in time is probed until 1.2 byte waits after the start: a
// hub that answers later than that is passed over.
TEST(ScanTest, ALockedDeviceIsWaitedForUntilOneByteWaitAfterTheStart) {
  TestRig rig;
  for (int32_t i = 0; i < 4; ++i)
    rig.AddHub("ttyUSB" + std::to_string(i), HubWith("04", 0x5));
  hubsim::Faults slow;
  slow.reply_delay_ms = 150;
  rig.AddHub("ttyUSB4", HubWith("04", 0x5), slow);
  // ttyUSB3 is marked by another name of it.
  rig.Link("ttyUSB9", "ttyUSB3");
  std::ofstream(rig.LockDir() + "/LCK..ttyUSB9") << getppid() << "\n";
  const int freed_early =
      open(rig.Device("ttyUSB1").c_str(), O_RDONLY | O_NONBLOCK);
  const int freed_late =
      open(rig.Device("ttyUSB4").c_str(), O_RDONLY | O_NONBLOCK);
  const int kept = open(rig.Device("ttyUSB2").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_EQ(0, flock(freed_early, LOCK_EX) | flock(freed_late, LOCK_EX) |
                   flock(kept, LOCK_EX));
  std::thread release([&] {
    usleep(200000);
    close(freed_early);
    // Its two replies would end at about 0.7 s, within a byte wait of it.
    usleep(200000);
    close(freed_late);
  });
  const int64_t start = NowMicros();
  EXPECT_EQ("0002ttyUSB0,1\n(0)", rig.Run({"/Q", "-F"}));
  EXPECT_GE(SecondsSince(start), kTestByteWait);
  ExpectAtMost(SecondsSince(start), kTestByteWait + kSlack);
  release.join();
  close(kept);
}

// Short of descriptors, the links are looked up once the probes have
// closed theirs: never a short list.
TEST(ScanTest, LinksAreListedWhateverTheProbesHold) {
  TestRig rig;
  ASSERT_EQ(0, mkdir(rig.Device("serial").c_str(), 0755));
  ASSERT_EQ(0, mkdir(rig.Device("serial/by-id").c_str(), 0755));
  rig.AddHub("ttyUSB0");
  rig.AddHub("ttyUSB1");
  rig.Link("serial/by-id/usb-0", "../../ttyUSB0");
  // Room for one probe's two descriptors, and no more: the limit is one
  // above the second free descriptor number.
  int free_seen = 0;
  int number = 0;
  for (; free_seen < 2; ++number) free_seen += fcntl(number, F_GETFD) < 0;
  struct rlimit saved, tight;
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
  tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(number);
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &tight));
  const std::string json = rig.Run({"/Q", "-J"});
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &saved));
  ASSERT_EQ("(0)", json.substr(json.size() - 3));
  EXPECT_EQ("[\"" + rig.Device("serial/by-id/usb-0") + "\"]",
            ParsedByPython(json.substr(0, json.size() - 4),
                           "[\"hubs\"][0][\"links\"]"));
}

// A probe whose port cannot be opened for lack of descriptors is no
// answer: with nothing of the scan's own to free one, the scan is
// incomplete, never an empty success. No lock folder, so that the lock is
// had with the one descriptor free and the port's open is what fails.
TEST(ScanTest, APortThatCannotBeOpenedForWantOfDescriptorsIsNoAnswer) {
  TestRig rig;
  rig.AddHub("ttyUSB0");
  LinkSettings no_lock_folders = rig.settings();
  no_lock_folders.lock_file_dirs.clear();
  int free_number = 0;
  while (fcntl(free_number, F_GETFD) >= 0) ++free_number;
  struct rlimit saved, tight;
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
  tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(free_number + 1);
  const char* const argv[] = {"tarvo", "/Q", "-F"};
  const ParsedCommandLine parsed =
      ParseCommandLine(3, argv, no_lock_folders.device_dir, {});
  struct Collected : LineSink {
    void Line(const std::string& text) override { lines += text + "\n"; }
    void Explain(const Reason& reason) override { reasons.push_back(reason); }
    std::string lines;
    std::vector<Reason> reasons;
  } out;
  // UBSan's check of a virtual call needs a descriptor the first time it
  // meets the object's type through a base: the scan's call is met before
  // the limit.
  static_cast<LineSink&>(out).Explain(Reason{});
  out.reasons.clear();
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &tight));
  // A scan that finds nothing prints nothing: no call is made that needs a
  // descriptor of its own (a sanitizer's checks do).
  const RunEnd end = RunRequest(parsed.request, no_lock_folders, out);
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &saved));
  EXPECT_EQ(Outcome::kScanIncomplete, end.outcome) << out.lines;
  ASSERT_EQ(1u, out.reasons.size());
  EXPECT_EQ(Cause::kOutOfDescriptors, out.reasons[0].cause);
  EXPECT_EQ(rig.Device("ttyUSB0"), out.reasons[0].device);
}
