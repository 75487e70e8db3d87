// SPDX-License-Identifier: GPL-3.0-or-later
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
  Bytes f2 = buildRequest("WKRD", 0x21,
                          "A5"
                          "0\x1c");
  ASSERT_GE(f2.size(), 2u);
  for (size_t i = f2.size() - 2; i < f2.size(); ++i)
    if (f2[i] >= 'A' && f2[i] <= 'F') f2[i] = static_cast<uint8_t>(f2[i] - 'A' + 'a');
  EXPECT_TRUE(parseRequest(f2, "WKRD").checksumOk);
}

TEST(Codec, FieldsAndWrongPasswordSplit) {
  Bytes f = buildRequest("WKRD", 0x25,
                         "A1"
                         "31\x1c"
                         "0\x1c");
  ParsedRequest p = parseRequest(f, "WKRD");
  EXPECT_TRUE(p.passwordOk);
  EXPECT_EQ(p.code, "A1");
  ASSERT_EQ(p.fields866.size(), 2u);
  EXPECT_EQ(p.fields866[0], "31");
  EXPECT_EQ(p.fields866[1], "0");
  EXPECT_EQ(p.body866,
            "A131\x1c"
            "0\x1c");

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
  EXPECT_EQ(text,
            "0\x1c"
            "12\x1c"
            "3\x1c");
  auto cs = parseHexByte(r[r.size() - 2], r[r.size() - 1]);
  ASSERT_TRUE(cs);
  EXPECT_EQ(*cs, xorBytes(r, 1, r.size() - 2));

  Bytes lower = buildReply(0x20, 0x3A, {"x"}, {true, false});
  EXPECT_EQ(lower[4], '3');
  EXPECT_EQ(lower[5], 'A');                     // the result stays upper case
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

TEST(Codec, EnvelopeUnwrapChecksItsLengthAndXor) {
  const Bytes env = {0x01, 0x07, 0x00, 0x02, 0x20, 0x41, 0x30, 0x03, 0x35, 0x32, 0x51};
  auto e = unwrapEnvelope(env);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->frame, (Bytes{0x02, 0x20, 0x41, 0x30, 0x03, 0x35, 0x32}));
  EXPECT_TRUE(e->xorOk);
  Bytes bad = env;
  bad.back() ^= 1;
  ASSERT_TRUE(unwrapEnvelope(bad));
  EXPECT_FALSE(unwrapEnvelope(bad)->xorOk);
  EXPECT_FALSE(unwrapEnvelope(Bytes(env.begin(), env.end() - 1)));  // one byte short of its length
  EXPECT_FALSE(unwrapEnvelope(Bytes{0x02, 0x00, 0x00, 0x02}));      // not an envelope
  auto empty = unwrapEnvelope(Bytes{0x01, 0x00, 0x00, 0x01});
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->frame.empty());
  EXPECT_TRUE(empty->xorOk);
}

TEST(Codec, InputDividesIntoUnits) {
  auto unit = [](const Bytes& in, bool tcp = false, bool noMore = false) {
    InputUnit u = nextInputUnit(in, tcp, noMore);
    return std::pair(u.kind, u.length);
  };
  using K = InputKind;
  const Bytes status = {0x02, 0x20, 0x41, 0x30, 0x03, 0x35, 0x32};
  EXPECT_EQ(unit({}), std::pair(K::NeedMore, size_t{0}));
  EXPECT_EQ(unit({}, false, true), std::pair(K::NeedMore, size_t{0}));
  EXPECT_EQ(unit({0x05, 0x05}), std::pair(K::Enq, size_t{1}));
  EXPECT_EQ(unit({0x18, 0x02}), std::pair(K::Can, size_t{1}));

  Bytes two = status;
  two.insert(two.end(), status.begin(), status.end());
  EXPECT_EQ(unit(two), std::pair(K::Frame, size_t{7}));
  // Until its checksum has arrived a frame is unfinished; after the
  // time-out it is stray bytes.
  EXPECT_EQ(unit(Bytes(status.begin(), status.end() - 1)), std::pair(K::NeedMore, size_t{0}));
  EXPECT_EQ(unit(Bytes(status.begin(), status.end() - 1), false, true), std::pair(K::Garbage, size_t{6}));
  // A second STX before ETX: the first frame is abandoned.
  EXPECT_EQ(unit({0x02, 0x41, 0x02, 0x41, 0x03, 0x30, 0x30}), std::pair(K::Garbage, size_t{2}));
  // Stray bytes run up to whatever can start a unit; 01 does so only on TCP.
  EXPECT_EQ(unit({'x', 'y', 0x01, 'z', 0x05}), std::pair(K::Garbage, size_t{4}));
  EXPECT_EQ(unit({'x', 'y', 0x01, 'z', 0x05}, true), std::pair(K::Garbage, size_t{2}));
  EXPECT_EQ(unit({0x01, 0x07}), std::pair(K::Garbage, size_t{2}));  // not TCP: 01 is stray

  const Bytes env = wrapEnvelope(status);
  EXPECT_EQ(unit(env, true), std::pair(K::Envelope, env.size()));
  EXPECT_EQ(unit(Bytes(env.begin(), env.begin() + 2), true), std::pair(K::NeedMore, size_t{0}));
  EXPECT_EQ(unit(Bytes(env.begin(), env.end() - 1), true), std::pair(K::NeedMore, size_t{0}));
  EXPECT_EQ(unit(Bytes(env.begin(), env.end() - 1), true, true), std::pair(K::Garbage, env.size() - 1));
  // The length is taken as given: a huge one waits (and then times out).
  EXPECT_EQ(unit({0x01, 0xFF, 0xFF, 0x02}, true), std::pair(K::NeedMore, size_t{0}));
}

TEST(Codec, AFrameWithoutEtxIsGivenUpAtTheLimit) {
  Bytes in(kMaxRequestFrame + 10, 'x');
  in[0] = 0x02;
  EXPECT_EQ(nextInputUnit(in, false, false).kind, InputKind::Garbage);
  EXPECT_EQ(nextInputUnit(in, false, false).length, kMaxRequestFrame + 1);
  in.resize(kMaxRequestFrame);
  EXPECT_EQ(nextInputUnit(in, false, false).kind, InputKind::NeedMore);
}

TEST(Codec, CodePage866RoundTrip) {
  EXPECT_EQ(utf8ToCp866("Хлеб"), std::string("\x95\xab\xa5\xa1"));
  EXPECT_EQ(cp866ToUtf8("\x95\xab\xa5\xa1"), "Хлеб");
  EXPECT_EQ(cp866ToUtf8(utf8ToCp866("Ёё №")), "Ёё №");
  EXPECT_EQ(utf8ToCp866("abc"), "abc");
  // unrepresentable and broken input do not throw or vanish silently
  EXPECT_EQ(utf8ToCp866("a€b"), "a?b");
  EXPECT_EQ(utf8ToCp866(std::string("a\xff"
                                    "b")),
            "a?b");
}

}  // namespace
}  // namespace termina::sim
