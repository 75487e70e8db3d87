// SPDX-License-Identifier: GPL-3.0-or-later
// The session interface: one exchange through termina.h against the
// simulated register (compared, in the table, with the raw ping-pong of
// bench_exchange), and two sessions on two pseudo-terminals at 19200 baud
// working at once from two threads, against the slower of them alone.
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

double minOf(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

// A register on its own pty (and TCP port) with a session to it.
struct Register {
  explicit Register(const DriverRoot& root, int com, Transport t, unsigned baud = 0) {
    sim::Config cfg;
    cfg.logLimit = 64;
    cfg.lineBaud = baud;
    sim = std::make_unique<sim::Simulator>(cfg);
    sim->setReady();
    const std::string link = root.com(com);
    sim->openPty(link);
    const uint16_t port = sim->listenTcp();
    rc = t == Transport::Pty ? termina_open_serial(link.c_str(), 19200, nullptr, &s)
                             : termina_open_tcp("127.0.0.1", port, nullptr, &s);
  }
  ~Register() {
    if (s) termina_close(s);
  }
  std::unique_ptr<sim::Simulator> sim;
  termina_session* s = nullptr;
  int rc = -1;
};

bool status(termina_session* s) {
  termina_status st;
  return termina_get_status(s, &st) == 0;
}

bool block(termina_session* s) {
  uint8_t b[32];
  return termina_read_mem_block(s, 3, 0xF000, sizeof b, b, sizeof b) == 0;
}

void BM_Session(benchmark::State& state, Transport t, bool isBlock) {
  DriverRoot root;
  Register r(root, 1, t);
  if (r.rc != 0) {
    state.SkipWithError("the session did not open");
    return;
  }
  for (auto _ : state) {
    if (!(isBlock ? block(r.s) : status(r.s))) {
      state.SkipWithError("exchange failed");
      break;
    }
  }
}
BENCHMARK_CAPTURE(BM_Session, pty_status, Transport::Pty, false)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Session, tcp_status, Transport::Tcp, false)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Session, pty_block, Transport::Pty, true)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Session, tcp_block, Transport::Tcp, true)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);

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
  Register a(root, 1, Transport::Pty, 19200), b(root, 2, Transport::Pty, 19200);
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
