#include <gtest/gtest.h>

#include "codec.h"

namespace termina::sim {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(Codec, StatusRequestParsesWithEmptyPassword) {
  const Bytes frame = {0x02, 0x20, 0x41, 0x30, 0x03, 0x35, 0x32};
  ParsedRequest p = parseRequest(frame, "");
  EXPECT_TRUE(p.wellFormed);
  EXPECT_TRUE(p.checksumOk);
  EXPECT_TRUE(p.passwordOk);
  EXPECT_EQ(p.password, "");
  EXPECT_EQ(p.packetId, 0x20);
  EXPECT_EQ(p.code, "A0");
  EXPECT_TRUE(p.fields866.empty());
  EXPECT_EQ(buildRequest("", 0x20, "A0"), frame);
}

TEST(Codec, ChecksumMismatchAndLowerCaseDigits) {
  Bytes frame = {0x02, 0x20, 0x41, 0x30, 0x03, 0x35, 0x33};
  EXPECT_FALSE(parseRequest(frame, "").checksumOk);
  // lower-case digits of a correct checksum are accepted
  Bytes f2 = buildRequest("WKRD", 0x21, "A5" "0\x1c");
  ASSERT_GE(f2.size(), 2u);
  for (size_t i = f2.size() - 2; i < f2.size(); ++i)
    if (f2[i] >= 'A' && f2[i] <= 'F') f2[i] = static_cast<uint8_t>(f2[i] - 'A' + 'a');
  EXPECT_TRUE(parseRequest(f2, "WKRD").checksumOk);
}

TEST(Codec, FieldsAndWrongPasswordSplit) {
  Bytes f = buildRequest("WKRD", 0x25, "A1" "31\x1c" "0\x1c");
  ParsedRequest p = parseRequest(f, "WKRD");
  EXPECT_TRUE(p.passwordOk);
  EXPECT_EQ(p.code, "A1");
  ASSERT_EQ(p.fields866.size(), 2u);
  EXPECT_EQ(p.fields866[0], "31");
  EXPECT_EQ(p.fields866[1], "0");
  EXPECT_EQ(p.body866, "A131\x1c" "0\x1c");

  // The same frame checked against another password: refused, but still
  // split at the sent password so the log shows what came.
  ParsedRequest q = parseRequest(f, "ABCD");
  EXPECT_FALSE(q.passwordOk);
  EXPECT_EQ(q.password, "WKRD");
  EXPECT_EQ(q.code, "A1");

  // A frame without fields and an unexpected password length.
  ParsedRequest r = parseRequest(buildRequest("123456", 0x30, "A0"), "WKRD");
  EXPECT_FALSE(r.passwordOk);
  EXPECT_EQ(r.password, "123456");
  EXPECT_EQ(r.packetId, 0x30);
  EXPECT_EQ(r.code, "A0");

  // A password that is a prefix of what was sent is still wrong.
  EXPECT_FALSE(parseRequest(buildRequest("WKRDX", 0x20, "A0"), "WKRD").passwordOk);
}

TEST(Codec, ReplyLayoutAndChecksum) {
  Bytes r = buildReply(0x20, 0x00, {"0", "12", "3"});
  // STX id ' ' ' ' '0' '0' fields... ETX cs cs
  ASSERT_GE(r.size(), 9u);
  EXPECT_EQ(r[0], kStx);
  EXPECT_EQ(r[4], '0');
  EXPECT_EQ(r[5], '0');
  EXPECT_EQ(r[r.size() - 3], kEtx);
  std::string text(r.begin() + 6, r.end() - 3);
  EXPECT_EQ(text, "0\x1c" "12\x1c" "3\x1c");
  auto cs = parseHexByte(r[r.size() - 2], r[r.size() - 1]);
  ASSERT_TRUE(cs);
  EXPECT_EQ(*cs, xorBytes(r, 1, r.size() - 2));

  Bytes lower = buildReply(0x20, 0x3A, {"x"}, {true, false});
  EXPECT_EQ(lower[4], '3');
  EXPECT_EQ(lower[5], 'A');  // the result stays upper case
  EXPECT_EQ(buildReply(0x21, 0, {})[1], 0x21);  // the packet id is echoed...
  EXPECT_EQ(buildReply(0x06, 0, {})[1], ' ');   // ...unless a reader could take it for ACK
  Bytes bad = buildReply(0x20, 0x00, {}, {false, true});
  auto bcs = parseHexByte(bad[bad.size() - 2], bad[bad.size() - 1]);
  ASSERT_TRUE(bcs);
  EXPECT_NE(*bcs, xorBytes(bad, 1, bad.size() - 2));
}

TEST(Codec, EnvelopeOfTheStatusRequest) {
  const Bytes frame = {0x02, 0x20, 0x41, 0x30, 0x03, 0x35, 0x32};
  EXPECT_EQ(wrapEnvelope(frame), (Bytes{0x01, 0x07, 0x00, 0x02, 0x20, 0x41, 0x30, 0x03, 0x35, 0x32, 0x51}));
}

TEST(Codec, CodePage866RoundTrip) {
  EXPECT_EQ(utf8ToCp866("Хлеб"), std::string("\x95\xab\xa5\xa1"));
  EXPECT_EQ(cp866ToUtf8("\x95\xab\xa5\xa1"), "Хлеб");
  EXPECT_EQ(cp866ToUtf8(utf8ToCp866("Ёё №")), "Ёё №");
  EXPECT_EQ(utf8ToCp866("abc"), "abc");
  // unrepresentable and broken input do not throw or vanish silently
  EXPECT_EQ(utf8ToCp866("a€b"), "a?b");
  EXPECT_EQ(utf8ToCp866(std::string("a\xff" "b")), "a?b");
}

}  // namespace
}  // namespace termina::sim
