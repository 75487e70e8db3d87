// SPDX-License-Identifier: GPL-3.0-or-later
// Shared pieces of the benchmarks: the INI file of a temporary driver root
// pointing at a simulated register, the driver connected over a
// pseudo-terminal or loopback TCP, CPU time of the process, and durations
// taken from the environment so that the smoke run stays short.
#pragma once

#include "driver_root.h"
#include "ini.h"
#include "simulator.h"
#include "termina1.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace termina::bench {

using test::DriverRoot;
using test::Transport;

inline const char* transportName(Transport t) { return t == Transport::Pty ? "pty" : "tcp"; }

// Points the driver at the register on COM1 or at the TCP port.
inline void useTransport(const DriverRoot& root, Transport t, uint16_t tcpPort = 0) {
  test::pointDriverAt(root, t, tcpPort, "WKRD");
}

// Runs a driver call; its failure (the bare result code) becomes the return
// value, success gives 0.
template <class F>
int driverCall(F&& f) {
  try {
    return f();
  } catch (uint16_t code) { return code; }
}

// User plus system CPU seconds of this process so far.
inline double processCpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  auto sec = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; };
  return sec(u.ru_utime) + sec(u.ru_stime);
}

inline double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// A number of seconds from the environment (the full run uses the default,
// the smoke run sets small values).
inline double envSeconds(const char* name, double fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  char* end = nullptr;
  double d = std::strtod(v, &end);
  return end != v && d >= 0 ? d : fallback;
}

// Wire time of n bytes at a line rate, 8N1.
inline double wireSeconds(double bytes, unsigned baud) { return 10.0 * bytes / baud; }

}  // namespace termina::bench
