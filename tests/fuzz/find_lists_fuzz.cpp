// SPDX-License-Identifier: GPL-3.0-or-later
// The lists a user gives trma find and the lines a port's probing process
// sends back.  An accepted port list holds at most the scan's limit of
// distinct entries, each a COM number 1..255 or an absolute path; an
// accepted speed list holds distinct rates of the driver's table; an
// accepted probe line formats into a line that reads back as the same event.
#include "find_lists.h"
#include "fuzz_check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace termina::cli;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  if (const auto ports = parsePortList(text, error)) {
    FUZZ_CHECK(!ports->empty() && ports->size() <= kMaxScanPorts);
    for (std::size_t i = 0; i < ports->size(); ++i) {
      const PortSpec& p = (*ports)[i];
      FUZZ_CHECK(p.com == 0 ? (!p.path.empty() && p.path[0] == '/') : (p.com <= 255 && p.path.empty()));
      FUZZ_CHECK(std::find(ports->begin() + static_cast<long>(i) + 1, ports->end(), p) == ports->end());
    }
  } else {
    FUZZ_CHECK(!error.empty());
  }
  error.clear();
  if (const auto speeds = parseSpeedList(text, error)) {
    FUZZ_CHECK(!speeds->empty());
    for (std::size_t i = 0; i < speeds->size(); ++i) {
      const unsigned s = (*speeds)[i];
      FUZZ_CHECK(s == 2400 || s == 4800 || s == 9600 || s == 19200 || s == 38400 || s == 57600 || s == 115200);
      FUZZ_CHECK(std::count(speeds->begin(), speeds->end(), s) == 1);
    }
  } else {
    FUZZ_CHECK(!error.empty());
  }
  if (const auto e = parseProbeEvent(text)) {
    const std::string line = formatProbeEvent(*e);
    FUZZ_CHECK(!line.empty() && line.back() == '\n');
    const auto back = parseProbeEvent(std::string_view(line).substr(0, line.size() - 1));
    FUZZ_CHECK(back && *back == *e);
  }
  return 0;
}
