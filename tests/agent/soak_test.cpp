// SPDX-License-Identifier: GPL-3.0-or-later
// Eight clients post a few hundred jobs to two registers, a tenth of them
// twice: every job is accounted for and each register holds exactly one
// receipt per distinct sale.
#include <atomic>
#include <mutex>
#include <set>

#include "agent_fixture.h"

namespace termina::test {
namespace {

using AgentSoakTest = AgentFixture;

TEST_F(AgentSoakTest, EveryJobOnceAcrossEightClients) {
  startSim("a");
  startSim("b");
  startAgent();
  constexpr int kClients = 8, kPerClient = 40;
  std::mutex lock;
  std::map<std::string, std::set<std::string>> sales;  // register -> ids
  std::vector<std::string> failures;
  std::vector<std::thread> threads;
  for (int c = 0; c < kClients; ++c) {
    threads.emplace_back([&, c] {
      auto http = client();
      for (int i = 0; i < kPerClient; ++i) {
        const std::string reg = (i + c) % 2 ? "a" : "b";
        const bool status = i % 5 == 4;
        const std::string id = "c" + std::to_string(c) + "-" + std::to_string(i);
        json body = status ? json{{"id", id}, {"kind", "status"}} : sale(id);
        // A tenth of the jobs is sent twice, as a client that lost the
        // answer would.
        const int times = i % 10 == 3 ? 2 : 1;
        for (int t = 0; t < times; ++t) {
          const std::string target = "/v1/registers/" + reg + "/jobs?wait=" + (i % 2 ? "30" : "0");
          auto r = http->Post(target.c_str(), body.dump(), "application/json");
          std::lock_guard g(lock);
          if (!r || (r->status != 200 && r->status != 202))
            failures.push_back(id + ": " + (r ? std::to_string(r->status) + " " + r->body : "no answer"));
        }
        if (!status) {
          std::lock_guard g(lock);
          sales[reg].insert(id);
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_TRUE(failures.empty()) << failures.front();
  for (int c = 0; c < kClients; ++c)
    for (int i = 0; i < kPerClient; ++i) {
      const std::string id = "c" + std::to_string(c) + "-" + std::to_string(i);
      EXPECT_EQ(ended(id)["state"], "done") << id << " " << job(id).dump();
    }
  EXPECT_EQ(simCounters("a").receipt, sales["a"].size());
  EXPECT_EQ(simCounters("b").receipt, sales["b"].size());
  const auto all = get("/v1/jobs?limit=1000").body["jobs"];
  EXPECT_EQ(all.size(), static_cast<size_t>(kClients * kPerClient));
}

}  // namespace
}  // namespace termina::test
