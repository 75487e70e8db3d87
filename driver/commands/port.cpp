// SPDX-License-Identifier: LGPL-2.1-or-later
// Port management: reading the INI file, opening the serial port or the TCP
// link, the presence probe and the password the connection settles on.
#include "command.h"
#include "driver_state.h"
#include "frame.h"
#include "ini.h"
#include "paths.h"
#include "trace.h"

#include <filesystem>

using namespace termina;
using namespace termina::link;

uint16_t TRMATMOUT = 10;

namespace {

constexpr const char* kDefaultPassword = "WKRD";

void openSerial(unsigned port, const std::string& ini) {
  unsigned speed = ini::readInt(ini, "General", "Speed", 0);
  Channel& ch = state().channel;
  std::string device = paths::comDevice(static_cast<int>(port));
  if (!ch.serial.open(device, lineSpeed(speed))) {
    if (trace::enabled()) trace::note("cannot open " + device + ": " + ch.serial.errorText());
    raiseCode(18);
  }
  if (trace::enabled()) trace::note("opened " + device + " at " + std::to_string(lineSpeed(speed)) + " baud");
  // Drain whatever the line still holds from before.
  while (ch.readByte()) {}
}

}  // namespace

extern "C" {

uint16_t TRMA_CheckPort(bool forceSerial) {
  trace::configure();
  const std::string ini = paths::iniPath();
  paths::makeDirs(std::filesystem::path(ini).parent_path().string());
  DriverState& s = state();

  unsigned mode = ini::readInt(ini, "TCP", "Mode", 0);
  unsigned port = ini::readInt(ini, "General", "Port", 0);
  if (port == 0) {
    ini::writeString(ini, "General", "Port", "1");
    port = 1;
  }
  std::string host = ini::readString(ini, "TCP", "HostName", "", 20);
  unsigned hostPort = ini::readInt(ini, "TCP", "HostPort", 0);
  s.setPassword(ini::readString(ini, "General", "pswd", kDefaultPassword, 60));

  s.channel.closeAll();

  if (forceSerial || mode == 0) {
    openSerial(port, ini);
  } else {
    if (trace::enabled()) trace::note("connecting to " + host + ":" + std::to_string(hostPort));
    uint16_t rc = s.channel.tcp.connect(host, std::to_string(hostPort));
    if (rc != 0) raiseCode(rc);
  }

  uint16_t active = 0;
  TRMA_CheckActive(&active);
  if (active != 1) raiseCode(19);

  uint16_t version = 120;
  TRMA_GetVersion(&version);
  if (version <= 129) s.setPassword(kDefaultPassword);
  ini::writeString(ini, "General", "pswd", s.password);
  return 0;
}

uint16_t TRMA_ClosePort(void) {
  state().channel.closeAll();
  return 0;
}

void TRMA_ReleasePort(void) { state().channel.closeSerial(); }

uint16_t TRMA_CheckActive(uint16_t* active) {
  uint16_t dummy = 0;
  uint16_t& out = active ? *active : dummy;
  out = 0;
  try {
    const uint8_t enq = ENQ;
    WriteRawBytes(&enq, 1);
    if (ReadByte() == ACK) out = 1;
  } catch (uint16_t) {}
  return 0;
}

}  // extern "C"
