// SPDX-License-Identifier: GPL-3.0-or-later
// The register sequences of the six programming pages (parameters, receipt
// header, advertising text, payment types, taxes, departments), without a
// window.
//
// How a page uses them:
//  - at creation, on the UI thread, it calls ReadXxx() and fills its
//    controls from the returned struct.  A read never throws a driver
//    failure: it ends at the failing table and returns what was read with
//    the code in `error`; the page shows ErrorText(*error) in an "Ошибка"
//    box and on the status line (what else it shows is said per page
//    below).
//  - on "СОХРАНИТЬ" it gathers its controls into the input struct on the UI
//    thread, then its command (on the register worker) calls WriteXxx().
//    The shift-open guard is part of every write: while the shift is open
//    nothing is written and the write returns WriteStatus::ShiftOpen; the
//    page then shows kShiftOpenText in a box titled kErrorTitle with the
//    error icon and puts it on the status line.
//    A driver failure of a write is thrown as the bare uint16_t code, the
//    later calls not made, so the framework reports it as for any page —
//    except WriteParams, which must re-read the register first: it returns
//    the code in ParamsWrite::error together with the re-read values; the
//    page fills its controls from them, then rethrows the code.
//  - locking the main window, the wait cursor and the "Ожидание..." /
//    "Готов" status texts stay with the page.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config_map.h"

