// SPDX-License-Identifier: GPL-3.0-or-later
// The agent: the journal, the access token and one worker per register.
// Jobs are stored before they are queued; a job posted again with the same
// id is never queued again.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "config.h"
#include "job.h"
#include "journal.h"
#include "metrics.h"
#include "register_worker.h"

namespace termina::agent {

class Agent {
 public:
  // Opens the journal and reads (or makes) the token; throws
  // std::runtime_error when either cannot be used.
  explicit Agent(Config cfg);
  ~Agent();

  // Starts the workers, with the jobs the journal holds unfinished.
  void start();
  void stop();

  const Config& config() const { return cfg_; }
  bool tokenMatches(const std::string& presented) const;

  bool hasRegister(const std::string& name) const { return workers_.count(name) != 0; }
  nlohmann::json registers() const;
  std::optional<nlohmann::json> registerView(const std::string& name) const;

  enum class Submitted { Added, Same, Conflict };
  Submitted submit(const std::string& reg, const JobSpec& spec, JobRecord& stored);
  std::optional<JobRecord> job(const std::string& id) { return journal_.get(id); }
  std::vector<JobRecord> jobs(const std::string& reg, const std::string& state, int limit) {
    return journal_.list(reg, state, limit);
  }
  // Waits up to `seconds` for the job to end; returns it as it is then.
  std::optional<JobRecord> waitJob(const std::string& id, unsigned seconds);
  // Withdraws a queued job; nullopt when there is no such job, else whether
  // it was withdrawn.
  std::optional<bool> withdraw(const std::string& id);

  std::string metrics() { return metrics_.render(); }

 private:
  void jobEnded();

  Config cfg_;
  std::string token_;
  Journal journal_;
  Metrics metrics_;
  std::map<std::string, std::unique_ptr<RegisterWorker>> workers_;
  std::mutex endedLock_;
  std::condition_variable ended_;
  uint64_t endedCount_ = 0;
  bool stopping_ = false;  // under endedLock_: waiting callers are answered at once
};

// Reads the token file, or makes it (32 random bytes as hex, readable by its
// owner only) when it is missing.
std::string loadOrMakeToken(const std::string& path);

}  // namespace termina::agent
