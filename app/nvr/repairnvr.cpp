// SPDX-License-Identifier: GPL-3.0-or-later
#include "repairnvr.h"

#include <QDateTimeEdit>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include "frfunction.h"
#include "nvr_backup.h"
#include "nvrarrays.h"
#include "register_worker.h"

using namespace termina::app;

namespace {

const NvrArray kArrays[] = {NvrArray::SalesByPayment, NvrArray::ReturnsByPayment, NvrArray::TaxSales,
                            NvrArray::TaxReturns,     NvrArray::DeptSales,        NvrArray::DeptReturns};

// The classic filter "Name (*.x)|*.x|All (*.*)|*.*||" as Qt writes it:
// "Name (*.x);;All (*.*)".
QString QtFilter(const char* classic) {
  const QStringList parts = QString::fromUtf8(classic).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    filters << (parts[i].contains(QLatin1Char('(')) ? parts[i] : parts[i] + QStringLiteral(" (") + parts[i + 1] + ')');
  }
  return filters.join(QStringLiteral(";;"));
}

// A name typed without an extension gets the default one.
QString WithDefaultExtension(const QString& name) {
  if (!QFileInfo(name).suffix().isEmpty()) return name;
  return name + QLatin1Char('.') + QString::fromUtf8(kNvrFileExtension);
}

std::string LocalPath(const QString& name) { return QFile::encodeName(name).toStdString(); }

QDateTime ToQt(const NvrDateTime& d) {
  return QDateTime(QDate(d.year, d.month, d.day), QTime(d.hour, d.minute, d.second));
}

NvrDateTime FromQt(const QDateTime& t) {
  const QDate d = t.date();
  const QTime h = t.time();
  return NvrDateTime{static_cast<uint8_t>(d.day()),    static_cast<uint8_t>(d.month()),
                     static_cast<uint16_t>(d.year()),  static_cast<uint8_t>(h.hour()),
                     static_cast<uint8_t>(h.minute()), static_cast<uint8_t>(h.second())};
}

bool IsCountEdit(int id) {
  return id == kNvrEditShift || id == kNvrEditDocument || id == kNvrEditReport || id == kNvrEditReceipt;
}

}  // namespace

namespace {

// Runs a register sequence on the worker, its questions shown over the
// dialog, which takes no input meanwhile but keeps repainting.
template <class F>
auto RegisterJob(tk::CDialog* dialog, F f) {
  WorkerInteraction ask(dialog);
  dialog->setEnabled(false);
  struct Enable {
    QWidget* w;
    ~Enable() { w->setEnabled(true); }
  } enable{dialog};
  return reg::Worker::Get().Run([&] { return f(ask); });
}

}  // namespace

const std::string CRepairNVR::kMoneyFormatText = "Введите число.";
const std::string CRepairNVR::kCountFormatText = "Введите целое число от 0 до 4294967295.";

CRepairNVR::CRepairNVR(QWidget* parent) : tk::CDialog(147, parent), m_record(NewNvrRecord(0)) {}

bool CRepairNVR::OnInitDialog() {
  for (NvrArray a : kArrays) {
    if (auto* b = Item<QPushButton>(NvrArrayButton(a)))
      connect(b, &QPushButton::clicked, this, [this, a] { OnArray(a); });
  }
  if (auto* b = Item<QPushButton>(kNvrButtonSave)) connect(b, &QPushButton::clicked, this, [this] { OnSave(); });
  if (auto* b = Item<QPushButton>(kNvrButtonLoad)) connect(b, &QPushButton::clicked, this, [this] { OnLoad(); });

  // The version (121 when the register does not say), the image read into
  // the record and the payment totals; a failed read has shown its message
  // and left what was read.
  m_record = RegisterJob(this, [](termina::app::Interaction& ask) { return OpenNvrRecovery(ask).record; });
  m_opened = m_record;
  ShowRecord();
  AdaptLayout();
  if (auto* first = Item<QLineEdit>(kNvrEditShift)) first->setFocus();
  return true;
}

void CRepairNVR::ShowRecord() {
  for (const auto& [id, text] : NvrEditTexts(m_record)) SetItemTextNow(id, text);
  if (auto* date = Item<QDateTimeEdit>(kNvrDateOpened)) date->setDateTime(ToQt(NvrDateAsShown(m_record.opened)));
}

