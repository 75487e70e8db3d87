// SPDX-License-Identifier: GPL-3.0-or-later
// termina-sim: a fiscal register simulator for the ТЕРМИНА family.
//
// The simulator serves one pseudo-terminal and/or one TCP listener on its own
// threads, decodes the request frames it receives, runs them against a model
// of the register (status bytes, configuration tables, shift and receipt,
// fiscal data, EEJ, memory with the NVR image, logo) and answers with reply
// frames.  Everything it receives is logged for the tests, and the wire
// behaviour can be spoiled on purpose through Faults.
//
// All public methods are thread-safe.
//
// Register behaviour in short:
//  - Power-on state: status bit 0 (function 0 not called), bit 1 (non-fiscal)
//    and bit 5 (EEJ not activated) set; fatal byte 0 unless Config asks for
//    the NVR fault (bit 0) or a missing fiscal module (bit 5).  Loading a
//    state file counts as power-on: bit 0 is set again.
//  - The register's clock runs by itself (host clock + an offset): A3 and E0
//    set it; function 0 (00) only checks the host's date and time it carries
//    and clears status bit 0.  Both A3 and 00 refuse a date before the last
//    fiscal operation (0C).
//  - Table 31 is the data-exchange password: exactly 4 characters, and
//    writable only from version 130 on (the driver always sends the default
//    password to older registers).
//  - Result codes: 01 the state does not allow the command (no function 0,
//    a fatal fault, EEJ archive closed, receipt/shift in the wrong stage,
//    non-fiscal register for fiscal memory reports, a table write other than
//    the password and table 8 while the shift is open); 02 unknown command (and
//    A9 on other versions than 201); 03 bad or missing field, a table the
//    version lacks (an empty table 9 value is accepted and changes
//    nothing), or a fiscal memory report range (62, 63) in which no
//    closed shift is recorded; 05 logo stream stalled; 06 wrong
//    data-exchange password (no fields), or wrong tax inspector password for
//    08, 62, 63, which also sets status bit 7 until the right one is given
//    (the data-exchange password leaves bit 7 alone); 07 request
//    checksum (or TCP envelope XOR) wrong; 0A shift longer than 24 hours;
//    0C date before the last fiscal operation (A3, 00); 0E negative result
//    (storno or discount above the total, paying out more than the drawer
//    holds) and, by default, a long report cancelled by CAN; 0F no customer
//    display; 40 no data (INN, registration numbers, last fiscal data before
//    they exist); 42 EEJ not activated / already active; 48 no such EEJ
//    shift or document, an EEJ range (66, 67) starting after the current
//    shift or today, or ending before the EEJ's activation.
//  - A closed EEJ archive refuses new documents (01) but not reports: the
//    fiscal memory reports and every EEJ report and document (62-69) still
//    print.
//  - Long reports (62, 63, 64, 66, 67, 69) print for reportDurationMs,
//    sending ACK every reportAckIntervalMs, then reply 00; a CAN while one
//    prints ends it with cancelResult.
//  - The X and Z reports (60, 61) print for shiftReportMs with the same
//    ACKs.  The Z report closes the shift before it prints; a CAN only cuts
//    either printout short, and both still answer 00.
//  - In fiscal mode receipts and cash in/out need an active EEJ (42).  Each
//    line's department n (1..6) carries tax n-1: at closing the tax included
//    in the department's share is booked by the rate of table 24 when table 23
//    names the tax (rounded per line when table 12 has bit 4, else once).
//    With table 10 (automatic display output) on, every line is shown on
//    the customer display; without a display the line is refused with 0F.
//  - Command 20 field a is the document type (1..15; 3 is a return); line
//    field n 1..6 books the amount to that department.  Amounts are kept in
//    ten-thousandths and printed in roubles with two decimals; line amounts
//    are rounded to the kopeck.
//  - The NVR image (memory area 3 from 0xF000, 425, 563 or 659 bytes by
//    version) is rebuilt from the shift totals after every command that
//    changes the register, unless the NVR fault is set.  Memory writes (E7,
//    setMemory) are only stored until the block holding the image's last
//    byte arrives: then an image with its 0x55 marker and right checksum
//    becomes the totals and clears the fault, a broken one sets the fault.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace termina::sim {

