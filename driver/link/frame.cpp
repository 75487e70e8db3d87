// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frame.h"

#include "codepage.h"

#include <algorithm>

namespace termina::link {

uint8_t xorBytes(std::string_view bytes) {
  uint8_t x = 0;
  for (char c : bytes) x ^= static_cast<uint8_t>(c);
  return x;
}

std::string hex2(uint8_t value) {
  static const char digits[] = "0123456789ABCDEF";
  return {digits[value >> 4], digits[value & 0x0F]};
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<unsigned> leadingHex2(std::string_view text) {
  if (text.empty() || hexDigit(text[0]) < 0) return std::nullopt;
  unsigned v = static_cast<unsigned>(hexDigit(text[0]));
  if (text.size() > 1 && hexDigit(text[1]) >= 0) v = v * 16 + static_cast<unsigned>(hexDigit(text[1]));
  return v;
}

std::string buildFrame(std::string_view body, std::string_view password, uint8_t packetId) {
  std::string frame;
  frame.reserve(body.size() + password.size() + 5);
  frame.push_back(static_cast<char>(STX));
  frame.append(password);
  frame.push_back(static_cast<char>(packetId));
  frame.append(body);
  frame.push_back(static_cast<char>(ETX));
  frame = cp::ansiToOem(frame);
  frame += hex2(xorBytes(std::string_view(frame).substr(1)));
  return frame;
}

std::optional<std::string> wrapEnvelope(std::string_view frame) {
  if (frame.size() > kMaxEnvelopedFrame) return std::nullopt;
  std::string env;
  env.reserve(frame.size() + 4);
  env.push_back(static_cast<char>(ENVELOPE));
  env.push_back(static_cast<char>(frame.size() & 0xFF));
  env.push_back(static_cast<char>((frame.size() >> 8) & 0xFF));
  env.append(frame);
  env.push_back(static_cast<char>(xorBytes(env)));
  return env;
}

uint8_t nextPacketId(uint8_t id) { return id == 0xFF ? 0x20 : static_cast<uint8_t>(id + 1); }

void ReplyCollector::reset() {
  buffer_.clear();
  tail_ = -1;
}

ReplyCollector::Step ReplyCollector::feed(uint8_t byte) {
  if (tail_ == 0) return Step::Complete;
  if (tail_ > 0) {
    buffer_.push_back(static_cast<char>(byte));
    return --tail_ == 0 ? Step::Complete : Step::More;
  }
  if (byte == ACK) return Step::Ack;
  if (buffer_.size() >= cap_ - 2) return Step::Overflow;
  buffer_.push_back(static_cast<char>(byte));
  if (byte == ETX) tail_ = 2;
  return Step::More;
}

bool replyChecksumOk(std::string_view reply) {
  if (reply.size() < 3) return false;
  std::string_view covered = reply.substr(0, reply.size() - 2);
  uint8_t x = covered.size() > 1 ? xorBytes(covered.substr(1)) : 0;
  auto stated = leadingHex2(reply.substr(reply.size() - 2));
  return stated && *stated == x;
}

std::string stripReply(std::string_view reply) {
  if (reply.size() <= 7) return {};
  return std::string(reply.substr(4, reply.size() - 7));
}

std::optional<ReplyText> splitResult(std::string_view text) {
  auto code = leadingHex2(text);
  if (!code) return std::nullopt;
  std::size_t used = text.size() >= 2 ? 2 : text.size();
  return ReplyText{static_cast<uint16_t>(*code), std::string(text.substr(used))};
}

std::string nextField(std::string& text) {
  std::size_t pos = text.find(static_cast<char>(FS));
  if (pos == std::string::npos) return {};
  std::string field = text.substr(0, pos);
  text.erase(0, pos + 1);
  return field;
}

static unsigned pairValue(char c) {
  int d = hexDigit(c);
  return d >= 0 ? static_cast<unsigned>(d) : static_cast<unsigned char>(c);
}

std::size_t decodeHexPairs(std::string_view text, uint8_t* out, std::size_t count) {
  std::size_t n = std::min(count, text.size() / 2);
  for (std::size_t i = 0; i < n; ++i)
    out[i] = static_cast<uint8_t>((pairValue(text[2 * i]) * 16 + pairValue(text[2 * i + 1])) & 0xFF);
  return n;
}

std::string encodeHex(const uint8_t* data, std::size_t count) {
  std::string s;
  s.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) s += hex2(data[i]);
  return s;
}

namespace {

// Fields of a body, each ended by FS; text after the last FS counts as one
// more field when there is any.
std::vector<std::string> splitFields(std::string_view text) {
  std::vector<std::string> out;
  while (!text.empty()) {
    std::size_t pos = text.find(static_cast<char>(FS));
    out.push_back(cp::oemToUtf8(text.substr(0, pos)));
    if (pos == std::string_view::npos) break;
    text.remove_prefix(pos + 1);
  }
  return out;
}

}  // namespace

DecodedFrame decodeRequest(std::string_view frame, std::size_t passwordLength) {
  DecodedFrame d;
  if (frame.empty() || static_cast<uint8_t>(frame[0]) != STX || frame.size() < passwordLength + 4) return d;
  std::string_view body = frame.substr(passwordLength + 2);
  std::size_t etx = body.rfind(static_cast<char>(ETX));
  if (etx != std::string_view::npos) body = body.substr(0, etx);
  if (body.size() < 2 || hexDigit(body[0]) < 0 || hexDigit(body[1]) < 0) return d;
  d.command = hexDigit(body[0]) * 16 + hexDigit(body[1]);
  d.fields = splitFields(body.substr(2));
  return d;
}

DecodedFrame decodeReply(std::string_view reply) {
  DecodedFrame d;
  if (reply.size() < 7 || static_cast<uint8_t>(reply[0]) != STX) return d;
  auto rt = splitResult(stripReply(reply));
  if (!rt) return d;
  d.result = rt->code;
  d.fields = splitFields(rt->fields);
  return d;
}

}  // namespace termina::link
