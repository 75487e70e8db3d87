// SPDX-License-Identifier: GPL-3.0-or-later
#include "find_lists.h"

#include <algorithm>
#include <cstdint>

namespace termina::cli {
namespace {

constexpr unsigned kSpeeds[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};

// Unsigned decimal of at most 10 digits, no sign, no blanks.
std::optional<uint64_t> decimal(std::string_view s) {
  if (s.empty() || s.size() > 10) return std::nullopt;
  uint64_t n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  return n;
}

std::vector<std::string_view> split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  std::size_t from = 0;
  while (true) {
    const std::size_t at = text.find(sep, from);
    parts.push_back(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) return parts;
    from = at + 1;
  }
}

// "7" or "COM7" (any case) as a COM number 1..255.
std::optional<unsigned> comNumber(std::string_view s) {
  if (s.size() > 3 && (s[0] | 0x20) == 'c' && (s[1] | 0x20) == 'o' && (s[2] | 0x20) == 'm') s.remove_prefix(3);
  const auto n = decimal(s);
  if (!n || *n < 1 || *n > 255) return std::nullopt;
  return static_cast<unsigned>(*n);
}

std::string shown(std::string_view s) {
  std::string out;
  for (char c : s.substr(0, 40)) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
  return out;
}

}  // namespace

std::optional<std::vector<PortSpec>> parsePortList(std::string_view text, std::string& error) {
  std::vector<PortSpec> ports;
  const auto add = [&](PortSpec p) {
    if (std::find(ports.begin(), ports.end(), p) == ports.end()) ports.push_back(std::move(p));
    return ports.size() <= kMaxScanPorts;
  };
  for (std::string_view item : split(text, ',')) {
    if (item.empty()) {
      error = "--ports: пустой элемент списка";
      return std::nullopt;
    }
    bool fits = true;
    if (item.front() == '/') {
      if (item.find('\0') != std::string_view::npos || item.size() > 4096) {
        error = "--ports: недопустимый путь к устройству";
        return std::nullopt;
      }
      fits = add({0, std::string(item)});
    } else if (const std::size_t dash = item.find('-'); dash != std::string_view::npos) {
      const auto first = comNumber(item.substr(0, dash));
      const auto last = comNumber(item.substr(dash + 1));
      if (!first || !last || *first > *last) {
        error = "--ports: неверный диапазон \"" + shown(item) + "\" (ожидается, например, 1-10)";
        return std::nullopt;
      }
      for (unsigned n = *first; n <= *last && fits; ++n) fits = add({n, {}});
    } else if (const auto n = comNumber(item)) {
      fits = add({*n, {}});
    } else {
      error = "--ports: \"" + shown(item) + "\" не номер порта 1..255 и не путь к устройству";
      return std::nullopt;
    }
    if (!fits) {
      error = "--ports: не более " + std::to_string(kMaxScanPorts) + " портов за один поиск";
      return std::nullopt;
    }
  }
  return ports;
}

std::optional<std::vector<unsigned>> parseSpeedList(std::string_view text, std::string& error) {
  std::vector<unsigned> speeds;
  for (std::string_view item : split(text, ',')) {
    const auto n = decimal(item);
    if (!n || std::find(std::begin(kSpeeds), std::end(kSpeeds), *n) == std::end(kSpeeds)) {
      error = "--speeds: \"" + shown(item) +
              "\" не скорость драйвера (допустимы 2400, 4800, 9600, 19200, 38400, 57600, 115200)";
      return std::nullopt;
    }
    if (std::find(speeds.begin(), speeds.end(), *n) == speeds.end()) speeds.push_back(static_cast<unsigned>(*n));
  }
  return speeds;
}

std::string formatProbeEvent(const ProbeEvent& e) {
  const auto u = [](unsigned v) { return std::to_string(v); };
  switch (e.kind) {
    case ProbeEvent::Trying: return "try " + u(e.speed) + "\n";
    case ProbeEvent::Silent: return "silent " + u(e.speed) + "\n";
    case ProbeEvent::Found: return "found " + u(e.speed) + " " + u(e.version) + " " + u(e.versionResult) + "\n";
    case ProbeEvent::Failed: return "failed " + u(e.speed) + " " + u(e.code) + "\n";
    case ProbeEvent::Unusable: return "unusable " + std::to_string(e.problem) + " " + std::to_string(e.error) + "\n";
  }
  return "\n";
}

std::optional<ProbeEvent> parseProbeEvent(std::string_view line) {
  const std::vector<std::string_view> w = split(line, ' ');
  std::vector<uint64_t> n;
  for (std::size_t i = 1; i < w.size(); ++i) {
    const auto v = decimal(w[i]);
    if (!v || *v > 0xFFFFFFFFu / 2) return std::nullopt;
    n.push_back(*v);
  }
  const auto args = [&](std::size_t count) { return n.size() == count; };
  ProbeEvent e;
  if (w[0] == "try" && args(1)) {
    e.kind = ProbeEvent::Trying;
  } else if (w[0] == "silent" && args(1)) {
    e.kind = ProbeEvent::Silent;
  } else if (w[0] == "found" && args(3) && n[1] <= 0xFFFF && n[2] <= 0xFFFF) {
    e.kind = ProbeEvent::Found;
    e.version = static_cast<unsigned>(n[1]);
    e.versionResult = static_cast<unsigned>(n[2]);
  } else if (w[0] == "failed" && args(2) && n[1] <= 0xFFFF) {
    e.kind = ProbeEvent::Failed;
    e.code = static_cast<unsigned>(n[1]);
  } else if (w[0] == "unusable" && args(2)) {
    e.kind = ProbeEvent::Unusable;
    e.problem = static_cast<int>(n[0]);
    e.error = static_cast<int>(n[1]);
    return e;
  } else {
    return std::nullopt;
  }
  if (n[0] > 4000000) return std::nullopt;
  e.speed = static_cast<unsigned>(n[0]);
  return e;
}

}  // namespace termina::cli
