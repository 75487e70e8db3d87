// SPDX-License-Identifier: GPL-3.0-or-later
// One register: its session, its queue and the one thread that runs its
// jobs in order.  A register that stops answering is reopened with a
// growing pause; a fiscal job whose frames went out is never sent again,
// but settled by comparing the register's counters once it answers.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "config.h"
#include "job.h"
#include "journal.h"
#include "metrics.h"
#include "termina.h"

namespace termina::agent {

// The register's document counters and receipt state.
struct Counters {
  uint32_t shift = 0, document = 0, report = 0, receipt = 0;
  int receiptState = 0;  // 0: no document open
  nlohmann::json toJson() const;
  static std::optional<Counters> fromJson(const nlohmann::json& j);
};

class RegisterWorker {
 public:
  RegisterWorker(RegisterConfig cfg, Journal& journal, Metrics& metrics, unsigned statusIntervalSeconds,
                 std::function<void()> jobEnded);
  ~RegisterWorker();
  RegisterWorker(const RegisterWorker&) = delete;
  RegisterWorker& operator=(const RegisterWorker&) = delete;

  const std::string& name() const { return cfg_.name; }
  // Takes the jobs the journal holds unfinished for this register and
  // starts the thread.
  void start(const std::vector<JobRecord>& unfinished);
  void stop();
  void enqueue(const JobRecord& job);
  // name, state, version, model, status, checked.
  nlohmann::json view() const;

 private:
  struct Queued {
    std::string id;
    int64_t deadlineMs;
  };
  enum class Link { Offline, Ready, Busy };

  void run();
  bool connect();
  void disconnect(int code);
  bool waitFor(std::chrono::milliseconds d);  // false when stopping
  void failExpired(int code);
  bool refreshStatus();  // false when the link broke
  void runJob(const std::string& id);
  void runJobOnce(const std::string& id);
  void finishJob(JobRecord& job, const std::string& state, std::optional<int> code, const std::string& text = "");
  // A call's code: counts good exchanges and link errors; true when the
  // link is broken.
  bool broken(int rc);
  int readCounters(Counters& c);
  int cancelOpenReceipt(bool& cancelled);
  // Settles a fiscal job that did not end cleanly; false when the register
  // did not answer (the job stays running until it does).
  bool settle(JobRecord& job, int failure);
  int runFiscal(const JobSpec& spec, nlohmann::json& result);
  int runOther(const JobSpec& spec, nlohmann::json& result);
  std::string codeText(int code);
  static void onTrace(void* user, const termina_trace_record* r);

  RegisterConfig cfg_;
  Journal& journal_;
  Metrics& metrics_;
  std::chrono::seconds statusInterval_;
  std::function<void()> jobEnded_;

  mutable std::mutex lock_;  // queue_, stop_, the view below
  std::condition_variable wake_;
  std::deque<Queued> queue_;
  std::vector<std::string> unsettled_;  // running fiscal jobs to settle once the register answers
  bool stop_ = false;
  Link link_ = Link::Offline;
  std::optional<unsigned> version_;
  nlohmann::json status_;  // the keys of `trma --json status`
  std::string checked_;
  int lastCode_ = TERMINA_E_CLOSED;  // why the register is offline

  termina_session* session_ = nullptr;  // the worker thread's only
  std::atomic<bool> frameSent_{false};
  std::chrono::milliseconds backoff_{1000};
  std::thread thread_;
};

}  // namespace termina::agent
