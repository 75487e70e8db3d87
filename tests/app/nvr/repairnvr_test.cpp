// SPDX-License-Identifier: GPL-3.0-or-later
// The NVR recovery dialog and its array dialogs: real widgets offscreen,
// the real driver and the simulated register on a pseudo-terminal.
#include <QApplication>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "app_fixture.h"
#include "backups.h"
#include "driver_text.h"
#include "nvr_file.h"
#include "nvr_recovery.h"
#include "repairnvr.h"
#include "startup.h"

namespace apptest {
namespace {

using namespace termina::app;

NvrRecord Stored(uint16_t version) {
  NvrRecord r = NewNvrRecord(version);
  r.opened = NvrDateTime{15, 3, 2011, 0, 0, 0};
  r.shift = 12, r.cash = 100, r.carried = 2, r.paidIn = 3, r.paidOut = 1;
  r.sales[0] = 10, r.sales[3] = 2.5, r.sales[15] = 3, r.returns[1] = 1;
  if (NvrVariantFor(version) == NvrVariant::Long) r.deptReturns[0] = 6;
  return r;
}

class RepairNvr : public AppTest {
 protected:
  // A register of the version holding the image of `r`, connected.
  void StartWith(const NvrRecord& r) {
    termina::sim::Config cfg;
    cfg.version = r.version;
    StartRegister(cfg);
    m_sim->setMemory(kNvrArea, kNvrAddress, BuildNvrImage(r));
    ASSERT_EQ(TRMA_CheckPort(false), 0);
    m_sim->clearLog();
  }
  // Runs the dialog with one script per template.
  int Run(CRepairNVR& dlg, std::map<int, std::function<void(tk::Dialog&)>> scripts) {
    m_prompts.onDialog = [scripts](tk::Dialog& d) {
      const auto it = scripts.find(d.TemplateId());
      ASSERT_NE(it, scripts.end()) << d.TemplateId();
      it->second(d);
    };
    return dlg.DoModal();
  }
  // What the register holds now.
  NvrRecord Register() const {
    NvrRecord r = NewNvrRecord(m_sim->state().version);
    FillNvrRecord(r, m_sim->nvrImage());
    return r;
  }
  std::size_t Writes() const {
    std::size_t n = 0;
    for (const auto& q : m_sim->requests()) n += q.code == "E7";
    return n;
  }
  std::string File(const std::string& name) const { return m_root.path().toStdString() + "/" + name; }
};

// The user's part, through the seam: typing into an edit by its number,
// pressing a button, reading what a control shows.
void Type(tk::Dialog& d, int id, const std::string& text) { d.SetItemTextNow(id, text); }
void Press(tk::Dialog& d, int id) { ASSERT_TRUE(d.Press(id)) << "button " << id; }
std::string Text(const tk::Dialog& d, int id) { return d.ItemText(id); }

}  // namespace

TEST_F(RepairNvr, ArrayDialogsStoreOnOkKeepOnCancelAndTheTotalsFollowTheArrays) {
  StartWith(Stored(201));
  CRepairNVR dlg;
  QString title;
  const int end = Run(dlg, {{147,
                             [&](tk::Dialog& d) {
                               EXPECT_EQ(Text(d, 1062), "15.50");
                               EXPECT_EQ(Text(d, 1063), "1.00");
                               Press(d, 1079);
                               EXPECT_EQ(Text(d, 1062), "23.75");
                               // A total that no longer matches its array is
                               // put right even when the array dialog is cancelled.
                               Type(d, 1063, "5.00");
                               Press(d, 1080);
                               EXPECT_EQ(Text(d, 1063), "1.00");
                               Press(d, 1081);
                               Press(d, 11148);
                               Press(d, tk::IDOK);
                             }},
                            {150,
                             [&](tk::Dialog& d) {
                               if (title.isEmpty()) {
                                 title = tk::Q(d.Title());
                                 EXPECT_EQ(Text(d, 1078), "10.00");
                                 EXPECT_EQ(Text(d, 1052), "2.50");  // payment 3
                                 Type(d, 1078, "20");
                                 Type(d, 1051, "1.25");
                                 Type(d, 1077, "abc");  // payment 15: not a number, 0
                                 Press(d, tk::IDOK);
                               } else {
                                 Type(d, 1078, "99");
                                 Press(d, tk::IDCANCEL);
                               }
                             }},
                            {155,
                             [](tk::Dialog& d) {
                               Type(d, 1057, "7.5");  // tax 5
                               Press(d, tk::IDOK);
                             }},
                            {161, [](tk::Dialog& d) {
                               EXPECT_EQ(Text(d, 1051), "6.00");
                               Type(d, 1051, "4");
                               Press(d, tk::IDCANCEL);
                             }}});
  EXPECT_EQ(end, tk::IDOK);
  EXPECT_EQ(title, "Сумма продаж по платежам");
  EXPECT_EQ(m_prompts.dialogs, (std::vector<int>{147, 150, 150, 155, 161}));
  const NvrRecord held = Register();
  EXPECT_EQ(MoneyToUnits(held.sales[0]), 200000);
  EXPECT_EQ(MoneyToUnits(held.sales[1]), 12500);
  EXPECT_EQ(MoneyToUnits(held.sales[3]), 25000);
  EXPECT_EQ(held.sales[15], 0);
  EXPECT_EQ(held.returns[0], 0);
  EXPECT_EQ(MoneyToUnits(held.returns[1]), 10000);
  EXPECT_EQ(MoneyToUnits(held.taxSales[5]), 75000);
  EXPECT_EQ(MoneyToUnits(held.deptReturns[0]), 60000);
}

TEST_F(RepairNvr, MoneyIsShownAndStoredWithTwoDecimalsAndAnInvalidDateAsToday) {
  NvrRecord r = Stored(125);
  r.opened = NvrDateTime{};  // an all-zero date block
  StartWith(r);
  CRepairNVR dlg;
  Run(dlg, {{147,
             [](tk::Dialog& d) {
               auto& dQt = *tk::WidgetOf(&d);
               EXPECT_EQ(tk::Item<QDateTimeEdit>(&dQt, 1061)->date(), QDate::currentDate());
               Type(d, 1056, "12.346");
               Press(d, 1081);
               EXPECT_EQ(Text(d, 1056), "12.35");
               Press(d, tk::IDOK);
             }},
            {155, [](tk::Dialog& d) { Press(d, tk::IDCANCEL); }}});
  const NvrRecord held = Register();
  EXPECT_EQ(MoneyToUnits(held.cash), 123500);
  // The record the dialog read at opening was kept before the write.
  const auto kept = ListBackups(m_root.path().toStdString() + "/backups", "ТЕРМИНА-1_unregistered", "nvr");
  ASSERT_EQ(kept.size(), 1u);
  NvrRecord opened = NewNvrRecord(125);
  FillNvrRecord(opened, BuildNvrImage(r));
  std::ifstream in(kept[0], std::ios::binary);
  EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), EncodeNvrFile(opened));
  const QDate today = QDate::currentDate();
  EXPECT_EQ(held.opened, (NvrDateTime{static_cast<uint8_t>(today.day()), static_cast<uint8_t>(today.month()),
                                      static_cast<uint16_t>(today.year()), 0, 0, 0}));
}

