// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdio>

namespace termina::sim {
namespace {

std::string convert(std::string_view in, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::string out;
  out.reserve(in.size() * 2 + 4);
  std::array<char, 256> buf{};
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char* dst = buf.data();
    size_t dstLeft = buf.size();
    size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf.data(), buf.size() - dstLeft);
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // Invalid or unrepresentable input: emit '?' and skip one byte (for
      // UTF-8 input, the whole sequence).
      out.push_back('?');
      size_t skip = 1;
      if (std::string_view(from) == "UTF-8") {
        auto c = static_cast<unsigned char>(*src);
        if ((c & 0xE0) == 0xC0)
          skip = 2;
        else if ((c & 0xF0) == 0xE0)
          skip = 3;
        else if ((c & 0xF8) == 0xF0)
          skip = 4;
        if (skip > srcLeft) skip = srcLeft;
        for (size_t i = 1; i < skip; ++i) {
          if ((static_cast<unsigned char>(src[i]) & 0xC0) != 0x80) {
            skip = i;
            break;
          }
        }
      }
      src += skip;
      srcLeft -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

bool isUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

constexpr std::array<const char*, 44> kKnownCodes = {"00", "08", "09", "0A", "20", "21", "22", "23", "24", "30", "31",
                                                     "32", "33", "34", "35", "36", "60", "61", "62", "63", "64", "65",
                                                     "66", "67", "68", "69", "80", "81", "A0", "A1", "A2", "A3", "A4",
                                                     "A5", "A6", "A7", "A9", "E0", "E1", "E2", "E3", "E7", "A8", "E4"};

bool isKnownCode(const std::string& text, size_t at) {
  if (at + 2 > text.size()) return false;
  for (const char* c : kKnownCodes)
    if (text[at] == c[0] && text[at + 1] == c[1]) return true;
  return false;
}

}  // namespace

std::string cp866ToUtf8(std::string_view cp866) { return convert(cp866, "CP866", "UTF-8"); }
std::string utf8ToCp866(std::string_view utf8) { return convert(utf8, "UTF-8", "CP866"); }

uint8_t xorBytes(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  uint8_t x = 0;
  for (size_t i = from; i < to && i < bytes.size(); ++i) x ^= bytes[i];
  return x;
}

std::optional<uint8_t> parseHexByte(uint8_t hi, uint8_t lo) {
  auto val = [](uint8_t c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  int h = val(hi), l = val(lo);
  if (h < 0 || l < 0) return std::nullopt;
  return static_cast<uint8_t>(h * 16 + l);
}

ParsedRequest parseRequest(const std::vector<uint8_t>& frame, const std::string& expectedPassword866) {
  ParsedRequest r;
  const size_t n = frame.size();
  if (n < 4 || frame[0] != kStx || frame[n - 3] != kEtx) return r;
  r.wellFormed = true;
  auto cs = parseHexByte(frame[n - 2], frame[n - 1]);
  r.checksumOk = cs && *cs == xorBytes(frame, 1, n - 2);

  // Text between STX and ETX: password, packet id, code, fields.
  std::string text(frame.begin() + 1, frame.end() - 3);
  auto headerFits = [&](size_t p) { return p + 3 <= text.size(); };

  size_t split = std::string::npos;
  const size_t pl = expectedPassword866.size();
  if (headerFits(pl) && text.compare(0, pl, expectedPassword866) == 0 && isUpperHex(text[pl + 1]) &&
      isUpperHex(text[pl + 2])) {
    split = pl;
    r.passwordOk = true;
  } else {
    // Wrong password: its length is unknown.  Without fields the header is
    // the whole text; otherwise prefer the usual lengths, then any split
    // that lands on a known command code.
    if (text.find(static_cast<char>(kFs)) == std::string::npos && text.size() >= 3) {
      split = text.size() - 3;
    } else {
      for (size_t p : {pl, size_t{4}, size_t{0}})
        if (split == std::string::npos && headerFits(p) && isKnownCode(text, p + 1)) split = p;
      for (size_t p = 0; split == std::string::npos && headerFits(p); ++p)
        if (isKnownCode(text, p + 1)) split = p;
      if (split == std::string::npos) split = headerFits(pl) ? pl : (text.size() >= 3 ? text.size() - 3 : 0);
    }
  }
  if (!headerFits(split)) {
    r.password = text;
    return r;
  }
  r.password = text.substr(0, split);
  r.packetId = static_cast<uint8_t>(text[split]);
  r.code = text.substr(split + 1, 2);
  r.codeIsHex = isUpperHex(r.code[0]) && isUpperHex(r.code[1]);
  r.body866 = text.substr(split + 1);
  std::string rest = text.substr(split + 3);
  size_t pos = 0;
  while (true) {
    size_t fs = rest.find(static_cast<char>(kFs), pos);
    if (fs == std::string::npos) {
      if (pos < rest.size()) r.fields866.push_back(rest.substr(pos));  // last field without its FS
      break;
    }
    r.fields866.push_back(rest.substr(pos, fs - pos));
    pos = fs + 1;
  }
  return r;
}

std::vector<uint8_t> buildReply(uint8_t packetId, uint8_t result, const std::vector<std::string>& fields866,
                                ReplyOptions opts) {
  std::vector<uint8_t> f;
  f.push_back(kStx);
  // The packet id is echoed; a control byte there (possible only in a frame
  // split by guessing) could be taken for ACK or ETX by the reader.
  f.push_back(packetId >= 0x20 ? packetId : static_cast<uint8_t>(' '));
  f.push_back(' ');
  f.push_back(' ');
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", result);
  f.push_back(static_cast<uint8_t>(hex[0]));
  f.push_back(static_cast<uint8_t>(hex[1]));
  for (const auto& field : fields866) {
    f.insert(f.end(), field.begin(), field.end());
    f.push_back(kFs);
  }
  f.push_back(kEtx);
  uint8_t cs = xorBytes(f, 1, f.size());
  if (opts.badChecksum) cs ^= 0x5A;
  std::snprintf(hex, sizeof hex, opts.lowerCaseChecksum ? "%02x" : "%02X", cs);
  f.push_back(static_cast<uint8_t>(hex[0]));
  f.push_back(static_cast<uint8_t>(hex[1]));
  return f;
}

std::vector<uint8_t> buildRequest(const std::string& password866, uint8_t packetId, const std::string& body866) {
  std::vector<uint8_t> f;
  f.push_back(kStx);
  f.insert(f.end(), password866.begin(), password866.end());
  f.push_back(packetId);
  f.insert(f.end(), body866.begin(), body866.end());
  f.push_back(kEtx);
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", xorBytes(f, 1, f.size()));
  f.push_back(static_cast<uint8_t>(hex[0]));
  f.push_back(static_cast<uint8_t>(hex[1]));
  return f;
}

std::vector<uint8_t> wrapEnvelope(const std::vector<uint8_t>& frame) {
  std::vector<uint8_t> e;
  e.push_back(kEnvelope);
  e.push_back(static_cast<uint8_t>(frame.size() & 0xFF));
  e.push_back(static_cast<uint8_t>((frame.size() >> 8) & 0xFF));
  e.insert(e.end(), frame.begin(), frame.end());
  e.push_back(xorBytes(e, 0, e.size()));
  return e;
}

std::optional<Envelope> unwrapEnvelope(const std::vector<uint8_t>& envelope) {
  const size_t n = envelope.size();
  if (n < 4 || envelope[0] != kEnvelope) return std::nullopt;
  const size_t len = envelope[1] | (static_cast<size_t>(envelope[2]) << 8);
  if (len + 4 != n) return std::nullopt;
  Envelope e;
  e.frame.assign(envelope.begin() + 3, envelope.end() - 1);
  e.xorOk = xorBytes(envelope, 0, n - 1) == envelope.back();
  return e;
}

std::string hexUpper(const std::vector<uint8_t>& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s.push_back(digits[b >> 4]);
    s.push_back(digits[b & 15]);
  }
  return s;
}

}  // namespace termina::sim
