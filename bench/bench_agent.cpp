// SPDX-License-Identifier: GPL-3.0-or-later
// termina-agent over HTTP against two simulated registers on ptys at 19200
// baud: sales per second from two clients against the line's floor (the
// wire time of a sale's bytes on two lines), and the agent's own time per
// job (HTTP, JSON, the journal, the queue) against the same exchanges made
// directly through the session interface.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "agent.h"
#include "bench_support.h"
#include "http_api.h"
#include "termina.h"

namespace {

using namespace termina;
using namespace termina::bench;
using json = nlohmann::json;

constexpr unsigned kBaud = 19200;

// A temporary folder with two simulated registers on ptys.
struct Bench {
  Bench() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "termina-bench-agent-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    dir = tmpl;
    for (int i = 0; i < 2; ++i) {
      sim::Config cfg;
      cfg.logLimit = 64;
      cfg.lineBaud = kBaud;
      cfg.shiftReportMs = 0;
      sims.push_back(std::make_unique<sim::Simulator>(cfg));
      sims.back()->setReady();
      links.push_back((dir / ("tty" + std::to_string(i))).string());
      sims.back()->openPty(links.back());
    }
  }
  ~Bench() {
    sims.clear();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::filesystem::path dir;
  std::vector<std::unique_ptr<sim::Simulator>> sims;
  std::vector<std::string> links;
};

// The agent in this process, serving the two registers.
struct RunningAgent {
  explicit RunningAgent(const Bench& b) {
    agent::Config c;
    c.listenPort = 0;
    c.tokenFile = (b.dir / "token").string();
    c.journal = (b.dir / "jobs.db").string();
    c.statusInterval = 3600;
    for (std::size_t i = 0; i < b.links.size(); ++i) {
      agent::RegisterConfig r;
      r.name = "r" + std::to_string(i);
      r.serial = b.links[i];
      r.speed = kBaud;
      c.registers.push_back(r);
    }
    a = std::make_unique<agent::Agent>(c);
    agent::installRoutes(server, *a);
    port = server.bind_to_any_port("127.0.0.1");
    a->start();
    thread = std::thread([this] { server.listen_after_bind(); });
    token = agent::loadOrMakeToken(c.tokenFile);
  }
  ~RunningAgent() {
    a->stop();
    server.stop();
    thread.join();
  }
  std::unique_ptr<httplib::Client> client() const {
    auto c = std::make_unique<httplib::Client>("127.0.0.1", port);
    c->set_read_timeout(120, 0);
    c->set_bearer_token_auth(token.c_str());
    // As a point-of-sale program would call it: one kept connection.
    c->set_keep_alive(true);
    c->set_tcp_nodelay(true);
    return c;
  }
  // Waits until both registers are ready.
  bool ready() const {
    auto c = client();
    for (int i = 0; i < 500; ++i) {
      auto r = c->Get("/v1/registers");
      if (r && r->status == 200) {
        auto j = json::parse(r->body, nullptr, false);
        bool all = j.is_object();
        if (all)
          for (const auto& reg : j["registers"]) all = all && reg["state"] == "ready";
        if (all) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  httplib::Server server;
  std::unique_ptr<agent::Agent> a;
  int port = 0;
  std::string token;
  std::thread thread;
};

json sale(const std::string& id) {
  return {{"id", id},
          {"kind", "receipt"},
          {"operator", "Иванова"},
          {"items", {{{"name", "Хлеб"}, {"code", "001"}, {"quantity", "1"}, {"price", "45.50"}, {"department", 1}}}},
          {"payments", {{{"type", 0}, {"amount", "50.00"}}}}};
}

// Bytes on the line of one sale made directly through the session
// interface: its frames and control bytes both ways.
void countBytes(void* user, const termina_trace_record* r) {
  if (r->kind != TERMINA_TRACE_SILENCE && r->kind != TERMINA_TRACE_FAILURE)
    *static_cast<std::size_t*>(user) += r->byte_count;
}

int directSale(termina_session* s) {
  double f = 0;
  int rc = termina_open_receipt(s, 2, 1, "Иванова", 1);
  if (rc == 0) rc = termina_add_article(s, "Хлеб", "001", 1.0, 45.5, 1, &f);
  if (rc == 0) rc = termina_subtotal(s, &f);
  if (rc == 0) rc = termina_payment(s, 0, 50.0, &f);
  if (rc == 0) rc = termina_close_receipt(s);
  return rc;
}

void BM_AgentSales(benchmark::State& state) {
  const int n = static_cast<int>(envSeconds("TERMINA_BENCH_AGENT_SALES", 20));
  Bench b;
  // The wire bytes of one sale, from a direct run on the first register.
  std::size_t bytes = 0;
  {
    termina_session* s = nullptr;
    if (termina_open_serial(b.links[0].c_str(), kBaud, nullptr, &s) != 0) {
      state.SkipWithError("the session did not open");
      return;
    }
    termina_set_trace(s, countBytes, &bytes);
    const int rc = directSale(s);
    termina_close(s);
    if (rc != 0) {
      state.SkipWithError("the direct sale failed");
      return;
    }
  }
  RunningAgent agent(b);
  if (!agent.ready()) {
    state.SkipWithError("the registers did not get ready");
    return;
  }
  std::atomic<int> failed{0};
  double seconds = 0;
  int round = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<std::thread> clients;
    for (int r = 0; r < 2; ++r)
      clients.emplace_back([&, r] {
        auto c = agent.client();
        for (int i = 0; i < n; ++i) {
          const std::string id = "s" + std::to_string(round) + "-" + std::to_string(r) + "-" + std::to_string(i);
          auto res = c->Post(("/v1/registers/r" + std::to_string(r) + "/jobs?wait=60").c_str(), sale(id).dump(),
                             "application/json");
          if (!res || res->status != 200 || json::parse(res->body, nullptr, false).value("state", "") != "done")
            ++failed;
        }
      });
    for (auto& t : clients) t.join();
    seconds = secondsSince(t0);
    ++round;
  }
  if (failed > 0) {
    state.SkipWithError("a sale did not end done");
    return;
  }
  const double perSecond = 2.0 * n / seconds;
  const double floor = 2.0 / wireSeconds(static_cast<double>(bytes), kBaud);
  state.counters["sales"] = 2.0 * n;
  state.counters["sales_per_s"] = perSecond;
  state.counters["floor_per_s"] = floor;
  state.counters["bytes_per_sale"] = static_cast<double>(bytes);
  state.counters["ratio"] = perSecond / floor;
}
BENCHMARK(BM_AgentSales)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// A status job through the agent against its two exchanges (status and
// printer status) made directly, alternately on the same register.
void BM_AgentOverhead(benchmark::State& state) {
  const int n = static_cast<int>(envSeconds("TERMINA_BENCH_AGENT_JOBS", 30));
  Bench b;
  std::vector<double> viaAgent, direct;
  for (auto _ : state) {
    {
      RunningAgent agent(b);
      if (!agent.ready()) {
        state.SkipWithError("the registers did not get ready");
        return;
      }
      auto c = agent.client();
      for (int i = 0; i < n; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        auto res = c->Post("/v1/registers/r0/jobs?wait=60",
                           json{{"id", "st-" + std::to_string(i)}, {"kind", "status"}}.dump(), "application/json");
        if (!res || res->status != 200) {
          state.SkipWithError("a status job failed");
          return;
        }
        viaAgent.push_back(secondsSince(t0));
      }
    }
    termina_session* s = nullptr;
    if (termina_open_serial(b.links[0].c_str(), kBaud, nullptr, &s) != 0) {
      state.SkipWithError("the session did not open");
      return;
    }
    for (int i = 0; i < n; ++i) {
      termina_status st{};
      uint8_t p = 0;
      const auto t0 = std::chrono::steady_clock::now();
      if (termina_get_status(s, &st) != 0 || termina_get_printer_status(s, &p) != 0) {
        termina_close(s);
        state.SkipWithError("a direct status failed");
        return;
      }
      direct.push_back(secondsSince(t0));
    }
    termina_close(s);
  }
  const double a = median(viaAgent), d = median(direct);
  state.counters["agent_ms"] = a * 1e3;
  state.counters["direct_ms"] = d * 1e3;
  state.counters["extra_ms"] = (a - d) * 1e3;
}
BENCHMARK(BM_AgentOverhead)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
