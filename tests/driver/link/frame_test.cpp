// SPDX-License-Identifier: GPL-3.0-or-later
// The frame layer on its own: literal byte vectors for requests, the TCP
// envelope, reply collection and checksum rules, field splitting and the
// hexadecimal block decoding.
#include "frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace termina::link;

namespace {

std::string bytes(std::initializer_list<unsigned> v) {
  std::string s;
  for (unsigned b : v) s.push_back(static_cast<char>(b));
  return s;
}

}  // namespace

TEST(RequestFrame, StatusRequestWithEmptyPasswordIsTheSevenKnownBytes) {
  EXPECT_EQ(buildFrame("A0", "", 0x20), bytes({0x02, 0x20, 0x41, 0x30, 0x03, 0x35, 0x32}));
}

TEST(RequestFrame, TcpEnvelopeOfTheStatusRequest) {
  auto env = wrapEnvelope(buildFrame("A0", "", 0x20));
  ASSERT_TRUE(env);
  EXPECT_EQ(*env, bytes({0x01, 0x07, 0x00, 0x02, 0x20, 0x41, 0x30, 0x03, 0x35, 0x32, 0x51}));
}

TEST(RequestFrame, PasswordIdAndCyrillicBodyAreConvertedBeforeTheChecksum) {
  // "Хлеб" in code page 1251 is D5 EB E5 E1; in 866 it is 95 AB A5 A1.
  std::string body = "30" + bytes({0xD5, 0xEB, 0xE5, 0xE1}) + "\x1C";
  std::string f = buildFrame(body, "WKRD", 0x21);
  std::string expectTextPart = bytes({0x02, 'W', 'K', 'R', 'D', 0x21, '3', '0', 0x95, 0xAB, 0xA5, 0xA1, 0x1C, 0x03});
  ASSERT_EQ(f.substr(0, f.size() - 2), expectTextPart);
  uint8_t x = 0;
  for (std::size_t i = 1; i < expectTextPart.size(); ++i) x ^= static_cast<uint8_t>(expectTextPart[i]);
  EXPECT_EQ(f.substr(f.size() - 2), hex2(x));
}

TEST(RequestFrame, PacketIdAtOrAbove0x80IsSentAsItsOemCounterpart) {
  // 1251 byte 0xC0 ("А") is 0x80 in code page 866.
  std::string f = buildFrame("A0", "", 0xC0);
  EXPECT_EQ(static_cast<uint8_t>(f[1]), 0x80);
}

TEST(RequestFrame, EnvelopeRefusesFramesBeyondItsBuffer) {
  EXPECT_TRUE(wrapEnvelope(std::string(1020, 'x')));
  EXPECT_FALSE(wrapEnvelope(std::string(1021, 'x')));
  auto env = wrapEnvelope(std::string(300, 'x'));
  ASSERT_TRUE(env);
  EXPECT_EQ(static_cast<uint8_t>((*env)[1]), 300 & 0xFF);
  EXPECT_EQ(static_cast<uint8_t>((*env)[2]), 300 >> 8);
}

TEST(PacketId, RunsThrough0x20To0xFFAndWraps) {
  uint8_t id = 0x20;
  for (int i = 0; i < 224; ++i) {
    ASSERT_GE(id, 0x20);
    id = nextPacketId(id);
  }
  EXPECT_EQ(id, 0x20);
  EXPECT_EQ(nextPacketId(0xFF), 0x20);
  EXPECT_EQ(nextPacketId(0x7F), 0x80);
}

TEST(ReplyCollector, AcksAreNotKeptAndTheChecksumBytesFollowEtx) {
  ReplyCollector c;
  std::string reply = bytes({0x02, ' ', ' ', ' ', '0', '0', 0x03});
  reply += hex2(xorBytes(reply.substr(1)));
  EXPECT_EQ(c.feed(ACK), ReplyCollector::Step::Ack);
  EXPECT_EQ(c.feed(ACK), ReplyCollector::Step::Ack);
  for (std::size_t i = 0; i + 1 < reply.size(); ++i)
    EXPECT_EQ(c.feed(static_cast<uint8_t>(reply[i])), ReplyCollector::Step::More);
  EXPECT_EQ(c.feed(static_cast<uint8_t>(reply.back())), ReplyCollector::Step::Complete);
  EXPECT_EQ(c.buffer(), reply);
  EXPECT_TRUE(replyChecksumOk(c.buffer()));
}

