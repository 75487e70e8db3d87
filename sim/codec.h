// SPDX-License-Identifier: GPL-3.0-or-later
// Wire codec of the simulator: request frame parsing, reply frame building,
// the TCP envelope and the code page 866 conversion.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace termina::sim {

inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr uint8_t kEnq = 0x05;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kCan = 0x18;
inline constexpr uint8_t kEsc = 0x1B;
inline constexpr uint8_t kFs = 0x1C;
inline constexpr uint8_t kEnvelope = 0x01;

// Code page conversion.  Characters that cannot be represented become '?'.
std::string cp866ToUtf8(std::string_view cp866);
std::string utf8ToCp866(std::string_view utf8);

// XOR of bytes [from, to).
uint8_t xorBytes(const std::vector<uint8_t>& bytes, size_t from, size_t to);

// Two hex digits, upper or lower case; nullopt when either is not a hex digit.
std::optional<uint8_t> parseHexByte(uint8_t hi, uint8_t lo);

struct ParsedRequest {
  bool wellFormed = false;  // STX ... ETX cs cs
  bool checksumOk = false;
  bool passwordOk = false;  // the text begins with the expected password
  std::string password;     // as received (code page 866)
  uint8_t packetId = 0;
  std::string code;  // two characters after the packet id
  bool codeIsHex = false;
  std::string body866;  // code + fields, FS kept
  std::vector<std::string> fields866;
};

// Decodes a complete request frame (STX..checksum).  expectedPassword866 is
// the register's data-exchange password; the frame carries no length of its
// password, so a frame that does not start with it is split by guessing.
ParsedRequest parseRequest(const std::vector<uint8_t>& frame, const std::string& expectedPassword866);

struct ReplyOptions {
  bool lowerCaseChecksum = false;
  bool badChecksum = false;
};

// STX, the packet id (a blank if it is a control byte) and two blanks, the result as two uppercase hex digits,
// every field followed by FS, ETX and the XOR checksum over positions 1..ETX.
std::vector<uint8_t> buildReply(uint8_t packetId, uint8_t result, const std::vector<std::string>& fields866,
                                ReplyOptions opts = {});

// Request frame as a driver would build it (used by tests and tools).
std::vector<uint8_t> buildRequest(const std::string& password866, uint8_t packetId, const std::string& body866);

// TCP envelope: 01, length lo, length hi, frame, XOR of everything before.
std::vector<uint8_t> wrapEnvelope(const std::vector<uint8_t>& frame);

struct Envelope {
  std::vector<uint8_t> frame;
  bool xorOk = false;
};
// The frame inside one whole envelope; nullopt when the bytes are not one
// (no 01 first, or a length that does not match their count).
std::optional<Envelope> unwrapEnvelope(const std::vector<uint8_t>& envelope);

// How the register's input stream divides into units.  The register looks
// at most this far for the ETX of a bare frame before it gives the bytes up.
inline constexpr size_t kMaxRequestFrame = 8192;

enum class InputKind {
  NeedMore,  // the start of a frame or envelope that has not all arrived
  Enq,       // one ENQ
  Can,       // one CAN
  Frame,     // STX .. ETX and two checksum characters
  Envelope,  // TCP only: 01, length lo, length hi, frame, XOR
  Garbage,   // anything else, up to the next byte that can start a unit
};

struct InputUnit {
  InputKind kind = InputKind::NeedMore;
  size_t length = 0;  // bytes at the start of the input the unit spans
};

// The unit at the start of `in` (any random-access byte container).
// `noMore` says no further byte will arrive in time (the inter-byte
// time-out ran out): an unfinished frame or envelope is then garbage.  A
// new STX before the ETX makes the old frame garbage.  Every unit but
// NeedMore spans at least one byte, so a caller always makes progress.
template <class Bytes>
InputUnit nextInputUnit(const Bytes& in, bool tcp, bool noMore) {
  const size_t n = in.size();
  if (n == 0) return {InputKind::NeedMore, 0};
  const auto unfinished = [&] { return noMore ? InputUnit{InputKind::Garbage, n} : InputUnit{InputKind::NeedMore, 0}; };
  const auto startsUnit = [tcp](uint8_t x) { return x == kEnq || x == kCan || x == kStx || (tcp && x == kEnvelope); };
  const uint8_t first = static_cast<uint8_t>(in[0]);
  if (first == kEnq) return {InputKind::Enq, 1};
  if (first == kCan) return {InputKind::Can, 1};
  if (first == kStx) {
    for (size_t i = 1;; ++i) {
      if (i > kMaxRequestFrame) return {InputKind::Garbage, i};
      if (i >= n) return unfinished();
      const uint8_t x = static_cast<uint8_t>(in[i]);
      if (x == kStx) return {InputKind::Garbage, i};
      if (x == kEtx) return i + 3 <= n ? InputUnit{InputKind::Frame, i + 3} : unfinished();
    }
  }
  if (tcp && first == kEnvelope) {
    if (n < 3) return unfinished();
    const size_t len = static_cast<uint8_t>(in[1]) | (static_cast<size_t>(static_cast<uint8_t>(in[2])) << 8);
    return n >= len + 4 ? InputUnit{InputKind::Envelope, len + 4} : unfinished();
  }
  size_t i = 1;
  while (i < n && !startsUnit(static_cast<uint8_t>(in[i]))) ++i;
  return {InputKind::Garbage, i};
}

// Text helpers.
std::string hexUpper(const std::vector<uint8_t>& bytes);

}  // namespace termina::sim
