// SPDX-License-Identifier: GPL-3.0-or-later
// The agent end to end: sales, idempotency across restarts, a register or
// the agent dying in the middle of a sale, open receipts, bad input, the
// token and browser origins, an offline register and its deadline.
#include "agent_fixture.h"

namespace termina::test {
namespace {

using AgentTest = AgentFixture;

TEST_F(AgentTest, ASaleIsMadeOnceWhateverTheRepeatsAndRestarts) {
  startSim("till");
  startAgent();
  auto r = post("till", sale("sale-1"));
  ASSERT_EQ(r.status, 200) << r.body.dump();
  EXPECT_EQ(r.body["state"], "done");
  EXPECT_EQ(r.body["code"], 0);
  EXPECT_EQ(r.body["result"]["total"], "45.50");
  EXPECT_EQ(r.body["result"]["change"], "4.50");
  EXPECT_EQ(simCounters("till").receipt, 1u);

  // The same request again, keys in another order: the job as stored.
  json again = sale("sale-1");
  auto r2 = reply(client()->Post("/v1/registers/till/jobs", again.dump(2), "application/json"));
  EXPECT_EQ(r2.status, 200);
  EXPECT_EQ(r2.body["finished"], r.body["finished"]);
  // The same id with another body: refused, the stored job shown.
  auto r3 = post("till", sale("sale-1", "12.00"));
  EXPECT_EQ(r3.status, 409);
  EXPECT_EQ(r3.body["job"]["state"], "done");

  // After a restart the journal still knows it.
  restartAgent();
  auto r4 = post("till", sale("sale-1"));
  EXPECT_EQ(r4.status, 200);
  EXPECT_EQ(r4.body["finished"], r.body["finished"]);
  EXPECT_EQ(post("till", sale("sale-1", "1.00")).status, 409);
  EXPECT_EQ(simCounters("till").receipt, 1u);

  // The register's view, once the restarted agent has found it, and the
  // metrics.
  ASSERT_TRUE(waitUntil([&] { return get("/v1/registers/till").body["state"] == "ready"; }));
  auto reg = get("/v1/registers/till");
  EXPECT_EQ(reg.status, 200);
  EXPECT_EQ(reg.body["version"], 201);
  EXPECT_TRUE(reg.body["status"]["status"]["shift_open"].get<bool>());
  auto m = client()->Get("/metrics");
  ASSERT_TRUE(m);
  EXPECT_NE(m->body.find("termina_jobs_total{register=\"till\",kind=\"receipt\",state=\"done\"} 1"), std::string::npos)
      << m->body;
  EXPECT_NE(m->body.find("termina_register_shift_open{register=\"till\"} 1"), std::string::npos);
  EXPECT_NE(m->body.find("termina_register_fatal{register=\"till\",bit=\"nvr_checksum\"} 0"), std::string::npos);
}

// The simulator ends as the closing frame comes in: before it ran (no
// receipt) or after (one receipt).  Started again, the job is settled by
// the counters and never sent again.
class AgentSimDiesAtClose : public AgentFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(AgentSimDiesAtClose, TheJobSaysWhetherTheReceiptWasMade) {
  const bool after = GetParam();
  startSim("till");
  startAgent();
  ASSERT_EQ(post("till", sale("warm-up")).body["state"], "done");
  sim("till").kill(SIGTERM);
  startSim("till", {after ? "--die-after" : "--die-at", "22"});
  // The agent finds the register again by itself.
  ASSERT_TRUE(waitUntil([&] { return get("/v1/registers/till").body["state"] == "ready"; }));
  auto r = post("till", sale("sale-2"), 0);
  ASSERT_EQ(r.status, 202);
  ASSERT_TRUE(waitUntil([&] { return sim("till").ended(); }));
  EXPECT_NE(job("sale-2")["state"], "done");
  startSim("till");
  const json j = ended("sale-2");
  const auto c = simCounters("till");
  if (after) {
    EXPECT_EQ(j["state"], "done") << j.dump();
    EXPECT_EQ(c.receipt, 2u);
  } else {
    EXPECT_EQ(j["state"], "failed") << j.dump();
    EXPECT_EQ(c.receipt, 1u);
    EXPECT_EQ(j["result"]["receipt_cancelled"], true);
    EXPECT_EQ(c.docState, 0);
  }
  EXPECT_EQ(j["result"]["settled_by_counters"], true);
  EXPECT_EQ(j["result"]["before"]["receipt"], 1);
  // Never sent again, also not after another restart of the agent.
  restartAgent();
  ASSERT_EQ(post("till", sale("sale-3")).body["state"], "done");
  EXPECT_EQ(simCounters("till").receipt, after ? 3u : 2u);
}

INSTANTIATE_TEST_SUITE_P(BeforeAndAfter, AgentSimDiesAtClose, ::testing::Bool());

TEST_F(AgentTest, CountersThatMovedOtherwiseLeaveTheJobUncertain) {
  startSim("till", {"--die-after", "22"});
  startAgent();
  ASSERT_EQ(post("till", sale("odd"), 0).status, 202);
  ASSERT_TRUE(waitUntil([&] { return sim("till").ended(); }));
  // Another receipt appeared while the register was away: the counters no
  // longer tell whether this job's was made.
  addSimDocuments(path("till.state"), 1, 1);
  startSim("till");
  const json j = ended("odd");
  EXPECT_EQ(j["state"], "uncertain") << j.dump();
  EXPECT_EQ(j["result"]["before"]["receipt"], 0);
  EXPECT_EQ(j["result"]["after"]["receipt"], 2);
  EXPECT_NE(j["code"], 0);
  // And it is not sent again.
  restartAgent();
  ASSERT_EQ(post("till", sale("odd")).body["state"], "uncertain");
  EXPECT_EQ(simCounters("till").receipt, 2u);
}

TEST_F(AgentTest, AnAgentKilledInASaleSettlesItAtTheNextStart) {
  // Slow replies, so that the agent is surely in the middle of the sale.
  startSim("till", {"--reply-delay", "300"});
  startAgent();
  ASSERT_TRUE(waitUntil([&] { return get("/v1/registers/till").body["state"] == "ready"; }));
  ASSERT_EQ(post("till", sale("sale-k"), 0).status, 202);
  ASSERT_TRUE(waitUntil([&] { return simCounters("till").docState != 0; }));
  agent_->kill(SIGKILL);
  agent_.reset();
  startAgent();
  const json j = ended("sale-k");
  const auto c = simCounters("till");
  // One receipt or none, and the job says which.
  ASSERT_TRUE(j["state"] == "done" || j["state"] == "failed") << j.dump();
  EXPECT_EQ(c.receipt, j["state"] == "done" ? 1u : 0u);
  EXPECT_EQ(c.docState, 0);
  ASSERT_EQ(post("till", sale("sale-k")).body["started"], j["started"]);
  ASSERT_EQ(post("till", sale("sale-k2")).body["state"], "done");
  EXPECT_EQ(simCounters("till").receipt, c.receipt + 1);
}

TEST_F(AgentTest, OpenReceiptsAreCancelledBeforeTheNextFiscalJob) {
  // A receipt the register holds open from before.
  std::ofstream(path("till.state")) << "termina-sim-state 1\ndoc=17\n";
  startSim("till");
  startAgent();
  auto r = post("till", sale("after-open"));
  ASSERT_EQ(r.body["state"], "done") << r.body.dump();
  EXPECT_EQ(r.body["result"]["cancelled_open_receipt"], true);
  EXPECT_EQ(simCounters("till").receipt, 1u);

  // A line the register refuses: the job fails with its code and the
  // receipt it opened is cancelled, not left for the next one.
  auto bad = post("till", sale("too-dear", "20000000000"));
  EXPECT_EQ(bad.body["state"], "failed") << bad.body.dump();
  EXPECT_EQ(bad.body["code"], 3);
  EXPECT_EQ(bad.body["code_name"], "bad_parameter");
  EXPECT_EQ(bad.body["result"]["receipt_cancelled"], true);
  EXPECT_EQ(simCounters("till").docState, 0);
  auto next = post("till", sale("next"));
  EXPECT_EQ(next.body["state"], "done");
  EXPECT_EQ(next.body["result"]["cancelled_open_receipt"], false);
  EXPECT_EQ(simCounters("till").receipt, 2u);
}

TEST_F(AgentTest, BadInputNeverReachesTheRegister) {
  startSim("till");
  startAgent();
  const auto before = simCounters("till");
  auto c = client();
  auto postRaw = [&](const std::string& target, const std::string& body) {
    return reply(c->Post(target.c_str(), body, "application/json"));
  };
  struct Case {
    std::string body;
    int status;
    std::string field;
  };
  json noItems = sale("b1");
  noItems.erase("items");
  json badQty = sale("b2");
  badQty["items"][0]["quantity"] = 1.5;
  json badPrice = sale("b3");
  badPrice["items"][0]["price"] = "1e3";
  json badText = sale("b4");
  badText["items"][0]["name"] = "漢字";
  json longName = sale("b5");
  longName["items"][0]["name"] = std::string(41, 'x');
  json badType = sale("b6");
  badType["payments"][0]["type"] = 16;
  const std::vector<Case> cases{
      {"{not json", 400, ""},
      {"[1,2]", 400, ""},
      {R"({"kind":"status"})", 400, "id"},
      {R"({"id":"a b","kind":"status"})", 400, "id"},
      {R"({"id":")" + std::string(65, 'a') + R"(","kind":"status"})", 400, "id"},
      {R"({"id":"k","kind":"teleport"})", 400, "kind"},
      {R"({"id":"k","kind":"status","extra":1})", 400, "extra"},
      {R"({"id":"k","kind":"cash_in","amount":"-5"})", 400, "amount"},
      {R"({"id":"k","kind":"config_set","table":1,"field":0})", 400, "value"},
      {R"({"id":"k","kind":"display","text":"a\tb"})", 400, "text"},
      {noItems.dump(), 400, "items"},
      {badQty.dump(), 400, "items[0].quantity"},
      {badPrice.dump(), 400, "items[0].price"},
      {badText.dump(), 400, "items[0].name"},
      {longName.dump(), 400, "items[0].name"},
      {badType.dump(), 400, "payments[0].type"},
  };
  for (const auto& k : cases) {
    auto r = postRaw("/v1/registers/till/jobs", k.body);
    EXPECT_EQ(r.status, k.status) << k.body;
    EXPECT_TRUE(r.body.contains("error")) << k.body;
    if (!k.field.empty()) { EXPECT_EQ(r.body["field"], k.field) << k.body << " " << r.body.dump(); }
  }
  // A text the register cannot take carries the driver's reason.
  EXPECT_NE(postRaw("/v1/registers/till/jobs", badText.dump()).body["error"].get<std::string>().find("Неверный"),
            std::string::npos);
  EXPECT_EQ(postRaw("/v1/registers/nowhere/jobs", sale("n1").dump()).status, 404);
  EXPECT_EQ(postRaw("/v1/registers/till/jobs?wait=61", sale("w1").dump()).status, 400);
  EXPECT_EQ(postRaw("/v1/registers/till/jobs", std::string(70000, ' ')).status, 413);
  EXPECT_EQ(get("/v1/registers/nowhere").status, 404);
  EXPECT_EQ(get("/v1/jobs/nothing").status, 404);
  EXPECT_EQ(get("/v1/jobs?state=lost").status, 400);

  // Not one of them was stored or sent; the agent still works.
  EXPECT_EQ(get("/v1/jobs").body["jobs"].size(), 0u);
  const auto after = simCounters("till");
  EXPECT_EQ(after.document, before.document);
  EXPECT_EQ(post("till", {{"id", "fine"}, {"kind", "status"}}).body["state"], "done");
}

TEST_F(AgentTest, TokenAndBrowserOrigins) {
  startSim("till");
  startAgent();
  httplib::Client bare("127.0.0.1", agentPort_);
  EXPECT_EQ(bare.Get("/healthz")->status, 200);
  EXPECT_EQ(bare.Get("/v1/registers")->status, 401);
  EXPECT_EQ(bare.Get("/metrics")->status, 401);
  bare.set_bearer_token_auth((token_ + "x").c_str());
  EXPECT_EQ(bare.Get("/v1/registers")->status, 401);
  bare.set_bearer_token_auth(token_.substr(0, token_.size() - 1).c_str());
  EXPECT_EQ(bare.Post("/v1/registers/till/jobs", sale("t1").dump(), "application/json")->status, 401);
  EXPECT_EQ(get("/v1/jobs/t1").status, 404);
  // The token file is the owner's alone.
  EXPECT_EQ(std::filesystem::status(path("agent.token")).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  // The allowed page: preflight with the private network, then the call.
  httplib::Headers pre{{"Origin", "https://pos.example"},
                       {"Access-Control-Request-Method", "POST"},
                       {"Access-Control-Request-Headers", "authorization, content-type"},
                       {"Access-Control-Request-Private-Network", "true"}};
  auto p = bare.Options("/v1/registers/till/jobs", pre);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->status, 204);
  EXPECT_EQ(p->get_header_value("Access-Control-Allow-Origin"), "https://pos.example");
  EXPECT_EQ(p->get_header_value("Access-Control-Allow-Private-Network"), "true");
  EXPECT_NE(p->get_header_value("Access-Control-Allow-Headers").find("Authorization"), std::string::npos);
  auto c = client();
  auto ok = c->Get("/v1/registers", {{"Origin", "https://pos.example"}});
  EXPECT_EQ(ok->status, 200);
  EXPECT_EQ(ok->get_header_value("Access-Control-Allow-Origin"), "https://pos.example");
  // Another page: refused, preflight and call alike, with no CORS grant.
  pre.erase("Origin");
  pre.emplace("Origin", "https://evil.example");
  auto p2 = bare.Options("/v1/registers/till/jobs", pre);
  EXPECT_EQ(p2->status, 403);
  EXPECT_FALSE(p2->has_header("Access-Control-Allow-Origin"));
  auto no =
      c->Post("/v1/registers/till/jobs", {{"Origin", "https://evil.example"}}, sale("t2").dump(), "application/json");
  EXPECT_EQ(no->status, 403);
  EXPECT_FALSE(no->has_header("Access-Control-Allow-Origin"));
  EXPECT_EQ(get("/v1/jobs/t2").status, 404);
}

TEST_F(AgentTest, AnOfflineRegisterIsReopenedAndItsJobsWaitUntilTheirDeadline) {
  startSim("till");
  const unsigned port = ports_["till"];
  sim("till").kill(SIGTERM);
  startAgent();
  ASSERT_TRUE(waitUntil([&] { return get("/v1/registers/till").body["state"] == "offline"; }));
  // A job past its deadline fails with the link's code.
  json st = {{"id", "late"}, {"kind", "status"}, {"deadline", 1}};
  EXPECT_EQ(post("till", st, 0).status, 202);
  const json late = ended("late");
  EXPECT_EQ(late["state"], "failed");
  EXPECT_EQ(late["code_name"], "tcp_not_connected") << late.dump();
  // A queued job can be withdrawn; an ended one cannot.
  EXPECT_EQ(post("till", {{"id", "w"}, {"kind", "open_drawer"}}, 0).status, 202);
  auto del = reply(client()->Delete("/v1/jobs/w"));
  EXPECT_EQ(del.status, 200);
  EXPECT_EQ(del.body["code_name"], "withdrawn");
  EXPECT_EQ(reply(client()->Delete("/v1/jobs/w")).status, 409);
  EXPECT_EQ(reply(client()->Delete("/v1/jobs/late")).status, 409);
  // A sale that waits while the register comes back runs then.
  EXPECT_EQ(post("till", sale("s-wait"), 0).status, 202);
  startSim("till", {}, port);
  const json j = ended("s-wait");
  EXPECT_EQ(j["state"], "done") << j.dump();
  EXPECT_TRUE(waitUntil([&] { return get("/v1/registers/till").body["state"] == "ready"; }));
  EXPECT_EQ(simCounters("till").receipt, 1u);
  auto m = client()->Get("/metrics");
  EXPECT_NE(m->body.find("termina_link_errors_total{register=\"till\",code_name=\"tcp_not_connected\"}"),
            std::string::npos);
}

}  // namespace
}  // namespace termina::test