namespace termina::app {

inline constexpr const char* kShiftOpenText = "Смена открыта";
inline constexpr const char* kErrorTitle = "Ошибка";
// The pause the register needs after writing the receipt header, and
// between the settings file's reads and writes.
inline constexpr unsigned kTablePauseMs = 50;

enum class WriteStatus { Done, ShiftOpen };

// The register's version; 120 when the query fails (never throws).
uint16_t RegisterVersion();
// The shift-open test of every write is IsShiftOpen() of startup.h.

// ---- parameters (CFRParams, template 142) ------------------------------

struct ParamsValues {
  std::string cashDesk;                 // 1039, table 1
  bool compactPrint = false;            // 1091, table 2
  bool externalNumbering = false;       // 1056, table 3
  bool autoDrawer = false;              // 1055, table 4
  bool noCashControl = false;           // 1083, table 6
  uint8_t zReport = 0;                  // table 7: bit n is the box of ZReportBits()[n]
  bool collectToZero = false;           // 1084, table 8
  std::optional<unsigned> displayType;  // 1100 (0) / 1101 (1) / neither, table 9
  bool autoDisplay = false;             // 1086, table 10
  // 1087, table 11.  On versions 201 and 301 the box is hidden: the value
  // read from the register is kept here and written back unchanged, and
  // nothing is written when it could not be read (nullopt).  On other
  // versions nullopt writes "0" (an unticked box).
  std::optional<bool> partialCut;
  std::optional<unsigned> design;  // 1104 selected index, table 13
  bool autoPayment = false;        // 1088, table 30 (stored inverted)
};

struct ParamsRead {
  uint16_t version = 120;
  ParamsValues values;            // what was not read keeps its default (empty, unticked)
  std::optional<uint16_t> error;  // the reads ended at this failure
};

// GetVersion, then tables 1, 2, 3, 4, 6; from 121 on 7, 8, 9, 10, 11; from
// 125 on 13 and 30.  On a failure the page still fills every control from
// `values` (what was not read appears empty) and ends with "Готов".
ParamsRead ReadParams();

// The controls the page hides on this version, in the order the read
// sequence names them; and whether the lower boxes move up by two rows.
std::vector<uint16_t> HiddenParamsControls(uint16_t version);
inline bool MovesParamsRowsUp(uint16_t version) { return HidesDisplayRows(version); }
// 11154 ("Нарастающий итог на начало смены в Z-отчете") is shown only from
// 201 on and only while 1085 is not ticked.
bool ShowsRunningTotalAtShiftStart(uint16_t version, bool runningTotalOff);
// The bits of table 7 the version uses.
uint8_t ZReportMask(uint16_t version);

struct ParamsWrite {
  WriteStatus status = WriteStatus::Done;
  std::optional<uint16_t> error;     // a write (or the shift test) failed with this code
  std::optional<ParamsRead> reread;  // after ShiftOpen or error: what the register holds now
};

// Shift test; tables 1, 2, 3, 4, 6; from 121 on 7, 8, 9, 10, 11; from 125 on
// 13 and 30; then TRMA_Init with the computer's date and time.  `version` is
// the one the page read at creation.
ParamsWrite WriteParams(uint16_t version, const ParamsValues& values);

// ---- receipt header (CFRCliche, 143) and advertising text (CFRFooter, 144)

struct LinesRead {
  std::vector<std::string> lines;  // 4 (header) or 2 (advertising); all empty after a failure
  std::optional<uint16_t> error;
};

inline constexpr std::size_t kLineChars = 40;

// Settings a write leaves as the register holds them: bit n set skips the
// n-th value of the write's order (a value whose read failed and which the
// user has not changed is never written blind).
using SkipMask = uint32_t;

// Table 20 fields 0 to 3.
LinesRead ReadHeader();
// Shift test; table 20 fields 0 to 3, each line exactly as typed cut to 40
// characters (bit f of `skip`: field f not written); pause 50 ms; TRMA_Init.
WriteStatus WriteHeader(const std::array<std::string, 4>& lines, SkipMask skip = 0);
// Table 21 fields 0 and 1.
LinesRead ReadFooter();
// Shift test; table 21 fields 0 and 1 (bit f of `skip`: field f not
// written); no pause, no re-initialisation.
WriteStatus WriteFooter(const std::array<std::string, 2>& lines, SkipMask skip = 0);

// ---- payment types (CFRPayment, 145) ------------------------------------

inline constexpr std::size_t kPaymentNameChars = 18;  // the boxes' typing limit

struct PaymentsRead {
  std::array<std::string, 16> names;  // names not read stay empty; read ones are kept after a failure
  std::size_t namesRead = 0;          // fields 0..namesRead-1 were read
  std::optional<uint16_t> error;
};
// Table 22 fields 0 to 15.
PaymentsRead ReadPayments();
// Shift test; table 22 fields 1 to 15 (cut to 40; bit f of `skip`: field f
// not written).  names[0] is never written, whatever it holds.
WriteStatus WritePayments(const std::array<std::string, 16>& names, SkipMask skip = 0);

// ---- taxes (CFRTaxes, 154) -----------------------------------------------

struct TaxValues {
  std::array<std::string, 6> names;     // 1104..1109, table 23
  std::array<std::string, 6> rates;     // 1110..1115, table 24
  bool printZ = false;                  // 1085, table 12 bit 0
  bool printReceipt = false;            // 1119, table 12 bit 1
  bool noZeroSums = false;              // 1127, table 12 bit 2 (from 128)
  std::optional<unsigned> calculation;  // 1117 selected index: 0 sets bit 4
  std::string taxLine;                  // 1040, table 25
  // False when the options could not be read (their controls are hidden):
  // tables 12 and 25 are then left as the register holds them.
  bool optionsKnown = true;
};

struct TaxesRead {
  uint16_t version = 120;
  TaxValues values;
  // Whether 1040, 1118, 1117, 1116, 1085, 1119 show (125 and higher, and
  // no failure) and whether 1127 shows.
  bool showOptions = false;
  bool showNoZeroSums = false;
  unsigned optionMask = 0;  // table 12 field 0 as the register holds it (125 and higher)
  // Read in pairs, name i then rate i: this many of names[0], rates[0],
  // names[1], ... were read.
  std::size_t pairsValuesRead = 0;
  std::optional<uint16_t> error;
};

// GetVersion; tables 23 and 24 field i for i = 0..5; from 125 on table 25
// and table 12 field 0.
TaxesRead ReadTaxes();
// 1127 shows from 128 on while 1085 is ticked (also on a click on 1085).
bool ShowsNoZeroSums(uint16_t version, bool printZ);
// The one mask written into table 12 fields 0 to 5; 0 below 125, where the
// option controls are hidden and never filled.
uint8_t TaxOptionMask(uint16_t version, const TaxValues& values);
// Shift test; for i = 0..5: table 24 field i, table 23 field i, table 12
// field i (the mask); from 125 on table 25.  Bit i of `skip`: name i not
// written; bit 6 + i: rate i not written.
WriteStatus WriteTaxes(uint16_t version, const TaxValues& values, SkipMask skip = 0);

// ---- departments (CFRGroups, 160) ----------------------------------------

struct DepartmentsRead {
  uint16_t version = 120;
  uint16_t offset = 0;               // table 26 field of row 0
  std::array<std::string, 6> names;  // 1142..1147
  std::string zSection;              // 1139, table 27
  std::size_t valuesRead = 0;        // of names[0..5] then zSection
  std::optional<uint16_t> error;
};
// Labels of the rows 1149..1154: "0".."5" below 201, "1".."6" from 201 on.
std::array<std::string, 6> DepartmentRowLabels(uint16_t version);
// GetVersion; table 26 fields offset..offset+5; table 27.
DepartmentsRead ReadDepartments();
// Shift test; table 26 fields offset..offset+5; table 27.  Bit i of `skip`:
// name i not written; bit 6: table 27 not written.
WriteStatus WriteDepartments(uint16_t version, const std::array<std::string, 6>& names, const std::string& zSection,
                             SkipMask skip = 0);

// ---- logo flag (table 5), read for the settings overview -------------------
std::optional<bool> ReadLogoFlag(std::optional<uint16_t>* error = nullptr);

}  // namespace termina::app
