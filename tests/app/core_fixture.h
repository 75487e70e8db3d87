// SPDX-License-Identifier: GPL-3.0-or-later
// For tests of the program's register sequences without a window: a driver
// root of its own, the simulated register on a pseudo-terminal as COM1, and
// an Interaction that answers from a script and records what was asked.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "connect.h"
#include "driver_root.h"
#include "interaction.h"
#include "simulator.h"
#include "termina1.h"

namespace termina::apptest {

class ScriptedInteraction : public app::Interaction {
 public:
  // Answers to the next questions, in order; with none left a question gets
  // its default answer.
  std::deque<app::Answer> answers;
  std::vector<app::Question> asked;

  app::Answer Ask(const app::Question& q) override {
    asked.push_back(q);
    if (answers.empty()) return q.defaultAnswer;
    const app::Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const app::Question& q : asked) t.push_back(q.text);
    return t;
  }
};

class CoreTest : public ::testing::Test {
 protected:
  void TearDown() override {
    TRMA_ClosePort();
    m_sim.reset();
  }

  // Starts a simulated register as COM1 and points the INI file at it.
  sim::Simulator& StartRegister(sim::Config cfg = {}) {
    TRMATMOUT = 2;
    cfg.reportAckIntervalMs = 200;
    m_sim = std::make_unique<sim::Simulator>(cfg);
    m_sim->openPty(m_root.com(1));
    test::pointDriverAt(m_root, test::Transport::Pty, 0, cfg.password);
    return *m_sim;
  }
  // Connects the driver and forgets what the connection exchanged.
  void Connect() {
    ASSERT_NO_THROW(test::checkPortPatiently(2));
    m_sim->clearLog();
  }
  // The command codes of the requests the register received, in order.
  std::vector<std::string> Codes() const {
    std::vector<std::string> codes;
    for (const auto& r : m_sim->requests()) codes.push_back(r.code);
    return codes;
  }

  test::DriverRoot m_root;
  std::unique_ptr<sim::Simulator> m_sim;
  ScriptedInteraction m_ask;
};

}  // namespace termina::apptest
