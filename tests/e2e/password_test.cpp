#include "fixture.h"

using ChangePassword = E2E;

TEST_F(ChangePassword, FieldsAsSent) {
  struct Case {
    std::vector<std::string> args;
    std::string frame;
    std::string newPassword;
  };
  const std::vector<Case> cases = {
      {{"/P:ttyUSB0", "fresh"}, "CPmira    fresh   \r", "fresh   "},
      {{"/P:ttyUSB0", "mira", "Two2"}, "CPmira    Two2    \r", "Two2    "},
      {{"/P:ttyUSB0"}, "CPmira            \r", "        "},
      {{"/p:ttyusb0", "12345678"}, "CPmira    12345678\r", "12345678"},
      {{"/P:ttyUSB0", "", "x"}, "CP        x       \r", "x       "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.frame);
    hubsim::HubConfig config;
    config.password = c.frame.substr(2, 8);
    hubsim::Hub& hub = AddHub(0, config);
    EXPECT_RUN(Tarvo(c.args), "", 0);
    EXPECT_EQ(std::vector<std::string>{c.frame}, hub.Frames());
    EXPECT_EQ(c.newPassword, hub.Config().password);
  }
}

TEST_F(ChangePassword, NewPasswordIsWhatTheHubAsksForNext) {
  hubsim::Hub& hub = AddHub(0, HubWith("04", 0x0));
  EXPECT_RUN(Tarvo({"/P:ttyUSB0", "s3cret"}), "", 0);
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "1:1"}), "Password Error!\n", 1);
  EXPECT_RUN(Tarvo({"/S:ttyUSB0", "s3cret", "1:1"}), "", 0);
  EXPECT_RUN(Tarvo({"/P:ttyUSB0", "wrong", "x"}), "Invalid Password!\n", 1);
  EXPECT_EQ("s3cret  ", hub.Config().password);
}

TEST_F(ChangePassword, RefusedBeforeAnyTraffic) {
  hubsim::Hub& hub = AddHub(0);
  EXPECT_RUN(Tarvo({"/P:ttyUSB0", "123456789"}), "Invalid Password!\n", 1);
  EXPECT_RUN(Tarvo({"/P:ttyUSB0", "123456789", "new"}), "Invalid Password!\n", 1);
  EXPECT_RUN(Tarvo({"/P:ttyUSB0", "old", "123456789"}), "Invalid Password!\n", 1);
  EXPECT_RUN(Tarvo({"/P:ttyUSB0", "old", "new\r"}), "Invalid Password!\n", 1);
  EXPECT_RUN(Tarvo({"/P:ttyUSB0", "\x7f"}), "Invalid Password!\n", 1);
  EXPECT_RUN(Tarvo({"/P"}), "Invalid Command!\n", 2);
  EXPECT_RUN(Tarvo({"/P:ttyS0", "x"}), "Invalid Command!\n", 2);
  EXPECT_TRUE(hub.Frames().empty());
}

TEST_F(ChangePassword, WhatTheHubSaysBack) {
  AddHub(0, {}, Answering("CP", "E01\r\n"));
  AddHub(1, {}, Answering("CP", "NO\r\n"));
  AddHub(2, {}, Answering("CP", "G whatever\r\n"));
  AddHub(3, {}, Answering("CP", std::string(25, 'G')));
  EXPECT_RUN(Tarvo({"/P:ttyUSB0", "x"}), "Invalid Password!\n", 1);
  EXPECT_RUN(Tarvo({"/P:ttyUSB1", "x"}), "Change Password Error!\n", 1);
  EXPECT_RUN(Tarvo({"/P:ttyUSB2", "x"}), "", 0);
  EXPECT_RUN(Tarvo({"/P:ttyUSB3", "x"}), "Change Password Error!\n", 1);
  EXPECT_RUN(Tarvo({"/P:ttyUSB9", "x"}), "Change Password Error!\n", 1);
}
