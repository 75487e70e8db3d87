// SPDX-License-Identifier: GPL-3.0-or-later
// A simulated register on a real pseudo-terminal or on real loopback TCP,
// reached through a session of the session interface.
#pragma once

#include "driver_root.h"
#include "simulator.h"
#include "termina.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace termina::test {

inline std::string transportName(const ::testing::TestParamInfo<Transport>& info) {
  return info.param == Transport::Pty ? "Pty" : "Tcp";
}

// One register and one session to it; the session's patience is 2 silent
// waits, so silent-line cases end within a second or two over the pty.
struct SimSession {
  explicit SimSession(Transport t, const DriverRoot& root, int n = 1, sim::Config c = {})
      : cfg(c), sim(std::make_unique<sim::Simulator>(c)) {
    if (t == Transport::Pty) {
      link = root.com(n);
      sim->openPty(link);
    } else {
      port = sim->listenTcp();
    }
    open(t);
    sim->clearLog();
  }
  ~SimSession() {
    if (s) termina_close(s);
    sim.reset();
  }
  void open(Transport t) {
    rc = t == Transport::Pty ? termina_open_serial(link.c_str(), 19200, cfg.password.c_str(), &s)
                             : termina_open_tcp("127.0.0.1", port, cfg.password.c_str(), &s);
    if (rc == 0) termina_set_patience(s, 2);
  }

  sim::Config cfg;
  std::unique_ptr<sim::Simulator> sim;
  std::string link;
  uint16_t port = 0;
  int rc = -1;
  termina_session* s = nullptr;
};

// One ready register per transport, whose reports print at once.
class TransportSessionTest : public ::testing::TestWithParam<Transport> {
 protected:
  DriverRoot root;
  SimSession r{GetParam(), root};
  void SetUp() override {
    ASSERT_EQ(r.rc, 0);
    r.sim->setReady();
    r.sim->setReportDuration(0);
  }
};

}  // namespace termina::test
