// SPDX-License-Identifier: GPL-3.0-or-later
// termina-agent: the registers of a shop as a local HTTP service.
#include <httplib.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <thread>

#include "agent.h"
#include "http_api.h"
#include "platform.h"

namespace {

const char* kHelp =
    "Usage: termina-agent --config FILE\n"
    "Serves the fiscal registers named in FILE (TOML) over HTTP with JSON: one queue per\n"
    "register, jobs made idempotent by their id and kept in a journal, metrics for Prometheus.\n"
    "On start it prints \"listen HOST:PORT\" (a listen port of 0 takes any free port).\n"
    "Runs until SIGINT or SIGTERM.\n"
    "\n"
    "  --config FILE   the configuration file\n"
    "  --help          this text\n";

}  // namespace

int main(int argc, char** argv) {
  using namespace termina::agent;
  std::string configPath;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (a == "--config" && i + 1 < argc) {
      configPath = argv[++i];
    } else {
      std::fprintf(stderr, "termina-agent: unknown option %s (see --help)\n", a.c_str());
      return 2;
    }
  }
  if (configPath.empty()) {
    std::fprintf(stderr, "termina-agent: --config FILE is required (see --help)\n");
    return 2;
  }
  platform::prepareStopSignals();
  try {
    Agent agent(loadConfig(configPath));
    if (agent.config().registers.empty())
      std::fprintf(stderr, "termina-agent: %s names no register ([register.NAME])\n", configPath.c_str());
    httplib::Server server;
    // Callers that wait for their jobs hold a thread each.
    server.new_task_queue = [] { return new httplib::ThreadPool(32); };
    installRoutes(server, agent);
    const auto& cfg = agent.config();
    int port = static_cast<int>(cfg.listenPort);
    bool bound =
        port == 0 ? (port = server.bind_to_any_port(cfg.listenHost)) > 0 : server.bind_to_port(cfg.listenHost, port);
    if (!bound) {
      std::fprintf(stderr, "termina-agent: cannot listen on %s:%u\n", cfg.listenHost.c_str(), cfg.listenPort);
      return 1;
    }
    agent.start();
    std::thread http([&server] { server.listen_after_bind(); });
    std::printf("listen %s:%d\n", cfg.listenHost.c_str(), port);
    std::fflush(stdout);
    platform::waitForStop();
    // The workers end their running jobs and the callers waiting for jobs
    // are answered; then the server stops.
    agent.stop();
    server.stop();
    http.join();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "termina-agent: %s\n", e.what());
    return 1;
  }
  return 0;
}
