// SPDX-License-Identifier: GPL-3.0-or-later
// Shared pieces of the fault tests: timing a driver call, the patience in
// seconds over each transport, and the CPU time of the calling thread.
#pragma once

#include "register_fixture.h"

#include <chrono>
#include <ctime>

namespace termina::test {

// One silent read wait of the driver: 500 ms on the serial line, the 5 s
// receive time-out over TCP.
inline double silentWait(Transport t) { return t == Transport::Pty ? 0.5 : 5.0; }

// A generous bound for a call whose theoretical duration is `seconds`: a
// slow, loaded machine (and the sanitizers) may stretch it threefold.
inline double bound(double seconds) { return 3 * seconds + 1.0; }

struct Timed {
  int code;        // the code thrown, or -1 when the call returned normally
  double seconds;  // how long the call took
};

template <class F>
Timed timed(F&& f) {
  auto t0 = std::chrono::steady_clock::now();
  int code = thrown(std::forward<F>(f));
  return {code, secondsSince(t0)};
}

// CPU time the calling thread has used, in seconds.
inline double threadCpuSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace termina::test