// Everything the simulator received, in order.
struct WireEvent {
  enum Kind { Frame, Enq, Can, Raw } kind = Raw;  // Raw: bytes outside a frame (logo stream, garbage)
  std::vector<uint8_t> bytes;                     // Frame: the complete request frame STX..checksum as received
                                                  // (TCP: without the envelope)
  bool viaTcpEnvelope = false;                    // Frame arrived inside the TCP envelope
  std::vector<uint8_t> envelope;                  // the full envelope bytes when viaTcpEnvelope
};

// A decoded request frame.
struct Request {
  std::string password;  // code page 866 bytes as received
  uint8_t packetId = 0;
  std::string code;                     // e.g. "A0"
  std::string bodyUtf8;                 // code + fields with FS (0x1C) kept, decoded from 866 to UTF-8
  std::vector<std::string> fieldsUtf8;  // the fields, each without its FS
  bool checksumOk = false;
  bool passwordOk = false;  // the password matched the data-exchange password
  bool viaTcpEnvelope = false;
  int resultCode = -1;  // result code of the reply (sent unless a fault withholds it)
};

// A reply given instead of running the command (see Faults::forced).
struct ForcedReply {
  int result = 0;                       // result code 0..255
  std::vector<std::string> fieldsUtf8;  // reply fields, converted to code page 866 on the wire
};

// Switchable at any time from tests.
struct Faults {
  bool silent = false;             // answer nothing at all (no reply, no ACK to ENQ)
  bool silentMidReply = false;     // send the first half of the reply, then nothing
                                   // (ENQ unanswered too, until the next request)
  bool badChecksum = false;        // reply with a wrong checksum
  bool lowerCaseChecksum = false;  // reply checksum digits in lower case
  bool garbageBeforeStx = false;   // send a few non-STX bytes before the reply
  bool endlessReply = false;       // send reply bytes forever without ETX (until the next request / stop)
  bool closeConnection = false;    // TCP: close the client connection instead of replying
  int busyAcks = 0;                // send this many ACKs, one every ackIntervalMs, before each reply
  int ackIntervalMs = 100;
  int replyDelayMs = 0;             // plain delay before a reply
  bool duplicateReply = false;      // send every reply twice in a row (a gateway repeating itself)
  bool truncatedMemBlock = false;   // E1: answer with fewer hex digits than asked
  bool lowerCaseMemHex = false;     // E1: hex digits of the data in lower case
  int logoHeaderResult = -1;        // >= 0: answer the E2 header with a reply frame carrying
                                    // this result instead of the ACK (the stream is not read)
  bool disconnectMidReply = false;  // send the first half of the reply, then break the line:
                                    // TCP closes the connection; over the pty the line goes dead
                                    // (nothing more is sent, ENQ unanswered, until the next request)
  int byteGapMs = 0;                // > 0: send the reply one byte at a time, pausing this long
                                    // before each byte
  int ackStormMs = 0;               // > 0: before each reply send ACK every ackIntervalMs for
                                    // this long, answering ENQ with ACK too
  int restartAtFrame = 0;           // > 0: the register restarts when the n-th request frame
                                    // after setFaults arrives: that frame is lost, nothing is
                                    // answered for restartBootMs, then the register is back in
                                    // its power-on state (function 0 due, a running report or
                                    // transfer forgotten; settings and memory kept).  One-shot:
                                    // faults() then reads restartAtFrame 0.
  int restartBootMs = 1500;
  // Replies given instead of running the command, by command code ("A1"),
  // by code and first field ("A1 11": table 11) or by code and first two
  // fields ("A2 22 5": table 22 field 5); the most specific key wins.
  std::map<std::string, ForcedReply> forced;
  // The same keys, each answered once with its reply and then forgotten (a
  // write that fails the first time, as when a cable moves): faults() then
  // no longer lists it.  Taken before `forced`.
  std::map<std::string, ForcedReply> forcedOnce;
};

