// SPDX-License-Identifier: GPL-3.0-or-later
// The real termina-agent and termina-sim as child processes in a temporary
// folder, spoken to over HTTP and loopback TCP.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

namespace termina::test {

using json = nlohmann::json;
using namespace std::chrono_literals;

// Polls the condition until it holds or the time is up.
inline bool waitUntil(const std::function<bool()>& cond, std::chrono::milliseconds limit = 60s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (cond()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return cond();
}

// A child process whose first line of standard output is read; its
// standard error goes to a file.
class Child {
 public:
  Child(const std::string& path, const std::vector<std::string>& args, const std::string& errFile) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> store{path};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      const int in = ::open("/dev/null", O_RDONLY);
      ::dup2(in, 0);
      ::dup2(out[1], 1);
      if (err >= 0) ::dup2(err, 2);
      ::execv(path.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    out_ = out[0];
  }
  ~Child() {
    kill(SIGKILL);
    if (out_ >= 0) ::close(out_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // The first line of its output starting with prefix; "" when it ends or
  // the time is up first.
  std::string lineStarting(const std::string& prefix, std::chrono::milliseconds limit = 60s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      size_t nl;
      while ((nl = buf_.find('\n')) != std::string::npos) {
        std::string line = buf_.substr(0, nl);
        buf_.erase(0, nl + 1);
        if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "";
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char b[512];
      const ssize_t n = ::read(out_, b, sizeof b);
      if (n <= 0) return "";
      buf_.append(b, static_cast<size_t>(n));
    }
  }
  // Sends the signal and waits for the end; the exit status.
  int kill(int sig) {
    if (pid_ <= 0) return status_;
    ::kill(pid_, sig);
    return wait();
  }
  int wait() {
    if (pid_ <= 0) return status_;
    ::waitpid(pid_, &status_, 0);
    pid_ = -1;
    return status_;
  }
  // True once the process has ended by itself.
  bool ended() {
    if (pid_ <= 0) return true;
    if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
      pid_ = -1;
      return true;
    }
    return false;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int status_ = 0;
  std::string buf_;
};

// The simulator's counters, read from its state file: the NVR image's
// document and receipt numbers and the open document's state.
struct SimCounters {
  uint32_t document = 0, receipt = 0;
  int docState = 0;
};

inline SimCounters readSimState(const std::string& path) {
  SimCounters c;
  std::ifstream in(path);
  std::string line;
  auto le = [](const std::string& hex, size_t offset, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | std::stoul(hex.substr((offset + i) * 2, 2), nullptr, 16);
    return v;
  };
  while (std::getline(in, line)) {
    if (line.rfind("totals=", 0) == 0) {
      const std::string hex = line.substr(7);
      if (hex.size() >= 66) {
        c.document = le(hex, 21, 4);
        c.receipt = le(hex, 29, 4);
      }
    } else if (line.rfind("doc=", 0) == 0) {
      c.docState = std::stoi(line.substr(4)) >> 4;
    }
  }
  return c;
}

// Adds to the NVR counters in the simulator's state file, as documents the
// register made while nobody watched.
inline void addSimDocuments(const std::string& path, uint32_t documents, uint32_t receipts) {
  std::ifstream in(path);
  std::stringstream out;
  std::string line;
  auto put = [](std::string& hex, size_t offset, int n, uint32_t v) {
    static const char* digits = "0123456789ABCDEF";
    for (int i = 0; i < n; ++i) {
      const uint8_t b = static_cast<uint8_t>(v >> (8 * i));
      hex[(offset + i) * 2] = digits[b >> 4];
      hex[(offset + i) * 2 + 1] = digits[b & 15];
    }
  };
  while (std::getline(in, line)) {
    if (line.rfind("totals=", 0) == 0) {
      std::string hex = line.substr(7);
      const SimCounters c = readSimState(path);
      put(hex, 21, 4, c.document + documents);
      put(hex, 29, 4, c.receipt + receipts);
      line = "totals=" + hex;
    }
    out << line << "\n";
  }
  in.close();
  std::ofstream(path, std::ios::trunc) << out.str();
}

class AgentFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "termina-agent-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
  }
  void TearDown() override {
    agent_.reset();
    sims_.clear();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // Starts simulator `name` with its state file; port 0 takes a free one,
  // which is kept for a later start.
  void startSim(const std::string& name, std::vector<std::string> extra = {}, unsigned port = 0) {
    if (port == 0 && ports_.count(name)) port = ports_[name];
    std::vector<std::string> args{"--tcp", std::to_string(port), "--state", path(name + ".state"), "--shift-report-ms",
                                  "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    auto child = std::make_unique<Child>(TERMINA_SIM_EXE, args, path(name + ".err"));
    const std::string where = child->lineStarting("tcp 127.0.0.1:");
    ASSERT_FALSE(where.empty()) << "the simulator did not start";
    ports_[name] = static_cast<unsigned>(std::stoul(where));
    sims_[name] = std::move(child);
  }
  Child& sim(const std::string& name) { return *sims_.at(name); }
  SimCounters simCounters(const std::string& name) { return readSimState(path(name + ".state")); }

  // Writes the configuration for the registers of the simulators started
  // (or of the ports given) and starts the agent.
  void startAgent(const std::string& extraToml = "") {
    std::ostringstream c;
    c << "listen = \"127.0.0.1:0\"\n"
      << "token_file = \"" << path("agent.token") << "\"\n"
      << "journal = \"" << path("jobs.db") << "\"\n"
      << "allowed_origins = [\"https://pos.example\"]\n"
      << "status_interval = 1\n"
      << extraToml;
    for (auto& [name, port] : ports_) c << "[register." << name << "]\ntcp = \"127.0.0.1:" << port << "\"\n";
    std::ofstream(path("agent.toml")) << c.str();
    agent_ = std::make_unique<Child>(TERMINA_AGENT_EXE, std::vector<std::string>{"--config", path("agent.toml")},
                                     path("agent.err"));
    const std::string where = agent_->lineStarting("listen 127.0.0.1:");
    ASSERT_FALSE(where.empty()) << "the agent did not start: " << errText();
    agentPort_ = std::stoi(where);
    std::ifstream t(path("agent.token"));
    std::getline(t, token_);
  }
  void restartAgent(int sig = SIGTERM) {
    agent_->kill(sig);
    agent_.reset();
    startAgent();
  }
  std::string errText() {
    std::ifstream in(path("agent.err"));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::unique_ptr<httplib::Client> client() {
    auto c = std::make_unique<httplib::Client>("127.0.0.1", agentPort_);
    c->set_read_timeout(90, 0);
    c->set_bearer_token_auth(token_.c_str());
    return c;
  }
  struct Reply {
    int status = 0;
    json body;
  };
  static Reply reply(const httplib::Result& r) {
    if (!r) return {0, nullptr};
    return {r->status, json::parse(r->body, nullptr, false)};
  }
  Reply post(const std::string& reg, const json& job, int wait = 30) {
    return reply(client()->Post(("/v1/registers/" + reg + "/jobs?wait=" + std::to_string(wait)).c_str(), job.dump(),
                                "application/json"));
  }
  Reply get(const std::string& target) { return reply(client()->Get(target.c_str())); }
  json job(const std::string& id) { return get("/v1/jobs/" + id).body; }
  // Waits until the job has ended; its record.
  json ended(const std::string& id, std::chrono::milliseconds limit = 60s) {
    json j;
    waitUntil(
        [&] {
          j = job(id);
          const std::string s = j.is_object() && j.contains("state") ? j["state"].get<std::string>() : "";
          return s == "done" || s == "failed" || s == "uncertain";
        },
        limit);
    return j;
  }

  static json sale(const std::string& id, const std::string& price = "45.50") {
    return {{"id", id},
            {"kind", "receipt"},
            {"operator", "Иванова"},
            {"items", {{{"name", "Хлеб"}, {"code", "001"}, {"quantity", "1"}, {"price", price}, {"department", 1}}}},
            {"payments", {{{"type", 0}, {"amount", "50.00"}}}}};
  }

  std::filesystem::path dir_;
  std::map<std::string, std::unique_ptr<Child>> sims_;
  std::map<std::string, unsigned> ports_;
  std::unique_ptr<Child> agent_;
  int agentPort_ = 0;
  std::string token_;
};

}  // namespace termina::test
