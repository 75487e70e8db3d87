// SPDX-License-Identifier: GPL-3.0-or-later
// termina-sim: runs the register simulator on a pseudo-terminal and/or a TCP
// port until SIGINT or SIGTERM.
#include <pthread.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "simulator.h"

namespace {

const char* kHelp =
    "Usage: termina-sim [options]\n"
    "Simulates a fiscal register of the TERMINA family on a pseudo-terminal and/or a TCP port.\n"
    "At least one of --pty and --tcp is required.  On start it prints one line per\n"
    "transport: \"pty <slave device>\" and \"tcp 127.0.0.1:<port>\".  Runs until SIGINT/SIGTERM.\n"
    "\n"
    "Transports:\n"
    "  --pty PATH             create a pseudo-terminal and a symbolic link PATH to its slave\n"
    "  --tcp PORT             listen on 127.0.0.1:PORT (0 = any free port); one client at a time\n"
    "  --baud N               emulate a serial line of N baud (8N1): replies go out no faster than\n"
    "                         the line moves them, and not before the request could have arrived\n"
    "                         (default 0: as fast as the transport goes)\n"
    "  --pty-speed N          answer over the pty only while the line is set to N baud; bytes sent\n"
    "                         at another rate are ignored (default 0: any rate)\n"
    "\n"
    "Register:\n"
    "  --version N            firmware version reported by A5 0 (default 201; 1-128 first model,\n"
    "                         201 second, 301 third)\n"
    "  --password P           data-exchange password, table 31 field 0 (default WKRD)\n"
    "  --inspector-password P tax inspector password before the first registration (default 0)\n"
    "  --state FILE           load the register state from FILE and save it there after every\n"
    "                         change (options given here override the loaded values)\n"
    "  --report-ms N          how long long reports print, in ms (default 3000)\n"
    "  --report-ack-ms N      ACK interval while a long report prints, in ms (default 1000)\n"
    "  --shift-report-ms N    how long the X and Z reports print, in ms, with ACKs as above\n"
    "                         (default 1500; 0 = they answer at once).  The Z report closes the\n"
    "                         shift before it prints; a CAN cuts either printout short, the\n"
    "                         answer is still 00\n"
    "  --cancel-result N      result code of a report cancelled by CAN (default 14 = 0x0E)\n"
    "  --display              a customer display is attached (command 81 works; with table 10\n"
    "                         set to 1 every receipt line is shown on it, and without a display\n"
    "                         such a line is refused with 0F)\n"
    "  --no-display           no customer display (command 81 answers 0F)\n"
    "  --nvr-fault            NVR checksum fault: fatal bit 0 set, NVR image checksum wrong\n"
    "  --no-fiscal-module     fiscal module not installed (fatal bit 5) until command E0\n"
    "  --printer-status N     printer status byte reported by A9\n"
    "  --clock-offset S       start the register's clock S seconds (may be negative) away from\n"
    "                         the computer's local time, e.g. -108000 for 30 hours behind; the\n"
    "                         clock then runs on by itself: function 0 (00) does not set it,\n"
    "                         only A3 (and E0) do\n"
    "  --fiscal-history N     when the fiscal memory holds no closed shift yet, close N shifts\n"
    "                         into it, one a day up to yesterday (fiscal memory reports print\n"
    "                         only ranges with recorded shifts)\n"
    "  --ready                in working order: function 0 done, fiscal mode (registration number\n"
    "                         and INN filled in when empty), EEJ active, no fatal fault\n"
    "  --memory A:ADDR:HEX    put the bytes HEX (two hex digits each) into memory area A from\n"
    "                         address ADDR on (numbers in decimal or 0x hex; area 3 holds the NVR\n"
    "                         image at 0xF000); may be given more than once\n"
    "\n"
    "Faults of the line:\n"
    "  --silent               answer nothing, not even ACK to ENQ\n"
    "  --silent-mid-reply     send the first half of every reply, then nothing\n"
    "  --bad-checksum         replies carry a wrong checksum\n"
    "  --lower-checksum       reply checksum digits in lower case\n"
    "  --garbage              send a few non-STX bytes before every reply\n"
    "  --endless-reply        send reply bytes without ETX until the next request\n"
    "  --close-connection     TCP: close the connection instead of replying\n"
    "  --busy-acks N          send N ACKs before every reply\n"
    "  --ack-interval N       interval of those ACKs in ms (default 100)\n"
    "  --reply-delay N        wait N ms before every reply\n"
    "  --truncated-mem        E1 answers with fewer hex digits than asked\n"
    "  --lower-mem-hex        E1 answers with lower-case hex digits\n"
    "  --disconnect-mid-reply send the first half of every reply, then break the line (TCP:\n"
    "                         close the connection; pty: nothing more until the next request)\n"
    "  --byte-gap N           send replies one byte at a time, N ms before each byte\n"
    "  --ack-storm N          before every reply send ACK every --ack-interval ms for N ms\n"
    "  --logo-header-result N answer the E2 logo header with a reply of result N instead of ACK\n"
    "  --restart-at-frame N   restart when the N-th request frame arrives: that frame is lost,\n"
    "                         nothing is answered for --restart-boot-ms, then the register is in\n"
    "                         its power-on state (settings and memory kept); happens once\n"
    "  --restart-boot-ms N    how long a restart keeps the register silent (default 1500)\n"
    "  --fail-write T[.F]     answer the first write (A2) of table T (field F) with 03, once: a\n"
    "                         load that fails part-way; may be given more than once\n"
    "  --die-at CODE          end the process without a reply when a request with command CODE\n"
    "                         (two hex digits, e.g. 22) arrives, before the command runs: the\n"
    "                         power failing as the frame comes in\n"
    "  --die-after CODE       the same, after the command ran and the state file was saved\n"
    "  --log                  print every request and its result code, and a line \"CAN\" for every\n"
    "                         CAN received, to standard error\n"
    "  --help                 this text\n"
    "\n"
    "Result codes of the simulator: 01 wrong state for the command, 02 unknown command,\n"
    "03 bad parameter, 05 logo stream stalled, 06 wrong password, 07 request checksum wrong,\n"
    "0C date before the last fiscal operation (A3, and 00 with a host date before it),\n"
    "0E negative result, 0F no customer display, 40 no data, 42 EEJ in the wrong state (also a\n"
    "receipt or cash in/out of a fiscalised register whose EEJ is not activated), 48 no such\n"
    "EEJ data.\n"
    "Configuration tables (A1, A2): a table or field the version lacks answers 03.  While a shift\n"
    "is open every table write answers 01 (settings are not changed during a shift) except the\n"
    "data-exchange password, table 31, and the cash-out-to-zero switch, table 8.  An empty\n"
    "value for table 9 (customer display type)\n"
    "selects no type: it is accepted and the stored type stays as it was.\n"
    "Table 31 (the data-exchange password) takes exactly 4 characters, and only from\n"
    "version 130 on (03 otherwise).\n"
    "\n"
    "Reports and the EEJ:\n"
    "  Fiscal memory reports (62 by shifts, 63 by dates) need a fiscal register and the tax\n"
    "  inspector password; a wrong password answers 06 and sets status bit 7 (\"wrong fiscal\n"
    "  memory password\") until the right one is given, while a wrong data-exchange password\n"
    "  answers 06 and leaves bit 7 alone.  A range in which the fiscal memory records no closed\n"
    "  shift answers 03.  EEJ reports (64, 69 one shift; 66, 67 ranges) answer 42 while the EEJ\n"
    "  is not activated and 48 for a shift after the current one, or dates after today or\n"
    "  before the activation.  Closing the EEJ archive (0A) stops new documents (01) but not\n"
    "  reports: 62-69 all still work.  Long reports (62, 63, 64, 66, 67, 69) send ACK every\n"
    "  --report-ack-ms while they print; CAN ends them with --cancel-result.\n"
    "\n"
    "Receipts: line field n 1..6 books the line to department n and to tax n-1; at closing the\n"
    "tax included in each department's share is booked at the rate of table 24 when table 23\n"
    "names the tax (table 12 bit 4: rounded per line, else once per receipt).\n";

bool toInt(const char* s, long& out) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s, &end, 0);
  if (errno != 0 || end == s || *end != '\0') return false;
  out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace termina::sim;
  Config cfg;
  Faults faults;
  std::optional<std::string> ptyLink;
  std::optional<long> tcpPort, version, printer, clockOffset, fiscalHistory;
  std::optional<std::string> password;
  std::optional<bool> display;
  bool nvrFault = false, noFiscal = false, logRequests = false, ready = false;
  struct MemoryRun {
    uint16_t area;
    uint32_t address;
    std::vector<uint8_t> bytes;
  };
  std::vector<MemoryRun> memoryRuns;
  cfg.logLimit = 1000;  // a long-running program keeps only the recent wire log

  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&](const char* what) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "termina-sim: %s needs %s\n", a.c_str(), what);
        std::exit(2);
      }
      return argv[++i];
    };
    // A number from 0 to max; anything else ends the program with 2.
    auto number = [&](long max = INT_MAX) -> long {
      long v;
      const char* s = next("a number");
      if (!toInt(s, v) || v < 0) {
        std::fprintf(stderr, "termina-sim: %s: not a number: %s\n", a.c_str(), s);
        std::exit(2);
      }
      if (v > max) {
        std::fprintf(stderr, "termina-sim: %s: out of range: %s\n", a.c_str(), s);
        std::exit(2);
      }
      return v;
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (a == "--pty")
      ptyLink = next("a path");
    else if (a == "--tcp")
      tcpPort = number(65535);
    else if (a == "--baud")
      cfg.lineBaud = static_cast<unsigned>(number(4000000));
    else if (a == "--pty-speed")
      cfg.ptySpeed = static_cast<unsigned>(number(4000000));
    else if (a == "--version")
      version = number(65535);
    else if (a == "--password")
      password = next("a password");
    else if (a == "--inspector-password")
      cfg.inspectorPassword = next("a password");
    else if (a == "--state")
      cfg.statePath = next("a file");
    else if (a == "--report-ms")
      cfg.reportDurationMs = static_cast<int>(number());
    else if (a == "--report-ack-ms")
      cfg.reportAckIntervalMs = static_cast<int>(number());
    else if (a == "--shift-report-ms")
      cfg.shiftReportMs = static_cast<int>(number());
    else if (a == "--cancel-result")
      cfg.cancelResult = static_cast<uint8_t>(number(255));
    else if (a == "--display")
      display = true;
    else if (a == "--no-display")
      display = false;
    else if (a == "--nvr-fault")
      nvrFault = true;
    else if (a == "--no-fiscal-module")
      noFiscal = true;
    else if (a == "--printer-status")
      printer = number(255);
    else if (a == "--clock-offset") {
      // Signed seconds, at most about 100 years either way.
      long v;
      const char* text = next("a number of seconds");
      if (!toInt(text, v) || v < -3200000000L || v > 3200000000L) {
        std::fprintf(stderr, "termina-sim: %s: not a number of seconds: %s\n", a.c_str(), text);
        return 2;
      }
      clockOffset = v;
    } else if (a == "--ready")
      ready = true;
    else if (a == "--memory") {
      // A:ADDR:HEX
      const std::string run = next("A:ADDR:HEX");
      const std::size_t c1 = run.find(':'), c2 = c1 == std::string::npos ? c1 : run.find(':', c1 + 1);
      long area = 0, address = 0;
      const std::string hex = c2 == std::string::npos ? std::string() : run.substr(c2 + 1);
      bool good = c2 != std::string::npos && toInt(run.substr(0, c1).c_str(), area) && area >= 0 && area <= 65535 &&
                  toInt(run.substr(c1 + 1, c2 - c1 - 1).c_str(), address) && address >= 0 && address <= 0xFFFFFFFFL &&
                  !hex.empty() && hex.size() % 2 == 0;
      MemoryRun m{static_cast<uint16_t>(area), static_cast<uint32_t>(address), {}};
      for (std::size_t k = 0; good && k < hex.size(); k += 2) {
        const std::string pair = hex.substr(k, 2);
        good = std::isxdigit(static_cast<unsigned char>(pair[0])) && std::isxdigit(static_cast<unsigned char>(pair[1]));
        if (good) m.bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
      }
      if (!good) {
        std::fprintf(stderr, "termina-sim: %s: not A:ADDR:HEX: %s\n", a.c_str(), run.c_str());
        return 2;
      }
      memoryRuns.push_back(std::move(m));
    } else if (a == "--fiscal-history")
      fiscalHistory = number(3650);
    else if (a == "--silent")
      faults.silent = true;
    else if (a == "--silent-mid-reply")
      faults.silentMidReply = true;
    else if (a == "--bad-checksum")
      faults.badChecksum = true;
    else if (a == "--lower-checksum")
      faults.lowerCaseChecksum = true;
    else if (a == "--garbage")
      faults.garbageBeforeStx = true;
    else if (a == "--endless-reply")
      faults.endlessReply = true;
    else if (a == "--close-connection")
      faults.closeConnection = true;
    else if (a == "--busy-acks")
      faults.busyAcks = static_cast<int>(number());
    else if (a == "--ack-interval")
      faults.ackIntervalMs = static_cast<int>(number());
    else if (a == "--reply-delay")
      faults.replyDelayMs = static_cast<int>(number());
    else if (a == "--truncated-mem")
      faults.truncatedMemBlock = true;
    else if (a == "--lower-mem-hex")
      faults.lowerCaseMemHex = true;
    else if (a == "--disconnect-mid-reply")
      faults.disconnectMidReply = true;
    else if (a == "--byte-gap")
      faults.byteGapMs = static_cast<int>(number());
    else if (a == "--ack-storm")
      faults.ackStormMs = static_cast<int>(number());
    else if (a == "--logo-header-result")
      faults.logoHeaderResult = static_cast<int>(number(255));
    else if (a == "--restart-at-frame")
      faults.restartAtFrame = static_cast<int>(number());
    else if (a == "--restart-boot-ms")
      faults.restartBootMs = static_cast<int>(number());
    else if (a == "--fail-write") {
      // "T" or "T.F": the key of the write's table and field.
      const std::string key = next("a table, or a table.field");
      const std::size_t dot = key.find('.');
      long table = 0, field = 0;
      if (!toInt(key.substr(0, dot).c_str(), table) || table < 0 || table > 65535 ||
          (dot != std::string::npos && (!toInt(key.substr(dot + 1).c_str(), field) || field < 0 || field > 65535))) {
        std::fprintf(stderr, "termina-sim: %s: not a table or table.field: %s\n", a.c_str(), key.c_str());
        return 2;
      }
      std::string forcedKey = "A2 " + std::to_string(table);
      if (dot != std::string::npos) forcedKey += " " + std::to_string(field);
      faults.forcedOnce[forcedKey] = ForcedReply{0x03, {}};
    } else if (a == "--die-at" || a == "--die-after") {
      const std::string code = next("a command code");
      bool hex = code.size() == 2;
      for (char c : code) hex = hex && ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
      if (!hex) {
        std::fprintf(stderr, "termina-sim: %s: not a command code of two upper-case hex digits: %s\n", a.c_str(),
                     code.c_str());
        return 2;
      }
      cfg.dieAtCommand = code;
      cfg.dieAfterCommand = a == "--die-after";
    } else if (a == "--log")
      logRequests = true;
    else {
      std::fprintf(stderr, "termina-sim: unknown option %s (see --help)\n", a.c_str());
      return 2;
    }
  }
  if (!ptyLink && !tcpPort) {
    std::fprintf(stderr, "termina-sim: give --pty PATH and/or --tcp PORT (see --help)\n");
    return 2;
  }

  if (logRequests) {
    cfg.onRequest = [](const Request& r) {
      std::string line = r.code;
      for (const auto& f : r.fieldsUtf8) line += " [" + f + "]";
      if (!r.checksumOk)
        line += " (checksum wrong)";
      else if (!r.passwordOk)
        line += " (password wrong)";
      std::fprintf(stderr, "%s -> %02X\n", line.c_str(), static_cast<unsigned>(r.resultCode & 0xFF));
    };
    cfg.onCan = [] { std::fputs("CAN\n", stderr); };
  }

  // Block the stop signals in every thread; the main thread waits for them.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);

  try {
    Simulator sim(cfg);
    if (version) sim.setVersion(static_cast<uint16_t>(*version));
    if (password) sim.setPassword(*password);
    if (display) sim.setDisplayAttached(*display);
    if (nvrFault) sim.setNvrFault(true);
    if (noFiscal) sim.setFiscalModuleInstalled(false);
    if (printer) sim.setPrinterStatus(static_cast<uint8_t>(*printer));
    if (clockOffset) sim.setClockOffset(*clockOffset);
    if (ready) sim.setReady();
    for (const MemoryRun& m : memoryRuns) sim.setMemory(m.area, m.address, m.bytes);
    if (fiscalHistory && sim.state().fiscalMemoryShifts == 0) sim.addFiscalHistory(static_cast<int>(*fiscalHistory));
    sim.setFaults(faults);
    if (ptyLink) std::printf("pty %s\n", sim.openPty(*ptyLink).c_str());
    if (tcpPort)
      std::printf("tcp 127.0.0.1:%u\n", static_cast<unsigned>(sim.listenTcp(static_cast<uint16_t>(*tcpPort))));
    std::fflush(stdout);
    int sig = 0;
    sigwait(&set, &sig);
    sim.stop();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "termina-sim: %s\n", e.what());
    return 1;
  }
  return 0;
}
