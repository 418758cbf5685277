// Hubs named by paths: a device folder of the test's own, laid out as udev
// lays out /dev, with a simulated hub behind ttyUSB0.
#include "names/hubnames.h"

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <thread>

#include "commandline.h"
#include "dispatch.h"
#include "locks/hublock.h"
#include "simhubs.h"

namespace {

class NamedHub : public ::testing::Test {
 protected:
  void SetUp() override {
    // ttyUSB0 is a link itself, as in the sandbox.
    hub_ = &rig_.AddHub("ttyUSB0", HubWith("04", 0x5));
    for (const char* folder :
         {"serial", "serial/by-id", "serial/by-path", "hubs"})
      ASSERT_EQ(0, mkdir(rig_.Device(folder).c_str(), 0755));
    const std::pair<const char*, const char*> links[] = {
        {"serial/by-id/usb-FTDI_A1B2C3-if00", "../../ttyUSB0"},
        {"serial/by-path/pci-0:1.2", "../../ttyUSB0"},
        {"serial/by-id/Mixed-Case", "../../ttyUSB0"},
        {"hubs/rack3", "../serial/by-id/usb-FTDI_A1B2C3-if00"},
        {"serial/by-id/usb-unplugged", "../../ttyUSB9"},
        {"serial/by-id/usb-dangling", "../../nothing"},
        {"to-null", "/dev/null"},
        {"to-tmp", "/tmp"},
        {"loop-a", "loop-b"},
        {"loop-b", "loop-a"},
        {"pty", hub_->TerminalPath().c_str()},
        {"to-gone-outside", "/nonexistent/ttyUSB0"},
        // udev names of the hub that look like hub names.
        {"ttyUSB7", "ttyUSB0"},
        {"ttyUSB_hub", "ttyUSB7"}};
    for (const auto& [name, target] : links) rig_.Link(name, target);
    std::ofstream(rig_.Device("plain")).flush();
    // Out of the folder and back to a hub: refused all the same.
    ASSERT_EQ(0, symlink(rig_.Device("ttyUSB0").c_str(),
                         (outside_ / "ttyUSB5").c_str()));
    rig_.Link("away", outside_ / "ttyUSB5");
  }
  std::string Path(const std::string& name) const { return rig_.Device(name); }

  TestRig rig_;
  hubsim::Hub* hub_ = nullptr;
  TempDir outside_;
};

}  // namespace

TEST_F(NamedHub, EveryPathLeadsToItsHubOrIsRefused) {
  const std::string dir = rig_.settings().device_dir;
  const HubPathStatus hub = HubPathStatus::kHub;
  const HubPathStatus missing = HubPathStatus::kMissing;
  const HubPathStatus refused = HubPathStatus::kRefused;
  const struct {
    std::string path;
    HubPathStatus status;
    std::string name;
  } cases[] = {{dir + "serial/by-id/usb-FTDI_A1B2C3-if00", hub, "ttyUSB0"},
               {dir + "hubs/rack3", hub, "ttyUSB0"},
               {dir + "ttyUSB0", hub, "ttyUSB0"},
               {dir + "serial/by-id/Mixed-Case", hub, "ttyUSB0"},
               {dir + "ttyUSB_hub", hub, "ttyUSB0"},
               // Unplugged: the link dangles, or is gone, or its folder is.
               {dir + "serial/by-id/usb-unplugged", missing, ""},
               {dir + "serial/by-id/usb-dangling", missing, ""},
               {dir + "serial/by-id/MIXED-CASE", missing, ""},
               {dir + "gone/usb-x", missing, ""},
               // Neither a link nor a hub, a loop, a walk out of the folder,
               // unclean text.
               {dir + "plain", refused, ""},
               {dir + "pty", refused, ""},
               {dir + "to-null", refused, ""},
               {dir + "to-gone-outside", refused, ""},
               {dir + "to-tmp", refused, ""},
               {dir + "away", refused, ""},
               {dir + "loop-a", refused, ""},
               {dir + "serial", refused, ""},
               {dir + "serial/./by-id/Mixed-Case", refused, ""},
               {dir + "serial/../ttyUSB0", refused, ""},
               {dir + "serial//by-id/Mixed-Case", refused, ""},
               {dir + "hubs/", refused, ""},
               {dir + "hubs/rack3\n", refused, ""},
               {dir + std::string(4096, 'x'), refused, ""},
               {"/etc/passwd", refused, ""}};
  for (const auto& c : cases) {
    const HubPath resolved = ResolveHubPath(c.path, dir);
    EXPECT_EQ(c.status, resolved.status) << c.path;
    EXPECT_EQ(c.name, resolved.name) << c.path;
  }
}

// A name gone when the command line is read is gone for the whole run: a
// hub that appears under it later is never talked to.
TEST_F(NamedHub, AGoneNameOpensNothingEvenOnceSomethingIsThere) {
  const std::string typed = "/G:" + Path("serial/by-id/usb-back");
  const char* const argv[] = {"tarvo", typed.c_str()};
  const ParsedCommandLine parsed = ParseCommandLine(2, argv, Path(""), {});
  rig_.Link("serial/by-id/usb-back", "../../ttyUSB0");
  struct : LineSink {
    void Line(const std::string&) override {}
    void Explain(const Reason&) override {}
  } ignored;
  EXPECT_EQ(Outcome::kQueryErr,
            RunRequest(parsed.request, rig_.settings(), ignored).outcome);
  EXPECT_EQ("", hub_->Received());
}

