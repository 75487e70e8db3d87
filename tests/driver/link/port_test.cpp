// SPDX-License-Identifier: GPL-3.0-or-later
// Connecting: what TRMA_CheckPort reads from and writes to the INI file,
// which channel it opens, and how each way of failing is reported.
#include "register_fixture.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

using namespace termina;
using namespace termina::test;

class PortTest : public ::testing::TestWithParam<Transport> {};

TEST_P(PortTest, ConnectsProbesAndSavesThePassword) {
  Connected c(GetParam());
  EXPECT_EQ(TRMA_CheckPort(false), 0);
  EXPECT_EQ(ini::readString(c.root.ini(), "General", "pswd", "?", 60), "WKRD");
  uint16_t active = 7;
  EXPECT_EQ(TRMA_CheckActive(&active), 0);
  EXPECT_EQ(active, 1);
}

TEST_P(PortTest, OldModelsAlwaysEndWithTheDefaultPassword) {
  sim::Config cfg;
  cfg.version = 129;
  Connected c(GetParam(), cfg);
  ini::writeString(c.root.ini(), "General", "pswd", "SECRET");
  TRMA_CheckPort(false);
  EXPECT_EQ(ini::readString(c.root.ini(), "General", "pswd", "?", 60), "WKRD");
}

TEST_P(PortTest, NewerModelsKeepTheStoredPassword) {
  sim::Config cfg;
  cfg.version = 130;
  cfg.password = "7777";
  Connected c(GetParam(), cfg);
  TRMA_CheckPort(false);
  EXPECT_EQ(ini::readString(c.root.ini(), "General", "pswd", "?", 60), "7777");
  TRMA_FATAL_STATUS f;
  TRMA_STATUS s;
  TRMA_REC_STATUS r;
  EXPECT_EQ(TRMA_GetStatus(&f, &s, &r), 0);
}

TEST_P(PortTest, AWrongPasswordIsRefusedByTheRegister) {
  sim::Config cfg;
  cfg.version = 130;
  cfg.password = "7777";
  Connected c(GetParam(), cfg);
  ini::writeString(c.root.ini(), "General", "pswd", "1111");
  TRMA_CheckPort(false);
  TRMA_FATAL_STATUS f;
  TRMA_STATUS s;
  TRMA_REC_STATUS r;
  EXPECT_EQ(thrown([&] { TRMA_GetStatus(&f, &s, &r); }), 6);
}

TEST_P(PortTest, ASilentDeviceIsNotARegister) {
  Connected c(GetParam());
  sim::Faults f;
  f.silent = true;
  c.sim->setFaults(f);
  EXPECT_EQ(thrown([] { TRMA_CheckPort(false); }), 19);
}

TEST_P(PortTest, ReconnectingClosesTheOldChannelFirst) {
  Connected c(GetParam());
  TRMA_CheckPort(false);
  // The serial port is held exclusively: a second open only works if the
  // first channel was closed.  Over TCP the simulator takes one client.
  EXPECT_EQ(TRMA_CheckPort(false), 0);
  uint16_t v = 0;
  EXPECT_EQ(TRMA_GetVersion(&v), 0);
  EXPECT_EQ(v, 201);
}

INSTANTIATE_TEST_SUITE_P(Transports, PortTest, ::testing::Values(Transport::Pty, Transport::Tcp), transportName);

TEST(PortSerial, MissingPortKeyBecomesComOne) {
  Connected c(Transport::Pty);
  ini::writeString(c.root.ini(), "General", "Port", "0");
  EXPECT_EQ(TRMA_CheckPort(false), 0);
  EXPECT_EQ(ini::readInt(c.root.ini(), "General", "Port", 99), 1u);
}

TEST(PortSerial, AMissingDeviceGivesPortUnavailable) {
  Connected c(Transport::Pty);
  ini::writeString(c.root.ini(), "General", "Port", "7");
  EXPECT_EQ(thrown([] { TRMA_CheckPort(false); }), 18);
  // Nothing is open: a command fails at its first write.
  TRMA_FATAL_STATUS f;
  TRMA_STATUS s;
  TRMA_REC_STATUS r;
  EXPECT_EQ(thrown([&] { TRMA_GetStatus(&f, &s, &r); }), 16);
}

TEST(PortSerial, APortHeldByAnotherProgramIsUnavailable) {
  Connected c(Transport::Pty);
  TRMA_CheckPort(false);
  int fd = ::open(c.root.com(1).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0) << "the driver holds the port exclusively";
  ::close(fd);
}

TEST(PortSerial, ForceSerialIgnoresTheTcpMode) {
  Connected c(Transport::Pty);
  ini::writeString(c.root.ini(), "TCP", "Mode", "1");
  ini::writeString(c.root.ini(), "TCP", "HostName", "127.0.0.1");
  ini::writeString(c.root.ini(), "TCP", "HostPort", "1");
  EXPECT_EQ(thrown([] { TRMA_CheckPort(false); }), 80);
  EXPECT_EQ(TRMA_CheckPort(true), 0);
  EXPECT_FALSE(c.sim->requests().empty());
}

TEST(PortSerial, ReleaseClosesTheSerialPortOnly) {
  Connected c(Transport::Pty);
  TRMA_CheckPort(false);
  TRMA_ReleasePort();
  uint16_t active = 9;
  EXPECT_EQ(TRMA_CheckActive(&active), 0);
  EXPECT_EQ(active, 0);
}

TEST(PortTcp, ReleaseLeavesTheSocketConnected) {
  Connected c(Transport::Tcp);
  TRMA_CheckPort(false);
  TRMA_ReleasePort();
  uint16_t active = 0;
  TRMA_CheckActive(&active);
  EXPECT_EQ(active, 1);
}

TEST(PortTcp, ADeadPortGivesNoConnection) {
  Connected c(Transport::Tcp);
  // A port nobody listens on: bind one, note it, close it.
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  socklen_t len = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  ini::writeString(c.root.ini(), "TCP", "HostPort", std::to_string(ntohs(a.sin_port)));
  EXPECT_EQ(thrown([] { TRMA_CheckPort(false); }), 80);
}

TEST(PortTcp, HostNamesAreLookedUpAndBadOnesRefused) {
  Connected c(Transport::Tcp);
  ini::writeString(c.root.ini(), "TCP", "HostName", "localhost");
  EXPECT_EQ(TRMA_CheckPort(false), 0);
  ini::writeString(c.root.ini(), "TCP", "HostName", "no-such-host.invalid");
  EXPECT_EQ(thrown([] { TRMA_CheckPort(false); }), 80);
}

TEST(PortNoChannel, ProbeAndVersionReportInsteadOfRaising) {
  DriverRoot root;
  TRMA_ClosePort();
  uint16_t active = 5;
  EXPECT_EQ(TRMA_CheckActive(&active), 0);
  EXPECT_EQ(active, 0);
  uint16_t v = 0;
  uint16_t code = TRMA_GetVersion(&v);
  EXPECT_EQ(v, 120);
  EXPECT_EQ(code, 16);
  EXPECT_EQ(thrown([] { TRMA_CancelReport(); }), 16);
  EXPECT_EQ(TRMA_ClearLogo(), 16);
}