bool CRepairNVR::TakeControls() {
  if (auto* date = Item<QDateTimeEdit>(kNvrDateOpened)) m_record.opened = FromQt(date->dateTime());
  std::map<int, std::string> texts;
  for (int id : NvrTransferOrder()) {
    if (auto* e = Item<QLineEdit>(id)) texts[id] = e->text().toStdString();
  }
  const std::optional<int> failed = TakeNvrEditTexts(m_record, texts);
  if (!failed) return true;
  tk::ThePrompts().ShowMessage({IsCountEdit(*failed) ? kCountFormatText : kMoneyFormatText, tk::kProgramName,
                                tk::Icon::Exclamation, tk::Buttons::Ok, tk::IDOK, this});
  if (auto* e = Item<QLineEdit>(*failed)) {
    e->setFocus();
    e->selectAll();
  }
  return false;
}

void CRepairNVR::AdaptLayout() {
  QWidget* ok = Item(tk::IDOK);
  QWidget* firstTaxRow = Item(kNvrEditDeferred);
  QWidget* firstDeptButton = Item(kNvrButtonDeptSales);
  if (!ok || !firstTaxRow || !firstDeptButton) return;
  // The rows from 1068 down to the tax buttons, and the department
  // buttons, each take a band of the dialog's height.
  const int taxBand = firstDeptButton->y() - firstTaxRow->y();
  const int deptBand = ok->y() - firstDeptButton->y();
  const NvrLayout layout = NvrLayoutFor(m_record.version);
  for (int id : NvrHiddenControls(m_record.version)) ShowItem(id, false);

  int rise = 0;
  if (!layout.taxRows) {
    rise += taxBand;
    for (int id : {kNvrButtonDeptSales, kNvrButtonDeptReturns})
      if (QWidget* w = Item(id)) w->move(w->x(), w->y() - taxBand);
  }
  if (!layout.departmentButtons) rise += deptBand;
  if (rise == 0) return;
  for (int id : {tk::IDOK, tk::IDCANCEL, static_cast<int>(kNvrButtonSave), static_cast<int>(kNvrButtonLoad)})
    if (QWidget* w = Item(id)) w->move(w->x(), w->y() - rise);
  const QSize size(width(), height() - rise);
  if (isWindow())
    setFixedSize(size);
  else
    resize(size);
}

void CRepairNVR::OnArray(NvrArray array) {
  if (!TakeControls()) return;
  const std::span<double> values = NvrArrayValues(m_record, array);
  const QString caption = tk::Q(ItemText(NvrArrayButton(array)));
  switch (array) {
    case NvrArray::SalesByPayment:
    case NvrArray::ReturnsByPayment: {
      CMonByPmnt dlg(array == NvrArray::ReturnsByPayment, values.data(), this, caption);
      dlg.DoModal();
      // The total shown follows the array whichever button closed the dialog.
      double sum = 0;
      for (double v : values) sum += v;
      (array == NvrArray::SalesByPayment ? m_record.salesTotal : m_record.returnsTotal) = sum;
      break;
    }
    case NvrArray::TaxSales:
    case NvrArray::TaxReturns: {
      CTaxMoney dlg(array == NvrArray::TaxReturns, values.data(), this, caption);
      dlg.DoModal();
      break;
    }
    case NvrArray::DeptSales:
    case NvrArray::DeptReturns: {
      CDepSum dlg(array == NvrArray::DeptReturns, values.data(), this, caption);
      dlg.DoModal();
      break;
    }
  }
  ShowRecord();
}

void CRepairNVR::OnOK() {
  // A record with an edit that did not parse is not written: the register
  // would get the earlier values of that edit and of all after it.
  if (!TakeControls()) return;
  if (!RegisterJob(this, [this](termina::app::Interaction& ask) { return CommitNvrRecovery(m_record, m_opened, ask); }))
    return;
  EndDialog(tk::IDOK);
}

void CRepairNVR::OnSave() {
  const QString name = tk::Q(tk::ThePrompts().SaveFileName(this, "Сохранить как", tk::S(QtFilter(kNvrFileFilter))));
  if (name.isEmpty()) return;
  // What the edits show is what the file gets, or nothing.
  if (!TakeControls()) return;
  tk::PromptInteraction ask(this);
  SaveNvrRecord(LocalPath(WithDefaultExtension(name)), m_record, ask);
}

void CRepairNVR::OnLoad() {
  QString name = tk::Q(tk::ThePrompts().OpenFileName(this, "Открыть", tk::S(QtFilter(kNvrFileFilter))));
  if (name.isEmpty()) return;
  if (!QFileInfo::exists(name) && QFileInfo::exists(WithDefaultExtension(name))) name = WithDefaultExtension(name);
  // The file holds no date: the one the picker shows stays.
  if (auto* date = Item<QDateTimeEdit>(kNvrDateOpened)) m_record.opened = FromQt(date->dateTime());
  tk::PromptInteraction ask(this);
  if (LoadNvrRecord(LocalPath(name), m_record, ask)) ShowRecord();
}
