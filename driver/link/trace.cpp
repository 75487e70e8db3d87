// SPDX-License-Identifier: LGPL-2.1-or-later
#include "trace.h"

#include "codepage.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

namespace termina::link::trace {

namespace {

// Kept in a function so that it exists before the library's load-time
// initialisation asks for it, whatever the order of static initialisers.
struct Settings {
  std::mutex lock;
  std::string path;  // guarded by lock
};
Settings& settings() {
  static Settings s;
  return s;
}
std::atomic<bool> g_enabled{false};  // constant-initialised

std::string timestamp() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
  return buf;
}

const char* controlName(unsigned char c) {
  switch (c) {
    case 0x01: return "<SOH>";
    case 0x02: return "<STX>";
    case 0x03: return "<ETX>";
    case 0x05: return "<ENQ>";
    case 0x06: return "<ACK>";
    case 0x18: return "<CAN>";
    case 0x1B: return "<ESC>";
    case 0x1C: return "<FS>";
    default: return nullptr;
  }
}

// The bytes as readable text: printable characters decoded from code page
// 866, control bytes by name or as \xNN.
std::string readable(std::string_view data) {
  std::string out;
  for (unsigned char c : data) {
    if (const char* name = controlName(c)) {
      out += name;
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += cp::oemToUtf8(std::string_view(reinterpret_cast<const char*>(&c), 1));
    }
  }
  return out;
}

void writeLine(const std::string& line) {
  Settings& st = settings();
  std::lock_guard g(st.lock);
  if (st.path.empty()) return;
  if (std::FILE* f = std::fopen(st.path.c_str(), "a")) {
    std::fputs(line.c_str(), f);
    std::fclose(f);
  }
}

}  // namespace

void configure() {
  const char* p = std::getenv("TERMINA_TRACE");
  Settings& st = settings();
  std::lock_guard g(st.lock);
  st.path = p ? p : "";
  g_enabled = !st.path.empty();
}

bool enabled() { return g_enabled.load(std::memory_order_relaxed); }

void bytes(Dir dir, std::string_view what, std::string_view data) {
  if (!enabled()) return;
  static const char* const arrows[] = {"->", "<-", "--"};
  std::string line = timestamp() + " " + arrows[static_cast<int>(dir)] + " " + std::string(what);
  line += " [" + std::to_string(data.size()) + "]";
  static const char digits[] = "0123456789ABCDEF";
  for (unsigned char c : data) {
    line += ' ';
    line += digits[c >> 4];
    line += digits[c & 15];
  }
  line += "  |" + readable(data) + "|\n";
  writeLine(line);
}

void note(std::string_view what) {
  if (!enabled()) return;
  writeLine(timestamp() + " -- " + std::string(what) + "\n");
}

}  // namespace termina::link::trace
