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
  bool wellFormed = false;     // STX ... ETX cs cs
  bool checksumOk = false;
  bool passwordOk = false;     // the text begins with the expected password
  std::string password;        // as received (code page 866)
  uint8_t packetId = 0;
  std::string code;            // two characters after the packet id
  bool codeIsHex = false;
  std::string body866;         // code + fields, FS kept
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

// Text helpers.
std::string hexUpper(const std::vector<uint8_t>& bytes);

}  // namespace termina::sim
