#include "link/hubquery.h"

#include <gtest/gtest.h>

namespace {

struct Decoded {
  std::string result;
  int32_t nPorts = -99;
  std::string fw = "untouched";
};

Decoded DecodeQuery(const std::string& reply) {
  Decoded d;
  d.result = DecodeQueryReply(reply, &d.nPorts, &d.fw);
  return d;
}

}  // namespace

TEST(QueryReplyTest, TakesPortCountAndFirmwareByPosition) {
  Decoded d = DecodeQuery("KORVEN HUB0812.3\r\n");
  EXPECT_EQ("OK", d.result);
  EXPECT_EQ(8, d.nPorts);
  EXPECT_EQ("12.", d.fw.substr(0, 3));
  EXPECT_EQ(3u, d.fw.size());
}

TEST(QueryReplyTest, PortCountReadLikeAtoi) {
  EXPECT_EQ(7, DecodeQuery("KORVEN-xyz 7ABC\n").nPorts);
  EXPECT_EQ(7, DecodeQuery("KORVEN-xyz07ABC\n").nPorts);
  EXPECT_EQ(1, DecodeQuery("KORVEN-xyz1AABC\n").nPorts);
  EXPECT_EQ(0, DecodeQuery("KORVEN-xyzABABC\n").nPorts);
  EXPECT_EQ(-1, DecodeQuery("KORVEN-xyz-1ABC\n").nPorts);
  EXPECT_EQ(40, DecodeQuery("KORVEN-xyz40ABC\n").nPorts);
}

TEST(QueryReplyTest, FirmwareKeepsBlanks) {
  EXPECT_EQ(" 1 ", DecodeQuery("KORVEN-xyz08 1 \r\n").fw);
}

TEST(QueryReplyTest, IdentificationIsExactAndCaseSensitive) {
  EXPECT_EQ("ID Err", DecodeQuery("korven HUB0812.3\r\n").result);
  EXPECT_EQ("ID Err", DecodeQuery("KORVEX HUB0812.3\r\n").result);
  EXPECT_EQ("ID Err", DecodeQuery("\n").result);
  Decoded d = DecodeQuery("KORVAN HUB0812.3\r\n");
  EXPECT_EQ(-99, d.nPorts);
  EXPECT_EQ("untouched", d.fw);
}

TEST(QueryReplyTest, FewerThanFifteenCharactersIsNotAHub) {
  EXPECT_EQ("ID Err", DecodeQuery("KORVEN HUB0812\n").result);
  EXPECT_EQ("ID Err", DecodeQuery("KORVEN\n").result);
  EXPECT_EQ("ID Err", DecodeQuery("KORVEN HUB\n08123456\n").result);
  EXPECT_EQ("OK", DecodeQuery("KORVEN HUB08123\n").result);
}

TEST(StateReplyTest, DecodesTheStateHexString) {
  PS64 word = 0;
  EXPECT_EQ("OK", DecodeStateReply("A6010000\r\n", &word));
  EXPECT_EQ(0x1A6u, word);
  EXPECT_EQ("OK", DecodeStateReply("01000000\n", &word));
  EXPECT_EQ(1u, word);
  EXPECT_EQ("OK", DecodeStateReply("ffffffff\n", &word));
  EXPECT_EQ(0xFFFFFFFFu, word);
}

TEST(StateReplyTest, RejectsWhatIsNotEightHexDigits) {
  PS64 word = 42;
  EXPECT_EQ("Get Port State Err", DecodeStateReply("A601\r\n", &word));
  EXPECT_EQ("Get Port State Err", DecodeStateReply("A601000\n", &word));
  EXPECT_EQ("Get Port State Err", DecodeStateReply("A6X10000\r\n", &word));
  EXPECT_EQ("Get Port State Err",
            DecodeStateReply(std::string("A601\0" "000\r\n", 11), &word));
  EXPECT_EQ("Get Port State Err", DecodeStateReply("\n", &word));
  EXPECT_EQ(42u, word);
}
