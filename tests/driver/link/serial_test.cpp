// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port on a real pseudo-terminal: the input purge before a
// request drops what is waiting (a late reply) and keeps what follows.
#include "serial.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

TEST(SerialPurge, DiscardsWaitingInputAndKeepsWhatFollows) {
  int m = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(m, 0);
  ASSERT_EQ(::grantpt(m), 0);
  ASSERT_EQ(::unlockpt(m), 0);
  // A second descriptor of the same line (opened before the port takes
  // the line for itself) shows when the written bytes wait at the port.
  const int watch = ::open(::ptsname(m), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(watch, 0);
  termina::link::SerialPort port;
  ASSERT_TRUE(port.open(::ptsname(m), 19200));
  port.purgeInput();  // nothing waiting: harmless
  ASSERT_EQ(::write(m, "late reply", 10), 10);
  pollfd waiting{watch, POLLIN, 0};
  ASSERT_EQ(::poll(&waiting, 1, 2000), 1) << "the late reply reaches the port";
  port.purgeInput();
  ASSERT_EQ(::write(m, "\x02new", 4), 4);
  uint8_t buf[64];
  size_t got = 0;
  while (got < 4) {
    size_t n = port.read(buf + got, sizeof buf - got, 500);
    if (!n) break;
    got += n;
  }
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), "\x02new");
  ::close(watch);
  ::close(m);
}
