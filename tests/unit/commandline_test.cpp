#include "commandline.h"

#include <gtest/gtest.h>

#include "commands/password.h"
#include "dispatch.h"
#include "simhubs.h"

namespace {

ParsedCommandLine Parse(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"tarvo"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data());
}

// What a parse came to, as one line: the refusal and its status, or the
// request's fields that the command reads.
std::string Summary(const ParsedCommandLine& parsed) {
  if (parsed.Refused())
    return parsed.refusal.message + " (" +
           std::to_string(parsed.refusal.exit_status) + ")";
  const Request& r = parsed.request;
  const char* forms[] = {"text", "-F", "-B", "-H", "-J"};
  std::string text = std::to_string(static_cast<int>(r.command)) + " " +
                     r.device + " " + forms[static_cast<int>(r.form)];
  if (r.keep_as_power_on) text += " flash";
  if (!r.password.empty()) text += " [" + r.password + "]";
  if (!r.new_password.empty()) text += " new[" + r.new_password + "]";
  if (!r.state_argument.empty()) text += " states " + r.state_argument;
  if (!r.cycle_ports.empty())
    text += " cycle " + r.cycle_ports + "@" + std::to_string(r.cycle_off_ms);
  return text;
}

struct ParseCase {
  std::vector<std::string> args;
  std::string expected;
};

// Command kinds by number: 0 help, 1 scan, 2 query hub, 3 get, 4 set,
// 5 password, 6 save, 7 restore, 8 reset, 9 cycle.
const ParseCase kParseCases[] = {
    {{}, "0  text"},
    {{"/H"}, "0 /dev/ text"},
    {{"/hxyz", "a", "b"}, "0 /dev/ text"},
    {{"/?"}, "0 /dev/ text"},
    {{"/H", "a", "b", "c"}, "Invalid Command! (2)"},
    {{""}, "Invalid Command! (2)"},
    {{"/"}, "Invalid Command! (2)"},
    {{"q"}, "Invalid Command! (2)"},
    {{"Q:ttyUSB0"}, "Invalid Command! (2)"},
    {{"/X:ttyUSB0"}, "DoCommandError (2)"},
    {{"//"}, "DoCommandError (2)"},
    {{"/1"}, "DoCommandError (2)"},
    // The port part: "tty" lower-cased, the rest upper-cased.
    {{"/q"}, "1 /dev/ text"},
    {{"/Q", "-f"}, "1 /dev/ -F"},
    {{"/Q", "-j"}, "1 /dev/ -J"},
    {{"/Q", "-B"}, "Invalid Command! (2)"},
    {{"/Q", "-F", "x"}, "Invalid Command! (2)"},
    {{"/Q:"}, "Invalid Command! (2)"},
    {{"/Q:ttyUSB"}, "Invalid Command! (2)"},
    {{"/q:ttyusb3"}, "2 /dev/ttyUSB3 text"},
    {{"/QXTTYUSB3", "-F"}, "2 /dev/ttyUSB3 -F"},
    {{"/Q:ttyUSBx"}, "2 /dev/ttyUSBX text"},
    {{"/Q:ttyACM0"}, "Invalid Command! (2)"},
    // A port part that could lead elsewhere is refused before any open.
    {{"/Q:ttyUSB0/../x"}, "Invalid Command! (2)"},
    {{"/S:ttyUSB7/../OTHERHUB", "1:1"}, "Invalid Command! (2)"},
    {{"/G:ttyUSB0\nOn=1"}, "Invalid Command! (2)"},
    {{"/G:ttyUSB0\x7f"}, "Invalid Command! (2)"},
    {{"/G:ttyUSB0\x1b"}, "Invalid Command! (2)"},
    {{"/G:ttyUSB0\xc3\xa9"}, "3 /dev/ttyUSB0\xc3\xa9 text"},
    {{"/G:ttyUSB0"}, "3 /dev/ttyUSB0 text"},
    {{"/G:ttyUSB0", "-b"}, "3 /dev/ttyUSB0 -B"},
    {{"/G:ttyUSB0", "-H"}, "3 /dev/ttyUSB0 -H"},
    {{"/G:ttyUSB0", "-J"}, "3 /dev/ttyUSB0 -J"},
    {{"/G:ttyUSB0", "-F"}, "Invalid Command! (2)"},
    {{"/G:ttyUSB0", "", "x"}, "Invalid Command! (2)"},
    {{"/G"}, "Invalid Command! (2)"},
    // Set: one argument is the states, never tested as a password.
    {{"/S:ttyUSB0", "1:1,2,3,4,5,6,7,8"},
     "4 /dev/ttyUSB0 text [mira    ] states 1:1,2,3,4,5,6,7,8"},
    {{"/S:ttyUSB0", "secret", "1:3"},
     "4 /dev/ttyUSB0 text [secret  ] states 1:3"},
    {{"/f:ttyusb0", "", "t:1"}, "4 /dev/ttyUSB0 text flash [        ] states t:1"},
    {{"/S:ttyUSB0"}, "4 /dev/ttyUSB0 text [mira    ]"},
    {{"/S:ttyUSB0", "123456789", "1:3"}, "Invalid Password! (1)"},
    {{"/F:ttyUSB0", "ab\rRH", "1:3"}, "Invalid Password! (1)"},
    {{"/S:ttyACM0", "1:3"}, "Invalid Command! (2)"},
    {{"/S", "1:3"}, "Invalid Command! (2)"},
    // Change password.
    {{"/P:ttyUSB0", "newpw"}, "5 /dev/ttyUSB0 text [mira    ] new[newpw   ]"},
    {{"/P:ttyUSB0"}, "5 /dev/ttyUSB0 text [mira    ] new[        ]"},
    {{"/P:ttyUSB0", "", "new"}, "5 /dev/ttyUSB0 text [        ] new[new     ]"},
    {{"/P:ttyUSB0", "12345678", "87654321"},
     "5 /dev/ttyUSB0 text [12345678] new[87654321]"},
    {{"/P:ttyUSB0", "123456789", "new"}, "Invalid Password! (1)"},
    {{"/P:ttyUSB0", "old", "123456789"}, "Invalid Password! (1)"},
    {{"/P:ttyUSB0", "123456789"}, "Invalid Password! (1)"},
    // Save, restore, reset.
    {{"/W:ttyUSB0"}, "6 /dev/ttyUSB0 text [mira    ]"},
    {{"/d:ttyusb0", "pw6chr"}, "7 /dev/ttyUSB0 text [pw6chr  ]"},
    {{"/R:ttyUSB0", ""}, "8 /dev/ttyUSB0 text [mira    ]"},
    {{"/R:ttyUSB0", "pw", "x"}, "Invalid Command! (2)"},
    {{"/W:ttyUSB0", "", "x"}, "Invalid Command! (2)"},
    {{"/D", "pw"}, "Invalid Command! (2)"},
    {{"/W:ttyUSB0", "1234\n"}, "Invalid Password! (1)"},
    {{"/D:ttyUSB0", "del\x7f"}, "Invalid Password! (1)"},
    // Power cycle.
    {{"/C:ttyUSB0", "3"}, "9 /dev/ttyUSB0 text [mira    ] cycle 3@2000"},
    {{"/C:ttyUSB0", "pw", "all@0.25"},
     "9 /dev/ttyUSB0 text [pw      ] cycle ALL@250"},
    {{"/C:ttyUSB0", "1,4,4@600"}, "9 /dev/ttyUSB0 text [mira    ] cycle 1,4,4@600000"},
    {{"/C:ttyUSB0", "2@0"}, "9 /dev/ttyUSB0 text [mira    ] cycle 2@0"},
    {{"/C:ttyUSB0", "2@1.5"}, "9 /dev/ttyUSB0 text [mira    ] cycle 2@1500"},
    {{"/C:ttyUSB0", "2@007.125"}, "9 /dev/ttyUSB0 text [mira    ] cycle 2@7125"},
    {{"/C:ttyUSB0"}, "Invalid Command! (2)"},
    {{"/C:ttyUSB0", "pw", "1", "x"}, "Invalid Command! (2)"},
    {{"/C"}, "Invalid Command! (2)"},
    {{"/C:ttyUSB0", "2@600.001"}, "Invalid Number! (1)"},
    {{"/C:ttyUSB0", "2@1.2345"}, "Invalid Number! (1)"},
    {{"/C:ttyUSB0", "2@"}, "Invalid Number! (1)"},
    {{"/C:ttyUSB0", "2@1."}, "Invalid Number! (1)"},
    {{"/C:ttyUSB0", "2@.5"}, "Invalid Number! (1)"},
    {{"/C:ttyUSB0", "2@-1"}, "Invalid Number! (1)"},
    {{"/C:ttyUSB0", "2@1e2"}, "Invalid Number! (1)"},
    {{"/C:ttyUSB0", "0"}, "Invalid Number! (1)"},
    {{"/C:ttyUSB0", "1,,2"}, "Invalid Number! (1)"},
    {{"/C:ttyUSB0", "x"}, "Invalid Number! (1)"},
    {{"/C:ttyUSB0", "123456789", "1"}, "Invalid Password! (1)"},
};

}  // namespace

