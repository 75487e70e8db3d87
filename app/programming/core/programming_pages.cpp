// SPDX-License-Identifier: GPL-3.0-or-later
#include "programming_pages.h"

#include "driver_text.h"
#include "startup.h"
#include "termina1.h"

namespace termina::app {
namespace {

// One value as UTF-8 text, read into a zero-filled buffer (a register that
// answers "no data" leaves it empty).
std::string readText(uint16_t table, uint16_t field) {
  TRMA_STRING value{};
  TRMA_ReadConfig(table, field, &value);
  value[sizeof value - 1] = 0;
  return ToUtf8(value);
}

// Sends a text cut to 40 characters.
void writeText(uint16_t table, uint16_t field, const std::string& utf8) {
  TRMA_STRING value{};
  ToAnsi(CutToChars(utf8, kLineChars), value);
  TRMA_WriteConfig(table, field, &value);
}

bool skipped(SkipMask skip, unsigned n) { return n < 32 && ((skip >> n) & 1u) != 0; }

void writeFlag(uint16_t table, bool on) { writeText(table, 0, FlagText(on)); }

void reinitialise() {
  TRMADT date{};
  TRMATM time{};
  LocalDateTime(&date, &time);
  TRMA_Init(&date, &time);
}

// Reads of one page, ended by the first failure.
template <class F>
std::optional<uint16_t> untilFailure(F&& reads) {
  try {
    reads();
    return std::nullopt;
  } catch (uint16_t code) { return code; }
}

}  // namespace

uint16_t RegisterVersion() {
  uint16_t version = 120;
  if (TRMA_GetVersion(&version) != 0) version = 120;
  return version;
}

// ---- parameters --------------------------------------------------------

uint8_t ZReportMask(uint16_t version) {
  uint8_t mask = 0;
  for (const BitEntry& b : ZReportBits())
    if (version >= b.fromVersion) mask = static_cast<uint8_t>(mask | (1u << b.bit));
  return mask;
}

bool ShowsRunningTotalAtShiftStart(uint16_t version, bool runningTotalOff) {
  return version >= kVersionSecondModel && !runningTotalOff;
}

std::vector<uint16_t> HiddenParamsControls(uint16_t version) {
  std::vector<uint16_t> ids;
  if (version < kVersionZReport) ids.insert(ids.end(), {1085, 1084, 1097, 1100, 1101, 1086, 1087});
  if (version < kVersionTaxOptions) ids.insert(ids.end(), {1089, 1104, 1105, 1088, 1090, 1092});
  if (version < kVersionZReportMore) ids.insert(ids.end(), {1125, 1126});
  if (version < kVersionSecondModel) ids.insert(ids.end(), {11154, 11153});
  if (HidesDisplayRows(version)) ids.insert(ids.end(), {1087, 1086, 1097, 1100, 1101});
  return ids;
}

ParamsRead ReadParams() {
  ParamsRead r;
  r.version = RegisterVersion();
  const uint16_t v = r.version;
  ParamsValues& p = r.values;
  r.error = untilFailure([&] {
    p.cashDesk = readText(kTableCashDesk, 0);
    p.compactPrint = FlagValue(readText(kTableCompactPrint, 0));
    p.externalNumbering = FlagValue(readText(kTableExternalNumbering, 0));
    p.autoDrawer = FlagValue(readText(kTableAutoDrawer, 0));
    p.noCashControl = (DecimalValue(readText(kTableNoCashControl, 0)) & 1) != 0;
    if (v >= kVersionZReport) {
      p.zReport = static_cast<uint8_t>(DecimalValue(readText(kTableZReportOptions, 0)) & ZReportMask(v));
      p.collectToZero = FlagValue(readText(kTableCollectToZero, 0));
      const std::string display = readText(kTableDisplayType, 0);
      const unsigned type = DecimalValue(display);
      if (type < DisplayTypeNames().size()) p.displayType = type;
      p.autoDisplay = FlagValue(readText(kTableAutoDisplay, 0));
      p.partialCut = FlagValue(readText(kTablePartialCut, 0));
    }
    if (v >= kVersionTaxOptions) {
      const unsigned design = DecimalValue(readText(kTableReceiptDesign, 0));
      if (design < ReceiptDesignNames().size()) p.design = design;
      p.autoPayment = DecimalValue(readText(kTableAutoPayment, 0)) == 0;
    }
  });
  return r;
}

ParamsWrite WriteParams(uint16_t version, const ParamsValues& p) {
  ParamsWrite w;
  try {
    if (IsShiftOpen()) {
      w.status = WriteStatus::ShiftOpen;
      w.reread = ReadParams();
      return w;
    }
    writeText(kTableCashDesk, 0, p.cashDesk);
    writeFlag(kTableCompactPrint, p.compactPrint);
    writeFlag(kTableExternalNumbering, p.externalNumbering);
    writeFlag(kTableAutoDrawer, p.autoDrawer);
    writeFlag(kTableNoCashControl, p.noCashControl);
    if (version >= kVersionZReport) {
      writeText(kTableZReportOptions, 0, std::to_string(p.zReport & ZReportMask(version)));
      writeFlag(kTableCollectToZero, p.collectToZero);
      writeText(kTableDisplayType, 0, p.displayType ? std::to_string(*p.displayType) : std::string());
      writeFlag(kTableAutoDisplay, p.autoDisplay);
      // Where the box is hidden its value was never shown to the user:
      // write back what the register held, or nothing if that is unknown.
      if (!HidesDisplayRows(version))
        writeFlag(kTablePartialCut, p.partialCut.value_or(false));
      else if (p.partialCut)
        writeFlag(kTablePartialCut, *p.partialCut);
    }
    if (version >= kVersionTaxOptions) {
      writeText(kTableReceiptDesign, 0, std::to_string(p.design.value_or(0)));
      writeText(kTableAutoPayment, 0, p.autoPayment ? "0" : "1");
    }
    reinitialise();
  } catch (uint16_t code) {
    w.error = code;
    w.reread = ReadParams();
  }
  return w;
}

// ---- receipt header and advertising text -------------------------------

namespace {

LinesRead readLines(uint16_t table, std::size_t count) {
  LinesRead r;
  r.lines.assign(count, std::string());
  std::vector<std::string> read;
  r.error = untilFailure([&] {
    for (std::size_t f = 0; f < count; ++f) read.push_back(readText(table, static_cast<uint16_t>(f)));
  });
  // After a failure none of the lines read before it is shown.
  if (!r.error) r.lines = std::move(read);
  return r;
}

}  // namespace

LinesRead ReadHeader() { return readLines(kTableHeader, 4); }
LinesRead ReadFooter() { return readLines(kTableFooter, 2); }

WriteStatus WriteHeader(const std::array<std::string, 4>& lines, SkipMask skip) {
  if (IsShiftOpen()) return WriteStatus::ShiftOpen;
  for (uint16_t f = 0; f < lines.size(); ++f)
    if (!skipped(skip, f)) writeText(kTableHeader, f, lines[f]);
  Pause(kTablePauseMs);
  reinitialise();
  return WriteStatus::Done;
}

WriteStatus WriteFooter(const std::array<std::string, 2>& lines, SkipMask skip) {
  if (IsShiftOpen()) return WriteStatus::ShiftOpen;
  for (uint16_t f = 0; f < lines.size(); ++f)
    if (!skipped(skip, f)) writeText(kTableFooter, f, lines[f]);
  return WriteStatus::Done;
}

// ---- payment types -------------------------------------------------------

PaymentsRead ReadPayments() {
  PaymentsRead r;
  r.error = untilFailure([&] {
    for (uint16_t f = 0; f < r.names.size(); ++f) {
      r.names[f] = readText(kTablePaymentNames, f);
      r.namesRead = f + 1u;
    }
  });
  return r;
}

WriteStatus WritePayments(const std::array<std::string, 16>& names, SkipMask skip) {
  if (IsShiftOpen()) return WriteStatus::ShiftOpen;
  // Payment type 0 (cash) is fixed: its field is never written.
  for (uint16_t f = 1; f < names.size(); ++f)
    if (!skipped(skip, f)) writeText(kTablePaymentNames, f, names[f]);
  return WriteStatus::Done;
}

// ---- taxes ---------------------------------------------------------------

bool ShowsNoZeroSums(uint16_t version, bool printZ) { return version >= kVersionZReportMore && printZ; }

uint8_t TaxOptionMask(uint16_t version, const TaxValues& t) {
  if (version < kVersionTaxOptions) return 0;
  unsigned mask = 0;
  if (t.printZ) mask |= 1u << kTaxBitPrintZ;
  if (t.printReceipt) mask |= 1u << kTaxBitPrintReceipt;
  if (t.calculation && *t.calculation == 0) mask |= 1u << kTaxBitPerPosition;
  if (version >= kVersionZReportMore && t.noZeroSums) mask |= 1u << kTaxBitNoZeroSums;
  return static_cast<uint8_t>(mask);
}

TaxesRead ReadTaxes() {
  TaxesRead r;
  r.version = RegisterVersion();
  TaxValues& t = r.values;
  r.error = untilFailure([&] {
    for (uint16_t i = 0; i < 6; ++i) {
      t.names[i] = readText(kTableTaxNames, i);
      ++r.pairsValuesRead;
      t.rates[i] = readText(kTableTaxRates, i);
      ++r.pairsValuesRead;
    }
    if (r.version >= kVersionTaxOptions) {
      t.taxLine = readText(kTableTaxLine, 0);
      const unsigned mask = DecimalValue(readText(kTableTaxOptions, 0));
      r.optionMask = mask;
      t.printZ = (mask >> kTaxBitPrintZ) & 1;
      t.printReceipt = (mask >> kTaxBitPrintReceipt) & 1;
      r.showNoZeroSums = ShowsNoZeroSums(r.version, t.printZ);
      if (r.showNoZeroSums) t.noZeroSums = (mask >> kTaxBitNoZeroSums) & 1;
      t.calculation = ((mask >> kTaxBitPerPosition) & 1) ? 0u : 1u;
      r.showOptions = true;
    }
  });
  if (r.error) {
    r.showOptions = r.showNoZeroSums = false;
    t.optionsKnown = r.version < kVersionTaxOptions;
  }
  return r;
}

WriteStatus WriteTaxes(uint16_t version, const TaxValues& t, SkipMask skip) {
  if (IsShiftOpen()) return WriteStatus::ShiftOpen;
  const std::string mask = std::to_string(TaxOptionMask(version, t));
  // Options the page could not read are not overwritten with what its
  // hidden controls happen to hold.
  const bool options = version < kVersionTaxOptions || t.optionsKnown;
  for (uint16_t i = 0; i < 6; ++i) {
    if (!skipped(skip, 6u + i)) writeText(kTableTaxRates, i, t.rates[i]);
    if (!skipped(skip, i)) writeText(kTableTaxNames, i, t.names[i]);
    if (options) writeText(kTableTaxOptions, i, mask);
  }
  if (version >= kVersionTaxOptions && t.optionsKnown) writeText(kTableTaxLine, 0, t.taxLine);
  return WriteStatus::Done;
}

// ---- departments ---------------------------------------------------------

std::array<std::string, 6> DepartmentRowLabels(uint16_t version) {
  std::array<std::string, 6> labels;
  for (unsigned i = 0; i < labels.size(); ++i) labels[i] = std::to_string(i + DepartmentOffset(version));
  return labels;
}

DepartmentsRead ReadDepartments() {
  DepartmentsRead r;
  r.version = RegisterVersion();
  r.offset = DepartmentOffset(r.version);
  r.error = untilFailure([&] {
    for (uint16_t i = 0; i < r.names.size(); ++i) {
      r.names[i] = readText(kTableDepartments, static_cast<uint16_t>(r.offset + i));
      ++r.valuesRead;
    }
    r.zSection = readText(kTableZSection, 0);
    ++r.valuesRead;
  });
  return r;
}

WriteStatus WriteDepartments(uint16_t version, const std::array<std::string, 6>& names, const std::string& zSection,
                             SkipMask skip) {
  if (IsShiftOpen()) return WriteStatus::ShiftOpen;
  const uint16_t offset = DepartmentOffset(version);
  for (uint16_t i = 0; i < names.size(); ++i)
    if (!skipped(skip, i)) writeText(kTableDepartments, static_cast<uint16_t>(offset + i), names[i]);
  if (!skipped(skip, 6)) writeText(kTableZSection, 0, zSection);
  return WriteStatus::Done;
}

std::optional<bool> ReadLogoFlag(std::optional<uint16_t>* error) {
  std::optional<bool> on;
  const auto failure = untilFailure([&] { on = FlagValue(readText(kTablePrintLogo, 0)); });
  if (error) *error = failure;
  return on;
}

}  // namespace termina::app
