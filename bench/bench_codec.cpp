// SPDX-License-Identifier: GPL-3.0-or-later
// The frame work of one exchange without the line: building a request
// (code page conversion and checksum included), wrapping it for TCP, and
// collecting, checking and unpacking a reply.  Reported in bytes per second;
// the counter line_x says how many times faster than a 115200 baud line
// (11 520 bytes a second) that is.
#include "codepage.h"
#include "frame.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace termina;

constexpr double kLine115200 = 115200 / 10.0;

// A request body of about n bytes, with Cyrillic text (code page 1251) as a
// receipt line has it.
std::string requestBody(std::size_t n) {
  std::string body = "22";
  const std::string word = cp::utf8ToAnsi("Молоко 3,2% 1 л");
  while (body.size() + word.size() + 1 <= n) {
    body += word;
    body.push_back('\x1C');
  }
  while (body.size() < n) body.push_back('1');
  return body;
}

// A reply frame (code page 866) with about n bytes of fields: STX, three
// bytes, result code "00", fields, ETX and the checksum.
std::string replyFrame(std::size_t n) {
  std::string text =
      "\x02"
      "1!0"
      "00";
  const std::string word = cp::ansiToOem(cp::utf8ToAnsi("ИТОГ 1234.56"));
  while (text.size() + word.size() + 1 <= n) {
    text += word;
    text.push_back('\x1C');
  }
  text.push_back('\x03');
  text += link::hex2(link::xorBytes(std::string_view(text).substr(1)));
  return text;
}

void setRates(benchmark::State& state, std::size_t bytesPerIteration) {
  const double bytes = static_cast<double>(bytesPerIteration) * static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["line_x"] = benchmark::Counter(bytes / kLine115200, benchmark::Counter::kIsRate);
}

void BM_BuildFrame(benchmark::State& state) {
  const std::string body = requestBody(static_cast<std::size_t>(state.range(0)));
  std::size_t size = 0;
  for (auto _ : state) {
    std::string frame = link::buildFrame(body, "WKRD", 0x20);
    size = frame.size();
    benchmark::DoNotOptimize(frame.data());
  }
  setRates(state, size);
}
BENCHMARK(BM_BuildFrame)->Arg(2)->Arg(64)->Arg(1000);

void BM_BuildFrameTcp(benchmark::State& state) {
  const std::string body = requestBody(static_cast<std::size_t>(state.range(0)));
  std::size_t size = 0;
  for (auto _ : state) {
    auto env = link::wrapEnvelope(link::buildFrame(body, "WKRD", 0x20));
    size = env->size();
    benchmark::DoNotOptimize(env->data());
  }
  setRates(state, size);
}
BENCHMARK(BM_BuildFrameTcp)->Arg(2)->Arg(64)->Arg(1000);

// What ReadReply does with the bytes once they are read: collect them one
// at a time, check the checksum, cut head and tail, convert 866 -> 1251 and
// split off the result code.
void BM_CollectReply(benchmark::State& state) {
  const std::string frame = replyFrame(static_cast<std::size_t>(state.range(0)));
  link::ReplyCollector collector;
  for (auto _ : state) {
    collector.reset();
    for (char c : frame)
      if (collector.feed(static_cast<uint8_t>(c)) == link::ReplyCollector::Step::Complete) break;
    if (!collector.complete() || !link::replyChecksumOk(collector.buffer())) {
      state.SkipWithError("reply not accepted");
      break;
    }
    auto rt = link::splitResult(cp::oemToAnsi(link::stripReply(collector.buffer())));
    benchmark::DoNotOptimize(rt);
  }
  setRates(state, frame.size());
}
BENCHMARK(BM_CollectReply)->Arg(20)->Arg(200)->Arg(4000);

}  // namespace
