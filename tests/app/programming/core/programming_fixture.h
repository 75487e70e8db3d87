// SPDX-License-Identifier: GPL-3.0-or-later
// The programming sequences against a simulated register of a chosen
// version, with the requests it received written out as "code|field|field".
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core_fixture.h"

namespace termina::apptest {

// A file's bytes (none when it cannot be read).
inline std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ProgrammingTest : public CoreTest {
 protected:
  // A register of the version, connected, with an empty log.
  void Start(uint16_t version) {
    sim::Config cfg;
    cfg.version = version;
    StartRegister(cfg);
    m_sim->setReady();
    Connect();
  }

  // Every request since the log was cleared: its code and fields joined by
  // '|'.  The date and time fields of command 00 are left out.
  std::vector<std::string> Ops() const {
    std::vector<std::string> ops;
    for (const auto& r : m_sim->requests()) {
      std::string op = r.code;
      if (r.code != "00")
        for (const auto& f : r.fieldsUtf8) op += "|" + f;
      ops.push_back(op);
    }
    return ops;
  }
  // Only the table writes, as "table|field|value".
  std::vector<std::string> Writes() const {
    std::vector<std::string> w;
    for (const std::string& op : Ops())
      if (op.rfind("A2|", 0) == 0) w.push_back(op.substr(3));
    return w;
  }

  static std::string Read(int table, int field) { return "A1|" + std::to_string(table) + "|" + std::to_string(field); }
  static std::string Write(int table, int field, const std::string& value) {
    return "A2|" + std::to_string(table) + "|" + std::to_string(field) + "|" + value;
  }
  // Makes the register answer a request for one table (and field) with a result code.
  void FailAt(const std::string& key, int result = 3) {
    sim::Faults f;
    f.forced[key] = sim::ForcedReply{result, {}};
    m_sim->setFaults(f);
  }
};

}  // namespace termina::apptest
