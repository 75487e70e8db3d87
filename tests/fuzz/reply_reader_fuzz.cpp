// SPDX-License-Identifier: GPL-3.0-or-later
// The reply reader fed an arbitrary incoming stream.  The input is a script
// of records, each starting with one header byte h:
//   h >> 6 == 0: the next (h & 0x3F) + 1 input bytes arrive as one chunk;
//   h >> 6 == 1: a silent read wait (the driver would send ENQ);
//   h >> 6 == 2: (h & 0x3F) + 1 ACK bytes arrive;
//   h >> 6 == 3: the patience limit becomes h & 0x3F.
// The first input byte picks the collector's size limit (small limits
// reach the overflow path quickly).  The loop is the one the exchange runs:
// a silence counts one patience step, an ACK restarts the count, more steps
// than the limit end the wait.  A complete reply then goes through the
// checksum check, the cut of head and tail, the code page conversion, the
// split of the result code and the field walk, and each stage is checked
// against what it must give.
#include "codepage.h"
#include "frame.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace termina;

namespace {

// The checksum rule written out independently of the driver's code.
bool checksumHolds(const std::string& r) {
  if (r.size() < 3) return false;
  uint8_t x = 0;
  for (std::size_t i = 1; i + 2 < r.size(); ++i) x ^= static_cast<uint8_t>(r[i]);
  int hi = link::hexDigit(r[r.size() - 2]);
  int lo = link::hexDigit(r[r.size() - 1]);
  if (hi < 0) return false;
  unsigned stated = lo < 0 ? static_cast<unsigned>(hi) : static_cast<unsigned>(hi * 16 + lo);
  return stated == x;
}

void checkComplete(const std::string& r, std::size_t cap) {
  FUZZ_CHECK(r.size() >= 3 && r.size() <= cap);
  // The reply ends two bytes after its first ETX, and holds no ACK before it.
  FUZZ_CHECK(static_cast<uint8_t>(r[r.size() - 3]) == link::ETX);
  std::string_view head(r.data(), r.size() - 3);
  FUZZ_CHECK(head.find(static_cast<char>(link::ETX)) == std::string_view::npos);
  FUZZ_CHECK(head.find(static_cast<char>(link::ACK)) == std::string_view::npos);

  const bool ok = link::replyChecksumOk(r);
  FUZZ_CHECK(ok == checksumHolds(r));
  if (!ok) return;  // the exchange fails with 7 here

  std::string text = link::stripReply(r);
  FUZZ_CHECK(text.size() == (r.size() > 7 ? r.size() - 7 : 0));
  if (!text.empty()) FUZZ_CHECK(text == r.substr(4, r.size() - 7));
  text = cp::oemToAnsi(text);
  FUZZ_CHECK(text.size() == (r.size() > 7 ? r.size() - 7 : 0));

  auto rt = link::splitResult(text);
  if (!rt) {
    FUZZ_CHECK(text.empty() || link::hexDigit(text[0]) < 0);
    return;  // the exchange fails with 7 here
  }
  FUZZ_CHECK(rt->code <= 0xFF);
  FUZZ_CHECK(rt->fields.size() + std::min<std::size_t>(2, text.size()) == text.size());

  // Walking the fields ends, consumes the text up to its last FS and
  // never hands out an FS.
  std::string rest = rt->fields;
  std::size_t consumed = 0;
  for (std::size_t guard = 0; guard <= rt->fields.size() + 1; ++guard) {
    std::size_t before = rest.size();
    std::string f = link::nextField(rest);
    FUZZ_CHECK(f.find(static_cast<char>(link::FS)) == std::string::npos);
    if (rest.size() == before) {
      FUZZ_CHECK(f.empty());
      break;
    }
    consumed += f.size() + 1;
  }
  FUZZ_CHECK(rest.find(static_cast<char>(link::FS)) == std::string::npos);
  FUZZ_CHECK(consumed + rest.size() == rt->fields.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t cap = data[0] < 0x80 ? 3 + data[0] : link::kMaxReply;
  link::ReplyCollector reply(cap);

  unsigned limit = 2;  // the tests' TRMATMOUT
  unsigned patience = 1;
  std::size_t i = 1;
  bool done = false;
  auto feed = [&](uint8_t b) {
    switch (reply.feed(b)) {
      case link::ReplyCollector::Step::Ack:
        FUZZ_CHECK(b == link::ACK);
        patience = 0;
        break;
      case link::ReplyCollector::Step::More: break;
      case link::ReplyCollector::Step::Complete:
        FUZZ_CHECK(reply.complete());
        checkComplete(reply.buffer(), cap);
        done = true;
        break;
      case link::ReplyCollector::Step::Overflow:
        FUZZ_CHECK(reply.buffer().size() + 2 >= cap);
        done = true;  // the exchange fails with 48
        break;
    }
    FUZZ_CHECK(reply.buffer().size() <= cap);
  };

  while (i < size && !done) {
    const uint8_t h = data[i++];
    switch (h >> 6) {
      case 0: {
        std::size_t n = (h & 0x3F) + 1u;
        for (std::size_t k = 0; k < n && i < size && !done; ++k) feed(data[i++]);
        break;
      }
      case 1:
        // Silence: the bytes so far stay; one more patience step.
        if (++patience > limit) done = true;  // the exchange fails with 48
        break;
      case 2:
        for (unsigned k = 0; k < (h & 0x3Fu) + 1u && !done; ++k) feed(link::ACK);
        break;
      case 3: limit = h & 0x3Fu; break;
    }
  }

  // A finished collector takes nothing more; a reset one starts empty.
  if (reply.complete()) {
    const std::string before = reply.buffer();
    FUZZ_CHECK(reply.feed('x') == link::ReplyCollector::Step::Complete);
    FUZZ_CHECK(reply.buffer() == before);
  }
  reply.reset();
  FUZZ_CHECK(reply.buffer().empty() && !reply.complete());
  return 0;
}