TEST(CommandLineTest, EveryFormParsesToItsRequestOrRefusal) {
  for (const ParseCase& c : kParseCases) {
    std::string trace = "tarvo";
    for (const std::string& arg : c.args) trace += " '" + arg + "'";
    EXPECT_EQ(c.expected, Summary(Parse(c.args))) << trace;
  }
}

TEST(CommandLineTest, AnEmptyArgumentVectorIsAnInvalidCommand) {
  const char* const argv[] = {nullptr};
  EXPECT_EQ("Invalid Command! (2)", Summary(ParseCommandLine(0, argv)));
}

TEST(CommandLineTest, PasswordFieldsKeepEveryByteButControls) {
  std::string field;
  EXPECT_TRUE(MakePasswordField("\xc3\xa9t\xc3\xa9", &field));
  EXPECT_EQ("\xc3\xa9t\xc3\xa9   ", field);
  EXPECT_TRUE(MakePasswordField("MiXed 9!", &field));
  EXPECT_EQ("MiXed 9!", field);
  field = "untouched";
  for (const std::string& bad :
       {std::string("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9x"), std::string("a\0b", 3),
        std::string("\x1b"), std::string("tab\there")})
    EXPECT_FALSE(MakePasswordField(bad, &field));
  EXPECT_EQ("untouched", field);
}

TEST(HelpScreenTest, Has52ExactLines) {
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
  LineCollector out;
  EXPECT_TRUE(RunRequest(Parse({"/?"}).request, out).message.empty());
  std::string shown;
  for (const std::string& line : out.lines) shown += line + "\n";
  EXPECT_EQ(kHelp, shown);
  EXPECT_EQ(52u, out.lines.size());
}
