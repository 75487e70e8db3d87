// SPDX-License-Identifier: GPL-3.0-or-later
// The texts `trma find` reads: the --ports and --speeds lists a user types,
// and the lines a port's probing process sends back to the scan.  Plain
// functions without the driver, so that they can be fuzzed alone.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace termina::cli {

// One entry of --ports: a COM number, or a device path (com 0).
struct PortSpec {
  unsigned com = 0;
  std::string path;
  bool operator==(const PortSpec&) const = default;
};

// At most this many ports in one scan: each is a thread of its own.
inline constexpr std::size_t kMaxScanPorts = 64;

// "1,3,5-8,COM12,/dev/ttyUSB0": COM numbers 1..255 (with or without "COM",
// any case), ranges of them, and absolute device paths, separated by
// commas.  Repeated entries are kept once, in the order first given.
// Nothing and an error text (UTF-8) on a bad list.
std::optional<std::vector<PortSpec>> parsePortList(std::string_view text, std::string& error);

// "19200,9600": line rates of the driver's speed table, in the order to try
// them; repeats are kept once.  Nothing and an error text on a bad list.
std::optional<std::vector<unsigned>> parseSpeedList(std::string_view text, std::string& error);

// What a probing process reports, one line each.
struct ProbeEvent {
  enum Kind { Trying, Silent, Found, Failed, Unusable } kind = Trying;
  unsigned speed = 0;          // Trying, Silent, Found, Failed
  unsigned version = 0;        // Found
  unsigned versionResult = 0;  // Found: 0, or the code the version query returned
  unsigned code = 0;           // Failed: the driver's result code
  int problem = 0;             // Unusable: a PortProblem
  int error = 0;               // Unusable: errno of the failing step
  bool operator==(const ProbeEvent&) const = default;
};

// "try 19200", "silent 19200", "found 19200 201 0", "failed 19200 16",
// "unusable 2 16", with the line break.
std::string formatProbeEvent(const ProbeEvent& e);
// One line without its line break; nothing when it is not one of the above
// or a number is out of range.
std::optional<ProbeEvent> parseProbeEvent(std::string_view line);

}  // namespace termina::cli
