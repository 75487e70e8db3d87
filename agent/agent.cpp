// SPDX-License-Identifier: GPL-3.0-or-later
#include "agent.h"

#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "platform.h"

namespace termina::agent {

std::string loadOrMakeToken(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    const auto text = platform::readFile(path);
    if (!text) throw std::runtime_error(path + ": cannot be read");
    std::string t = *text;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r' || t.back() == ' ' || t.back() == '\t')) t.pop_back();
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.erase(t.begin());
    if (t.size() < 16) throw std::runtime_error(path + ": the token is shorter than 16 characters");
    return t;
  }
  unsigned char bytes[32];
  if (!platform::randomBytes(bytes, sizeof bytes)) throw std::runtime_error("no random bytes for the token");
  static const char* hex = "0123456789abcdef";
  std::string t;
  for (unsigned char b : bytes) {
    t += hex[b >> 4];
    t += hex[b & 15];
  }
  std::string err;
  if (!platform::writePrivateFile(path, t + "\n", err)) throw std::runtime_error("token file " + err);
  return t;
}

Agent::Agent(Config cfg)
    : cfg_(std::move(cfg)), token_(loadOrMakeToken(cfg_.tokenFile)), journal_(cfg_.journal), metrics_([this] {
        std::vector<std::string> names;
        for (const auto& r : cfg_.registers) names.push_back(r.name);
        return names;
      }()) {
  for (const auto& c : journal_.counts()) metrics_.addJobs(c.reg, c.kind, c.state, c.n);
  for (const auto& r : cfg_.registers)
    workers_[r.name] =
        std::make_unique<RegisterWorker>(r, journal_, metrics_, cfg_.statusInterval, [this] { jobEnded(); });
}

Agent::~Agent() { stop(); }

void Agent::start() {
  const auto unfinished = journal_.unfinished();
  for (auto& [name, w] : workers_) w->start(unfinished);
}

void Agent::stop() {
  {
    std::lock_guard g(endedLock_);
    stopping_ = true;
  }
  ended_.notify_all();
  for (auto& [name, w] : workers_) w->stop();
}

bool Agent::tokenMatches(const std::string& presented) const {
  // Every byte is compared whatever the first difference: the time taken
  // tells nothing of the token.
  const std::size_t n = std::max(presented.size(), token_.size());
  unsigned char diff = presented.size() == token_.size() ? 0 : 1;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char a = i < presented.size() ? static_cast<unsigned char>(presented[i]) : 0;
    const unsigned char b = i < token_.size() ? static_cast<unsigned char>(token_[i]) : 0;
    diff |= static_cast<unsigned char>(a ^ b);
  }
  return diff == 0 && !token_.empty();
}

nlohmann::json Agent::registers() const {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& [name, w] : workers_) list.push_back(w->view());
  return {{"registers", list}};
}

std::optional<nlohmann::json> Agent::registerView(const std::string& name) const {
  auto it = workers_.find(name);
  if (it == workers_.end()) return std::nullopt;
  return it->second->view();
}

Agent::Submitted Agent::submit(const std::string& reg, const JobSpec& spec, JobRecord& stored) {
  JobRecord j;
  j.id = spec.id;
  j.reg = reg;
  j.kind = kindName(spec.kind);
  j.body = spec.canonical;
  j.created = nowRfc3339();
  j.deadlineMs = nowUnixMs() + static_cast<int64_t>(spec.deadlineSeconds) * 1000;
  switch (journal_.insert(j, stored)) {
    case Journal::Insert::Same: return Submitted::Same;
    case Journal::Insert::Conflict: return Submitted::Conflict;
    case Journal::Insert::Added: break;
  }
  workers_.at(reg)->enqueue(stored);
  return Submitted::Added;
}

void Agent::jobEnded() {
  {
    std::lock_guard g(endedLock_);
    ++endedCount_;
  }
  ended_.notify_all();
}

std::optional<JobRecord> Agent::waitJob(const std::string& id, unsigned seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::unique_lock g(endedLock_);
  for (;;) {
    const uint64_t seen = endedCount_;
    g.unlock();
    auto j = journal_.get(id);
    g.lock();
    if (!j || j->ended() || stopping_) return j;
    if (!ended_.wait_until(g, until, [&] { return endedCount_ != seen || stopping_; })) {
      g.unlock();
      return journal_.get(id);
    }
  }
}

std::optional<bool> Agent::withdraw(const std::string& id) {
  if (!journal_.get(id)) return std::nullopt;
  const bool done = journal_.withdraw(id, nowRfc3339());
  if (done) {
    if (auto j = journal_.get(id)) metrics_.jobEnded(j->reg, j->kind, "failed", 0);
    jobEnded();
  }
  return done;
}

}  // namespace termina::agent
