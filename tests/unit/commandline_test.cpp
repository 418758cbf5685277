#include "commandline.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue.h"
#include "simhubs.h"

namespace {

ParsedCommandLine Parse(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"tarvo"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), "/dev/");
}

// A parse as one line: the refusal and its status, or the request's
// fields that its command reads. Commands by number: 0 help, 1 scan,
// 2 query hub, 3 get, 4 set, 5 password, 6 save, 7 restore, 8 reset,
// 9 cycle.
std::string Summary(const ParsedCommandLine& parsed) {
  if (parsed.Refused())
    return OutcomeText(parsed.refusal) + std::string(" (") +
           std::to_string(ExitStatus(parsed.refusal)) + ")";
  const Request& r = parsed.request;
  const char* forms[] = {"text", "-F", "-B", "-H", "-J"};
  std::string text = std::to_string(static_cast<int>(r.command)) + " " + r.hub +
                     " " + forms[static_cast<int>(r.form)];
  if (r.keep_as_power_on) text += " flash";
  if (!r.password.empty()) text += " [" + r.password + "]";
  if (!r.new_password.empty()) text += " new[" + r.new_password + "]";
  if (!r.state_argument.empty()) text += " states " + r.state_argument;
  std::string ports = r.cycle_all_ports ? "ALL" : "";
  for (int64_t port : r.cycle_ports)
    ports += (ports.empty() ? "" : ",") + std::to_string(port);
  if (!ports.empty())
    text += " cycle " + ports + "@" + std::to_string(r.cycle_off_ms);
  return text;
}