TEST_F(RepairNvr, AnEditThatDoesNotParseStopsTheTransferAndNothingIsWritten) {
  StartWith(Stored(201));
  CRepairNVR dlg;
  const int end =
      Run(dlg, {{147, [&](tk::Dialog& d) {
                   auto& dQt = *tk::WidgetOf(&d);
                   Type(d, 1051, "99");
                   Type(d, 1057, "12,5");
                   Type(d, 1059, "7");
                   Press(d, tk::IDOK);
                   EXPECT_EQ(m_prompts.Texts(), std::vector<std::string>{CRepairNVR::kMoneyFormatText});
                   EXPECT_FALSE(d.Ended());
                   EXPECT_EQ(dQt.focusWidget(), tk::Item(&dQt, 1057));
                   EXPECT_EQ(tk::Item<QLineEdit>(&dQt, 1057)->selectedText(), "12,5");  // ready to be retyped
                   // The edits before the bad one are taken, it and those after it are not.
                   EXPECT_EQ(dlg.m_record.shift, 99u);
                   EXPECT_EQ(dlg.m_record.carried, 2);
                   EXPECT_EQ(dlg.m_record.paidIn, 3);
                   Type(d, 1052, "-1");
                   Press(d, 1079);  // no array dialog either
                   EXPECT_EQ(m_prompts.Texts().back(), CRepairNVR::kCountFormatText);
                   EXPECT_EQ(Writes(), 0u);
                   Type(d, 1052, "8");
                   Type(d, 1057, "12.5");
                   Press(d, tk::IDOK);
                 }}});
  EXPECT_EQ(end, tk::IDOK);
  EXPECT_EQ(m_prompts.dialogs, std::vector<int>{147});
  const NvrRecord held = Register();
  EXPECT_EQ(held.shift, 99u);
  EXPECT_EQ(held.document, 8u);
  EXPECT_EQ(MoneyToUnits(held.carried), 125000);
  EXPECT_EQ(MoneyToUnits(held.paidIn), 70000);
}

