// SPDX-License-Identifier: GPL-3.0-or-later
#include "config.h"

#include <stdexcept>

#include <toml++/toml.h>

#include "job.h"
#include "platform.h"

namespace termina::agent {

namespace {

[[noreturn]] void bad(const std::string& path, const toml::source_region& where, const std::string& what) {
  std::string at = path;
  if (where.begin.line > 0) at += ":" + std::to_string(where.begin.line);
  throw std::runtime_error(at + ": " + what);
}

std::string text(const toml::node& n, const std::string& path, const std::string& key) {
  if (!n.is_string()) bad(path, n.source(), key + " must be a string");
  return n.as_string()->get();
}

unsigned number(const toml::node& n, const std::string& path, const std::string& key, int64_t lo, int64_t hi) {
  if (!n.is_integer()) bad(path, n.source(), key + " must be a whole number");
  const int64_t v = n.as_integer()->get();
  if (v < lo || v > hi)
    bad(path, n.source(), key + " must be from " + std::to_string(lo) + " to " + std::to_string(hi));
  return static_cast<unsigned>(v);
}

bool validSpeed(unsigned s) {
  for (unsigned v : {2400u, 4800u, 9600u, 19200u, 38400u, 57600u, 115200u})
    if (s == v) return true;
  return false;
}

}  // namespace

bool splitHostPort(const std::string& t, std::string& host, unsigned& port) {
  const auto colon = t.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == t.size()) return false;
  const std::string p = t.substr(colon + 1);
  if (p.size() > 5) return false;
  unsigned v = 0;
  for (char c : p) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > 65535) return false;
  host = t.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  port = v;
  return true;
}

Config parseConfig(const std::string& source, const std::string& path) {
  toml::table t;
  try {
    t = toml::parse(source, path);
  } catch (const toml::parse_error& e) { bad(path, e.source(), std::string(e.description())); }
  Config c;
  for (auto&& [k, v] : t) {
    const std::string key(k.str());
    if (key == "listen") {
      if (!splitHostPort(text(v, path, key), c.listenHost, c.listenPort))
        bad(path, v.source(), "listen must be host:port");
    } else if (key == "token_file") {
      c.tokenFile = text(v, path, key);
    } else if (key == "journal") {
      c.journal = text(v, path, key);
    } else if (key == "allowed_origins") {
      if (!v.is_array()) bad(path, v.source(), "allowed_origins must be an array of strings");
      for (auto&& o : *v.as_array()) c.allowedOrigins.push_back(text(o, path, "allowed_origins"));
    } else if (key == "status_interval") {
      c.statusInterval = number(v, path, key, 1, 86400);
    } else if (key == "register") {
      if (!v.is_table()) bad(path, v.source(), "register must be a table of registers");
      for (auto&& [rk, rv] : *v.as_table()) {
        RegisterConfig r;
        r.name = std::string(rk.str());
        if (!validJobId(r.name)) bad(path, rv.source(), "register name \"" + r.name + "\": letters, digits, . _ -");
        if (!rv.is_table()) bad(path, rv.source(), "register." + r.name + " must be a table");
        for (auto&& [fk, fv] : *rv.as_table()) {
          const std::string f = "register." + r.name + "." + std::string(fk.str());
          const std::string_view name = fk.str();
          if (name == "serial") {
            r.serial = text(fv, path, f);
          } else if (name == "speed") {
            r.speed = number(fv, path, f, 0, 115200);
            if (!validSpeed(r.speed)) bad(path, fv.source(), f + ": not a speed of the register");
          } else if (name == "tcp") {
            if (!splitHostPort(text(fv, path, f), r.host, r.port) || r.port == 0)
              bad(path, fv.source(), f + " must be host:port");
          } else if (name == "password") {
            r.password = text(fv, path, f);
            if (r.password.size() > 59) bad(path, fv.source(), f + ": at most 59 characters");
          } else {
            bad(path, fv.source(), "unknown key " + f);
          }
        }
        if (r.serial.empty() == r.host.empty())
          bad(path, rv.source(), "register." + r.name + " needs either serial or tcp");
        c.registers.push_back(std::move(r));
      }
    } else {
      bad(path, v.source(), "unknown key " + key);
    }
  }
  return c;
}

Config loadConfig(const std::string& path) {
  const auto text = platform::readFile(path);
  if (!text) throw std::runtime_error(path + ": cannot be read");
  return parseConfig(*text, path);
}

}  // namespace termina::agent