struct Config {
  uint16_t version = 201;                         // firmware version (e.g. 120,125,129,130,201,301)
  std::string password = "WKRD";                  // data-exchange password (table 31 field 0)
  std::string statePath;                          // state file ("" = in memory only)
  std::string inspectorPassword = "0";            // tax inspector password before the first registration
  int reportDurationMs = 3000;                    // how long the long reports (62,63,64,66,67,69) print
  int reportAckIntervalMs = 1000;                 // ACK interval while a long report prints
  int shiftReportMs = 1500;                       // how long the X and Z reports (60, 61) print, ACKs as above
                                                  // (0 = they answer at once)
  uint8_t cancelResult = 0x0E;                    // result of a long report cancelled by CAN
  bool displayAttached = false;                   // customer display present (command 81)
  bool nvrFault = false;                          // start in the NVR checksum fault state (fatal bit 0)
  bool noFiscalModule = false;                    // start with the fiscal module not installed (fatal bit 5)
  int interByteTimeoutMs = 2000;                  // a frame or logo stream that stalls this long is dropped
  unsigned lineBaud = 0;                          // emulate a serial line of this rate (8N1, 10 bits a byte):
                                                  // bytes written no faster than the line moves them, answers
                                                  // not before the request could have arrived (0 = off)
  unsigned ptySpeed = 0;                          // the register's own line rate: over the pty it hears and
                                                  // answers only while the other end has set the line to this
                                                  // rate (bytes sent at another rate are garbled on a real
                                                  // line; here they are logged as Raw and get no answer);
                                                  // 0 = any rate
  size_t logLimit = 0;                            // keep at most this many events / requests / sent bytes
                                                  // (the oldest go first; 0 = keep everything)
  std::function<void(const Request&)> onRequest;  // called on the serving thread for every
                                                  // request just before its reply goes out
                                                  // (not under the simulator's lock)
  std::function<void()> onCan;                    // called on the serving thread for every CAN
                                                  // received (not under the simulator's lock)
  // The power failing at a command: when a well-formed request with this
  // command code ("22") arrives, the process ends at once without a reply,
  // before the command runs or, with dieAfterCommand, after it ran and the
  // state file was saved.  Empty: never.
  std::string dieAtCommand;
  bool dieAfterCommand = false;
};

// Snapshot of the register model, for inspection by tests.
struct RegisterState {
  uint16_t version = 0;
  std::string password;  // data-exchange password (UTF-8)
  uint8_t fatal = 0, status = 0, doc = 0, printer = 0;
  std::map<std::pair<uint16_t, uint16_t>, std::string> tables;  // (table, field) -> value (UTF-8)
  bool initDone = false;                                        // command 00 ran since start
  bool shiftOpen = false;
  uint32_t shiftNumber = 0;      // number of the current (or next) shift
  uint32_t lastClosedShift = 0;  // number of the last shift closed by a Z report
  bool receiptOpen = false;
  int receiptStage = 0;      // 0 none, 1 lines, 2 subtotal, 3 payment
  int64_t receiptTotal = 0;  // running amount, ten-thousandths
  int64_t receiptPaid = 0;
  uint32_t receiptNumber = 0, documentNumber = 0, reportNumber = 0;
  int64_t cashInDrawer = 0;               // ten-thousandths
  std::vector<std::string> receiptLines;  // what the open / last receipt printed (UTF-8)
  std::string serialNumber;
  std::string registrationNumber;
  std::string inn;
  std::string inspectorPassword;
  bool fiscalised = false;
  std::string lastFiscalDate, lastFiscalTime;  // DDMMYY, HHMMSS of the last fiscal operation
  bool eejActivated = false;
  bool eejArchiveClosed = false;
  std::string eejRegNumber;
  std::string eejActivationData;
  int64_t clockOffsetSeconds = 0;  // register clock = host clock + offset
  bool displayAttached = false;
  std::vector<std::string> displayLines;  // last text shown on the customer display
  int drawerOpenCount = 0;
  std::vector<uint8_t> logo;  // the last logo stream received (ESC first), empty when cleared
  bool reportRunning = false;
  std::string lastReportCode;  // code of the last report started
  int reportsCancelled = 0;
  size_t fiscalMemoryShifts = 0;  // closed shifts recorded in the fiscal memory
};

