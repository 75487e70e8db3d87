// SPDX-License-Identifier: GPL-3.0-or-later
// The register model: status bytes, configuration tables, shift and receipt,
// fiscal data, EEJ, memory with the NVR image and the logo.  Not locked; the
// simulator serialises all access.  The commands live in one file per family
// (model_<family>.cpp) behind the table in model_dispatch.cpp.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "simulator.h"

namespace termina::sim {

// What the transport has to do with a command.
struct Outcome {
  enum Kind { Reply, LongReport, LogoHeader } kind = Reply;
  uint8_t result = 0;
  std::vector<std::string> fields;  // UTF-8
  int reportMs = 0;                 // LongReport: how long it prints
  size_t logoLength = 0;            // LogoHeader: bytes of the stream to read
};

// Shift totals, in ten-thousandths of a rouble; what the NVR image holds.
struct Totals {
  uint32_t shift = 1, document = 0, report = 0, receipt = 0;
  int64_t cash = 0, carried = 0;
  int64_t sales[16] = {}, returns[16] = {};
  int64_t annulled = 0, deferred = 0, paidIn = 0, paidOut = 0;
  int64_t discSales = 0, markupSales = 0, discReturns = 0, markupReturns = 0;
  int64_t taxSales[6] = {}, taxReturns[6] = {};
  int64_t deptSales[6] = {}, deptReturns[6] = {};
  // shift opening date and time
  uint8_t openDay = 0, openMonth = 0, openHour = 0, openMinute = 0, openSecond = 0;
  uint16_t openYear = 0;
};

class RegisterModel {
 public:
  explicit RegisterModel(const Config& cfg);

  Outcome execute(const std::string& code, const std::vector<std::string>& fieldsUtf8);
  Outcome finishReport(bool cancelled);
  Outcome finishLogo(const std::vector<uint8_t>& stream, bool complete);

  // Settings and switches.
  void setVersion(uint16_t v);
  uint16_t version() const { return st_.version; }
  std::string password() const { return st_.password; }
  void setPassword(std::string p) {
    st_.password = std::move(p);
    changed_ = true;
  }
  void setStatus(uint8_t fatal, uint8_t status, uint8_t doc);
  void setPrinterStatus(uint8_t p) {
    st_.printer = p;
    changed_ = true;
  }
  void setDisplayAttached(bool on) {
    st_.displayAttached = on;
    changed_ = true;
  }
  void setNvrFault(bool on);
  void setFiscalModuleInstalled(bool on);
  void setTable(uint16_t t, uint16_t f, std::string v) {
    st_.tables[{t, f}] = std::move(v);
    changed_ = true;
  }
  std::string table(uint16_t t, uint16_t f) const;
  void setClockOffset(int64_t s) {
    st_.clockOffsetSeconds = s;
    changed_ = true;
  }
  void setReportDuration(int ms) { reportMs_ = ms; }
  void setCancelResult(uint8_t c) { cancelResult_ = c; }
  void setTruncatedMemBlock(bool on) { truncatedMem_ = on; }
  void setLowerCaseMemHex(bool on) { lowerMem_ = on; }
  void setReady();
  // Closes `shifts` shifts into the fiscal memory, one a day up to
  // yesterday, as on a register that has been working; the shift number
  // moves past them.  Nothing while a shift is open.
  void addFiscalHistory(int shifts);

  RegisterState state() const;
  bool reportRunning() const { return st_.reportRunning; }
  const Totals& totals() const { return tot_; }
  std::vector<uint8_t> memory(uint16_t area, uint32_t address, size_t count) const;
  void setMemory(uint16_t area, uint32_t address, const std::vector<uint8_t>& bytes);
  std::vector<uint8_t> nvrImage() const;

  static size_t nvrLength(uint16_t version);
  static uint8_t nvrChecksum(const std::vector<uint8_t>& image);
  static std::vector<uint8_t> buildNvrImage(const Totals& t, uint16_t version);
  static Totals parseNvrImage(const std::vector<uint8_t>& image, uint16_t version);

  // Persistence: the whole register as text.
  std::string serialize() const;
  bool deserialize(const std::string& text);
  // True once after every change (for the state file).
  bool takeChanged() {
    bool c = changed_;
    changed_ = false;
    return c;
  }

