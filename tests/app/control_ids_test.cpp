// SPDX-License-Identifier: GPL-3.0-or-later
// Every control number the program's code asks a page or dialog for is in
// that page's or dialog's template: a missing control reads as empty and
// ignores writes without a word, so only this walk finds a wrong number.
#include <QPushButton>
#include <QTreeWidgetItemIterator>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app_fixture.h"

namespace apptest {
namespace {

class ControlIdsTest : public AppTest {
 protected:
  void TearDown() override {
    tk::lookups::SetChecking(false);
    AppTest::TearDown();
  }
  std::string Walk(uint16_t version, std::set<int>* pages);
  bool WaitCommandDone() {
    return tk::PumpUntil([&] { return !m_main->PageBusy() && !WorkerBusy(); }, 60000);
  }
  // Runs a page button and waits for its command, including the dialogs it opens.
  bool Press(int id) {
    CFRFunction* page = m_main->CurrentPage();
    auto* b = page ? tk::OptionalItem<QPushButton>(tk::WidgetOf(page), id) : nullptr;
    if (!b || !b->isVisible() || !b->isEnabled()) return true;
    b->click();
    return WaitCommandDone();
  }
};

// Opens every page of every tab of a register of `version`, reads it,
// runs its status and command buttons (every question answered with its
// default, every dialog's buttons pressed and OK last, so that what it
// reads on OK runs too), then the start-up dialogs; returns the template
// and control numbers asked for but absent.
std::string ControlIdsTest::Walk(uint16_t version, std::set<int>* pages) {
  termina::sim::Config cfg;
  cfg.version = version;
  StartRegister(cfg);
  tk::lookups::SetChecking(true);
  m_prompts.onDialog = [](tk::Dialog& d) {
    for (int id : d.PushButtonIds())
      if (id != tk::IDOK && id != tk::IDCANCEL) d.Press(id);
    if (d.HasItem(tk::IDOK)) d.Press(tk::IDOK);
  };
  CFRMainDlg& main = Open();
  for (int tab = 0; tab < Tabs(main)->count(); ++tab) {
    Tabs(main)->setCurrentIndex(tab);
    if (!WaitCommandDone()) return "timeout";
    std::vector<QTreeWidgetItem*> nodes;
    for (QTreeWidgetItemIterator it(Tree(main)); *it; ++it) nodes.push_back(*it);
    for (size_t i = 0; i < nodes.size(); ++i) {
      // The tree is rebuilt when a command re-initialises the window.
      std::vector<QTreeWidgetItem*> now;
      for (QTreeWidgetItemIterator it(Tree(main)); *it; ++it) now.push_back(*it);
      if (i >= now.size()) break;
      Tree(main)->setCurrentItem(now[i]);
      if (!WaitPageFilled(main)) return "timeout";
      if (!main.CurrentPage()) continue;
      pages->insert(main.CurrentPage()->TemplateId());
      if (!Press(CFRFunction::kStatusId) || !Press(CFRFunction::kExecuteId)) return "timeout";
    }
  }
  m_wiring.RunRecoveryDialog(0);
  m_wiring.RunInstallDialog();
  std::string entered;
  m_wiring.AskExchangePassword("1234", &entered);

  std::string missing;
  for (const tk::lookups::Miss& m : tk::lookups::Misses())
    missing += " " + std::to_string(m.templateId) + ":" + std::to_string(m.id);
  return missing;
}

TEST_F(ControlIdsTest, EveryPageAndDialogHasTheControlsItsCodeUses) {
  std::set<int> pages;
  EXPECT_EQ(Walk(201, &pages), "") << "template:control asked for but absent";
  EXPECT_GE(pages.size(), 17u);
  EXPECT_GE(m_prompts.dialogs.size(), 7u);  // status, NVR and its arrays, install, password
}

// The synchronisation page is offered to the older registers only.
TEST_F(ControlIdsTest, OlderRegisterPagesHaveTheControlsTheirCodeUses) {
  std::set<int> pages;
  EXPECT_EQ(Walk(125, &pages), "") << "template:control asked for but absent";
  EXPECT_EQ(pages.count(151), 1u);
}

}  // namespace
}  // namespace apptest