class Simulator {
 public:
  explicit Simulator(Config cfg = {});
  ~Simulator();  // stops everything, removes the pty link
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Creates a pty, symlinks linkPath -> slave (linkPath "" = no link);
  // returns the slave path.  Throws std::runtime_error on failure.
  std::string openPty(const std::string& linkPath);
  // Listens on 127.0.0.1; returns the bound port.  Throws std::runtime_error.
  uint16_t listenTcp(uint16_t port = 0);
  void stop();  // final: a stopped simulator does not serve again
  std::string ptyPath() const;
  uint16_t tcpPort() const;

  Faults faults() const;
  void setFaults(const Faults&);

  std::vector<WireEvent> events() const;
  std::vector<Request> requests() const;
  std::vector<uint8_t> sent() const;  // every byte the simulator wrote, in order
  void clearLog();
  // Wait until at least n events / requests are logged (since the last
  // clearLog) or the timeout passes; true when reached.
  bool waitForEvents(size_t n, std::chrono::milliseconds timeout) const;
  bool waitForRequests(size_t n, std::chrono::milliseconds timeout) const;
  // Wait until n requests have been answered (their reply fully written).
  bool waitForReplies(size_t n, std::chrono::milliseconds timeout) const;
  // Wait until a long report is printing and has sent at least n ACKs (those
  // it sends while printing and those answering ENQ) since it began; false
  // when the time passes first.
  bool waitForReportAcks(size_t n, std::chrono::milliseconds timeout) const;
  // Wait until n restarts (Faults::restartAtFrame) have booted since the
  // simulator started, so that the register answers again.
  bool waitForRestarts(size_t n, std::chrono::milliseconds timeout) const;

  void setVersion(uint16_t);
  void setPassword(std::string);  // UTF-8
  void setStatus(uint8_t fatal, uint8_t status, uint8_t doc);
  void setPrinterStatus(uint8_t);
  void setReportDuration(int ms);
  void setReportAckInterval(int ms);
  void setLineBaud(unsigned baud);  // Config::lineBaud, from the next bytes on
  void setPtySpeed(unsigned baud);  // Config::ptySpeed, from the next bytes on
  void setCancelResult(uint8_t code);
  void setDisplayAttached(bool);
  void setNvrFault(bool);               // fatal bit 0
  void setFiscalModuleInstalled(bool);  // clears / sets fatal bit 5
  void setTable(uint16_t table, uint16_t field, std::string valueUtf8);
  std::string table(uint16_t table, uint16_t field) const;  // "" when absent
  void setClockOffset(int64_t seconds);
  // Working order in one step: function 0 done, fiscal mode (registration
  // number and INN filled in when empty), EEJ active, fatal byte 0.
  void setReady();
  // Closes n shifts into the fiscal memory, one a day up to yesterday, as on
  // a register that has been working (fiscal memory reports need recorded
  // shifts); the current shift number moves past them.  Nothing while a
  // shift is open.
  void addFiscalHistory(int shifts);

  RegisterState state() const;
  // Memory of an area (area 3 holds the NVR image at 0xF000).
  std::vector<uint8_t> memory(uint16_t area, uint32_t address, size_t count) const;
  void setMemory(uint16_t area, uint32_t address, const std::vector<uint8_t>& bytes);
  std::vector<uint8_t> nvrImage() const;  // the image of the current variant
  static size_t nvrLength(uint16_t version);
  static uint8_t nvrChecksum(const std::vector<uint8_t>& image);  // over all bytes but the last
  std::vector<uint8_t> logo() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace termina::sim
