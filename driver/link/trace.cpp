// SPDX-License-Identifier: LGPL-2.1-or-later
#include "trace.h"

#include "codepage.h"
#include "driver_state.h"
#include "errors.h"
#include "frame.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace termina::link::trace {

namespace {

// Kept in a function so that it exists before the library's load-time
// initialisation asks for it, whatever the order of static initialisers.
struct Settings {
  std::mutex lock;
  std::string path;    // guarded by lock; "-" is standard error
  std::string header;  // guarded by lock: written before the next line
};
Settings& settings() {
  static Settings s;
  return s;
}
std::atomic<bool> g_enabled{false};  // constant-initialised

std::string wallClock() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[64];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

const char* controlName(unsigned char c) {
  switch (c) {
    case 0x01: return "<SOH>";
    case 0x02: return "<STX>";
    case 0x03: return "<ETX>";
    case 0x05: return "<ENQ>";
    case 0x06: return "<ACK>";
    case 0x15: return "<NAK>";
    case 0x18: return "<CAN>";
    case 0x1B: return "<ESC>";
    case 0x1C: return "<FS>";
    default: return nullptr;
  }
}

// Bytes from the line as readable text: printable characters decoded from
// code page 866, control bytes by name or as \xNN.
std::string readable(std::string_view data) {
  std::string out;
  for (unsigned char c : data) {
    if (const char* name = controlName(c)) {
      out += name;
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += cp::oemToUtf8(std::string_view(reinterpret_cast<const char*>(&c), 1));
    }
  }
  return out;
}

// " [n] HH HH ...  |text|"
std::string dump(std::string_view data) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out = " [" + std::to_string(data.size()) + "]";
  for (unsigned char c : data) {
    out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  out += "  |" + readable(data) + "|";
  return out;
}

// A decoded field in double quotes; quotes, backslashes and control
// characters escaped so that the line stays one line.
std::string quoted(std::string_view field) {
  std::string out = "\"";
  for (unsigned char c : field) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// "3 bad_parameter: Неверный параметр функции"
std::string resultText(int code) {
  std::string out = std::to_string(code);
  if (const char* name = codeName(code)) out += std::string(" ") + name;
  if (code == 1) {
    out += ": Неверный статус устройства";  // the reasons need a status query
  } else if (code != 64 && code < 256) {
    std::string text = messageText(static_cast<uint16_t>(code));
    for (char& c : text)
      if (c == '\r' || c == '\n') c = ' ';
    out += ": " + text;
  }
  return out;
}

void writeLine(const std::string& line) {
  Settings& st = settings();
  std::lock_guard g(st.lock);
  if (st.path.empty()) return;
  std::string whole = std::move(st.header) + line + "\n";
  st.header.clear();
  if (st.path == "-") {
    std::fwrite(whole.data(), 1, whole.size(), stderr);
    std::fflush(stderr);
    return;
  }
  if (std::FILE* f = std::fopen(st.path.c_str(), "a")) {
    std::fputs(whole.c_str(), f);
    std::fclose(f);
  }
}

std::chrono::nanoseconds sinceEpoch(const DriverState& s) { return std::chrono::steady_clock::now() - s.traceEpoch; }

constexpr char kHidden[] = "***";

// The fields of a request that carry a password: the data-exchange
// password written to table 31, the tax inspector's passwords of the
// registration and of the fiscal memory reports.
std::vector<std::size_t> secretRequestFields(int command, const std::vector<std::string>& fields) {
  switch (command) {
    case 0x08: return {0, 3};
    case 0x62:
    case 0x63: return {3};
    case 0xA2: return !fields.empty() && fields[0] == "31" ? std::vector<std::size_t>{2} : std::vector<std::size_t>{};
    default: return {};
  }
}

// A reading of table 31 brings the data-exchange password back.
bool secretReply(int command, const std::vector<std::string>& fields) {
  return command == 0xA1 && !fields.empty() && fields[0] == "31";
}

// Overwrites with '*' the bytes of the given fields, which start at
// `from` within the frame and end with FS, and the bytes [skipFrom,
// skipTo) before them.
void starBytes(std::string& frame, std::size_t from, const std::vector<std::size_t>& which, std::size_t skipFrom = 0,
               std::size_t skipTo = 0) {
  for (std::size_t i = skipFrom; i < skipTo && i < frame.size(); ++i) frame[i] = '*';
  std::size_t field = 0;
  bool secret = false;
  auto update = [&] { secret = std::find(which.begin(), which.end(), field) != which.end(); };
  update();
  for (std::size_t i = from; i < frame.size(); ++i) {
    const char c = frame[i];
    if (c == static_cast<char>(ETX)) break;
    if (c == static_cast<char>(FS)) {
      ++field;
      update();
    } else if (secret) {
      frame[i] = '*';
    }
  }
}

void hideFields(std::vector<std::string>& fields, const std::vector<std::size_t>& which) {
  for (std::size_t i : which)
    if (i < fields.size()) fields[i] = kHidden;
}

}  // namespace

void configure() {
  const char* p = std::getenv("TERMINA_TRACE");
  const std::string path = p ? p : "";
  Settings& st = settings();
  {
    std::lock_guard g(st.lock);
    if (path == st.path) return;  // every port check and session open ask again
    st.path = path;
    st.header.clear();
    g_enabled = !path.empty();
  }
  if (path.empty()) return;
  // A file may gather the traces of many runs: each start says when it
  // was, with the first line it writes (so a file replaced before any
  // event is never made).
  Event start;
  start.since = sinceEpoch(state());
  const std::string what = "trace started " + wallClock();
  start.what = what;
  const std::string header = format(start) + "\n";
  std::lock_guard g(st.lock);
  if (st.path == path) st.header = header;
}

bool enabled() { return g_enabled.load(std::memory_order_relaxed); }

void emit(Dir dir, Kind kind, std::string_view what, std::string_view line, std::string_view frame, int code) {
  DriverState& s = state();
  Sink* sink = s.sink.load(std::memory_order_acquire);
  const bool toSink = sink && sink->active();
  if (!enabled() && !toSink) return;

  Event e;
  e.dir = dir;
  e.kind = kind;
  e.since = sinceEpoch(s);
  e.what = what;
  e.line = line;
  // Passwords never reach a trace: the line's copy has them overwritten.
  std::string hidden;
  const std::size_t at = frame.empty() ? std::string_view::npos : line.find(frame);
  if (kind == Kind::Frame && dir == Dir::Out) {
    DecodedFrame d = decodeRequest(frame, s.password.size());
    e.command = d.command;
    e.fields = std::move(d.fields);
    e.name = commandName(e.command, e.fields);
    s.traceCommand = e.command;
    s.traceName = e.name;
    s.traceSecretReply = secretReply(e.command, e.fields);
    const std::vector<std::size_t> secret = secretRequestFields(e.command, e.fields);
    if (at != std::string_view::npos) {
      hidden.assign(line);
      const std::size_t p = s.password.size();
      std::string f = hidden.substr(at, frame.size());
      starBytes(f, 4 + p, secret, 1, 1 + p);
      hidden.replace(at, frame.size(), f);
      e.line = hidden;
    }
    hideFields(e.fields, secret);
  } else if (kind == Kind::Frame && dir == Dir::In) {
    DecodedFrame d = decodeReply(frame);
    e.result = d.result;
    e.fields = std::move(d.fields);
    e.checksumOk = replyChecksumOk(std::string(frame));
    e.command = s.traceCommand;
    e.name = s.traceName;
    if (s.traceSecretReply) {
      s.traceSecretReply = false;
      hideFields(e.fields, {0});
      if (at != std::string_view::npos) {
        hidden.assign(line);
        std::string f = hidden.substr(at, frame.size());
        starBytes(f, 6, {0});
        hidden.replace(at, frame.size(), f);
        e.line = hidden;
      }
    }
  } else if (kind == Kind::Failure) {
    e.result = code;
  }

  const std::string text = format(e);
  if (enabled()) writeLine(text);
  if (toSink) sink->event(e, text);
}

void note(std::string_view what) {
  if (!enabled()) return;
  Event e;
  e.since = sinceEpoch(state());
  e.what = what;
  writeLine(format(e));
}

const char* commandName(int command, const std::vector<std::string>& fields) {
  const std::string selector = fields.empty() ? std::string() : fields.front();
  switch (command) {
    case 0x00: return "Init";
    case 0x08: return "Register";
    case 0x09: return "ActivateEEJ";
    case 0x0A: return "CloseEEJArchive";
    case 0x20: return "OpenReceipt";
    case 0x21: return "PrintString";
    case 0x22: return "CloseReceipt";
    case 0x23: return "BreakReceipt";
    case 0x24: return "BarCode";
    case 0x30: return "AddArticle";
    case 0x31: return "StornoArticle";
    case 0x32: return selector == "S" ? "DiscountTotal" : "DiscountPercent";
    case 0x33: return selector == "S" ? "ExtraTotal" : "ExtraPercent";
    case 0x34: return "SubTotal";
    case 0x35: return "Payment";
    case 0x36: return "CashInOut";
    case 0x60: return "XReport";
    case 0x61: return "ZReport";
    case 0x62: return "FiscShiftReport";
    case 0x63: return "FiscDateReport";
    case 0x64: return "EEJJournal";
    case 0x65: return "GetReceipt";
    case 0x66: return "EEJShiftReport";
    case 0x67: return "EEJDateReport";
    case 0x68: return "EEJActivateReport";
    case 0x69: return "EEJReport";
    case 0x80: return "OpenCashDrawer";
    case 0x81: return "ShowClientDisplayText";
    case 0xA0: return "GetStatus";
    case 0xA1: return "ReadConfig";
    case 0xA2: return "WriteConfig";
    case 0xA3: return "SetDate";
    case 0xA4: return selector == "2" ? "GetEEJActData" : "GetEEJStatus";
    case 0xA5:
      if (selector == "0") return "GetVersion";
      if (selector == "1") return "GetCurrentShift";
      if (selector == "2") return "GetLastRegShift";
      if (selector == "9") return "GetINN";
      if (selector == "11") return "EEJRegNum";
      if (selector == "20") return "GetFMLastData";
      return "Query";
    case 0xA6: return "GetRegNumber";
    case 0xA7: return "GetKKMDataTime";
    case 0xA9: return "GetPrinterStatus";
    case 0xE0: return "Install";
    case 0xE1: return "ReadMemBlock";
    case 0xE2: return "LoadLogo";
    case 0xE3: return "ClearLogo";
    case 0xE7: return "ReadBlock";
    default: return nullptr;
  }
}

std::string format(const Event& e) {
  static const char* const arrows[] = {"->", "<-", "--"};
  char head[48];
  const double seconds = std::chrono::duration<double>(e.since).count();
  std::snprintf(head, sizeof head, "%8.3f %s", seconds, arrows[static_cast<int>(e.dir)]);
  std::string out = head;

  switch (e.kind) {
    case Kind::Enq: return out + " ENQ";
    case Kind::Ack: return out + " ACK";
    case Kind::Can: return out + " CAN";
    case Kind::Failure: return out + " failed " + resultText(e.result);
    case Kind::Silence:
      out += " silence";
      if (!e.line.empty()) out += ", received so far" + dump(e.line);
      return out;
    case Kind::Raw:
      if (e.what.empty()) return out + dump(e.line);
      out += " " + std::string(e.what);
      return e.line.empty() ? out : out + dump(e.line);
    case Kind::Frame: break;
  }

  const bool decoded = e.dir == Dir::Out ? e.command >= 0 : e.result >= 0;
  if (!decoded) return out + " frame, not understood" + dump(e.line);
  if (e.command >= 0) {
    char code[16];
    std::snprintf(code, sizeof code, " %02X", e.command);
    out += code;
    if (e.name) out += std::string(" ") + e.name;
  } else {
    out += " reply";
  }
  if (e.dir == Dir::In) out += " = " + resultText(e.result);
  for (const std::string& f : e.fields) out += " " + quoted(f);
  if (!e.checksumOk) out += " (checksum wrong)" + dump(e.line);
  return out;
}

}  // namespace termina::link::trace
