// tarvo-sandbox as a user runs it, and the README's script run inside it.
#include <dirent.h>

#include <fstream>
#include <sstream>

#include "fixture.h"

namespace {

hubsim::RunResult Sandbox(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {TARVO_SANDBOX};
  argv.insert(argv.end(), args.begin(), args.end());
  return hubsim::Run(argv, 60);
}

std::string Readme() {
  std::ifstream readme(TARVO_SOURCE_DIR "/README.md");
  std::stringstream text;
  text << readme.rdbuf();
  return text.str();
}

// Processes anywhere whose command line holds text.
int ProcessesRunning(const std::string& text) {
  int count = 0;
  DIR* proc = opendir("/proc");
  while (const struct dirent* entry = readdir(proc)) {
    std::ifstream cmdline(std::string("/proc/") + entry->d_name + "/cmdline");
    std::string line;
    std::getline(cmdline, line);
    if (line.find(text) != std::string::npos) ++count;
  }
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
  EXPECT_RUN(Sandbox({"--hub", "ttyUSB0:4:05000000", "--", "tarvo", "/G:ttyUSB0"}),
             "On=1,3 Off=2,4\n", 0);
  EXPECT_RUN(Sandbox({"--", "tarvo", "/Q", "-F"}), "0002ttyUSB0,3\n", 0);
  EXPECT_RUN(Sandbox({"--hub", "ttyUSB2:12,firmware=9.9", "--", "tarvo",
                      "/Q:ttyUSB2", "-F"}),
             "FFFFFFFF0C9.9\r\n", 0);
  EXPECT_RUN(Sandbox({"--", "sh", "-c", "exit 7"}), "", 7);
  EXPECT_RUN(Sandbox({"--", "sh", "-c", "kill -TERM $$"}), "", 128 + 15);
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
  } failures[] = {
      {{"--", "no-such-command"}, 127, "tarvo-sandbox: no-such-command: not found\n"},
      {{"--", "/etc/passwd"}, 126, "tarvo-sandbox: /etc/passwd: cannot run\n"},
      {{"--hub", "ttyUSB0:0"}, 125, "tarvo-sandbox: --hub ttyUSB0:0: bad value for ports: '0'\n"},
      {{"--hub", "ttyUSB0,colour=red"}, 125,
       "tarvo-sandbox: --hub ttyUSB0,colour=red: unknown setting 'colour'\n"},
      {{"--hub", "ttyACM0"}, 125,
       "tarvo-sandbox: --hub ttyACM0: a hub's name is ttyUSB and a number: 'ttyACM0'\n"},
      {{"--frobnicate"}, 125, "tarvo-sandbox: unknown argument '--frobnicate' (try --help)\n"},
  };
  for (const auto& failure : failures) {
    const hubsim::RunResult r = Sandbox(failure.args);
    EXPECT_EQ(failure.status, r.status) << failure.args[0];
    EXPECT_EQ(failure.err, r.err);
    EXPECT_EQ("", r.out);
  }
}

TEST_F(SandboxTool, TheWorldInsideIsPrivateAndEndsWithIt) {
  const hubsim::RunResult inside = Sandbox(
      {"--", "sh", "-c",
       "for d in null zero full random urandom tty fd stdin stdout stderr pts "
       "shm ttyUSB0 ttyUSB3; do [ -e /dev/$d ] || echo missing $d; done; "
       "ls -A /run/lock; echo $$"});
  EXPECT_RUN(inside, "2\n", 0);
  std::ofstream("/run/lock/LCK..ttyUSB0") << getpid() << "\n";
  EXPECT_RUN(Sandbox({"--", "tarvo", "/G:ttyUSB0", "-H"}), "05000000\n", 0);
  unlink("/run/lock/LCK..ttyUSB0");

  const hubsim::RunResult left =
      Sandbox({"--", "sh", "-c", "sleep 31.4159 & echo started"});
  EXPECT_RUN(left, "started\n", 0);
  EXPECT_LT(left.seconds, kSlack);
  usleep(200000);
  EXPECT_EQ(0, ProcessesRunning("31.4159"));
}

TEST_F(SandboxTool, TheReadmeScriptRunsAsReadmeShows) {
  const std::string readme = Readme();
  std::ifstream file(TARVO_SOURCE_DIR "/docs/examples/power-cycle.sh");
  std::stringstream script;
  script << file.rdbuf();
  EXPECT_NE(std::string::npos, readme.find("```sh\n" + script.str() + "```\n"))
      << "README shows docs/examples/power-cycle.sh as it is";

  const std::string command = "$ tarvo-sandbox -- docs/examples/power-cycle.sh\n";
  const size_t start = readme.find(command);
  ASSERT_NE(std::string::npos, start);
  const size_t output = start + command.size();
  const std::string shown = readme.substr(output, readme.find("```", output) - output);
  EXPECT_RUN(Sandbox({"--", TARVO_SOURCE_DIR "/docs/examples/power-cycle.sh"}),
             shown, 0);
}
