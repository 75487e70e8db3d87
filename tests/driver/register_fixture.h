// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated register on a real pseudo-terminal (opened by the driver as
// COM1) or on real loopback TCP, with the driver's INI file in a temporary
// root.  Each test starts connected, with a small patience counter so that
// silent-line cases end within a second or two.
#pragma once

#include "codepage.h"
#include "connect.h"
#include "driver_root.h"
#include "ini.h"
#include "simulator.h"
#include "termina1.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace termina::test {

inline std::string transportName(const ::testing::TestParamInfo<Transport>& info) {
  return info.param == Transport::Pty ? "Pty" : "Tcp";
}

// The driver's state (its packet id above all) lives as long as the
// process.  ctest runs every test in a process of its own; tests whose exact
// bytes depend on the packet id starting at 0x20 check this first.
inline int& connectionsInProcess() {
  static int n = 0;
  return n;
}
inline bool freshProcess() { return connectionsInProcess() == 1; }

class Connected {
 public:
  explicit Connected(Transport t, sim::Config cfg = {}) : transport(t), sim(std::make_unique<sim::Simulator>(cfg)) {
    ++connectionsInProcess();
    TRMATMOUT = 2;
    uint16_t port = 0;
    if (t == Transport::Pty)
      sim->openPty(root.com(1));
    else
      port = sim->listenTcp();
    pointDriverAt(root, t, port, cfg.password);
  }
  ~Connected() {
    TRMA_ClosePort();
    sim.reset();
    TRMATMOUT = 10;
  }
  // Connects and forgets what the connection itself exchanged.
  void connect() {
    checkPortPatiently(2);
    sim->waitForReplies(1, std::chrono::seconds(10));
    sim->clearLog();
  }
  // Body of the last request frame the register received (UTF-8).
  std::string lastBody() const {
    auto r = sim->requests();
    return r.empty() ? std::string() : r.back().bodyUtf8;
  }

  DriverRoot root;
  Transport transport;
  std::unique_ptr<sim::Simulator> sim;
};

// Runs a driver call and returns the code it threw, or -1 when it did not.
template <class F>
int thrown(F&& f) {
  try {
    f();
  } catch (uint16_t code) { return code; }
  return -1;
}

// Fills a caller's text buffer from UTF-8, the way a program hands text to
// the driver (code page 1251).
template <size_t N>
void put(char (&buf)[N], const std::string& utf8) {
  std::snprintf(buf, N, "%s", cp::utf8ToAnsi(utf8).c_str());
}

// Makes the register answer every request with this code with a reply of
// our choosing, keeping the other faults.
inline void force(sim::Simulator& s, const std::string& code, int result, std::vector<std::string> fields = {}) {
  sim::Faults f = s.faults();
  f.forced[code] = sim::ForcedReply{result, std::move(fields)};
  s.setFaults(f);
}

inline const std::string FS = "\x1C";

inline std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace termina::test