TEST(ReplyCollector, AnAckInsideTheChecksumIsPartOfIt) {
  ReplyCollector c;
  for (uint8_t b : {0x02, 0x03}) c.feed(b);
  EXPECT_EQ(c.feed(ACK), ReplyCollector::Step::More);
  EXPECT_EQ(c.feed('1'), ReplyCollector::Step::Complete);
  EXPECT_EQ(c.buffer().size(), 4u);
}

TEST(ReplyCollector, AReplyThatNeverEndsOverflowsAtTheCap) {
  ReplyCollector c(64);
  int kept = 0;
  ReplyCollector::Step step = ReplyCollector::Step::More;
  for (int i = 0; i < 1000 && step == ReplyCollector::Step::More; ++i, ++kept) step = c.feed('x');
  EXPECT_EQ(step, ReplyCollector::Step::Overflow);
  EXPECT_LE(c.buffer().size(), 64u);
}

TEST(ReplyChecksum, EitherCaseAcceptedAndAWrongOneRefused) {
  std::string text = bytes({0x02, 'a', 'b', 'c', '0', '0', 0x1C, 0xAA, 0x03});
  uint8_t x = xorBytes(text.substr(1));
  std::string upper = text + hex2(x);
  std::string lower = upper;
  for (std::size_t i = lower.size() - 2; i < lower.size(); ++i)
    lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
  EXPECT_TRUE(replyChecksumOk(upper));
  EXPECT_TRUE(replyChecksumOk(lower));
  EXPECT_FALSE(replyChecksumOk(text + hex2(static_cast<uint8_t>(x ^ 1))));
  EXPECT_FALSE(replyChecksumOk(text + "ZZ"));
  EXPECT_FALSE(replyChecksumOk("\x03"));
}

TEST(ReplyText, HeadAndTailAreCutAndTheResultCodeSplitOff) {
  std::string reply = bytes({0x02, 'x', 'y', 'z', '4', '0', '1', '2', 0x1C, 0x03, 'F', 'F'});
  std::string text = stripReply(reply);
  EXPECT_EQ(text, bytes({'4', '0', '1', '2', 0x1C}));
  auto rt = splitResult(text);
  ASSERT_TRUE(rt);
  EXPECT_EQ(rt->code, 0x40);
  EXPECT_EQ(rt->fields, bytes({'1', '2', 0x1C}));
  EXPECT_FALSE(splitResult(""));
  EXPECT_FALSE(splitResult("zz"));
  EXPECT_EQ(splitResult("0")->code, 0);
  EXPECT_EQ(stripReply("\x02\x03"
                       "00"),
            "");
}

TEST(NextField, TakesFieldsInTurnAndStopsWithoutSeparator) {
  std::string t =
      "12\x1C"
      "34\x1C";
  EXPECT_EQ(nextField(t), "12");
  EXPECT_EQ(nextField(t), "34");
  EXPECT_EQ(nextField(t), "");
  EXPECT_EQ(t, "");
  std::string noSep = "tail";
  EXPECT_EQ(nextField(noSep), "");
  EXPECT_EQ(noSep, "tail");
  std::string empty = "\x1C\x1C";
  EXPECT_EQ(nextField(empty), "");
  EXPECT_EQ(empty, "\x1C");
}

TEST(HexBlocks, DecodeEitherCaseAndNonDigitsByTheirByteValue) {
  uint8_t out[3] = {};
  EXPECT_EQ(decodeHexPairs("0aff", out, 2), 2u);
  EXPECT_EQ(out[0], 0x0A);
  EXPECT_EQ(out[1], 0xFF);
  EXPECT_EQ(decodeHexPairs("0AFF", out, 2), 2u);
  EXPECT_EQ(out[1], 0xFF);
  // 'G' is not a digit and counts as 0x47: 16*0x47 + 1 = 0x471, kept to 8 bits.
  EXPECT_EQ(decodeHexPairs("G1", out, 1), 1u);
  EXPECT_EQ(out[0], 0x71);
  // Never more than the text holds.
  out[2] = 0x55;
  EXPECT_EQ(decodeHexPairs("0102"
                           "0",
                           out, 3),
            2u);
  EXPECT_EQ(out[2], 0x55);
  const uint8_t raw[] = {0x0A, 0xFF, 0x00};
  EXPECT_EQ(encodeHex(raw, 3), "0AFF00");
}