TEST_F(RepairNvr, ARefusedWriteKeepsTheDialogOpenAndCancelWritesNothing) {
  const NvrRecord stored = Stored(201);
  StartWith(stored);
  const std::vector<uint8_t> before = m_sim->nvrImage();
  CRepairNVR dlg;
  const int end = Run(dlg, {{147, [&](tk::Dialog& d) {
                               Type(d, 1056, "1");
                               termina::sim::Faults f;
                               f.forced["E7"] = termina::sim::ForcedReply{3, {}};
                               m_sim->setFaults(f);
                               // The dialog takes no input while the write runs.
                               auto& dQt = *tk::WidgetOf(&d);
                               bool enabledDuringWrite = true;
                               m_prompts.onMessage = [&](const tk::Message&) { enabledDuringWrite = dQt.isEnabled(); };
                               Press(d, tk::IDOK);
                               m_prompts.onMessage = nullptr;
                               EXPECT_FALSE(enabledDuringWrite);
                               EXPECT_TRUE(dQt.isEnabled());
                               EXPECT_FALSE(d.Ended());
                               ASSERT_EQ(m_prompts.messages.size(), 1u);
                               EXPECT_EQ(m_prompts.messages[0].text, ErrorText(3).value());
                               EXPECT_EQ(m_prompts.messages[0].title, tk::kProgramName);
                               EXPECT_EQ(Writes(), 1u);  // one attempt, not repeated
                               m_sim->setFaults({});
                               m_sim->clearLog();
                               Press(d, tk::IDCANCEL);
                             }}});
  EXPECT_EQ(end, tk::IDCANCEL);
  EXPECT_EQ(Writes(), 0u);
  EXPECT_EQ(m_sim->nvrImage(), before);
}

