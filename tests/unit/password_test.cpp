#include "commands/password.h"

#include <gtest/gtest.h>

TEST(PasswordFieldTest, PaddedWithBlanksToEight) {
  std::string field = "untouched";
  EXPECT_TRUE(PasswordField("abc", &field));
  EXPECT_EQ("abc     ", field);
  EXPECT_TRUE(PasswordField("", &field));
  EXPECT_EQ("        ", field);
  EXPECT_TRUE(PasswordField("12345678", &field));
  EXPECT_EQ("12345678", field);
  EXPECT_TRUE(PasswordField("MiXed 9!", &field));
  EXPECT_EQ("MiXed 9!", field);
  EXPECT_TRUE(PasswordField("\xc3\xa9t\xc3\xa9", &field));  // 5 bytes
  EXPECT_EQ("\xc3\xa9t\xc3\xa9   ", field);
  EXPECT_EQ("mira    ", std::string(kDefaultPassword));
}

TEST(PasswordFieldTest, RefusesLongOnesAndControlCharacters) {
  std::string field = "untouched";
  EXPECT_FALSE(PasswordField("123456789", &field));
  EXPECT_FALSE(PasswordField("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9x", &field));
  EXPECT_FALSE(PasswordField("ab\rRH", &field));
  EXPECT_FALSE(PasswordField("ab\n", &field));
  EXPECT_FALSE(PasswordField(std::string("a\0b", 3), &field));
  EXPECT_FALSE(PasswordField("\x1b", &field));
  EXPECT_FALSE(PasswordField("del\x7f", &field));
  EXPECT_EQ("untouched", field);
}
