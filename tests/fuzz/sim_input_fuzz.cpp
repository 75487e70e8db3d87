// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's reading of its input: the split of the incoming stream
// into ENQ, CAN, bare frames, TCP envelopes and stray bytes, then the
// request parser and the envelope decoder on what it delimits.
//
// The first input byte holds the transport (bit 0: TCP) and the seed of the
// chunk sizes in which the rest arrives.  The stream is split twice, once
// chunk by chunk as bytes arrive and once as a whole; both must give the
// same units (stray runs may be cut at a chunk end, so neighbouring stray
// units are joined before comparing), the units must add up to the stream,
// and each must have the shape its kind promises.
#include "codec.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using namespace termina::sim;

namespace {

using Bytes = std::vector<uint8_t>;
using Units = std::vector<std::pair<InputKind, Bytes>>;

void take(Bytes& buf, bool tcp, bool noMore, Units& out) {
  while (!buf.empty()) {
    InputUnit u = nextInputUnit(buf, tcp, noMore);
    if (u.kind == InputKind::NeedMore) {
      FUZZ_CHECK(!noMore);
      return;
    }
    FUZZ_CHECK(u.length >= 1 && u.length <= buf.size());
    out.emplace_back(u.kind, Bytes(buf.begin(), buf.begin() + static_cast<long>(u.length)));
    buf.erase(buf.begin(), buf.begin() + static_cast<long>(u.length));
  }
}

Units joinedStray(const Units& units) {
  Units out;
  for (const auto& u : units) {
    if (u.first == InputKind::Garbage && !out.empty() && out.back().first == InputKind::Garbage)
      out.back().second.insert(out.back().second.end(), u.second.begin(), u.second.end());
    else
      out.push_back(u);
  }
  return out;
}

uint8_t xorOf(const Bytes& b, size_t from, size_t to) {
  uint8_t x = 0;
  for (size_t i = from; i < to; ++i) x ^= b[i];
  return x;
}

int hexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

void checkFrame(const Bytes& f) {
  const size_t n = f.size();
  FUZZ_CHECK(n >= 4 && n <= kMaxRequestFrame + 3);
  FUZZ_CHECK(f[0] == kStx && f[n - 3] == kEtx);
  for (size_t i = 1; i < n - 3; ++i) FUZZ_CHECK(f[i] != kStx && f[i] != kEtx);

  const int hi = hexValue(f[n - 2]), lo = hexValue(f[n - 1]);
  const bool sumOk = hi >= 0 && lo >= 0 && hi * 16 + lo == xorOf(f, 1, n - 2);
  for (const std::string pw : {"", "WKRD", "0000"}) {
    ParsedRequest p = parseRequest(f, pw);
    FUZZ_CHECK(p.wellFormed);
    FUZZ_CHECK(p.checksumOk == sumOk);
    if (!p.passwordOk || !sumOk) continue;
    FUZZ_CHECK(p.password == pw);
    // The parts put back together give the frame again (the builder
    // writes its checksum in upper case).
    Bytes upper = f;
    for (size_t i = n - 2; i < n; ++i)
      if (upper[i] >= 'a' && upper[i] <= 'f') upper[i] = static_cast<uint8_t>(upper[i] - 'a' + 'A');
    FUZZ_CHECK(buildRequest(p.password, p.packetId, p.body866) == upper);
    FUZZ_CHECK(p.body866.compare(0, 2, p.code) == 0);
    std::string rest = p.body866.substr(2);
    std::string fields;
    for (size_t i = 0; i < p.fields866.size(); ++i)
      fields += (i ? std::string(1, static_cast<char>(kFs)) : std::string()) + p.fields866[i];
    if (!rest.empty() && static_cast<uint8_t>(rest.back()) == kFs) fields += static_cast<char>(kFs);
    FUZZ_CHECK(fields == rest);
  }
}

void checkEnvelope(const Bytes& e) {
  FUZZ_CHECK(e.size() >= 4 && e[0] == kEnvelope);
  FUZZ_CHECK(e.size() == 4 + (e[1] | (static_cast<size_t>(e[2]) << 8)));
  auto env = unwrapEnvelope(e);
  FUZZ_CHECK(env.has_value());
  FUZZ_CHECK(env->frame == Bytes(e.begin() + 3, e.end() - 1));
  FUZZ_CHECK(env->xorOk == (xorOf(e, 0, e.size()) == 0));
  FUZZ_CHECK((wrapEnvelope(env->frame) == e) == env->xorOk);
  if (env->frame.size() >= 4) (void)parseRequest(env->frame, "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool tcp = data[0] & 1;
  uint32_t seed = data[0] >> 1;
  const Bytes stream(data + 1, data + size);

  Units chunked;
  Bytes buf;
  for (size_t pos = 0; pos < stream.size();) {
    seed = seed * 1103515245u + 12345u;
    const size_t chunk = std::min<size_t>(1 + (seed >> 16) % 16, stream.size() - pos);
    buf.insert(buf.end(), stream.begin() + static_cast<long>(pos), stream.begin() + static_cast<long>(pos + chunk));
    pos += chunk;
    take(buf, tcp, false, chunked);
  }
  take(buf, tcp, true, chunked);
  FUZZ_CHECK(buf.empty());

  Units whole;
  Bytes all = stream;
  take(all, tcp, false, whole);
  take(all, tcp, true, whole);
  FUZZ_CHECK(joinedStray(chunked) == joinedStray(whole));

  Bytes again;
  for (const auto& [kind, bytes] : chunked) {
    again.insert(again.end(), bytes.begin(), bytes.end());
    switch (kind) {
      case InputKind::Enq: FUZZ_CHECK(bytes == Bytes{kEnq}); break;
      case InputKind::Can: FUZZ_CHECK(bytes == Bytes{kCan}); break;
      case InputKind::Frame: checkFrame(bytes); break;
      case InputKind::Envelope:
        FUZZ_CHECK(tcp);
        checkEnvelope(bytes);
        break;
      case InputKind::Garbage: break;
      case InputKind::NeedMore: FUZZ_CHECK(false);
    }
  }
  FUZZ_CHECK(again == stream);
  return 0;
}
