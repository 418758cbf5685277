#include "commandline.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "catalogue.h"
#include "simhubs.h"

namespace {

ParsedCommandLine Parse(const std::vector<std::string>& args,
                        const std::optional<std::string>& password = {}) {
  std::vector<const char*> argv = {"tarvo"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), "/dev/",
                          password);
}

// A parse as one line: the refusal and its status, or the request's
// fields that its command reads.
std::string Summary(const ParsedCommandLine& parsed) {
  if (parsed.Refused())
    return OutcomeText(parsed.refusal) + std::string(" (") +
           std::to_string(ExitStatus(parsed.refusal)) + ")";
  const Request& r = parsed.request;
  const std::map<CommandKind, const char*> commands = {
      {CommandKind::kHelp, "help"},
      {CommandKind::kVersion, "version"},
      {CommandKind::kScan, "scan"},
      {CommandKind::kShowOneHub, "query"},
      {CommandKind::kGetStates, "get"},
      {CommandKind::kSetStates, "set"},
      {CommandKind::kChangePassword, "password"},
      {CommandKind::kSaveStates, "save"},
      {CommandKind::kRestoreDefaults, "restore"},
      {CommandKind::kResetHub, "reset"},
      {CommandKind::kPowerCycle, "cycle"}};
  const std::map<OutputForm, const char*> forms = {{OutputForm::kText, "text"},
                                                   {OutputForm::kCompact, "-F"},
                                                   {OutputForm::kBinary, "-B"},
                                                   {OutputForm::kHex, "-H"},
                                                   {OutputForm::kJson, "-J"}};
  std::string text =
      commands.at(r.command) + (" " + r.hub) + " " + forms.at(r.form);
  if (r.set_target == SetTarget::kCurrentAndPowerOnStates) text += " flash";
  if (!r.password.empty()) text += " [" + r.password + "]";
  if (!r.new_password.empty()) text += " new[" + r.new_password + "]";
  if (!r.state_argument.empty()) text += " states " + r.state_argument;
  std::string ports = r.cycle_all_ports ? "ALL" : "";
  for (int64_t port : r.cycle_ports)
    ports += (ports.empty() ? "" : ",") + std::to_string(port);
  if (!ports.empty())
    text += " cycle " + ports + "@" + std::to_string(r.cycle_off_ms);
  if (r.lock_wait_us >= 0) text += " wait " + std::to_string(r.lock_wait_us);
  return text;
}

const std::pair<std::vector<std::string>, std::string> kParseCases[] = {
    {{}, "help  text"},
    {{"/hxyz", "a", "b"}, "help  text"},
    {{"/?"}, "help  text"},
    {{"--help"}, "help  text"},
    {{"-h"}, "help  text"},
    {{"--version"}, "version  text"},
    {{"--HELP"}, "Invalid Command! (2)"},
    {{"/H", "a", "b", "c"}, "Invalid Command! (2)"},
    {{""}, "Invalid Command! (2)"},
    {{"/"}, "Invalid Command! (2)"},
    {{"Q:ttyUSB0"}, "Invalid Command! (2)"},
    {{"/X:ttyUSB0"}, "DoCommandError (2)"},
    {{"//"}, "DoCommandError (2)"},
    // Scan and query: the port part has "tty" lower-cased, the rest upper.
    {{"/q"}, "scan  text"},
    {{"/Q", "-f"}, "scan  -F"},
    {{"/Q", "-B"}, "Invalid Command! (2)"},
    {{"/Q", "-F", "x"}, "Invalid Command! (2)"},
    {{"/Q:ttyUSB"}, "Invalid Command! (2)"},
    {{"/q:ttyusb3"}, "query ttyUSB3 text"},
    {{"/QXTTYUSB3", "-F"}, "query ttyUSB3 -F"},
    {{"/Q:ttyACM0"}, "Invalid Command! (2)"},
    // A port part that could lead elsewhere is refused before any open.
    {{"/Q:ttyUSB0/../x"}, "Invalid Command! (2)"},
    {{"/S:ttyUSB7/../OTHERHUB", "1:1"}, "Invalid Command! (2)"},
    {{"/G:ttyUSB0\nOn=1"}, "Invalid Command! (2)"},
    {{"/G:ttyUSB0\x7f"}, "Invalid Command! (2)"},
    {{"/G:ttyUSB0\xc3\xa9"}, "get ttyUSB0\xc3\xa9 text"},
    // Get (its forms, and paths: hubnames_test.cpp).
    {{"/G:ttyUSB0", "-F"}, "Invalid Command! (2)"},
    {{"/G:ttyUSB0", "", "x"}, "Invalid Command! (2)"},
    {{"/G"}, "Invalid Command! (2)"},
    // Set: one argument is the states, never tested as a password.
    {{"/S:ttyUSB0", "1:1,2,3,4,5,6"},
     "set ttyUSB0 text [mira    ] states 1:1,2,3,4,5,6"},
    {{"/S:ttyUSB0", "secret", "1:3"}, "set ttyUSB0 text [secret  ] states 1:3"},
    {{"/f:ttyusb0", "", "t:1"}, "set ttyUSB0 text flash [        ] states t:1"},
    {{"/S:ttyUSB0", "123456789", "1:3"}, "Invalid Password! (1)"},
    {{"/F:ttyUSB0", "ab\rRH", "1:3"}, "Invalid Password! (1)"},
    {{"/S", "1:3"}, "Invalid Command! (2)"},
    // Change password.
    {{"/P:ttyUSB0", "newpw"}, "password ttyUSB0 text [mira    ] new[newpw   ]"},
    {{"/P:ttyUSB0"}, "password ttyUSB0 text [mira    ] new[        ]"},
    {{"/P:ttyUSB0", "", "new"},
     "password ttyUSB0 text [        ] new[new     ]"},
    {{"/P:ttyUSB0", "123456789", "new"}, "Invalid Password! (1)"},
    {{"/P:ttyUSB0", "old", "tab\there"}, "Invalid Password! (1)"},
    // Save, restore, reset (commands_test.cpp shows their frames).
    {{"/R:ttyUSB0", ""}, "reset ttyUSB0 text [mira    ]"},
    {{"/R:ttyUSB0", "pw", "x"}, "Invalid Command! (2)"},
    {{"/W:ttyUSB0", "1234\n"}, "Invalid Password! (1)"},
    // Power cycle.
    {{"/C:ttyUSB0", "3"}, "cycle ttyUSB0 text [mira    ] cycle 3@2000"},
    {{"/C:ttyUSB0", "pw", "all@0.25"},
     "cycle ttyUSB0 text [pw      ] cycle ALL@250"},
    {{"/C:ttyUSB0", "1,4,4@600"},
     "cycle ttyUSB0 text [mira    ] cycle 1,4,4@600000"},
    {{"/C:ttyUSB0", "2@007.125"}, "cycle ttyUSB0 text [mira    ] cycle 2@7125"},
    {{"/C:ttyUSB0"}, "Invalid Command! (2)"},
    {{"/C"}, "Invalid Command! (2)"},
    {{"/C:ttyUSB0", "123456789", "1"}, "Invalid Password! (1)"},
    // --lock-wait, before the command word alone.
    {{"--lock-wait=660", "/S:ttyUSB0", "1:2"},
     "set ttyUSB0 text [mira    ] states 1:2 wait 660000000"},
    {{"--lock-wait=660.001", "/G:ttyUSB0"}, "Invalid Command! (2)"},
    {{"--lock-wait=5"}, "Invalid Command! (2)"},
};