// clang-format off
const std::pair<std::vector<std::string>, std::string> kParseCases[] = {
    {{}, "0  text"}, {{"/hxyz", "a", "b"}, "0  text"}, {{"/?"}, "0  text"},
    {{"/H", "a", "b", "c"}, "Invalid Command! (2)"}, {{""}, "Invalid Command! (2)"}, {{"/"}, "Invalid Command! (2)"},
    {{"Q:ttyUSB0"}, "Invalid Command! (2)"}, {{"/X:ttyUSB0"}, "DoCommandError (2)"}, {{"//"}, "DoCommandError (2)"},
    // Scan and query: the port part has "tty" lower-cased, the rest upper.
    {{"/q"}, "1  text"}, {{"/Q", "-f"}, "1  -F"}, {{"/Q", "-j"}, "1  -J"}, {{"/Q", "-B"}, "Invalid Command! (2)"},
    {{"/Q", "-F", "x"}, "Invalid Command! (2)"}, {{"/Q:ttyUSB"}, "Invalid Command! (2)"},
    {{"/q:ttyusb3"}, "2 ttyUSB3 text"}, {{"/QXTTYUSB3", "-F"}, "2 ttyUSB3 -F"}, {{"/Q:ttyUSBx"}, "2 ttyUSBX text"},
    {{"/Q:ttyACM0"}, "Invalid Command! (2)"},
    // A port part that could lead elsewhere is refused before any open.
    {{"/Q:ttyUSB0/../x"}, "Invalid Command! (2)"},
    // A path names the hub it leads to, taken as typed (hubnames_test.cpp).
    {{"/q:/dev/ttyUSB3", "-f"}, "2  -F"}, {{"/G:/dev/null"}, "Invalid Command! (2)"}, // no such device
    {{"/S:ttyUSB7/../OTHERHUB", "1:1"}, "Invalid Command! (2)"}, {{"/G:ttyUSB0\nOn=1"}, "Invalid Command! (2)"},
    {{"/G:ttyUSB0\x7f"}, "Invalid Command! (2)"}, {{"/G:ttyUSB0\xc3\xa9"}, "3 ttyUSB0\xc3\xa9 text"},
    // Get.
    {{"/G:ttyUSB0", "-b"}, "3 ttyUSB0 -B"}, {{"/G:ttyUSB0", "-H"}, "3 ttyUSB0 -H"},
    {{"/G:ttyUSB0", "-J"}, "3 ttyUSB0 -J"}, {{"/G:ttyUSB0", "-F"}, "Invalid Command! (2)"},
    {{"/G:ttyUSB0", "", "x"}, "Invalid Command! (2)"}, {{"/G"}, "Invalid Command! (2)"},
    // Set: one argument is the states, never tested as a password.
    {{"/S:ttyUSB0", "1:1,2,3,4,5,6"}, "4 ttyUSB0 text [mira    ] states 1:1,2,3,4,5,6"},
    {{"/S:ttyUSB0", "secret", "1:3"}, "4 ttyUSB0 text [secret  ] states 1:3"},
    {{"/f:ttyusb0", "", "t:1"}, "4 ttyUSB0 text flash [        ] states t:1"},
    {{"/S:ttyUSB0", "123456789", "1:3"}, "Invalid Password! (1)"},
    {{"/F:ttyUSB0", "ab\rRH", "1:3"}, "Invalid Password! (1)"}, {{"/S", "1:3"}, "Invalid Command! (2)"},
    // Change password.
    {{"/P:ttyUSB0", "newpw"}, "5 ttyUSB0 text [mira    ] new[newpw   ]"},
    {{"/P:ttyUSB0"}, "5 ttyUSB0 text [mira    ] new[        ]"},
    {{"/P:ttyUSB0", "", "new"}, "5 ttyUSB0 text [        ] new[new     ]"},
    {{"/P:ttyUSB0", "123456789", "new"}, "Invalid Password! (1)"},
    {{"/P:ttyUSB0", "old", "tab\there"}, "Invalid Password! (1)"},
    // Save, restore, reset.
    {{"/W:ttyUSB0"}, "6 ttyUSB0 text [mira    ]"}, {{"/d:ttyusb0", "pw6chr"}, "7 ttyUSB0 text [pw6chr  ]"},
    {{"/R:ttyUSB0", ""}, "8 ttyUSB0 text [mira    ]"}, {{"/R:ttyUSB0", "pw", "x"}, "Invalid Command! (2)"},
    {{"/D", "pw"}, "Invalid Command! (2)"}, {{"/W:ttyUSB0", "1234\n"}, "Invalid Password! (1)"},
    // Power cycle.
    {{"/C:ttyUSB0", "3"}, "9 ttyUSB0 text [mira    ] cycle 3@2000"},
    {{"/C:ttyUSB0", "pw", "all@0.25"}, "9 ttyUSB0 text [pw      ] cycle ALL@250"},
    {{"/C:ttyUSB0", "1,4,4@600"}, "9 ttyUSB0 text [mira    ] cycle 1,4,4@600000"},
    {{"/C:ttyUSB0", "2@007.125"}, "9 ttyUSB0 text [mira    ] cycle 2@7125"}, {{"/C:ttyUSB0"}, "Invalid Command! (2)"},
    {{"/C"}, "Invalid Command! (2)"}, {{"/C:ttyUSB0", "123456789", "1"}, "Invalid Password! (1)"},
  };
// clang-format on

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
  const char* const no_arguments[] = {nullptr};
  EXPECT_EQ("Invalid Command! (2)",
            Summary(ParseCommandLine(0, no_arguments, "/dev/")));
}

// The screen is published text: 52 lines, byte for byte (FNV-1a over the
// lines, each with its newline).
TEST(HelpScreenTest, IsThePublishedText) {
  const std::string screen = TestRig().Run({"/H"});
  uint64_t hash = 14695981039346656037ull;
  for (char ch : screen.substr(0, screen.size() - 3))
    hash = (hash ^ static_cast<unsigned char>(ch)) * 1099511628211ull;
  EXPECT_EQ(52, std::count(screen.begin(), screen.end(), '\n'));
  EXPECT_EQ("(0)", screen.substr(screen.size() - 3));
  EXPECT_EQ(0x475ebf9d4326fd72ull, hash);
}
