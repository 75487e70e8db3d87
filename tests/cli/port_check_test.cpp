// SPDX-License-Identifier: GPL-3.0-or-later
#include "port_check.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "temp_dir.h"

namespace {

using namespace termina::cli;
using termina::test::TempDir;
using termina::test::writeFile;

// A pseudo terminal pair, closed at the end.
struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
    slave = ::ptsname(master);
  }
  ~Pty() {
    if (master >= 0) ::close(master);
  }
};

TEST(PortCheck, MissingDeviceAndDanglingLink) {
  TempDir dir;
  const std::string link = dir.file("com1");
  ASSERT_EQ(::symlink(dir.file("gone").c_str(), link.c_str()), 0);
  for (const std::string& path : {dir.file("com9"), link}) {
    const PortDiagnosis d = diagnosePort(path);
    EXPECT_EQ(d.problem, PortProblem::Missing) << path;
    EXPECT_NE(explainPort(path, d).find("не существует"), std::string::npos);
  }
}

TEST(PortCheck, PlainFileIsNoSerialLine) {
  TempDir dir;
  writeFile(dir.file("f"), "");
  EXPECT_EQ(diagnosePort(dir.file("f")).problem, PortProblem::NotTerminal);
}

TEST(PortCheck, DeviceLockedByAnotherOpenerIsBusy) {
  Pty pty;
  ASSERT_FALSE(pty.slave.empty());
  EXPECT_EQ(diagnosePort(pty.slave).problem, PortProblem::None);
  const int holder = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const PortDiagnosis d = diagnosePort(pty.slave);
  EXPECT_EQ(d.problem, PortProblem::Busy);
  EXPECT_NE(explainPort(pty.slave, d).find("занято другой программой"), std::string::npos);
  ::close(holder);
  EXPECT_EQ(diagnosePort(pty.slave).problem, PortProblem::None) << "the check leaves no lock behind";
}

TEST(PortCheck, NoPermissionNamesTheDialoutGroup) {
  // Root may open anything, so the check runs in a child that has dropped
  // to an unprivileged account; an unprivileged test run checks directly.
  Pty pty;
  ASSERT_FALSE(pty.slave.empty());
  ASSERT_EQ(::chmod(pty.slave.c_str(), 0600), 0);
  if (::geteuid() != 0) {
    if (::access(pty.slave.c_str(), R_OK | W_OK) == 0) GTEST_SKIP() << "the test user owns the terminal";
    EXPECT_EQ(diagnosePort(pty.slave).problem, PortProblem::NoPermission);
  } else {
    ASSERT_EQ(::chown(pty.slave.c_str(), 0, 0), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(200);
      ::_exit(static_cast<int>(diagnosePort(pty.slave).problem));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(PortProblem::NoPermission));
  }
  const std::string text = explainPort("/dev/ttyS0", {PortProblem::NoPermission, EACCES});
  EXPECT_NE(text.find("dialout"), std::string::npos);
  EXPECT_NE(text.find("sudo usermod -aG dialout $USER"), std::string::npos);
}

}  // namespace