TEST_F(RepairNvr, SaveAndLoadThroughTheFileDialogs) {
  struct FilePrompts : tk::ScriptedPrompts {
    std::string OpenFileName(const tk::Dialog* o, const std::string& t, const std::string& f) override {
      filters.push_back(f);
      return ScriptedPrompts::OpenFileName(o, t, f);
    }
    std::string SaveFileName(const tk::Dialog* o, const std::string& t, const std::string& f) override {
      filters.push_back(f);
      return ScriptedPrompts::SaveFileName(o, t, f);
    }
    std::vector<std::string> filters;
  } prompts;
  tk::SetPrompts(&prompts);
  StartWith(Stored(120));
  std::ofstream(File("short.nvr"), std::ios::binary) << std::string(543, '\0');
  CRepairNVR dlg;
  prompts.onDialog = [&](tk::Dialog& d) {
    Type(d, 1056, "33.5");
    prompts.fileName = File("totals");
    Press(d, 3);
    EXPECT_EQ(std::filesystem::file_size(File("totals.nvr")), kNvrFileSize);
    Type(d, 1056, "1");
    Type(d, 1051, "x");  // a bad edit: nothing is saved, the earlier file stays
    Press(d, 3);
    EXPECT_EQ(prompts.Texts().back(), CRepairNVR::kCountFormatText);
    prompts.fileName = File("totals.nvr");
    Press(d, 4);
    EXPECT_EQ(Text(d, 1056), "33.50");
    EXPECT_EQ(Text(d, 1051), "12");
    prompts.fileName = File("short.nvr");
    Type(d, 1056, "2");
    Press(d, 4);
    EXPECT_EQ(Text(d, 1056), "2");
    prompts.fileName = File("no/such/folder.nvr");
    Press(d, 3);
    prompts.fileName.clear();  // the file dialog cancelled
    Press(d, 4);
    Press(d, tk::IDCANCEL);
  };
  dlg.DoModal();
  ASSERT_EQ(prompts.messages.size(), 3u);
  EXPECT_EQ(prompts.messages[1].text, "Ошибка чтения конфигурации.");
  EXPECT_EQ(prompts.messages[2].text, "Ошибка записи конфигурации.");
  for (int i : {1, 2}) {
    EXPECT_EQ(prompts.messages[i].title, "Ошибка");
    EXPECT_EQ(prompts.messages[i].buttons, tk::Buttons::OkCancel);
  }
  EXPECT_EQ(prompts.filters, std::vector<std::string>(6, "NVR Files (*.nvr);;All Files (*.*)"));
  EXPECT_EQ(Writes(), 0u);
}

// The program's own file dialogs give a name typed without an extension the
// extension of the filter, as "Save..." and "Load..." expect.
// Plays the user in the real file dialogs: each one, once it is shown, gets
// the name typed and is accepted; a box refusing the name is closed and its
// file dialog cancelled, so that the refusal reads as an empty result.
class FileDialogUser : public QObject {
 public:
  QString typed;
  int refusals = 0;

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() != QEvent::Show) return false;
    if (auto* d = qobject_cast<QFileDialog*>(o)) {
      m_dialog = d;
      QTimer::singleShot(0, d, [d, name = typed] {
        d->selectFile(name);
        QMetaObject::invokeMethod(d, "accept");
      });
    } else if (auto* box = qobject_cast<QMessageBox*>(o)) {
      ++refusals;
      QPointer<QFileDialog> d = m_dialog;
      QTimer::singleShot(0, box, [box, d] {
        box->reject();
        if (d) QTimer::singleShot(0, d.data(), [d] { d->reject(); });
      });
    }
    return false;
  }

 private:
  QPointer<QFileDialog> m_dialog;
};

TEST_F(RepairNvr, FileDialogsAddTheFiltersExtension) {
  std::ofstream(File("backup.nvr"), std::ios::binary) << std::string(kNvrFileSize, '\0');
  tk::QtPrompts prompts;
  FileDialogUser user;
  qApp->installEventFilter(&user);
  const std::string filter = "NVR Files (*.nvr);;All Files (*.*)";
  user.typed = QString::fromStdString(File("backup"));
  EXPECT_EQ(prompts.OpenFileName(nullptr, "Открыть", filter), File("backup.nvr"));
  user.typed = QString::fromStdString(File("new"));
  EXPECT_EQ(prompts.SaveFileName(nullptr, "Сохранить как", filter), File("new.nvr"));
  qApp->removeEventFilter(&user);
  EXPECT_EQ(user.refusals, 0);
}

struct LayoutCase {
  uint16_t version;
  bool taxRows, departments;
};
void PrintTo(const LayoutCase& c, std::ostream* os) { *os << "version " << c.version; }

