#include <thread>

#include "fixture.h"

using SaveRestoreReset = E2E;

TEST_F(SaveRestoreReset, FramesAndWhatTheHubDoes) {
  hubsim::HubConfig config = HubWith("04", 0x5);
  config.flash = 0x0;
  hubsim::Hub& hub = AddHub(0, config);
  EXPECT_RUN(Tarvo({"/W:ttyUSB0"}), "", 0);
  EXPECT_EQ(0x5u, hub.Config().flash);
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "0:ALL"}), "", 0);
  EXPECT_RUN(Tarvo({"/R:ttyUSB0", ""}), "", 0);
  EXPECT_EQ(0x5u, hub.Config().states);
  EXPECT_RUN(Tarvo({"/P:ttyUSB0", "pw6chr"}), "", 0);
  EXPECT_RUN(Tarvo({"/d:ttyusb0", "pw6chr"}), "", 0);
  EXPECT_EQ(hubsim::kDefaultPassword, hub.Config().password);
  EXPECT_EQ(0xFFFFFFFFu, hub.Config().states);
  std::vector<std::string> frames = hub.Frames();
  ASSERT_EQ(7u, frames.size());
  EXPECT_EQ("WPmira    \r", frames[0]);
  EXPECT_EQ("RHmira    \r", frames[4]);
  EXPECT_EQ("RDpw6chr  \r", frames[6]);
}

TEST_F(SaveRestoreReset, PasswordsAndArguments) {
  hubsim::HubConfig config;
  config.password = "12345678";
  hubsim::Hub& hub = AddHub(0, config);
  for (const char* letter : {"W", "D", "R"}) {
    SCOPED_TRACE(letter);
    const std::string word = std::string("/") + letter + ":ttyUSB0";
    EXPECT_RUN(Tarvo({word, "pw", "x"}), "Invalid Command!\n", 2);
    EXPECT_RUN(Tarvo({word, "", "x"}), "Invalid Command!\n", 2);
    EXPECT_RUN(Tarvo({std::string("/") + letter, "pw"}), "Invalid Command!\n", 2);
    EXPECT_RUN(Tarvo({word, "123456789"}), "Invalid Password!\n", 1);
    EXPECT_RUN(Tarvo({word, "1234\n"}), "Invalid Password!\n", 1);
  }
  EXPECT_TRUE(hub.Frames().empty());
  EXPECT_RUN(Tarvo({"/W:ttyUSB0", "12345678"}), "", 0);
  EXPECT_RUN(Tarvo({"/R:ttyUSB0", "12345678"}), "", 0);
  EXPECT_EQ((std::vector<std::string>{"WP12345678\r", "RH12345678\r"}),
            hub.Frames());
}

TEST_F(SaveRestoreReset, WrongPasswordAndRefusals) {
  hubsim::HubConfig config;
  config.password = "other   ";
  AddHub(0, config);
  AddHub(1, {}, Answering("WP", "X\r\n"));
  AddHub(2, {}, Answering("RD", "E02\r\n"));
  AddHub(3, {}, Answering("RH", "E02\r\n"));
  for (const char* word : {"/W:ttyUSB0", "/D:ttyUSB0", "/R:ttyUSB0"}) {
    SCOPED_TRACE(word);
    EXPECT_RUN(Tarvo({word}), "Invalid Password!\n", 1);
  }
  EXPECT_RUN(Tarvo({"/W:ttyUSB1"}), "Error to Save Port States to Flash!\n", 1);
  EXPECT_RUN(Tarvo({"/D:ttyUSB2"}), "Error to Restore Factory Default!\n", 1);
  EXPECT_RUN(Tarvo({"/R:ttyUSB3"}), "", 0);
}

TEST_F(SaveRestoreReset, NoHubAtThePort) {
  AddLink("ttyUSB1", "/dev/null");
  EXPECT_RUN(Tarvo({"/W:ttyUSB9"}), "Save Port States Error!\n", 1);
  EXPECT_RUN(Tarvo({"/D:ttyUSB9"}), "Restore Default Error!\n", 1);
  // Nothing could have reset: the message never went out.
  EXPECT_RUN(Tarvo({"/R:ttyUSB9"}), "Open Port Error!\n", 1);
  EXPECT_RUN(Tarvo({"/R:ttyUSB1"}), "Set Port Option Error!\n", 1);
}

TEST_F(SaveRestoreReset, SilentHubs) {
  hubsim::Faults silent;
  silent.silent = true;
  // "E01" without its line end, then nothing.
  hubsim::Faults wrongThenSilent;
  for (const char* code : {"WP", "RD", "RH"}) wrongThenSilent.replies[code] = "E01";
  struct Case {
    std::string letter;
    hubsim::Faults faults;
    std::string out;
    int status;
  };
  const std::vector<Case> cases = {
      {"W", silent, "Save Port States Error!\n", 1},
      {"D", silent, "Restore Default Error!\n", 1},
      {"R", silent, "", 0},
      {"W", wrongThenSilent, "Save Port States Error!\n", 1},
      {"D", wrongThenSilent, "Restore Default Error!\n", 1},
      {"R", wrongThenSilent, "Invalid Password!\n", 1},
  };
  // Each waits out one byte wait: one hub per case, all runs side by side.
  std::vector<std::thread> runs;
  std::vector<hubsim::RunResult> results(cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    AddHub(static_cast<int>(i), {}, cases[i].faults);
    const std::string word = "/" + cases[i].letter + ":ttyUSB" + std::to_string(i);
    runs.emplace_back([this, &results, i, word] { results[i] = Tarvo({word}); });
  }
  for (std::thread& t : runs) t.join();
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].letter + std::to_string(i));
    EXPECT_RUN(results[i], cases[i].out, cases[i].status);
    EXPECT_GE(results[i].seconds, kByteWait);
  }
}
