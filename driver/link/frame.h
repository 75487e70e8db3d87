// SPDX-License-Identifier: LGPL-2.1-or-later
// Frame layout of the register protocol, as pure functions over bytes: no
// channel, no driver state.  The exchange code feeds them what it reads; the
// fuzzers feed them anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace termina::link {

inline constexpr uint8_t STX = 0x02;
inline constexpr uint8_t ETX = 0x03;
inline constexpr uint8_t ENQ = 0x05;
inline constexpr uint8_t ACK = 0x06;
inline constexpr uint8_t CAN = 0x18;
inline constexpr uint8_t ESC = 0x1B;
inline constexpr uint8_t FS = 0x1C;
inline constexpr uint8_t ENVELOPE = 0x01;

// Size of the buffer the TCP envelope is built in; a frame must leave room
// for the four envelope bytes.
inline constexpr std::size_t kEnvelopeBuffer = 1024;
inline constexpr std::size_t kMaxEnvelopedFrame = kEnvelopeBuffer - 4;

// Largest reply the collector accepts (STX through the checksum).
inline constexpr std::size_t kMaxReply = 8192;

// XOR of the given bytes.
uint8_t xorBytes(std::string_view bytes);

// Two uppercase hexadecimal digits of a byte ("%02X").
std::string hex2(uint8_t value);

// Value of one hexadecimal digit of either case, or -1.
int hexDigit(char c);

// Reads at most two leading hexadecimal digits; nullopt when the text does
// not begin with one.
std::optional<unsigned> leadingHex2(std::string_view text);

// The request frame for a body (command code plus fields):
// STX, password, packet id, body, ETX converted as a whole from code page
// 1251 to 866, then the checksum over position 1 through ETX.
std::string buildFrame(std::string_view body, std::string_view password, uint8_t packetId);

// Wraps a frame in the TCP envelope: 01, length (LSB first), frame, XOR of
// everything before.  nullopt when the frame does not fit the envelope buffer.
std::optional<std::string> wrapEnvelope(std::string_view frame);

// The packet id that follows the given one: 0x20..0xFF, 0xFF wraps to 0x20.
uint8_t nextPacketId(uint8_t id);

// Collects a reply one byte at a time.  Every byte other than ACK is kept,
// from the first one on (nothing looks for STX); after ETX exactly two more
// bytes (the checksum) complete the reply.  The state survives silences, so
// a reply interrupted by a read time-out goes on where it stopped.
class ReplyCollector {
 public:
  enum class Step {
    More,      // byte kept, reply not complete
    Ack,       // ACK: register busy; the byte is not kept
    Complete,  // ETX and both checksum characters are in
    Overflow,  // the reply outgrew kMaxReply without ending
  };

  explicit ReplyCollector(std::size_t cap = kMaxReply) : cap_(cap) {}

  void reset();
  Step feed(uint8_t byte);
  const std::string& buffer() const { return buffer_; }
  bool complete() const { return tail_ == 0; }

 private:
  std::string buffer_;
  std::size_t cap_;
  int tail_ = -1;  // checksum bytes still due after ETX; -1 before ETX
};

// Checksum check of a complete reply: XOR of position 1 up to the third-last
// byte against the last two characters read as hexadecimal (either case).
bool replyChecksumOk(std::string_view reply);

// Drops the three bytes after STX together with STX (four in all) and the
// ETX with the checksum; what is left starts with the result code.
std::string stripReply(std::string_view reply);

// Splits a reply text after the result code: the result code (at most two
// hexadecimal digits) and the reply fields.  nullopt when the text does not
// begin with a hexadecimal digit.
struct ReplyText {
  uint16_t code;
  std::string fields;
};
std::optional<ReplyText> splitResult(std::string_view text);

// Returns the part of `text` before the first FS and removes it and the FS
// from the front of `text`.  Without an FS: returns "" and leaves `text`.
std::string nextField(std::string& text);

// Decodes digit pairs into bytes: 0-9, A-F and a-f count as hexadecimal
// digits, any other character counts with its own byte value; each byte is
// 16 * first + second, kept to eight bits.  Decodes min(count, text/2) bytes
// and returns how many it decoded.
std::size_t decodeHexPairs(std::string_view text, uint8_t* out, std::size_t count);

// A request or reply frame taken apart for the exchange trace: the command
// code of a request, the result code of a reply (-1 when the frame has
// none) and the fields, converted from code page 866 to UTF-8.
struct DecodedFrame {
  int command = -1;
  int result = -1;
  std::vector<std::string> fields;
};
// A request frame built with a password of passwordLength bytes.
DecodedFrame decodeRequest(std::string_view frame, std::size_t passwordLength);
// A reply frame, STX through the checksum.
DecodedFrame decodeReply(std::string_view reply);

// Encodes bytes as uppercase hexadecimal digit pairs.
std::string encodeHex(const uint8_t* data, std::size_t count);

}  // namespace termina::link
