// Why a run failed, on standard error: each cause made to happen, with its
// reason read from the real executable beside the unchanged standard
// output and exit status.
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>

#include "devns.h"
#include "fixture.h"

namespace {

struct ReasonCase {
  std::vector<std::string> args;
  std::string out;
  int status;
  // "{pid}" and "{name}" stand for this test process, which holds the
  // hub where a row needs a holder; every wait reads as "T s".
  std::string err;
  std::string setup = "";
  bool as_nobody = false;  // a user without root's right to any file
  // Kept while the row runs: the hub's flock, a lock file naming this
  // process, the lock folder's mode.
  bool flock_held = false;
  std::string lock_file = "";
  mode_t lock_folder_mode = 01777;
};

const char kNobody[] = "65534";

// Whether this process's user namespace has a nobody to become.
bool MapsNobody() {
  std::ifstream map("/proc/self/uid_map");
  int64_t inside, outside, count;
  while (map >> inside >> outside >> count)
    if (inside <= 65534 && 65534 < inside + count) return true;
  return false;
}

std::string ThisProcessName() {
  std::string name;
  std::getline(std::ifstream("/proc/self/comm"), name);
  return name;
}

std::string Replaced(std::string text, const std::string& from,
                     const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace

using Reasons = E2E;

TEST_F(Reasons, EveryFailureSaysWhyOnStandardError) {
  AddHub(0, HubWith("04", 0x5));
  AddHub(1, {}, hubsim::Answering("?Q", "HELLO\r\n"));
  AddHub(2, HubWith("04", 0x5), hubsim::Answering("SP", "G00000000\r\n"));
  AddHub(3, {}, hubsim::Silent());
  hubsim::Hub& closed = AddHub(4, HubWith("04", 0x5));
  const struct group* dialout = getgrnam("dialout");
  ASSERT_NE(nullptr, dialout);
  ASSERT_EQ(0, chown(closed.TerminalPath().c_str(), 0, dialout->gr_gid));
  ASSERT_EQ(0, chmod(closed.TerminalPath().c_str(), 0660));
  ASSERT_EQ(0, chmod(Hub(0).TerminalPath().c_str(), 0666));
  std::ofstream("/dev/ttyUSB5") << "a file\n";
  ASSERT_EQ("", sandbox::LinkDevice("ttyUSB6", "/dev/null"));
  const std::string wait = "--lock-wait=0.2";
  const char lock_wait_hint[] = " (--lock-wait=SECONDS waits longer)\n";

  const ReasonCase cases[] = {
      {{"/G:ttyUSB7"},
       "Query Err\n",
       1,
       "tarvo: /dev/ttyUSB7: no such device; is the hub plugged in, and is "
       "the name right?\n"},
      {{"/G:ttyUSB4"},
       "Query Err\n",
       1,
       "tarvo: /dev/ttyUSB4: permission denied; the device belongs to group "
       "dialout: add the user to it (usermod -aG dialout USER) and log in "
       "again\n",
       "",
       true},
      {{"/G:ttyUSB5"},
       "Query Err\n",
       1,
       "tarvo: /dev/ttyUSB5: not a device, so not a hub's serial port\n"},
      {{"/R:ttyUSB6"},
       "Set Port Option Error!\n",
       1,
       "tarvo: /dev/ttyUSB6: not a serial line, so not a hub's serial port\n"},
      {{wait, "/S:ttyUSB0", "1:2"},
       "Port Busy!\n",
       1,
       "tarvo: /dev/ttyUSB0: held by process {pid} ({name}) through flock; "
       "waited T s" +
           std::string(lock_wait_hint),
       "",
       false,
       true},
      {{wait, "/G:ttyUSB2"},
       "Port Busy!\n",
       1,
       "tarvo: /dev/ttyUSB2: held by process {pid} ({name}) through the "
       "lock file /run/lock/LCK..ttyUSB2; waited T s" +
           std::string(lock_wait_hint),
       "",
       false,
       false,
       "/run/lock/LCK..ttyUSB2"},
      {{"/W:ttyUSB0"},
       "Port Busy!\n",
       1,
       "tarvo: /dev/ttyUSB0: cannot look in the lock folder /run/lock "
       "(Permission denied), so the hub counts as held; nothing was sent, "
       "and no wait would change that\n",
       "",
       true,
       false,
       "",
       0700},
      {{"/Q:ttyUSB1"},
       "ID Err\n",
       1,
       "tarvo: /dev/ttyUSB1: the answer to \"?Q\" is not a hub's: "
       "\"HELLO\\r\\x0A\"\n"},
      {{"/S:ttyUSB2", "1:1"},
       "Set Port State Error!\n",
       1,
       "tarvo: /dev/ttyUSB2: the states sent were 05000000, and the hub "
       "echoed \"G00000000\\r\\x0A\"\n"},
      {{"/C:ttyUSB0", "guess", "2"},
       "Password Error!\n",
       1,
       "tarvo: /dev/ttyUSB0: the hub refused the password; give the hub's "
       "own as the password argument or in TARVO_PASSWORD\n"},
      {{"/S:ttyUSB0", "mira", "1:1"},
       "Invalid Command!\n",
       2,
       "tarvo: a password is given both on the command line and in "
       "TARVO_PASSWORD; give it one way\n",
       "export TARVO_PASSWORD=mira"},
      // A scan keeps its lines and status, and names what it passed over.
      {{"/Q", "-F"},
       "0003ttyUSB0,2,4\n",
       0,
       "tarvo: scan passed over /dev/ttyUSB1: the answer to \"?Q\" is not a "
       "hub's: \"HELLO\\r\\x0A\"\ntarvo: scan passed over /dev/ttyUSB3: no "
       "answer to \"?Q\" within T s\ntarvo: scan passed over /dev/ttyUSB5: "
       "not a device, so not a hub's serial port\ntarvo: scan passed over "
       "/dev/ttyUSB6: not a serial line, so not a hub's serial port\n"},
  };
  const int flock_holder = open("/dev/ttyUSB0", O_RDONLY | O_NONBLOCK);
  for (const ReasonCase& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args.back());
    if (c.as_nobody && !MapsNobody()) continue;
    ASSERT_EQ(0, flock(flock_holder, c.flock_held ? LOCK_EX : LOCK_UN));
    if (!c.lock_file.empty()) std::ofstream(c.lock_file) << getpid() << "\n";
    ASSERT_EQ(0, chmod("/run/lock", c.lock_folder_mode));
    std::vector<std::string> argv = TarvoArgv(c.args, c.setup);
    if (c.as_nobody)
      argv.insert(argv.begin(),
                  {"setpriv", std::string("--reuid=") + kNobody,
                   std::string("--regid=") + kNobody, "--clear-groups"});
    const sandbox::RunResult r = sandbox::Run(argv, 60);
    EXPECT_EQ(c.out, r.out);
    EXPECT_EQ(c.status, r.status);
    const std::string expected =
        Replaced(Replaced(c.err, "{pid}", std::to_string(getpid())), "{name}",
                 ThisProcessName());
    EXPECT_EQ(expected,
              std::regex_replace(r.err, std::regex("[0-9.]+ s\\b"), "T s"));
    // What cannot change is said at once, not after the lock wait.
    EXPECT_LT(r.seconds, kSlack + (c.args[0] == "/Q" ? 10.1 : 0));
    if (!c.lock_file.empty()) unlink(c.lock_file.c_str());
  }
  close(flock_holder);
  ASSERT_EQ(0, chmod("/run/lock", 01777));
  unlink("/dev/ttyUSB5");
  unlink("/dev/ttyUSB6");
}