class RepairNvrLayout : public RepairNvr, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(RepairNvrLayout, RowsShownForTheVersionAndTheButtonsBelowThem) {
  const LayoutCase& c = GetParam();
  StartWith(Stored(c.version));
  CRepairNVR dlg;
  Run(dlg, {{147, [&](tk::Dialog& d) {
               auto& dQt = *tk::WidgetOf(&d);
               for (int id : {1064, 1065, 1066, 1067, 1068, 1120, 1121, 1122, 1123, 1124, 1081, 1082})
                 EXPECT_EQ(tk::Item(&dQt, id)->isVisible(), c.taxRows) << id;
               for (int id : {11147, 11148}) EXPECT_EQ(tk::Item(&dQt, id)->isVisible(), c.departments) << id;
               // The four buttons sit below every row shown, at the bottom of the dialog.
               QWidget* ok = tk::Item(&dQt, tk::IDOK);
               int lowest = 0;
               for (QWidget* w : dQt.findChildren<QWidget*>()) {
                 const int id = tk::ControlId(w);
                 if (w->isVisible() && id != 0 && (id < 1 || id > 4)) lowest = std::max(lowest, w->geometry().bottom());
               }
               EXPECT_GT(ok->y(), lowest);
               EXPECT_LT(ok->y() - lowest, 25);  // no gap where hidden rows were
               EXPECT_LT(dQt.height() - ok->geometry().bottom(), 20);
               for (int id : {2, 3, 4}) EXPECT_EQ(tk::Item(&dQt, id)->y(), ok->y());
               Press(d, tk::IDCANCEL);
             }}});
}

INSTANTIATE_TEST_SUITE_P(Versions, RepairNvrLayout,
                         ::testing::Values(LayoutCase{120, false, false}, LayoutCase{125, true, false},
                                           LayoutCase{201, true, true}, LayoutCase{301, true, true}));

// Start-up with the register in the NVR fault: the engineer loads a saved
// file, corrects a total and writes it; the register takes the new image.
TEST_F(RepairNvr, StartupRecoversTheRegisterFromAFile) {
  termina::sim::Config cfg;
  cfg.version = 201;
  StartRegister(cfg);
  m_sim->setMemory(kNvrArea, kNvrAddress, BuildNvrImage(Stored(201)));
  m_sim->setNvrFault(true);
  NvrRecord saved = NewNvrRecord(201);
  saved.shift = 40, saved.cash = 500, saved.sales[2] = 7, saved.taxReturns[1] = 2;
  ASSERT_TRUE(SaveNvrFile(File("backup.nvr"), saved));
  m_prompts.onDialog = [&](tk::Dialog& d) {
    ASSERT_EQ(d.TemplateId(), 147);
    m_prompts.fileName = File("backup.nvr");
    Press(d, 4);
    EXPECT_EQ(Text(d, 1062), "7.00");
    Type(d, 1059, "42.10");
    Press(d, tk::IDOK);
  };
  CFRMainDlg& main = Open();
  EXPECT_EQ(m_prompts.Texts(), (std::vector<std::string>{kNvrFaultText, kPowerCycleText}));
  EXPECT_EQ(main.StatusText(0), "Готов");
  EXPECT_EQ(m_sim->state().fatal & 0x01, 0);
  const std::vector<uint8_t> image = m_sim->nvrImage();
  EXPECT_EQ(image.back(), termina::sim::Simulator::nvrChecksum(image));
  const NvrRecord held = Register();
  EXPECT_EQ(held.shift, 40u);
  EXPECT_EQ(MoneyToUnits(held.cash), 5000000);
  EXPECT_EQ(MoneyToUnits(held.sales[2]), 70000);
  EXPECT_EQ(MoneyToUnits(held.taxReturns[1]), 20000);
  EXPECT_EQ(MoneyToUnits(held.paidIn), 421000);
  EXPECT_EQ(held.returns[1], 0);  // the file's zero replaced the register's value
}

}  // namespace apptest
