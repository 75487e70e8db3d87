// SPDX-License-Identifier: GPL-3.0-or-later
#include "repairnvr.h"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "frfunction.h"
#include "nvr_backup.h"
#include "nvrarrays.h"
#include "register_worker.h"

using namespace termina::app;

namespace {

const NvrArray kArrays[] = {NvrArray::SalesByPayment, NvrArray::ReturnsByPayment, NvrArray::TaxSales,
                            NvrArray::TaxReturns,     NvrArray::DeptSales,        NvrArray::DeptReturns};

// The classic filter "Name (*.x)|*.x|All (*.*)|*.*||" as the file prompts
// take it: "Name (*.x);;All (*.*)".
std::string PromptFilter(std::string_view classic) {
  std::vector<std::string_view> parts;
  for (std::size_t from = 0;;) {
    const std::size_t bar = classic.find('|', from);
    parts.push_back(classic.substr(from, bar == std::string_view::npos ? std::string_view::npos : bar - from));
    if (bar == std::string_view::npos) break;
    from = bar + 1;
  }
  std::string filters;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;
    std::string choice(parts[i]);
    if (choice.find('(') == std::string::npos) choice += " (" + std::string(parts[i + 1]) + ")";
    filters += (filters.empty() ? "" : ";;") + choice;
  }
  return filters;
}

// A file name (UTF-8) as a path of the file system.
std::filesystem::path PathOf(const std::string& name) { return std::u8string(name.begin(), name.end()); }

bool FileExists(const std::string& name) {
  std::error_code error;
  return std::filesystem::exists(PathOf(name), error);
}

// A name typed without an extension gets the default one.  The extension is
// what follows the last dot of the name's last part (a leading dot counts,
// a trailing one gives none).
std::string WithDefaultExtension(const std::string& name) {
  const std::u8string last = PathOf(name).filename().u8string();
  const std::size_t dot = last.rfind(u8'.');
  if (dot != std::u8string::npos && dot + 1 < last.size()) return name;
  return name + '.' + kNvrFileExtension;
}

NvrDateTime DateTimeOf(const tk::Date& d, const tk::Time& t) {
  return NvrDateTime{static_cast<uint8_t>(d.day),  static_cast<uint8_t>(d.month),  static_cast<uint16_t>(d.year),
                     static_cast<uint8_t>(t.hour), static_cast<uint8_t>(t.minute), static_cast<uint8_t>(t.second)};
}

bool IsCountEdit(int id) {
  return id == kNvrEditShift || id == kNvrEditDocument || id == kNvrEditReport || id == kNvrEditReceipt;
}

}  // namespace

namespace {

// Runs a register sequence on the worker, its questions shown over the
// dialog, which takes no input meanwhile but keeps repainting.
template <class F>
auto RegisterJob(tk::Dialog* dialog, F f) {
  WorkerInteraction ask(dialog);
  dialog->EnableWindowNow(false);
  struct Enable {
    tk::Dialog* d;
    ~Enable() { d->EnableWindowNow(true); }
  } enable{dialog};
  return reg::Worker::Get().Run([&] { return f(ask); });
}

}  // namespace

const std::string CRepairNVR::kMoneyFormatText = "Введите число.";
const std::string CRepairNVR::kCountFormatText = "Введите целое число от 0 до 4294967295.";

CRepairNVR::CRepairNVR(tk::Dialog* parent) : tk::CDialog(147, parent), m_record(NewNvrRecord(0)) {}

bool CRepairNVR::OnInitDialog() {
  for (NvrArray a : kArrays) OnClicked(NvrArrayButton(a), [this, a] { OnArray(a); });
  OnClicked(kNvrButtonSave, [this] { OnSave(); });
  OnClicked(kNvrButtonLoad, [this] { OnLoad(); });

  // The version (121 when the register does not say), the image read into
  // the record and the payment totals; a failed read has shown its message
  // and left what was read.
  m_record = RegisterJob(this, [](termina::app::Interaction& ask) { return OpenNvrRecovery(ask).record; });
  m_opened = m_record;
  ShowRecord();
  AdaptLayout();
  FocusItemNow(kNvrEditShift);
  return true;
}

