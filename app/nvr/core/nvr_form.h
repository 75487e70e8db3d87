// SPDX-License-Identifier: GPL-3.0-or-later
// What the recovery dialog and its three array dialogs show, without the
// widgets: control identifiers, money and number texts and their parsing,
// the transfer of edit texts into the record in the dialog's order, the
// rows that exist for a version, and the labels of the arrays.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "nvr_image.h"

namespace termina::app {

// Controls of the recovery dialog (template 147).
enum NvrControl : int {
  kNvrEditShift = 1051,
  kNvrEditDocument = 1052,
  kNvrEditReport = 1053,
  kNvrEditReceipt = 1055,
  kNvrEditCash = 1056,
  kNvrEditCarried = 1057,
  kNvrEditAnnulled = 1058,
  kNvrEditPaidIn = 1059,
  kNvrEditPaidOut = 1060,
  kNvrDateOpened = 1061,
  kNvrEditSalesTotal = 1062,
  kNvrEditReturnsTotal = 1063,
  kNvrEditDiscSales = 1064,
  kNvrEditMarkupSales = 1065,
  kNvrEditDiscReturns = 1066,
  kNvrEditMarkupReturns = 1067,
  kNvrEditDeferred = 1068,
  kNvrButtonSales = 1079,
  kNvrButtonReturns = 1080,
  kNvrButtonTaxSales = 1081,
  kNvrButtonTaxReturns = 1082,
  kNvrButtonDeptSales = 11147,
  kNvrButtonDeptReturns = 11148,
  kNvrButtonSave = 3,
  kNvrButtonLoad = 4,
};

// Money as the edits show it: "%.2f" with a decimal point whatever the
// locale (12.346 -> "12.35").
std::string FormatMoney(double roubles);
// A money edit's text: a decimal number with a point, blanks around it
// allowed, nothing else; the value must fit the image.  nullopt when the text
// is not such a number.
std::optional<double> ParseMoney(std::string_view text);
// A number edit's text: unsigned 32-bit decimal, blanks around it allowed.
std::optional<uint32_t> ParseCount(std::string_view text);
// The array dialogs' conversion on OK: the leading number of the text, 0
// when there is none (or it does not fit the image).
double ParseMoneyLenient(std::string_view text);

// The text of every edit of the recovery dialog (the four numbers, all
// money edits and the two totals), keyed by control identifier.
std::map<int, std::string> NvrEditTexts(const NvrRecord& r);

// The edits in the order the dialog takes them into the record, after the
// date: the two totals, the four numbers, 1056 to 1060, 1064 to 1067, 1068.
std::span<const int> NvrTransferOrder();

// Takes edit texts into the record in transfer order and stops at the
// first one that does not parse: that edit and all later ones keep their
// values.  Edits missing from texts are skipped.  Returns the identifier of
// the edit that stopped the transfer, or nullopt when all were taken.  The
// date picker's value goes into r.opened before this, by the caller.
std::optional<int> TakeNvrEditTexts(NvrRecord& r, const std::map<int, std::string>& texts);

// Which rows of the recovery dialog exist for a version.
struct NvrLayout {
  // Deferred, discount and mark-up edits 1064 to 1068 with their labels,
  // and the tax buttons 1081, 1082: from version 125 on.
  bool taxRows;
  // The department buttons 11147, 11148: versions 201 and 301.
  bool departmentButtons;
};
NvrLayout NvrLayoutFor(uint16_t version);
// The controls hidden for a version (edits, their labels 1120 to 1124,
// buttons).
std::vector<int> NvrHiddenControls(uint16_t version);

// The three array dialogs.
enum class NvrArray { SalesByPayment, ReturnsByPayment, TaxSales, TaxReturns, DeptSales, DeptReturns };
struct NvrArrayDialog {
  int templateId;              // 150, 155 or 161
  std::span<const int> edits;  // the edit of each value, in value order
};
NvrArrayDialog NvrArrayDialogFor(NvrArray a);
// The button of the recovery dialog that opens the array.
int NvrArrayButton(NvrArray a);
// The values of the array in the record (16 or 6 of them).
std::span<double> NvrArrayValues(NvrRecord& r, NvrArray a);
std::span<const double> NvrArrayValues(const NvrRecord& r, NvrArray a);
// The label of value i: "Наличные", "Платеж 1".."Платеж 15"; "Налог 0".."Налог 5";
// "Группа 1".."Группа 6".
std::string NvrArrayLabel(NvrArray a, std::size_t i);
// What an array dialog does on OK: every edit's text converted leniently
// into the array.  The payment totals are the caller's to recompute
// (RecomputeNvrTotals), whichever button closed the dialog.
void TakeNvrArrayTexts(NvrRecord& r, NvrArray a, std::span<const std::string> texts);

}  // namespace termina::app
