// tarvo-sandbox as a user runs it, and the README's script run inside it.
#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "fixture.h"

namespace {

hubsim::RunResult Sandbox(std::vector<std::string> args) {
  args.insert(args.begin(), TARVO_SANDBOX);
  return hubsim::Run(args, 60);
}

std::string FileText(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// Processes anywhere whose command line holds text.
int ProcessesRunning(const std::string& text) {
  int count = 0;
  DIR* proc = opendir("/proc");
  while (const struct dirent* entry = readdir(proc))
    count += FileText(std::string("/proc/") + entry->d_name + "/cmdline")
                 .find(text) != std::string::npos;
  closedir(proc);
  return count;
}

}  // namespace

class SandboxTool : public E2E {
 protected:
  void SetUp() override {
    E2E::SetUp();
    if (std::string(TARVO_LAUNCHER) != "")
      GTEST_SKIP() << "the sandbox runs its command natively only";
  }
};

TEST_F(SandboxTool, RunsTheCommandAmongItsHubsAndExitsAsItDid) {
  EXPECT_RUN(
      Sandbox({"--hub", "ttyUSB0:4:05000000", "--", "tarvo", "/G:ttyUSB0"}),
      "On=1,3 Off=2,4\n", 0);
  EXPECT_RUN(Sandbox({"--", "tarvo", "/Q", "-F"}), "0002ttyUSB0,3\n", 0);
  EXPECT_RUN(Sandbox({"--hub", "ttyUSB2:12,firmware=9.9", "--", "tarvo",
                      "/Q:ttyUSB2", "-F"}),
             "FFFFFFFF0C9.9\r\n", 0);
  EXPECT_RUN(Sandbox({"--", "sh", "-c", "exit 7"}), "", 7);
  EXPECT_RUN(Sandbox({"--", "sh", "-c", "kill -TERM $$"}), "", 128 + 15);
  // clang-format off
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
  } failures[] = {
      {{"--", "no-such-command"}, 127, "no-such-command: not found"},
      {{"--", "/etc/passwd"}, 126, "/etc/passwd: cannot run"},
      {{"--hub", "ttyUSB0,colour=red"}, 125, "--hub ttyUSB0,colour=red: unknown setting 'colour'"},
      {{"--frobnicate"}, 125, "unknown argument '--frobnicate' (try --help)"},
      // Only names a scan looks at.
      {{"--hub", "ttyUSB256"}, 125, "--hub ttyUSB256: a hub's name is ttyUSB and a number from 0 to 255: 'ttyUSB256'"},
      {{"--hub", "ttyUSB00"}, 125, "--hub ttyUSB00: a hub's name is ttyUSB and a number from 0 to 255: 'ttyUSB00'"},
  };
  // clang-format on
  for (const auto& failure : failures) {
    const hubsim::RunResult r = Sandbox(failure.args);
    EXPECT_EQ(failure.status, r.status);
    EXPECT_EQ("tarvo-sandbox: " + failure.err + "\n", r.err);
  }
}

TEST_F(SandboxTool, TheWorldInsideIsPrivateAndEndsWithIt) {
  EXPECT_RUN(Sandbox({"--", "sh", "-c",
                      "for d in null zero full random urandom tty fd stdin "
                      "stdout stderr pts shm "
                      "ttyUSB0 ttyUSB3; do [ -e /dev/$d ] || echo missing $d; "
                      "done; ls -A /run/lock; echo $$"}),
             "2\n", 0);
  std::ofstream("/run/lock/LCK..ttyUSB0")
      << "      " << getpid() << "\n";  // the host's, not the sandbox's
  EXPECT_RUN(Sandbox({"--", "tarvo", "/G:ttyUSB0", "-H"}), "05000000\n", 0);
  unlink("/run/lock/LCK..ttyUSB0");
  const hubsim::RunResult left =
      Sandbox({"--", "sh", "-c", "sleep 31.4159 & echo started"});
  EXPECT_RUN(left, "started\n", 0);
  EXPECT_LT(left.seconds, kSlack);
  usleep(200000);
  EXPECT_EQ(0, ProcessesRunning("31.4159"));
}

TEST_F(SandboxTool, TheCommandGetsTheCallersSignalsAndDiesWithTheSandbox) {
  const std::string survives = "kill -$0 $$; echo alive";
  EXPECT_RUN(
      hubsim::Run({"sh", "-c", "trap '' HUP; exec \"$0\" -- sh -c \"$1\" HUP",
                   TARVO_SANDBOX, survives},
                  60),
      "alive\n", 0);
  EXPECT_RUN(Sandbox({"--", "sh", "-c", survives, "INT"}), "", 128 + SIGINT);
  EXPECT_RUN(hubsim::Run({TARVO_SANDBOX, "--", "sh", "-c", survives, "TERM"},
                         60, "/dev/null", 0, 0, {SIGTERM}),
             "alive\n", 0);
  const hubsim::RunResult killed = hubsim::Run(
      {TARVO_SANDBOX, "--", "sh", "-c", "sleep 27.1828; echo never"}, 60,
      "/dev/null", SIGKILL, 1);
  EXPECT_EQ(128 + SIGKILL, killed.status);
  usleep(300000);
  EXPECT_EQ(0, ProcessesRunning("27.1828"));
}

TEST_F(SandboxTool, TheReadmeScriptRunsAsReadmeShows) {
  const std::string readme = FileText(TARVO_SOURCE_DIR "/README.md");
  const std::string script =
      FileText(TARVO_SOURCE_DIR "/docs/examples/power-cycle.sh");
  EXPECT_NE(std::string::npos, readme.find("```sh\n" + script + "```\n"))
      << "README shows the script as it is";
  const std::string command =
      "$ tarvo-sandbox -- docs/examples/power-cycle.sh\n";
  const size_t output = readme.find(command) + command.size();
  ASSERT_GT(output, command.size());
  EXPECT_RUN(Sandbox({"--", TARVO_SOURCE_DIR "/docs/examples/power-cycle.sh"}),
             readme.substr(output, readme.find("```", output) - output), 0);
}
