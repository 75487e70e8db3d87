// SPDX-License-Identifier: GPL-3.0-or-later
// Two sessions of the session interface on two pseudo-terminals at 19200
// baud working at once from two threads, against the slower of them alone.
// (One exchange through the session interface against the raw ping-pong is
// in bench_exchange, measured beside it.)
#include "bench_support.h"
#include "termina.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace termina;
using namespace termina::bench;

// A register on its own pty with a session to it.
struct Register {
  explicit Register(const DriverRoot& root, int com, unsigned baud) {
    sim::Config cfg;
    cfg.logLimit = 64;
    cfg.lineBaud = baud;
    sim = std::make_unique<sim::Simulator>(cfg);
    sim->setReady();
    const std::string link = root.com(com);
    sim->openPty(link);
    rc = termina_open_serial(link.c_str(), 19200, nullptr, &s);
  }
  ~Register() {
    if (s) termina_close(s);
  }
  std::unique_ptr<sim::Simulator> sim;
  termina_session* s = nullptr;
  int rc = -1;
};

bool block(termina_session* s) {
  uint8_t b[32];
  return termina_read_mem_block(s, 3, 0xF000, sizeof b, b, sizeof b) == 0;
}

// n memory block exchanges on one session; seconds, or -1 on a failure.
double blocks(termina_session* s, int n) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i)
    if (!block(s)) return -1;
  return secondsSince(t0);
}

void BM_TwoSessions(benchmark::State& state) {
  const int n = static_cast<int>(envSeconds("TERMINA_BENCH_TWO_SESSIONS_N", 40));
  DriverRoot root;
  Register a(root, 1, 19200), b(root, 2, 19200);
  if (a.rc != 0 || b.rc != 0) {
    state.SkipWithError("the sessions did not open");
    return;
  }
  const double aloneA = blocks(a.s, n), aloneB = blocks(b.s, n);
  double both = 0;
  bool ok = aloneA > 0 && aloneB > 0;
  for (auto _ : state) {
    double ta = 0, tb = 0;
    const auto t0 = std::chrono::steady_clock::now();
    std::thread other([&] { tb = blocks(b.s, n); });
    ta = blocks(a.s, n);
    other.join();
    both = secondsSince(t0);
    ok = ok && ta > 0 && tb > 0;
  }
  if (!ok) {
    state.SkipWithError("an exchange failed");
    return;
  }
  const double slower = std::max(aloneA, aloneB);
  state.counters["exchanges"] = n;
  state.counters["slower_alone_s"] = slower;
  state.counters["both_s"] = both;
  state.counters["ratio"] = both / slower;
}
BENCHMARK(BM_TwoSessions)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