// Commands by path, as a user types them: the hub's frames and states, a
// missing device as a missing ttyUSBn, a refused path before anything else.
TEST_F(NamedHub, CommandsRunOnTheHubThePathLeadsTo) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"/S:" + Path("hubs/rack3"), "1:2"}, "(0)"},
      {{"/g:" + Path("serial/by-id/usb-FTDI_A1B2C3-if00"), "-b"}, "0111\n(0)"},
      {{"/Q:" + Path("serial/by-path/pci-0:1.2"), "-F"},
       "07000000042.1\r\n(0)"},
      {{"/G:" + Path("serial/by-id/usb-dangling")}, "Query Err\n(1)"},
      {{"/G:" + Path("to-null")}, "Invalid Command!\n(2)"},
      // A path is named by the hub it leads to; the short form as typed.
      {{"/Q:" + Path("ttyUSB_hub")},
       "ttyUSB0, 4 ports, On=1,2,3, Off=4, FW=2.1\n(0)"},
      {{"/G:ttyUSB7", "-J"},
       "{\"name\":\"ttyUSB7\",\"device\":\"" + Path("ttyUSB7") +
           "\",\"ports\":4,"
           "\"states\":\"07000000\",\"on\":[1,2,3],\"off\":[4],\"links\":[\"" +
           Path("serial/by-id/Mixed-Case") + "\",\"" +
           Path("serial/by-id/usb-FTDI_A1B2C3-if00") + "\"]}\n(0)"}};
  for (const auto& [args, printed] : cases)
    EXPECT_EQ(printed, rig_.Run(args)) << args[0];
  EXPECT_EQ((std::vector<std::string>{"?Q\r", "GP\r", "SPmira    07000000\r",
                                      "?Q\r", "GP\r", "?Q\r", "GP\r", "?Q\r",
                                      "GP\r", "?Q\r", "GP\r"}),
            hub_->Frames());
}

// A program's UUCP lock file is named after the name it opened the hub
// by: one on the way to the hub's device, or any name in the device folder
// that leads to it. A run by any name waits for it; other devices' files
// are no concern of the hub's.
TEST_F(NamedHub, ALockFileOnTheHubHoldsOffARunByAnyName) {
  const std::string by_id = Path("serial/by-id/usb-FTDI_A1B2C3-if00");
  const struct {
    std::string lock_name;
    std::vector<std::string> args;
  } cases[] = {
      {"ttyUSB0", {"/G:" + by_id}},
      {"ttyUSB0", {"/G:ttyUSB7"}},
      {"ttyUSB7", {"/G:" + Path("ttyUSB_hub")}},
      {"ttyUSB_hub", {"/G:ttyUSB0"}},
      {"ttyUSB7", {"/S:" + Path("ttyUSB0"), "1:1"}},
      {"rack3", {"/G:" + Path("hubs/rack3")}},
      {"usb-FTDI_A1B2C3-if00", {"/G:" + by_id}},
  };
  for (const auto& c : cases) {
    const std::string file = rig_.LockDir() + "/LCK.." + c.lock_name;
    std::ofstream(file) << "      " << getppid() << "\n";
    EXPECT_EQ("Port Busy!\n(1)", rig_.Run(c.args)) << c.lock_name;
    EXPECT_EQ(0, unlink(file.c_str()));
  }
  // A folder too full to read at one look holds every hub off.
  for (int32_t i = 0; i <= kMostLockFolderEntries; ++i)
    std::ofstream(rig_.LockDir() + "/x" + std::to_string(i)).flush();
  EXPECT_EQ("Port Busy!\n(1)", rig_.Run({"/G:ttyUSB0"}));
  EXPECT_EQ("", hub_->Received());
  for (const char* file : {"/x0", "/x1"})
    EXPECT_EQ(0, unlink((rig_.LockDir() + file).c_str()));
  std::ofstream(rig_.LockDir() + "/LCK..to-null") << getppid() << "\n";
  EXPECT_EQ("On=1,3 Off=2,4\n(0)", rig_.Run({"/G:ttyUSB0"}));
}

// The kernel may give a hub's ttyUSBn to another adapter while a run
// waits for its lock: a stable name is walked again once the lock is
// held, and a run whose name now leads elsewhere goes on as for a gone
// hub, sending nothing.
TEST_F(NamedHub, AStableNameReachesNoOtherHubAfterALockWait) {
  hubsim::Hub& other = rig_.AddHub("ttyUSB1", HubWith("04", 0xF));
  const std::string lock_file = rig_.LockDir() + "/LCK..ttyUSB0";
  std::ofstream(lock_file) << getppid() << "\n";
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_LE(0, inotify_add_watch(watch, lock_file.c_str(), IN_OPEN));
  auto run = std::async(std::launch::async, [&] {
    return rig_.Run({"/S:" + Path("serial/by-id/usb-FTDI_A1B2C3-if00"), "0:1"});
  });
  // The run has looked at the lock file: it is waiting.
  struct pollfd looked = {watch, POLLIN, 0};
  ASSERT_EQ(1, poll(&looked, 1, 10000));
  close(watch);
  // The hub is unplugged and another takes its number.
  ASSERT_EQ(0, unlink(Path("serial/by-id/usb-FTDI_A1B2C3-if00").c_str()));
  ASSERT_EQ(0, rename(Path("ttyUSB1").c_str(), Path("ttyUSB0").c_str()));
  ASSERT_EQ(0, unlink(lock_file.c_str()));
  EXPECT_EQ("Query Err\n(1)", run.get());
  EXPECT_EQ("", other.Received());
  EXPECT_EQ("", hub_->Received());
}
