#include "fixture.h"

namespace {

const char kHelp[] =
    "tarvo v1.02 for Linux/ARM\n"
    "Usage: tarvo command [password] [argument]\n"
    "command:\n"
    "   /Q       query (no password is required)\n"
    "   Usage:   tarvo /Q [option]\n"
    "            tarvo /Q:ttyUSBn [option]\n"
    "   /Q:      query all Managed USB Hubs\n"
    "   /Q:ttyUSBn  query the Managed USB Hub on ttyUSBn (n = 1 to 255)\n"
    "   option   -F    output in formatted string\n"
    "\n"
    "   /S       set port states (password is required)\n"
    "   Usage:   tarvo /S:ttyUSBn [pass] [states]\n"
    "   ttyUSBn     control port number of the Managed USB Hub (n = 1 to 255)\n"
    "   pass     password, default is used if this argument is not specified\n"
    "   states   port states to be set on, off, toggle or given binary/hex states\n"
    "            1:3,4    port 3 and 4 on\n"
    "            0:3      port 3 off\n"
    "            T:1,2    toggle port 1 and 2 states\n"
    "            0:ALL    all ports off\n"
    "            B:0101   binary, port 1 and 3 on, port 2, 4 off\n"
    "            H:A601   byte hex (little-endian A6 01 ...):\n"
    "                     port 2, 3, 6, 8, 9 on, the others off\n"
    "\n"
    "   /F       set port states and save to flash as the initial states\n"
    "   Usage:   similar to set port states (/S)\n"
    "\n"
    "   /P       change password (8 characters maximum)\n"
    "   Usage:   tarvo /P:ttyUSBn [old_password] new_password\n"
    "   ttyUSBn     control port number of the Managed USB Hub (n = 1 to 255)\n"
    "   old_password   old password, default assumed if omitted \n"
    "   new_password   new password\n"
    "\n"
    "   /G       get current port states (no password is required)\n"
    "   Usage:   tarvo /G:ttyUSBn [option]\n"
    "   /G:ttyUSBn  control port number of the Managed USB Hub (n = 1 to 255)\n"
    "   option   -B    output in formatted binary string\n"
    "            -H    output in formatted little-endian hex string\n"
    "\n"
    "   /W       save states to flash as the initial states (password is required)\n"
    "   Usage:   tarvo /W:ttyUSBn [pass]\n"
    "\n"
    "   /D       restore to factory default settings (password is required)\n"
    "   Usage:   tarvo /D:ttyUSBn [pass]\n"
    "\n"
    "   /R       reset the entire Managed USB Hub (password is required)\n"
    "   Usage:   tarvo /R:ttyUSBn [pass]\n"
    "\n"
    "Example: To control port 3 of the hub, follow the steps below:\n"
    "tarvo /Q  (auto serach all the hubs connected)\n"
    "tarvo /S:ttyUSB0 0:3  (turn OFF port 3, assumed ttyUSB0 is found by the /Q command)\n"
    "tarvo /S:ttyUSB0 1:3  (turn ON port 3)\n"
    "\n";

}  // namespace

using CommandLine = E2E;

TEST_F(CommandLine, HelpScreenHas52ExactLines) {
  std::string help = kHelp;
  EXPECT_EQ(52, std::count(help.begin(), help.end(), '\n'));
  const std::vector<std::vector<std::string>> asks = {
      {}, {"/H"}, {"/h"}, {"/?"}, {"/Hxyz"}, {"/HELP"}, {"/H", "a", "b"}};
  for (const auto& args : asks) {
    SCOPED_TRACE(args.empty() ? "(no argument)" : args[0]);
    EXPECT_RUN(Tarvo(args), kHelp, 0);
  }
}

TEST_F(CommandLine, MalformedCommandLinesAreInvalidCommands) {
  hubsim::Hub& hub = AddHub(0);
  const std::vector<std::vector<std::string>> bad = {
      {"/H", "a", "b", "c"}, {"/Q:ttyUSB0", "-F", "x", "y"},
      {"q"},                 {"/"},
      {""},                  {"Q:ttyUSB0"},
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(args[0]);
    EXPECT_RUN(Tarvo(args), "Invalid Command!\n", 2);
  }
  EXPECT_TRUE(hub.Frames().empty());
}

TEST_F(CommandLine, UnknownCommandLetterIsACommandError) {
  hubsim::Hub& hub = AddHub(0);
  for (const char* word : {"/X:ttyUSB0", "/x", "/1", "//"}) {
    SCOPED_TRACE(word);
    EXPECT_RUN(Tarvo({word}), "DoCommandError\n", 2);
  }
  EXPECT_TRUE(hub.Frames().empty());
}

TEST_F(CommandLine, OutputThatCannotBeWrittenIsAFailure) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x5));
  auto withStdoutClosed = [&](std::vector<std::string> args) {
    return hubsim::Run(
        TarvoArgv(args, {"sh", "-c", "exec >&-; exec \"$@\"", "sh"}), 60);
  };
  EXPECT_EQ(1, withStdoutClosed({"/H"}).status);
  EXPECT_EQ(1, withStdoutClosed({"/G:ttyUSB0"}).status);
  EXPECT_EQ(1, withStdoutClosed({"/Q", "-F"}).status);
  // A command that prints nothing on success has nothing to lose.
  EXPECT_EQ(0, withStdoutClosed({"/S:ttyUSB0", "1:2"}).status);
  EXPECT_EQ(0x7u, hub.Config().states);
}

TEST_F(CommandLine, StandardInputDoesNotMatter) {
  AddHub(0, HubWith("04", 0x5));
  for (const char* input : {"/dev/null", "", "/dev/zero"}) {
    SCOPED_TRACE(input);
    EXPECT_RUN(Tarvo({"/G:ttyUSB0"}, 60, input), "On=1,3 Off=2,4\n", 0);
  }
}