 private:
  // Command handlers, by family; the table in model_dispatch.cpp maps the
  // command codes to them.  status (model_status.cpp)
  Outcome cmdStatus(const std::vector<std::string>& f);
  Outcome cmdPrinterStatus(const std::vector<std::string>& f);
  // service, queries and configuration tables (model_service.cpp)
  Outcome cmdInit(const std::vector<std::string>& f);
  Outcome cmdSetDate(const std::vector<std::string>& f);
  Outcome cmdInstall(const std::vector<std::string>& f);
  Outcome cmdRegister(const std::vector<std::string>& f);
  Outcome cmdQuery(const std::vector<std::string>& f);
  Outcome cmdRegNumber(const std::vector<std::string>& f);
  Outcome cmdClock(const std::vector<std::string>& f);
  Outcome cmdReadConfig(const std::vector<std::string>& f);
  Outcome cmdWriteConfig(const std::vector<std::string>& f);
  // receipts (model_receipt.cpp)
  Outcome cmdOpenReceipt(const std::vector<std::string>& f);
  Outcome cmdPrintText(const std::vector<std::string>& f);
  Outcome cmdCloseReceipt(const std::vector<std::string>& f);
  Outcome cmdCancelReceipt(const std::vector<std::string>& f);
  Outcome cmdBarcode(const std::vector<std::string>& f);
  Outcome cmdSale(const std::vector<std::string>& f);
  Outcome cmdStorno(const std::vector<std::string>& f);
  Outcome cmdDiscount(const std::vector<std::string>& f);
  Outcome cmdMarkup(const std::vector<std::string>& f);
  Outcome cmdSubtotal(const std::vector<std::string>& f);
  Outcome cmdPayment(const std::vector<std::string>& f);
  Outcome cmdCashInOut(const std::vector<std::string>& f);
  // reports and the EEJ (model_reports.cpp)
  Outcome cmdXReport(const std::vector<std::string>& f);
  Outcome cmdZReport(const std::vector<std::string>& f);
  Outcome cmdFiscalReportByNumber(const std::vector<std::string>& f);
  Outcome cmdFiscalReportByDate(const std::vector<std::string>& f);
  Outcome cmdEejShiftReport(const std::vector<std::string>& f);
  Outcome cmdEejReportByNumber(const std::vector<std::string>& f);
  Outcome cmdEejReportByDate(const std::vector<std::string>& f);
  Outcome cmdEejDocument(const std::vector<std::string>& f);
  Outcome cmdEejActivateReport(const std::vector<std::string>& f);
  Outcome cmdEejStatus(const std::vector<std::string>& f);
  Outcome cmdActivateEej(const std::vector<std::string>& f);
  Outcome cmdCloseArchive(const std::vector<std::string>& f);
  // devices (model_devices.cpp)
  Outcome cmdDrawer(const std::vector<std::string>& f);
  Outcome cmdDisplay(const std::vector<std::string>& f);
  // memory blocks and the logo (model_bulk.cpp)
  Outcome cmdReadMemory(const std::vector<std::string>& f);
  Outcome cmdWriteMemory(const std::vector<std::string>& f);
  Outcome cmdLogoHeader(const std::vector<std::string>& f);
  Outcome cmdClearLogo(const std::vector<std::string>& f);

  // What the handlers share.
  Outcome cmdArticle(const std::vector<std::string>& f, bool storno);
  Outcome cmdAdjust(const std::vector<std::string>& f, bool discount);
  Outcome fiscalMemoryReport(const std::vector<std::string>& f, bool byDate);
  Outcome eejRangeReport(const std::vector<std::string>& f, bool byDate);
  bool reportMayStart(uint8_t& code) const;  // function 0 done, no fatal fault, no receipt open
  // Compares with the tax inspector password and keeps the answer in
  // status bit 7 until the next password given.
  bool inspectorPasswordGiven(const std::string& password);
  bool fiscalMemoryHas(const std::string& first, const std::string& last, bool byDate) const;
  bool eejMayHold(const std::string& first, const std::string& last, bool byDate) const;
  Outcome startLongReport() const;
  Outcome printShiftReport() const;  // the X or Z report's printout, once it has been accepted
  Outcome finishShiftReport();
  bool taxRate(int group, int64_t& hundredths) const;  // tables 23 and 24; false when not in use
  bool autoDisplay() const;                            // table 10 on a version that has it
  bool eejAcceptsDocuments() const;
  void bookTaxes(int64_t (&taxes)[6]) const;  // the open receipt's taxes, at closing
  void activateEejUnit();
  bool beforeLastFiscal(int64_t civilSeconds) const;  // earlier than the last fiscal operation
  bool tableAvailable(uint16_t t, uint16_t f) const;
  uint8_t validateTableValue(uint16_t t, const std::string& v) const;
  uint8_t statusByte() const;
  bool readyForDocuments(uint8_t& code) const;  // init done, no fatal fault, no report running
  void openShiftIfNeeded();
  void refreshNvr();           // rewrite the image from the totals
  void takeWrittenNvr();       // adopt a whole written image, or take the fault for a broken one
  int64_t nowSeconds() const;  // register clock, seconds since the epoch (local civil time)
  void stamp(std::string& date, std::string& time) const;

  friend struct StateFile;  // the state file's table of fields (model_state.cpp)

  RegisterState st_;
  Totals tot_;
  std::map<uint16_t, std::vector<uint8_t>> mem_;  // area -> 64 KiB
  // open receipt
  int docType_ = 0;
  int64_t receiptPaid_[16] = {};
  int64_t receiptDiscount_ = 0, receiptMarkup_ = 0;
  int64_t receiptDept_[6] = {};
  int64_t receiptLineTax_[6] = {};  // tax of each line rounded on its own, by tax group
  // fiscal memory: closed shifts with their closing date
  std::vector<std::pair<uint32_t, std::string>> fmShifts_;
  long long eejCount_ = 0;
  int reportMs_ = 3000;
  int shiftReportMs_ = 1500;  // print time of the X and Z reports
  uint8_t cancelResult_ = 0x0E;
  bool truncatedMem_ = false, lowerMem_ = false;
  bool changed_ = false;
};

}  // namespace termina::sim
