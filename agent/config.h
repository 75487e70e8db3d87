// SPDX-License-Identifier: GPL-3.0-or-later
// The agent's configuration file (TOML).
#pragma once

#include <string>
#include <vector>

namespace termina::agent {

struct RegisterConfig {
  std::string name;
  std::string serial;  // a device path or "COM<n>"; empty for a TCP link
  unsigned speed = 19200;
  std::string host;  // TCP link
  unsigned port = 0;
  std::string password;  // data-exchange password; empty: the driver's default
};

struct Config {
  std::string listenHost = "127.0.0.1";
  unsigned listenPort = 8720;
  std::string tokenFile = "/etc/termina/agent.token";
  std::string journal = "/var/lib/termina-agent/jobs.db";
  std::vector<std::string> allowedOrigins;
  unsigned statusInterval = 30;
  std::vector<RegisterConfig> registers;
};

// Reads the file; throws std::runtime_error with a message naming the file,
// the line and the key when it cannot be used.
Config loadConfig(const std::string& path);
// The same from text (path only names it in messages).
Config parseConfig(const std::string& text, const std::string& path);

// "host:port" (a port of 0 to 65535); false when it is not.
bool splitHostPort(const std::string& text, std::string& host, unsigned& port);

}  // namespace termina::agent
