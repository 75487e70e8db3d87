// SPDX-License-Identifier: GPL-3.0-or-later
// The job journal: every job in SQLite (WAL), each change committed before
// the agent acts on it, so that a restart finds every job as it was.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

struct sqlite3;

namespace termina::agent {

struct JobRecord {
  int64_t seq = 0;  // order of arrival
  std::string id, reg, kind, body;
  std::string state = "queued";  // queued, running, done, failed, uncertain
  std::optional<int> code;
  std::string codeName, text;
  nlohmann::json result;  // null until there is one
  std::string created, started, finished;
  int64_t deadlineMs = 0;  // Unix time in ms after which a job still queued fails
  nlohmann::json before;   // a fiscal job: the register's counters before it

  bool ended() const { return state == "done" || state == "failed" || state == "uncertain"; }
  nlohmann::json toJson() const;
};

class Journal {
 public:
  // Opens (creating) the database; throws std::runtime_error.
  explicit Journal(const std::string& path);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  enum class Insert { Added, Same, Conflict };
  // Stores a new job, or finds the stored one with that id: Same when its
  // register and body are the request's, else Conflict.  `stored` is the
  // job as it is in the journal afterwards.
  Insert insert(const JobRecord& job, JobRecord& stored);

  std::optional<JobRecord> get(const std::string& id);
  std::vector<JobRecord> list(const std::string& reg, const std::string& state, int limit);
  // The jobs not yet ended, in order of arrival.
  std::vector<JobRecord> unfinished();

  // queued -> running, with the counters before; false when the job is no
  // longer queued (withdrawn).  durable: on the disk before it returns (a
  // fiscal job, whose frames must never go out twice even after a power
  // failure); other commits may be lost with the power, never reordered.
  bool start(const std::string& id, const std::string& started, const nlohmann::json& before, bool durable);
  // running -> queued, for a job of which nothing was sent.
  void requeue(const std::string& id);
  // Saves the counters of a running job.
  void setBefore(const std::string& id, const nlohmann::json& before);
  // Ends the job.
  void finish(const JobRecord& job);
  // queued -> failed ("withdrawn"); false when it had started or ended.
  bool withdraw(const std::string& id, const std::string& finished);

  // Jobs by register, kind and final state (for the metrics after a start).
  struct Count {
    std::string reg, kind, state;
    int64_t n;
  };
  std::vector<Count> counts();

 private:
  void exec(const char* sql);
  std::mutex lock_;
  sqlite3* db_ = nullptr;
};

// The present moment as RFC 3339 in UTC with milliseconds.
std::string nowRfc3339();
int64_t nowUnixMs();

}  // namespace termina::agent
