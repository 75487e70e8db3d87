// SPDX-License-Identifier: GPL-3.0-or-later
#include "http_api.h"

#include <httplib.h>

#include <algorithm>

#include "agent.h"
#include "termina.h"

namespace termina::agent {

namespace {

using json = nlohmann::json;

void sendJson(httplib::Response& res, int status, const json& j) {
  res.status = status;
  res.set_content(j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n", "application/json; charset=utf-8");
}

void sendError(httplib::Response& res, int status, const std::string& message, const std::string& field = "") {
  json j = {{"error", message}};
  if (!field.empty()) j["field"] = field;
  sendJson(res, status, j);
}

bool originAllowed(const Agent& agent, const std::string& origin) {
  const auto& list = agent.config().allowedOrigins;
  return std::find(list.begin(), list.end(), origin) != list.end();
}

// A whole number from 0 to max in a query parameter; nullopt when it is
// not one.
std::optional<unsigned> queryNumber(const httplib::Request& req, const char* key, unsigned dflt, unsigned max) {
  if (!req.has_param(key)) return dflt;
  const std::string v = req.get_param_value(key);
  if (v.empty() || v.size() > 6) return std::nullopt;
  unsigned n = 0;
  for (char c : v) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  if (n > max) return std::nullopt;
  return n;
}

}  // namespace

void installRoutes(httplib::Server& srv, Agent& agent) {
  srv.set_payload_max_length(kMaxBody);
  // Answers are small and go out whole: no waiting for more to send.
  srv.set_tcp_nodelay(true);

  srv.set_pre_routing_handler([&agent](const httplib::Request& req, httplib::Response& res) {
    const std::string origin = req.get_header_value("Origin");
    if (!origin.empty()) {
      if (!originAllowed(agent, origin)) {
        sendError(res, 403, "origin not allowed: " + origin);
        return httplib::Server::HandlerResponse::Handled;
      }
      res.set_header("Access-Control-Allow-Origin", origin);
      res.set_header("Vary", "Origin");
    }
    if (req.method == "OPTIONS") {
      res.set_header("Access-Control-Allow-Methods", "GET, POST, DELETE, OPTIONS");
      res.set_header("Access-Control-Allow-Headers", "Authorization, Content-Type");
      res.set_header("Access-Control-Max-Age", "600");
      // An HTTPS page calling this loopback service asks for the private
      // network first.
      if (!origin.empty() && req.get_header_value("Access-Control-Request-Private-Network") == "true")
        res.set_header("Access-Control-Allow-Private-Network", "true");
      res.status = 204;
      return httplib::Server::HandlerResponse::Handled;
    }
    if (req.path == "/healthz") return httplib::Server::HandlerResponse::Unhandled;
    const std::string auth = req.get_header_value("Authorization");
    const std::string prefix = "Bearer ";
    if (auth.compare(0, prefix.size(), prefix) != 0 || !agent.tokenMatches(auth.substr(prefix.size()))) {
      res.set_header("WWW-Authenticate", "Bearer");
      sendError(res, 401, auth.empty() ? "the Authorization header is missing" : "wrong token");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  // The library's own refusals (413, 404 of no route, 400 of a bad request
  // line) as JSON too.
  srv.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
    std::string msg = "request refused (HTTP " + std::to_string(res.status) + ")";
    if (res.status == 413) msg = "the body is larger than 64 KiB";
    sendError(res, res.status, msg);
    return httplib::Server::HandlerResponse::Handled;
  }));

  srv.Get("/healthz", [](const httplib::Request&, httplib::Response& res) { sendJson(res, 200, {{"status", "ok"}}); });

  srv.Get("/metrics", [&agent](const httplib::Request&, httplib::Response& res) {
    res.status = 200;
    res.set_content(agent.metrics(), "text/plain; version=0.0.4; charset=utf-8");
  });

  srv.Get("/v1/registers",
          [&agent](const httplib::Request&, httplib::Response& res) { sendJson(res, 200, agent.registers()); });

  srv.Get(R"(/v1/registers/([^/]+))", [&agent](const httplib::Request& req, httplib::Response& res) {
    const auto v = agent.registerView(req.matches[1]);
    if (!v) return sendError(res, 404, "no register named " + std::string(req.matches[1]));
    sendJson(res, 200, *v);
  });

  srv.Post(R"(/v1/registers/([^/]+)/jobs)", [&agent](const httplib::Request& req, httplib::Response& res) {
    const std::string reg = req.matches[1];
    if (!agent.hasRegister(reg)) return sendError(res, 404, "no register named " + reg);
    const auto wait = queryNumber(req, "wait", 0, 60);
    if (!wait) return sendError(res, 400, "wait: a number of seconds from 0 to 60", "wait");
    ParseError pe;
    const auto spec = parseJob(req.body, pe);
    if (!spec) {
      std::string msg = pe.message;
      if (pe.badText) {
        char reason[TERMINA_MESSAGE_MAX];
        termina_error_text(nullptr, TERMINA_E_ARGUMENT, reason, sizeof reason);
        msg += " (" + std::string(reason) + ")";
      }
      return sendError(res, pe.status, msg, pe.field);
    }
    JobRecord stored;
    const auto r = agent.submit(reg, *spec, stored);
    if (r == Agent::Submitted::Conflict) {
      json j = {{"error", "a job with this id and another body exists"}, {"field", "id"}, {"job", stored.toJson()}};
      return sendJson(res, 409, j);
    }
    if (*wait > 0 && !stored.ended()) {
      if (auto j = agent.waitJob(stored.id, *wait)) stored = *j;
    }
    sendJson(res, stored.ended() ? 200 : 202, stored.toJson());
  });

  srv.Get(R"(/v1/jobs/([^/]+))", [&agent](const httplib::Request& req, httplib::Response& res) {
    const auto j = agent.job(req.matches[1]);
    if (!j) return sendError(res, 404, "no job with the id " + std::string(req.matches[1]));
    sendJson(res, 200, j->toJson());
  });

  srv.Get("/v1/jobs", [&agent](const httplib::Request& req, httplib::Response& res) {
    const std::string reg = req.get_param_value("register");
    const std::string state = req.get_param_value("state");
    if (!reg.empty() && !agent.hasRegister(reg)) return sendError(res, 404, "no register named " + reg, "register");
    static const char* const kStates[] = {"queued", "running", "done", "failed", "uncertain"};
    if (!state.empty() && std::find(std::begin(kStates), std::end(kStates), state) == std::end(kStates))
      return sendError(res, 400, "state: one of queued, running, done, failed, uncertain", "state");
    const auto limit = queryNumber(req, "limit", 100, 10000);
    if (!limit || *limit == 0) return sendError(res, 400, "limit: a number from 1 to 10000", "limit");
    json list = json::array();
    for (const auto& j : agent.jobs(reg, state, static_cast<int>(*limit))) list.push_back(j.toJson());
    sendJson(res, 200, {{"jobs", list}});
  });

  srv.Delete(R"(/v1/jobs/([^/]+))", [&agent](const httplib::Request& req, httplib::Response& res) {
    const std::string id = req.matches[1];
    const auto r = agent.withdraw(id);
    if (!r) return sendError(res, 404, "no job with the id " + id);
    const auto j = agent.job(id);
    if (!*r) {
      json body = {{"error", "the job has started or ended: it cannot be withdrawn"}};
      if (j) body["job"] = j->toJson();
      return sendJson(res, 409, body);
    }
    sendJson(res, 200, j ? j->toJson() : json(nullptr));
  });
}

}  // namespace termina::agent