void CRepairNVR::ShowRecord() {
  for (const auto& [id, text] : NvrEditTexts(m_record)) SetItemTextNow(id, text);
  const NvrDateTime shown = NvrDateAsShown(m_record.opened);
  SetDate(kNvrDateOpened, tk::Date{shown.year, shown.month, shown.day});
  SetTime(kNvrDateOpened, tk::Time{shown.hour, shown.minute, shown.second});
}

bool CRepairNVR::TakeControls() {
  m_record.opened = DateTimeOf(GetDate(kNvrDateOpened), GetTime(kNvrDateOpened));
  std::map<int, std::string> texts;
  for (int id : NvrTransferOrder()) texts[id] = ItemText(id);
  const std::optional<int> failed = TakeNvrEditTexts(m_record, texts);
  if (!failed) return true;
  tk::ThePrompts().ShowMessage({IsCountEdit(*failed) ? kCountFormatText : kMoneyFormatText, tk::kProgramName,
                                tk::Icon::Exclamation, tk::Buttons::Ok, tk::IDOK, this});
  FocusItemNow(*failed);
  SelectItemText(*failed);
  return false;
}

void CRepairNVR::AdaptLayout() {
  if (!HasItem(tk::IDOK) || !HasItem(kNvrEditDeferred) || !HasItem(kNvrButtonDeptSales)) return;
  const int okTop = ItemRect(tk::IDOK).y;
  const int firstTaxRowTop = ItemRect(kNvrEditDeferred).y;
  const int firstDeptButtonTop = ItemRect(kNvrButtonDeptSales).y;
  // The rows from 1068 down to the tax buttons, and the department
  // buttons, each take a band of the dialog's height.
  const int taxBand = firstDeptButtonTop - firstTaxRowTop;
  const int deptBand = okTop - firstDeptButtonTop;
  const NvrLayout layout = NvrLayoutFor(m_record.version);
  for (int id : NvrHiddenControls(m_record.version)) ShowItem(id, false);

  int rise = 0;
  if (!layout.taxRows) {
    rise += taxBand;
    for (int id : {kNvrButtonDeptSales, kNvrButtonDeptReturns}) MoveItemBy(id, 0, -taxBand);
  }
  if (!layout.departmentButtons) rise += deptBand;
  if (rise == 0) return;
  for (int id : {tk::IDOK, tk::IDCANCEL, static_cast<int>(kNvrButtonSave), static_cast<int>(kNvrButtonLoad)})
    MoveItemBy(id, 0, -rise);
  ShortenBy(rise);
}

void CRepairNVR::OnArray(NvrArray array) {
  if (!TakeControls()) return;
  const std::span<double> values = NvrArrayValues(m_record, array);
  const std::string caption = ItemText(NvrArrayButton(array));
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
  const std::string name = tk::ThePrompts().SaveFileName(this, "Сохранить как", PromptFilter(kNvrFileFilter));
  if (name.empty()) return;
  // What the edits show is what the file gets, or nothing.
  if (!TakeControls()) return;
  tk::PromptInteraction ask(this);
  SaveNvrRecord(WithDefaultExtension(name), m_record, ask);
}

void CRepairNVR::OnLoad() {
  std::string name = tk::ThePrompts().OpenFileName(this, "Открыть", PromptFilter(kNvrFileFilter));
  if (name.empty()) return;
  if (!FileExists(name) && FileExists(WithDefaultExtension(name))) name = WithDefaultExtension(name);
  // The file holds no date: the one the picker shows stays.
  m_record.opened = DateTimeOf(GetDate(kNvrDateOpened), GetTime(kNvrDateOpened));
  tk::PromptInteraction ask(this);
  if (LoadNvrRecord(name, m_record, ask)) ShowRecord();
}
