// tarvo-sandbox as a user runs it, and the README's script run inside it.
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>

#include "fixture.h"

namespace {

sandbox::RunResult Sandbox(std::vector<std::string> args) {
  args.insert(args.begin(), TARVO_SANDBOX);
  return sandbox::Run(args, 60);
}

std::string FileText(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// README.md from the first `from` to the end of its code block.
std::string ReadmeFrom(const std::string& from) {
  const std::string readme = FileText(TARVO_SOURCE_DIR "/README.md");
  const size_t start = std::min(readme.find(from), readme.size());
  return readme.substr(start, readme.find("```", start) - start);
}

// Whether a process anywhere has a command line that matches pattern.
bool Running(const std::string& pattern) {
  return sandbox::Run({"pgrep", "-f", pattern}, 60).status == 0;
}

}  // namespace

// The sandbox runs its command natively: these are left out of a build
// whose tarvo runs behind a launcher (tests/CMakeLists.txt).
using SandboxTool = E2E;

TEST_F(SandboxTool, RunsTheCommandAmongItsHubsAndExitsAsItDid) {
  EXPECT_RUN(
      Sandbox({"--hub", "ttyUSB0:4:05000000", "--", "tarvo", "/G:ttyUSB0"}),
      "On=1,3 Off=2,4\n", 0);
  EXPECT_RUN(Sandbox({"--", "tarvo", "/Q", "-F"}), "0002ttyUSB0,3\n", 0);
  EXPECT_RUN(Sandbox({"--hub", "ttyUSB2:12,firmware=9.9", "--", "tarvo",
                      "/Q:ttyUSB2", "-F"}),
             "FFFFFFFF0C9.9\r\n", 0);
  for (const auto& [script, status] : {std::pair<std::string, int>{"exit 7", 7},
                                       {"kill -TERM $$", 128 + 15}}) {
    const sandbox::RunResult r = Sandbox({"--", "sh", "-c", script});
    EXPECT_EQ(status, r.status);
    EXPECT_EQ("", r.out + r.err);
  }
  const std::pair<std::vector<std::string>, std::string> failures[] = {
      {{"--", "no-such-command"}, "127 no-such-command: not found"},
      {{"--", "/etc/passwd"}, "126 /etc/passwd: cannot run"},
      {{"--hub", "ttyUSB0,colour=red"},
       "125 --hub ttyUSB0,colour=red: unknown setting 'colour'"},
      {{"--frobnicate"}, "125 unknown argument '--frobnicate' (try --help)"},
      {{"tarvo", "/Q"},
       "125 '--' is missing before the command: tarvo-sandbox [--hub HUB]... "
       "-- tarvo ..."},
      {{"--hub"},
       "125 --hub needs a hub: ttyUSBn[:PORTS[:STATEHEX]][,SETTING...] (try "
       "--help)"},
      {{"--hub", "ttyUSB0,link=/dev/null"}, "125 /dev/null is there already"}};
  for (const auto& [args, failure] : failures) {
    const sandbox::RunResult r = Sandbox(args);
    EXPECT_EQ(failure.substr(0, 3), std::to_string(r.status));
    EXPECT_EQ("tarvo-sandbox: " + failure.substr(4) + "\n", r.err);
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
  const sandbox::RunResult left =
      Sandbox({"--", "sh", "-c", "sleep 31.4159 & echo started"});
  EXPECT_RUN(left, "started\n", 0);
  EXPECT_LT(left.seconds, kSlack);
  EXPECT_TRUE(Eventually([] { return !Running("31.4159"); }));
}

TEST_F(SandboxTool, TheCommandGetsTheCallersSignalsAndDiesWithTheSandbox) {
  const std::string survives = "kill -$0 $$; echo alive";
  EXPECT_RUN(
      sandbox::Run({"sh", "-c", "trap '' HUP; exec \"$0\" -- sh -c \"$1\" HUP",
                    TARVO_SANDBOX, survives},
                   60),
      "alive\n", 0);
  const sandbox::RunResult interrupted =
      Sandbox({"--", "sh", "-c", survives, "INT"});
  EXPECT_EQ(128 + SIGINT, interrupted.status);
  EXPECT_EQ("", interrupted.out + interrupted.err);
  EXPECT_RUN(sandbox::Run({TARVO_SANDBOX, "--", "sh", "-c", survives, "TERM"},
                          60, "/dev/null", 0, {}, {SIGTERM}),
             "alive\n", 0);
  // Killed once the sleep inside runs (not the shell that names it).
  const sandbox::RunResult killed = sandbox::Run(
      {TARVO_SANDBOX, "--", "sh", "-c", "sleep 27.1828; echo never"}, 60,
      "/dev/null", SIGKILL, [] { return Running("^sleep 27.1828"); });
  EXPECT_EQ(128 + SIGKILL, killed.status);
  // Nothing inside holds its output open past it, nor outlives it.
  EXPECT_LT(killed.seconds, 27);
  EXPECT_TRUE(Eventually([] { return !Running("27.1828"); }));
}

// The demo's session and the example script's output, as README.md shows
// them.
TEST_F(SandboxTool, TheReadmeShowsWhatTheDemoAndTheScriptPrint) {
  EXPECT_EQ(FileText(TARVO_SOURCE_DIR "/docs/examples/power-cycle.sh"),
            ReadmeFrom("#!/bin/sh\n"));
  const std::string run = "$ tarvo-sandbox -- docs/examples/power-cycle.sh\n";
  EXPECT_RUN(Sandbox({"--", TARVO_SOURCE_DIR "/docs/examples/power-cycle.sh"}),
             ReadmeFrom(run).substr(run.size()), 0);
  sandbox::RunResult demo = sandbox::Run({TARVO_DEMO, TARVO_EXE}, 120);
  demo.out.erase(std::remove(demo.out.begin(), demo.out.end(), '\r'),
                 demo.out.end());
  EXPECT_RUN(demo, ReadmeFrom("Two simulated hubs:") + "\n", 0);
}

// A 4-port hub's states (port 1 last) after a recipe's last word, from
// all off: on for 1:, none for 0:, on after a cycle.
std::string StatesAfter(std::string word) {
  if (word.compare(0, 2, "0:") == 0) return "0000";
  if (word.compare(0, 2, "1:") == 0) word = word.substr(2);
  word = word.substr(0, word.find('@'));
  if (word == "ALL") return "1111";
  std::string bits = "0000";
  bits[4 - std::stoi(word)] = '1';
  return bits;
}

// Every tarvo command line in the code of docs/rigs.md, split at blanks and
// run without a shell as labgrid, LAVA and systemd run them, among a hub that
// has the name the recipe uses: each switches it silently, and /G then shows
// the recipe's port as the recipe left it.
TEST_F(SandboxTool, EveryRecipeOfTheRigsPageRuns) {
  std::istringstream page(FileText(TARVO_SOURCE_DIR "/docs/rigs.md"));
  int recipes = 0;
  bool in_code = false;
  for (std::string text; std::getline(page, text);) {
    if (text.compare(0, 3, "```") == 0) in_code = !in_code;
    std::smatch found;
    if (!in_code ||
        !std::regex_search(text, found, std::regex("tarvo (--[^ ]+ )?/")))
      continue;
    ++recipes;
    const size_t at = found.position(0);
    std::string line = text.substr(at, text.find_first_of("'\"|#", at) - at);
    // pdudaemon's templates, with the port it puts in place of %s.
    for (size_t port; (port = line.find("%s")) != std::string::npos;)
      line.replace(port, 2, "2");
    const std::vector<std::string> words = sandbox::SplitWords(line);
    const std::string& command_word =
        *std::find_if(words.begin(), words.end(),
                      [](const std::string& word) { return word[0] == '/'; });
    std::vector<std::string> args = {
        "--hub", "ttyUSB0:4:00000000,link=" + command_word.substr(3),
        "--",    "sh",
        "-c",    "\"$@\" && tarvo /G:ttyUSB0 -B",
        "sh"};
    args.insert(args.end(), words.begin(), words.end());
    EXPECT_RUN(Sandbox(args), StatesAfter(words.back()) + "\n", 0);
  }
  EXPECT_GE(recipes, 10);
}

// Each name is one candidate, quoted: the completed line, once accepted,
// hands tarvo that very name as one argument and runs nothing.
TEST_F(SandboxTool, CompletionOffersTheStableNamesAfterTheSeparator) {
  const std::string complete =
      "cd \"$(mktemp -d)\"; source " TARVO_SOURCE_DIR
      "/tools/completion/tarvo.bash; COMP_LINE=\"tarvo $0\"; "
      "COMP_POINT=${#COMP_LINE}; COMP_WORDBREAKS=$' \\t\\n\"\\'><=;|&(:'; "
      "_tarvo; tarvo() { printf '%s %s\\n' $# \"$1\"; }; "
      "for r in \"${COMPREPLY[@]}\"; do eval \"tarvo ${0%\"${0##*:}\"}$r\"; "
      "done; ls";
  const std::string hub =
      "ttyUSB0,by-id=usb-A,by-id=usb-$(touch${IFS}ran),by-id=usb-a "
      "b,by-path=pci-0:1";
  EXPECT_RUN(Sandbox({"--hub", hub, "--", "bash", "-c", complete, "/G:"}),
             "1 /G:ttyUSB0\n1 /G:/dev/serial/by-id/usb-$(touch${IFS}ran)\n"
             "1 /G:/dev/serial/by-id/usb-A\n1 /G:/dev/serial/by-id/usb-a b\n"
             "1 /G:/dev/serial/by-path/pci-0:1\n",
             0);
  EXPECT_RUN(Sandbox({"--hub", hub, "--", "bash", "-c", complete, "/g:tty"}),
             "1 /g:ttyUSB0\n", 0);
}
