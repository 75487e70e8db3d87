// SPDX-License-Identifier: GPL-3.0-or-later
// The agent's metrics in the Prometheus text format: each register's
// state and status bits, the jobs by outcome, their durations and the
// link's failures.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace termina::agent {

class Metrics {
 public:
  explicit Metrics(const std::vector<std::string>& registers);

  void setUp(const std::string& reg, bool up);
  void setStatus(const std::string& reg, uint8_t fatal, uint8_t status, std::optional<uint8_t> printer);
  void goodExchange(const std::string& reg);
  void linkError(const std::string& reg, const std::string& codeName);
  void jobEnded(const std::string& reg, const std::string& kind, const std::string& state, double seconds);
  // Counts from the journal, for the jobs that ended before this start.
  void addJobs(const std::string& reg, const std::string& kind, const std::string& state, int64_t n);

  std::string render();

 private:
  struct Reg {
    bool up = false;
    bool known = false;  // a status has been read
    uint8_t fatal = 0, status = 0;
    std::optional<uint8_t> printer;
    std::optional<std::chrono::steady_clock::time_point> lastGood;
    std::vector<uint64_t> buckets;  // job durations, cumulative at render
    uint64_t count = 0;
    double sum = 0;
  };
  std::mutex lock_;
  std::map<std::string, Reg> regs_;
  std::map<std::tuple<std::string, std::string, std::string>, int64_t> jobs_;
  std::map<std::pair<std::string, std::string>, int64_t> linkErrors_;
};

}  // namespace termina::agent