// With TARVO_PASSWORD ("env"): it stands where [password] may, /P's old
// one; a password typed as well is refused, as a command line that cannot
// be meant.
const std::pair<std::vector<std::string>, std::string> kEnvironmentCases[] = {
    {{"/S:ttyUSB0", "1:3"}, "set ttyUSB0 text [env     ] states 1:3"},
    {{"/S:ttyUSB0", "", "1:3"}, "Invalid Command! (2)"},
    {{"/P:ttyUSB0", "new"}, "password ttyUSB0 text [env     ] new[new     ]"},
    {{"/P:ttyUSB0", "old", "new"}, "Invalid Command! (2)"},
    {{"/R:ttyUSB0"}, "reset ttyUSB0 text [env     ]"},
    {{"/C:ttyUSB0", "3"}, "cycle ttyUSB0 text [env     ] cycle 3@2000"},
    {{"/G:ttyUSB0"}, "get ttyUSB0 text"},
};

}  // namespace

TEST(CommandLineTest, EveryFormParsesToItsRequestOrRefusal) {
  for (const auto& [args, expected] : kParseCases) {
    std::string trace = "tarvo";
    for (const std::string& arg : args) trace += " '" + arg + "'";
    EXPECT_EQ(expected, Summary(Parse(args))) << trace;
  }
  for (const char* bad : {"2@600.001", "2@1.2345", "2@", "2@1.", "2@.5", "2@-1",
                          "2@1e2", "0", "1,,2", "x", "2,", "33", "1,32,33@1"})
    EXPECT_EQ("Invalid Number! (1)", Summary(Parse({"/C:ttyUSB0", bad})))
        << bad;
  for (const auto& [args, expected] : kEnvironmentCases)
    EXPECT_EQ(expected, Summary(Parse(args, "env"))) << args[0];
  EXPECT_EQ("Invalid Password! (1)",
            Summary(Parse({"/D:ttyUSB0"}, "123456789")));
  const char* const no_arguments[] = {nullptr};
  EXPECT_EQ("Invalid Command! (2)",
            Summary(ParseCommandLine(0, no_arguments, "/dev/", {})));
}

// The screen is published text, byte for byte; --version gives the
// version on its first line.
TEST(HelpScreenTest, IsThePublishedText) {
  std::ifstream file(TARVO_UNIT_TEST_DIR "/help-screen.txt", std::ios::binary);
  std::ostringstream published;
  published << file.rdbuf();
  for (const char* word : {"/H", "--help", "-h"})
    EXPECT_EQ(published.str() + "(0)", TestRig().Run({word})) << word;
  EXPECT_EQ("tarvo 1.02\n(0)", TestRig().Run({"--version"}));
}

// The command line's wait for a busy hub replaces the settings' (0.5 s).
TEST(LockWaitTest, TheCommandLineLengthensTheWaitForABusyHub) {
  TestRig rig;
  rig.AddHub("ttyUSB0", HubWith("04", 0x5));
  const int holder = open(rig.Device("ttyUSB0").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_EQ(0, flock(holder, LOCK_EX));
  std::thread release([holder] {
    usleep(800000);
    close(holder);
  });
  EXPECT_EQ("On=1,3 Off=2,4\n(0)", rig.Run({"--lock-wait=5", "/G:ttyUSB0"}));
  release.join();
}