namespace termina::test {
namespace {

// A configuration the agent cannot use ends it at once with the file, the
// line and the key named (two lines of paths come first).
TEST_F(AgentTest, ABadConfigurationIsRefusedWithItsLine) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"listen = \"127.0.0.1:0\"\nsurprise = 1\n", ":4: unknown key surprise"},
      {"listen = \"nowhere\"\n", ":3: listen must be host:port"},
      {"[register.a]\nserial = \"/dev/null\"\ntcp = \"127.0.0.1:1\"\n", "needs either serial or tcp"},
      {"[register.a]\ntcp = \"127.0.0.1:1\"\nspeed = 12345\n", ":5: register.a.speed: not a speed"},
      {"status_interval = \"soon\"\n", ":3: status_interval must be a whole number"},
      {"listen = [\n", path("bad.toml") + ":"},
  };
  for (const auto& [text, expected] : cases) {
    std::ofstream(path("bad.toml"), std::ios::trunc)
        << "token_file = \"" << path("t") << "\"\njournal = \"" << path("j.db") << "\"\n"
        << text;
    Child agent(TERMINA_AGENT_EXE, {"--config", path("bad.toml")}, path("bad.err"));
    const int status = agent.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << text;
    std::ifstream in(path("bad.err"));
    std::stringstream err;
    err << in.rdbuf();
    EXPECT_NE(err.str().find(expected), std::string::npos) << text << "\n" << err.str();
    std::filesystem::remove(path("bad.err"));
  }
}

}  // namespace
}  // namespace termina::test
