// SPDX-License-Identifier: GPL-3.0-or-later
// The register's configuration tables as the program uses them: every
// (table, field) pair it reads or writes, what the value means, how it is
// encoded as text, from which firmware version it is used and whether the
// settings file carries it.  The pages, the settings file and trma take
// table numbers, captions and version thresholds from here and nowhere
// else.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace termina::app {

// Firmware versions from which features are used.
enum : uint16_t {
  kVersionZReport = 121,      // tables 7 to 11, bit 0 of table 7
  kVersionTaxOptions = 125,   // tables 13, 25, 30; bits 1-3 of table 7; table 12 read;
                              // the settings file carries tables 23, 24, 25, 30
  kVersionZReportMore = 128,  // bits 4, 5 of table 7; bit 2 of table 12
  kVersionSecondModel = 201,  // bits 6, 7 of table 7; departments in fields 1 to 6
  kVersionThirdModel = 301,
};

// The tables, by what they hold.
enum ConfigTable : uint16_t {
  kTableCashDesk = 1,
  kTableCompactPrint = 2,
  kTableExternalNumbering = 3,
  kTableAutoDrawer = 4,
  kTablePrintLogo = 5,
  kTableNoCashControl = 6,
  kTableZReportOptions = 7,
  kTableCollectToZero = 8,
  kTableDisplayType = 9,
  kTableAutoDisplay = 10,
  kTablePartialCut = 11,
  kTableTaxOptions = 12,
  kTableReceiptDesign = 13,
  kTableHeader = 20,
  kTableFooter = 21,
  kTablePaymentNames = 22,
  kTableTaxNames = 23,
  kTableTaxRates = 24,
  kTableTaxLine = 25,
  kTableDepartments = 26,
  kTableZSection = 27,
  kTableAutoPayment = 30,
  kTablePassword = 31,
};

struct ConfigEntry {
  uint16_t table;
  uint16_t firstField, lastField;  // inclusive; table 26 moves by DepartmentOffset
  const char* caption;             // UTF-8, the control text of the owning page
  uint8_t maxLength;               // characters sent at most
  uint16_t fromVersion;            // read (and written) from this version on
  const char* page;                // class of the owning page
};

// Every table the program touches, in table order.
std::span<const ConfigEntry> ConfigMap();
// The entry of a table of the map; throws std::out_of_range for any other.
const ConfigEntry& MapEntry(uint16_t table);

// A bit of a bit-mask table and the check box that shows it.
struct BitEntry {
  uint8_t bit;
  const char* caption;
  uint16_t controlId;  // 0 when no check box shows it on its own
  uint16_t fromVersion;
};
// Table 7, Z-report options (parameters page).
std::span<const BitEntry> ZReportBits();
// Table 12, tax printing options (taxes page); bit 4 is the calculation mode.
std::span<const BitEntry> TaxOptionBits();
inline constexpr uint8_t kTaxBitPrintZ = 0, kTaxBitPrintReceipt = 1, kTaxBitNoZeroSums = 2, kTaxBitPerPosition = 4;

// List texts, in their order on the pages.
std::span<const char* const> DisplayTypeNames();     // table 9: "BA-63", "LD-202"
std::span<const char* const> ReceiptDesignNames();   // table 13
std::span<const char* const> TaxCalculationNames();  // index 0: bit 4 set, index 1: clear

// Field of table 26 that department row 0 uses: 0 below kVersionSecondModel, 1 from it.
uint16_t DepartmentOffset(uint16_t version);
// Versions 201 and 301 have no display type, automatic display output or
// partial cutting on the parameters page.
bool HidesDisplayRows(uint16_t version);
// Whether the register of this version has the table (as the pages use it).
bool UsedOn(const ConfigEntry& e, uint16_t version);

// Text decoding, as the pages read values: decimal digits at the start,
// empty or non-numeric text 0.
unsigned DecimalValue(const std::string& text);
inline bool FlagValue(const std::string& text) { return DecimalValue(text) != 0; }
// The text sent for a flag.
inline const char* FlagText(bool on) { return on ? "1" : "0"; }

// The text cut to the first limit characters (a character is one byte of
// the register's code page; the text here is UTF-8).
std::string CutToChars(const std::string& utf8, std::size_t limit);

}  // namespace termina::app
