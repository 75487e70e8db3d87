// SPDX-License-Identifier: GPL-3.0-or-later
// The serial-port permission hint: which group it names, when it is given,
// and that start-up adds it to "Порт недоступен" for a user who may not open
// the port (root runs that part as an unprivileged child).
#include "port_access.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "core_fixture.h"
#include "startup.h"

namespace termina::apptest {
namespace {

using app::PortOpenHint;
using app::SerialPortGroup;

struct NoDialogs : app::StartupDialogs {
  bool RunRecovery(uint16_t) override { return false; }
  void RunInstall() override {}
  bool AskExchangePassword() override { return false; }
};

TEST(PortAccess, HintNamesTheGroupThatMayOpenTheDevice) {
  test::DriverRoot root;
  const std::string dev = root.path() + "/ttyX";
  std::ofstream(dev).put('\n');
  // A group other than root's: the one this process runs in, or for root
  // the unprivileged "nogroup".
  const gid_t gid = ::geteuid() == 0 ? 65534 : ::getegid();
  const group* g = ::getgrgid(gid);
  if (gid == 0 || !g) GTEST_SKIP() << "no unprivileged group to give the device";
  const std::string name = g->gr_name;
  ASSERT_EQ(::chown(dev.c_str(), static_cast<uid_t>(-1), gid), 0);

  ASSERT_EQ(::chmod(dev.c_str(), 0660), 0);
  EXPECT_EQ(SerialPortGroup(dev), name);
  const auto hint = PortOpenHint(dev, EACCES);
  ASSERT_TRUE(hint);
  EXPECT_NE(hint->find("группу " + name + " (sudo usermod -aG " + name + " $USER)"), std::string::npos) << *hint;
  EXPECT_NE(hint->find(dev), std::string::npos);

  // A group that may not write the device, root's group and a missing
  // device all fall back to the serial ports' group.
  ASSERT_EQ(::chmod(dev.c_str(), 0640), 0);
  EXPECT_EQ(SerialPortGroup(dev), "dialout");
  EXPECT_EQ(SerialPortGroup(root.path() + "/none"), "dialout");

  // Only a refusal for lack of permission gets the hint.
  EXPECT_TRUE(PortOpenHint(dev, EPERM));
  EXPECT_FALSE(PortOpenHint(dev, ENOENT));
  EXPECT_FALSE(PortOpenHint(dev, EBUSY));
}

class PortAccessStartup : public CoreTest {};

TEST_F(PortAccessStartup, RefusedPortGetsTheHintAndOthersDoNot) {
  StartRegister();
  const std::string slave = std::filesystem::read_symlink(m_root.com(1)).string();
  ASSERT_EQ(::chmod(slave.c_str(), 0600), 0);

  // A device that opens but is no serial line: "Порт недоступен" without
  // the hint.
  std::filesystem::remove(m_root.com(1));
  std::ofstream(m_root.path() + "/plain").put('\n');
  std::filesystem::create_symlink(m_root.path() + "/plain", m_root.com(1));
  NoDialogs dialogs;
  app::StartupResult r = app::RunStartup(false, m_ask, dialogs);
  ASSERT_EQ(r.failure, TRMA_E_PORT);
  EXPECT_FALSE(r.failureHint);
  std::filesystem::remove(m_root.com(1));
  std::filesystem::create_symlink(slave, m_root.com(1));

  if (::geteuid() != 0) {
    if (::access(slave.c_str(), R_OK | W_OK) == 0) GTEST_SKIP() << "the test user owns the terminal";
    r = app::RunStartup(false, m_ask, dialogs);
    ASSERT_EQ(r.failure, TRMA_E_PORT);
    ASSERT_TRUE(r.failureHint);
    EXPECT_NE(r.failureHint->find("sudo usermod -aG dialout $USER"), std::string::npos);
    return;
  }
  // Root opens anything: the start-up runs in a child that has dropped to
  // an unprivileged account and may read the driver's root but not the port.
  ASSERT_EQ(::chown(slave.c_str(), 0, 0), 0);
  for (const auto& e : std::filesystem::recursive_directory_iterator(m_root.path()))
    if (!e.is_symlink()) ::chmod(e.path().c_str(), e.is_directory() ? 0755 : 0644);
  ::chmod(m_root.path().c_str(), 0755);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(200);
    const app::StartupResult child = app::RunStartup(false, m_ask, dialogs);
    if (child.failure != TRMA_E_PORT) ::_exit(201);
    if (!child.failureHint) ::_exit(202);
    if (child.failureHint->find("группу dialout (sudo usermod -aG dialout $USER)") == std::string::npos) ::_exit(203);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "200 setuid, 201 wrong code, 202 no hint, 203 wrong text";
}

}  // namespace
}  // namespace termina::apptest
