// SPDX-License-Identifier: GPL-3.0-or-later
// The start-up sequence and the status command without a window, through
// the real driver against the simulated register.
#include <gtest/gtest.h>

#include "core_fixture.h"
#include "startup.h"

namespace termina::apptest {
namespace {

using app::RunStartup;

// Records which start-up dialogs were opened, in order, and plays the user.
struct Dialogs : app::StartupDialogs {
  bool recoveryOk = false;
  int passwordTries = 0;    // AskExchangePassword answers yes this often
  std::string newPassword;  // handed to the driver when answering yes
  std::vector<std::string> opened;

  bool RunRecovery(uint16_t version) override {
    opened.push_back("recovery " + std::to_string(version));
    return recoveryOk;
  }
  void RunInstall() override { opened.push_back("install"); }
  bool AskExchangePassword() override {
    opened.push_back("password");
    if (passwordTries-- <= 0) return false;
    TRMA_STRING pw{};
    std::snprintf(pw, sizeof pw, "%s", newPassword.c_str());
    TRMA_ChangePwd(&pw, false);
    return true;
  }
};

class StartupTest : public CoreTest {};

TEST_F(StartupTest, HealthyRegisterIsCheckedAndInitialised) {
  sim::Config c;
  c.version = 301;
  StartRegister(c);
  Dialogs d;
  const app::StartupResult r = RunStartup(false, m_ask, d);
  EXPECT_TRUE(r.proceed);
  EXPECT_TRUE(r.connected);
  EXPECT_EQ(r.version, 301);
  EXPECT_FALSE(r.failure);
  EXPECT_TRUE(d.opened.empty());
  EXPECT_TRUE(m_ask.asked.empty());
  EXPECT_TRUE(m_sim->state().initDone);
  // The calls after the connection probe: version, status, initialisation.
  std::vector<std::string> codes = Codes();
  ASSERT_GE(codes.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(codes.end() - 3, codes.end()), (std::vector<std::string>{"A5", "A0", "00"}));
}

TEST_F(StartupTest, NvrFaultThenNotInstalledThenInit) {
  sim::Config c;
  c.version = 125;
  c.nvrFault = true;
  c.noFiscalModule = true;
  StartRegister(c);
  Dialogs d;
  d.recoveryOk = true;
  const app::StartupResult r = RunStartup(false, m_ask, d);
  EXPECT_TRUE(r.connected);
  EXPECT_EQ(d.opened, (std::vector<std::string>{"recovery 125", "install"}));
  EXPECT_EQ(m_ask.Texts(),
            (std::vector<std::string>{app::kNvrFaultText, app::kPowerCycleText, app::kNotInstalledText}));
  EXPECT_TRUE(m_sim->state().initDone);
}

TEST_F(StartupTest, SwitchOpensRecoveryWithoutPowerCycleWhenCancelled) {
  StartRegister();
  Dialogs d;
  const app::StartupResult r = RunStartup(app::HasNvrSwitch("TerminaTool -x /nvr"), m_ask, d);
  EXPECT_TRUE(r.connected);
  EXPECT_EQ(d.opened, (std::vector<std::string>{"recovery 201"}));
  EXPECT_EQ(m_ask.Texts(), (std::vector<std::string>{app::kNvrFaultText}));
  EXPECT_FALSE(app::HasNvrSwitch("/NV R"));
}

TEST_F(StartupTest, WrongPasswordAsksAndRetriesOrGivesUp) {
  sim::Config c;
  c.password = "SECRET";
  StartRegister(c);
  test::pointDriverAt(m_root, test::Transport::Pty, 0, "WKRD");
  Dialogs d;
  d.passwordTries = 1;
  d.newPassword = "SECRET";
  app::StartupResult r = RunStartup(false, m_ask, d);
  EXPECT_TRUE(r.proceed);
  EXPECT_TRUE(r.connected);
  EXPECT_EQ(d.opened, (std::vector<std::string>{"password"}));

  // A password the register refuses again, and the user cancels.
  TRMA_ClosePort();
  m_sim->setPassword("OTHER");
  d.opened.clear();
  d.passwordTries = 0;
  r = RunStartup(false, m_ask, d);
  EXPECT_FALSE(r.proceed);
  EXPECT_FALSE(r.connected);
  EXPECT_EQ(d.opened, (std::vector<std::string>{"password"}));
}

TEST_F(StartupTest, NoRegisterGivesTheDriversTextAndVersion120) {
  test::pointDriverAt(m_root, test::Transport::Pty, 0, "WKRD");  // COM1 leads nowhere
  TRMATMOUT = 2;
  Dialogs d;
  const app::StartupResult r = RunStartup(true, m_ask, d);
  EXPECT_TRUE(r.proceed);
  EXPECT_FALSE(r.connected);
  EXPECT_EQ(r.version, 120);
  ASSERT_TRUE(r.failure);
  EXPECT_TRUE(r.failureText && !r.failureText->empty());
  EXPECT_TRUE(d.opened.empty());  // the switch is not looked at without a register
}

TEST_F(StartupTest, StatusCommandAsksThePrinterOnlyOf201) {
  StartRegister();
  m_sim->setStatus(0x00, 0x04, 0x23);
  m_sim->setPrinterStatus(0x02);
  Connect();
  app::StatusReport r = app::ReadStatusReport();
  EXPECT_EQ(r.version, 201);
  EXPECT_TRUE(r.printerAvailable);
  EXPECT_EQ(r.printer.byte, 0x02);
  EXPECT_EQ(r.bytes.status.byte, 0x04);
  EXPECT_EQ(r.bytes.doc.byte, 0x23);
  EXPECT_TRUE(app::IsShiftOpen());

  m_sim->setVersion(301);
  m_sim->clearLog();
  r = app::ReadStatusReport();
  EXPECT_FALSE(r.printerAvailable);
  EXPECT_EQ(Codes(), (std::vector<std::string>{"A0", "A5"}));
}

TEST_F(StartupTest, DeviceCheckSeesAChangedRegister) {
  StartRegister();
  Connect();
  app::DeviceCheck d = app::CheckSameDevice();
  EXPECT_FALSE(d.failure);
  EXPECT_EQ(d.version, 201);
  m_sim->setVersion(301);
  EXPECT_EQ(app::CheckSameDevice().version, 301);
  m_sim.reset();  // the register is gone
  d = app::CheckSameDevice();
  EXPECT_EQ(d.failure, std::optional<uint16_t>(19));
  EXPECT_EQ(d.version, 120);
}

}  // namespace
}  // namespace termina::apptest
