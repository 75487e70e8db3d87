// SPDX-License-Identifier: LGPL-2.1-or-later
// The session interface: every call finds its session by handle, takes the
// session's lock, binds the session's state to the thread and runs the same
// command code as the original interface, turning the raised code into the
// returned one.  Text is converted between UTF-8 here and code page 1251
// inside, and checked before anything is sent.
#include "codepage.h"
#include "command.h"
#include "driver_state.h"
#include "frame.h"
#include "ini.h"
#include "paths.h"
#include "termina.h"

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

using namespace termina;
using namespace termina::cmd;

struct termina_session;  // handles are numbers, never addresses

namespace {

constexpr const char* kDefaultPassword = "WKRD";

// The session interface's own codes, as the link layer names them.
static_assert(TERMINA_E_ARGUMENT == 256 && TERMINA_E_INTERNAL == 261 && TERMINA_E_DEADLINE == link::kDeadlinePassed);

// A session's trace sink: turns each decoded event into a record for the
// caller's callback.  Records may come from a cancelling thread as well, so
// the callback is called under its own lock.
class CallbackSink : public link::trace::Sink {
 public:
  void set(termina_trace_fn fn, void* user) {
    std::lock_guard g(lock_);
    fn_ = fn;
    user_ = user;
    active_ = fn != nullptr;
  }
  bool active() const override { return active_.load(std::memory_order_relaxed); }

  void event(const link::trace::Event& e, const std::string& text) override {
    // A callback that drives the link itself (through the original
    // interface, whose calls cannot refuse it) gets no records of that:
    // they would wait for the lock this thread already holds.
    static thread_local bool inside = false;
    if (inside) return;
    std::lock_guard g(lock_);
    if (!fn_) return;
    struct Inside {
      Inside() { inside = true; }
      ~Inside() { inside = false; }
    } mark;
    std::vector<const char*> fields;
    for (const std::string& f : e.fields) fields.push_back(f.c_str());
    termina_trace_record r{};
    r.direction = static_cast<int>(e.dir);
    r.kind = static_cast<int>(e.kind);
    r.time_ns = static_cast<uint64_t>(e.since.count());
    r.command = e.command;
    r.result = e.result;
    r.field_count = fields.size();
    r.fields = fields.empty() ? nullptr : fields.data();
    r.bytes = reinterpret_cast<const uint8_t*>(e.line.data());
    r.byte_count = e.line.size();
    r.text = text.c_str();
    fn_(user_, &r);
  }

 private:
  std::mutex lock_;
  std::atomic<bool> active_{false};
  termina_trace_fn fn_ = nullptr;
  void* user_ = nullptr;
};

struct Session {
  link::DriverState state;
  CallbackSink sink;
  std::mutex call;      // one call at a time
  std::mutex cancel;    // a cancel's write against the close
  bool closed = false;  // guarded by call and cancel
  bool fromIni = false;
  unsigned deadlineMs = 0;  // guarded by call
};

// Live sessions by handle number; numbers are never reused, so a closed
// handle can never reach a newer session.
struct Registry {
  std::mutex lock;
  std::map<uintptr_t, std::shared_ptr<Session>> live;
  uintptr_t next = 1;
};
Registry& registry() {
  static Registry* r = new Registry;  // outlives every static destructor
  return *r;
}

std::shared_ptr<Session> find(termina_session* h) {
  Registry& r = registry();
  std::lock_guard g(r.lock);
  auto it = r.live.find(reinterpret_cast<uintptr_t>(h));
  return it == r.live.end() ? nullptr : it->second;
}

termina_session* enrol(std::shared_ptr<Session> s) {
  Registry& r = registry();
  std::lock_guard g(r.lock);
  uintptr_t id = r.next++;
  r.live.emplace(id, std::move(s));
  return reinterpret_cast<termina_session*>(id);
}

// Runs f on the session: the handle's checks, the session's lock, the
// session bound to the thread, the call's deadline, every failure turned
// into the returned code.
template <class F>
int onSession(termina_session* h, F&& f) {
  if (!h) return TERMINA_E_ARGUMENT;
  try {
    std::shared_ptr<Session> s = find(h);
    if (!s) return TERMINA_E_CLOSED;
    // A trace callback calling back into its own session would wait for
    // itself (or break the exchange it is part of).
    if (link::boundSession() == &s->state) return TERMINA_E_BUSY;
    std::lock_guard g(s->call);
    if (s->closed) return TERMINA_E_CLOSED;
    link::SessionScope scope(s->state);
    if (s->deadlineMs)
      s->state.deadline.emplace(std::chrono::milliseconds(s->deadlineMs));
    else
      s->state.deadline.reset();
    struct ClearDeadline {
      link::DriverState& st;
      ~ClearDeadline() { st.deadline.reset(); }
    } clear{s->state};
    try {
      return f(*s);
    } catch (uint16_t code) { return code; }
  } catch (const std::bad_alloc&) { return TERMINA_E_INTERNAL; } catch (...) {
    return TERMINA_E_INTERNAL;
  }
}

// ---- Text ----------------------------------------------------------------

// UTF-8 text for the register: code page 1251 with at most maxChars
// characters, every one of them also in code page 866 and none a control
// character.  False for a null pointer or a text that breaks a rule.
bool toAnsi(const char* utf8, std::size_t maxChars, std::string& out) {
  if (!utf8) return false;
  std::string_view in(utf8);
  out = cp::utf8ToAnsi(in);
  if (out.size() > maxChars || cp::ansiToUtf8(out) != in) return false;
  for (unsigned char c : out) {
    if (c < 0x20 || c == 0x7F) return false;
    if (c >= 0x80 && cp::oemToAnsi(cp::ansiToOem(c)) != c) return false;
  }
  return true;
}

// Length of the longest prefix of UTF-8 text that ends on a character
// boundary and is at most max bytes long.
std::size_t wholeCharacters(std::string_view s, std::size_t max) {
  if (s.size() <= max) return s.size();
  std::size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return n;
}

// UTF-8 text into a caller's buffer; TERMINA_E_BUFFER when it is cut.
int putUtf8(std::string_view utf8, char* dst, std::size_t size) {
  std::size_t n = wholeCharacters(utf8, size - 1);
  std::memcpy(dst, utf8.data(), n);
  dst[n] = '\0';
  return n == utf8.size() ? 0 : TERMINA_E_BUFFER;
}

int putAnsi(std::string_view ansi, char* dst, std::size_t size) { return putUtf8(cp::ansiToUtf8(ansi), dst, size); }

bool validBuffer(const char* p, std::size_t size) { return p && size > 0; }

// The register's code first, then a buffer that was too small.
int withOutput(int code, int output) { return code != 0 ? code : output; }

bool validDate(const termina_date* d) {
  return d && d->day >= 1 && d->day <= 31 && d->month >= 1 && d->month <= 12 && d->year >= 2000 && d->year <= 2099;
}
bool validTime(const termina_time* t) { return t && t->hour < 24 && t->minute < 60 && t->second < 60; }
TRMADT asDate(const termina_date* d) { return TRMADT{d->day, d->month, d->year}; }
TRMATM asTime(const termina_time* t) { return TRMATM{t->hour, t->minute, t->second}; }

bool fitsU16(unsigned v) { return v <= 0xFFFF; }

// ---- Opening ---------------------------------------------------------------

// The connection settles as with TRMA_CheckPort: the presence probe, then a
// register of version 129 or below uses the default password.
uint16_t settle(link::DriverState& st) {
  uint16_t active = 0;
  TRMA_CheckActive(&active);
  if (active != 1) link::raiseCode(19);
  uint16_t version = 120;
  TRMA_GetVersion(&version);
  if (version <= 129) st.setPassword(kDefaultPassword);
  return 0;
}

// Runs the opening steps on a new session bound to the thread; on success
// the session is enrolled and *out set.
template <class F>
int openSession(termina_session** out, F&& open) {
  if (!out) return TERMINA_E_ARGUMENT;
  *out = nullptr;
  try {
    // Each open reads TERMINA_TRACE again, as each port check does.
    link::trace::configure();
    auto s = std::make_shared<Session>();
    s->state.sink = &s->sink;
    {
      link::SessionScope scope(s->state);
      try {
        uint16_t code = open(*s);
        if (code != 0) {
          s->state.channel.closeAll();
          return code;
        }
      } catch (uint16_t code) {
        s->state.channel.closeAll();
        return code;
      }
    }
    *out = enrol(std::move(s));
    return 0;
  } catch (...) { return TERMINA_E_INTERNAL; }
}

bool validSpeed(unsigned speed) {
  switch (speed) {
    case 2400:
    case 4800:
    case 9600:
    case 19200:
    case 38400:
    case 57600:
    case 115200: return true;
    default: return false;
  }
}

// "COM<n>" as the original interface maps it; anything else is a path.
std::string devicePath(std::string_view device) {
  if (device.size() > 3 && (device.substr(0, 3) == "COM" || device.substr(0, 3) == "com")) {
    int n = 0;
    for (char c : device.substr(3)) {
      if (c < '0' || c > '9' || n > 255) return std::string(device);
      n = n * 10 + (c - '0');
    }
    if (n >= 1) return paths::comDevice(n);
  }
  return std::string(device);
}

int simple(termina_session* h, uint8_t code) {
  return onSession(h, [&](Session&) -> int {
    Body body(code);
    return run(body);
  });
}

// A numeric result: the first reply field on 0, else 0.
int numeric(termina_session* h, Body body, double* result) {
  if (!result) return TERMINA_E_ARGUMENT;
  *result = 0;
  return onSession(h, [&](Session&) -> int { return runNumeric(body, result); });
}

// A text query: the first reply field.
int textQuery(termina_session* h, Body body, char* out, std::size_t size) {
  if (!validBuffer(out, size)) return TERMINA_E_ARGUMENT;
  out[0] = '\0';
  return onSession(h, [&](Session&) -> int {
    uint16_t code = run(body);
    return withOutput(code, code == 0 ? putAnsi(link::NextField(body.str()), out, size) : 0);
  });
}

int twoTexts(termina_session* h, Body body, char* a, std::size_t aSize, char* b, std::size_t bSize) {
  if (!validBuffer(a, aSize) || !validBuffer(b, bSize)) return TERMINA_E_ARGUMENT;
  a[0] = b[0] = '\0';
  return onSession(h, [&](Session&) -> int {
    uint16_t code = run(body);
    if (code != 0) return code;
    std::string first = link::NextField(body.str());
    std::string second = link::NextField(body.str());
    int r1 = putAnsi(first, a, aSize);
    int r2 = putAnsi(second, b, bSize);
    return r1 ? r1 : r2;
  });
}

int queryNumber(termina_session* h, const char* selector, unsigned* out) {
  if (!out) return TERMINA_E_ARGUMENT;
  *out = 0;
  return onSession(h, [&](Session&) -> int {
    Body body(0xA5);
    body.field(selector);
    uint16_t code = run(body);
    if (code == 0) *out = static_cast<uint16_t>(toLong(link::NextField(body.str())));
    return code;
  });
}

int adjust(termina_session* h, uint8_t code, char kind, const char* name, double value, double* result) {
  std::string n;
  if (!result || !toAnsi(name, TERMINA_TEXT_CHARS, n)) return TERMINA_E_ARGUMENT;
  Body body(code);
  body.field(std::string_view(&kind, 1)).field(n).fixed(value, kind == '%' ? 2 : 4);
  return numeric(h, std::move(body), result);
}

int article(termina_session* h, uint8_t code, const char* name, const char* articleCode, double quantity, double price,
            long long n, double* result) {
  std::string a, c;
  if (!result || !toAnsi(name, TERMINA_TEXT_CHARS, a) || !toAnsi(articleCode, TERMINA_NAME_CHARS, c))
    return TERMINA_E_ARGUMENT;
  Body body(code);
  body.field(a).field(c).fixed(quantity, 3).fixed(price, 4).num(n);
  return numeric(h, std::move(body), result);
}

// A request with one text field.
int oneText(termina_session* h, uint8_t code, const char* utf8, std::size_t maxChars, bool isLong = false) {
  std::string t;
  if (!toAnsi(utf8, maxChars, t)) return TERMINA_E_ARGUMENT;
  return onSession(h, [&](Session&) -> int {
    Body body(code);
    body.field(t);
    return isLong ? runLong(body) : run(body);
  });
}

int longBody(termina_session* h, Body body) {
  return onSession(h, [&](Session&) -> int { return runLong(body); });
}

int dateTime(termina_session* h, uint8_t code, const termina_date* d, const termina_time* t,
             const std::string* extra = nullptr) {
  if (!validDate(d) || !validTime(t)) return TERMINA_E_ARGUMENT;
  TRMADT date = asDate(d);
  TRMATM time = asTime(t);
  Body body(code);
  body.date(&date).time(&time);
  if (extra) body.field(*extra);
  return onSession(h, [&](Session&) -> int { return run(body); });
}

}  // namespace

extern "C" {

// ---- Sessions ---------------------------------------------------------------

int termina_open_serial(const char* device, unsigned speed, const char* password, termina_session** out) {
  if (out) *out = nullptr;
  std::string pw;
  if (!out || !device || !*device || !(speed == 0 || validSpeed(speed)) ||
      !toAnsi(password ? password : kDefaultPassword, TERMINA_LINK_PASSWORD_CHARS, pw))
    return TERMINA_E_ARGUMENT;
  const std::string path = devicePath(device);
  const unsigned baud = speed == 0 ? 19200 : speed;
  return openSession(out, [&](Session& s) -> uint16_t {
    s.state.setPassword(pw);
    link::Channel& ch = s.state.channel;
    if (!ch.serial.open(path, baud)) {
      if (link::trace::enabled()) link::trace::note("cannot open " + path + ": " + ch.serial.errorText());
      link::raiseCode(18);
    }
    if (link::trace::enabled()) link::trace::note("opened " + path + " at " + std::to_string(baud) + " baud");
    while (ch.readByte()) {}  // what the line still holds from before
    return settle(s.state);
  });
}

int termina_open_tcp(const char* host, unsigned port, const char* password, termina_session** out) {
  if (out) *out = nullptr;
  std::string pw;
  if (!out || !host || !*host || port == 0 || port > 65535 ||
      !toAnsi(password ? password : kDefaultPassword, TERMINA_LINK_PASSWORD_CHARS, pw))
    return TERMINA_E_ARGUMENT;
  const std::string h = host;
  return openSession(out, [&](Session& s) -> uint16_t {
    s.state.setPassword(pw);
    uint16_t rc = s.state.channel.tcp.connect(h, std::to_string(port));
    if (rc != 0) link::raiseCode(80);
    return settle(s.state);
  });
}

int termina_open_ini(int force_serial, termina_session** out) {
  return openSession(out, [&](Session& s) -> uint16_t {
    s.fromIni = true;
    return TRMA_CheckPort(force_serial != 0);
  });
}

int termina_close(termina_session* h) {
  if (!h) return TERMINA_E_ARGUMENT;
  try {
    std::shared_ptr<Session> s;
    {
      Registry& r = registry();
      std::lock_guard g(r.lock);
      auto it = r.live.find(reinterpret_cast<uintptr_t>(h));
      if (it == r.live.end()) return TERMINA_E_CLOSED;
      if (link::boundSession() == &it->second->state) return TERMINA_E_BUSY;
      s = it->second;
      r.live.erase(it);
    }
    std::lock_guard g(s->call);
    std::lock_guard c(s->cancel);
    s->closed = true;
    s->state.channel.closeAll();
    s->state.longReply.set();
    return 0;
  } catch (...) { return TERMINA_E_INTERNAL; }
}

int termina_set_password(termina_session* h, const char* password) {
  std::string pw;
  if (!toAnsi(password, TERMINA_LINK_PASSWORD_CHARS, pw)) return TERMINA_E_ARGUMENT;
  return onSession(h, [&](Session& s) -> int {
    s.state.setPassword(pw);
    return 0;
  });
}

int termina_change_password(termina_session* h, const char* password, int to_register) {
  std::string pw;
  if (!toAnsi(password, TERMINA_TEXT_CHARS, pw)) return TERMINA_E_ARGUMENT;
  return onSession(h, [&](Session& s) -> int {
    if (to_register) {
      Body body(0xA2);
      body.num(31).num(0).field(pw);
      run(body);
    }
    s.state.setPassword(pw);
    if (s.fromIni) ini::writeString(paths::iniPath(), "General", "pswd", s.state.password);
    return 0;
  });
}

int termina_set_patience(termina_session* h, unsigned waits) {
  if (waits > 0xFFFF) return TERMINA_E_ARGUMENT;
  return onSession(h, [&](Session& s) -> int {
    s.state.patience = waits;
    return 0;
  });
}

int termina_set_deadline(termina_session* h, unsigned milliseconds) {
  return onSession(h, [&](Session& s) -> int {
    s.deadlineMs = milliseconds;
    return 0;
  });
}

int termina_cancel_report(termina_session* h) {
  if (!h) return TERMINA_E_ARGUMENT;
  try {
    std::shared_ptr<Session> s = find(h);
    if (!s) return TERMINA_E_CLOSED;
    // From the session's own trace callback the CAN's trace record would
    // re-enter the callback that is running.
    if (link::boundSession() == &s->state) return TERMINA_E_BUSY;
    // Not under the call lock: the report that is to be cancelled holds it.
    std::lock_guard c(s->cancel);
    if (s->closed) return TERMINA_E_CLOSED;
    link::SessionScope scope(s->state);
    const uint8_t can = link::CAN;
    link::WriteRawBytes(&can, 1);
    return 0;
  } catch (uint16_t code) { return code; } catch (...) {
    return TERMINA_E_INTERNAL;
  }
}

int termina_set_trace(termina_session* h, termina_trace_fn fn, void* user) {
  return onSession(h, [&](Session& s) -> int {
    s.sink.set(fn, user);
    return 0;
  });
}

int termina_set_trma_trace(termina_trace_fn fn, void* user) {
  // Made once and never freed: the TRMA_ functions may trace from any thread
  // until the process ends.
  static CallbackSink* sink = [] {
    auto* made = new CallbackSink;
    link::defaultState().sink.store(made, std::memory_order_release);
    return made;
  }();
  sink->set(fn, user);
  return 0;
}

// ---- Result codes -------------------------------------------------------------

const char* termina_code_name(int code) { return link::codeName(code); }

int termina_code_is_driver(int code) {
  switch (code) {
    case 7:
    case 16:
    case 17:
    case 18:
    case 19:
    case 48:
    case 80: return 1;
    default: return code >= TERMINA_E_ARGUMENT && code <= TERMINA_E_INTERNAL ? 1 : 0;
  }
}

int termina_error_text(termina_session* h, int code, char* text, std::size_t size) {
  if (!validBuffer(text, size)) return TERMINA_E_ARGUMENT;
  text[0] = '\0';
  if (code < 0 || code > 0xFFFF) return TERMINA_E_ARGUMENT;
  try {
    if (h) {
      std::shared_ptr<Session> s = find(h);
      if (s && link::boundSession() == &s->state) return TERMINA_E_BUSY;
    }
    switch (code) {
      case TERMINA_E_ARGUMENT: return putUtf8("Неверный аргумент вызова", text, size);
      case TERMINA_E_CLOSED: return putUtf8("Сеанс закрыт", text, size);
      case TERMINA_E_BUFFER: return putUtf8("Результат не поместился в буфер", text, size);
      case TERMINA_E_DEADLINE: return putUtf8("Истёк срок выполнения вызова", text, size);
      case TERMINA_E_BUSY: return putUtf8("Сеанс занят текущим вызовом", text, size);
      case TERMINA_E_INTERNAL: return putUtf8("Внутренняя ошибка драйвера", text, size);
      default: break;
    }
    if (code != 1) return putUtf8(link::messageText(static_cast<uint16_t>(code)), text, size);
    // Code 1: the register's status says why.
    std::optional<link::StatusBytes> st;
    if (h) {
      int rc = onSession(h, [&](Session&) -> int {
        TRMA_FATAL_STATUS f{};
        TRMA_STATUS s{};
        TRMA_REC_STATUS r{};
        TRMA_GetStatus(&f, &s, &r);
        st = link::StatusBytes{f.byte, s.byte};
        return 0;
      });
      if (rc == TERMINA_E_CLOSED || rc == TERMINA_E_BUSY) return rc;
    }
    return putUtf8(link::composeStatusMessage(st), text, size);
  } catch (...) { return TERMINA_E_INTERNAL; }
}

// ---- Link and status --------------------------------------------------------------

int termina_check_active(termina_session* h, int* active) {
  if (!active) return TERMINA_E_ARGUMENT;
  *active = 0;
  return onSession(h, [&](Session&) -> int {
    // The probe swallows the link's failures, as TRMA_CheckActive does;
    // only the call's deadline ends it early.
    try {
      const uint8_t enq = link::ENQ;
      link::WriteRawBytes(&enq, 1);
      if (link::ReadByte() == link::ACK) *active = 1;
    } catch (uint16_t code) {
      if (code == link::kDeadlinePassed) return code;
    }
    return 0;
  });
}

int termina_get_status(termina_session* h, termina_status* status) {
  if (!status) return TERMINA_E_ARGUMENT;
  *status = termina_status{};
  return onSession(h, [&](Session&) -> int {
    Body body(0xA0);
    uint16_t code = run(body);
    if (code == 0) {
      status->fatal = static_cast<uint8_t>(toLong(link::NextField(body.str())));
      status->status = static_cast<uint8_t>(toLong(link::NextField(body.str())));
      status->receipt = static_cast<uint8_t>(toLong(link::NextField(body.str())));
    }
    return code;
  });
}

int termina_get_printer_status(termina_session* h, uint8_t* printer) {
  if (!printer) return TERMINA_E_ARGUMENT;
  *printer = 0;
  return onSession(h, [&](Session&) -> int {
    Body body(0xA9);
    uint16_t code = run(body);
    if (code == 0) *printer = static_cast<uint8_t>(toLong(link::NextField(body.str())));
    return code;
  });
}

// ---- Receipts ------------------------------------------------------------------------

int termina_open_receipt(termina_session* h, unsigned a, unsigned b, const char* operator_name, uint32_t c) {
  std::string op;
  if (!fitsU16(a) || !fitsU16(b) || !toAnsi(operator_name, TERMINA_NAME_CHARS, op)) return TERMINA_E_ARGUMENT;
  return onSession(h, [&](Session&) -> int {
    Body body(0x20);
    body.num(a).num(b).field(op).num(static_cast<int32_t>(c));
    return run(body);
  });
}

int termina_print_string(termina_session* h, const char* text) { return oneText(h, 0x21, text, TERMINA_TEXT_CHARS); }
int termina_close_receipt(termina_session* h) { return simple(h, 0x22); }
int termina_break_receipt(termina_session* h) { return simple(h, 0x23); }

int termina_bar_code(termina_session* h, unsigned n1, unsigned n2, unsigned n3, unsigned n4, const char* text) {
  std::string t;
  if (!fitsU16(n1) || !fitsU16(n2) || !fitsU16(n3) || !fitsU16(n4) || !toAnsi(text, TERMINA_TEXT_CHARS, t))
    return TERMINA_E_ARGUMENT;
  return onSession(h, [&](Session&) -> int {
    Body body(0x24);
    body.num(n1).num(n2).num(n3).num(n4).field(t);
    return run(body);
  });
}

int termina_add_article(termina_session* h, const char* name, const char* code, double quantity, double price,
                        unsigned n, double* result) {
  if (!fitsU16(n)) return TERMINA_E_ARGUMENT;
  return article(h, 0x30, name, code, quantity, price, n, result);
}

int termina_storno_article(termina_session* h, const char* name, const char* code, double quantity, double price,
                           int32_t n, double* result) {
  return article(h, 0x31, name, code, quantity, price, n, result);
}

int termina_discount_percent(termina_session* h, const char* name, double value, double* result) {
  return adjust(h, 0x32, '%', name, value, result);
}
int termina_discount_total(termina_session* h, const char* name, double value, double* result) {
  return adjust(h, 0x32, 'S', name, value, result);
}
int termina_extra_percent(termina_session* h, const char* name, double value, double* result) {
  return adjust(h, 0x33, '%', name, value, result);
}
int termina_extra_total(termina_session* h, const char* name, double value, double* result) {
  return adjust(h, 0x33, 'S', name, value, result);
}

int termina_subtotal(termina_session* h, double* result) { return numeric(h, Body(0x34), result); }

int termina_payment(termina_session* h, unsigned type, double sum, double* result) {
  if (!fitsU16(type)) return TERMINA_E_ARGUMENT;
  Body body(0x35);
  body.num(type).fixed(sum, 4);
  return numeric(h, std::move(body), result);
}

int termina_cash_in_out(termina_session* h, const char* caption, double sum, double* result) {
  std::string c;
  if (!toAnsi(caption, TERMINA_TEXT_CHARS, c)) return TERMINA_E_ARGUMENT;
  Body body(0x36);
  body.field(c).fixed(sum, 4);
  return numeric(h, std::move(body), result);
}

// ---- Reports and EEJ ---------------------------------------------------------------------

int termina_activate_eej(termina_session* h) { return simple(h, 0x09); }
int termina_close_eej_archive(termina_session* h) { return simple(h, 0x0A); }
int termina_eej_activate_report(termina_session* h) { return simple(h, 0x68); }

int termina_x_report(termina_session* h, const char* operator_name) {
  return oneText(h, 0x60, operator_name, TERMINA_NAME_CHARS);
}
int termina_z_report(termina_session* h, const char* operator_name) {
  return oneText(h, 0x61, operator_name, TERMINA_NAME_CHARS);
}

int termina_fisc_shift_report(termina_session* h, unsigned type, unsigned first_shift, unsigned last_shift,
                              const char* password) {
  std::string pw;
  if (!fitsU16(type) || !fitsU16(first_shift) || !fitsU16(last_shift) || !toAnsi(password, TERMINA_PASSWORD_CHARS, pw))
    return TERMINA_E_ARGUMENT;
  Body body(0x62);
  body.num(type).num(first_shift).num(last_shift).field(pw);
  return longBody(h, std::move(body));
}

int termina_fisc_date_report(termina_session* h, unsigned type, const termina_date* first, const termina_date* last,
                             const char* password) {
  std::string pw;
  if (!fitsU16(type) || !validDate(first) || !validDate(last) || !toAnsi(password, TERMINA_PASSWORD_CHARS, pw))
    return TERMINA_E_ARGUMENT;
  TRMADT a = asDate(first), b = asDate(last);
  Body body(0x63);
  body.num(type).date(&a).date(&b).field(pw);
  return longBody(h, std::move(body));
}

int termina_eej_journal(termina_session* h, unsigned shift) {
  if (!fitsU16(shift)) return TERMINA_E_ARGUMENT;
  Body body(0x64);
  body.num(shift);
  return longBody(h, std::move(body));
}

int termina_get_receipt(termina_session* h, uint32_t kpk) {
  return onSession(h, [&](Session&) -> int {
    Body body(0x65);
    body.num(static_cast<int32_t>(kpk));
    return run(body);
  });
}

int termina_eej_shift_report(termina_session* h, unsigned type, unsigned first_shift, unsigned last_shift) {
  if (!fitsU16(type) || !fitsU16(first_shift) || !fitsU16(last_shift)) return TERMINA_E_ARGUMENT;
  Body body(0x66);
  body.num(type).num(first_shift).num(last_shift);
  return longBody(h, std::move(body));
}

int termina_eej_date_report(termina_session* h, unsigned type, const termina_date* first, const termina_date* last) {
  if (!fitsU16(type) || !validDate(first) || !validDate(last)) return TERMINA_E_ARGUMENT;
  TRMADT a = asDate(first), b = asDate(last);
  Body body(0x67);
  body.num(type).date(&a).date(&b);
  return longBody(h, std::move(body));
}

int termina_eej_report(termina_session* h, unsigned shift) {
  if (!fitsU16(shift)) return TERMINA_E_ARGUMENT;
  Body body(0x69);
  body.num(shift);
  return longBody(h, std::move(body));
}

int termina_report_finished(termina_session* h) {
  return onSession(h, [&](Session&) -> int { return TRMA_ReportFinished(); });
}

// ---- Service --------------------------------------------------------------------------------

int termina_init(termina_session* h, const termina_date* date, const termina_time* time) {
  return dateTime(h, 0x00, date, time);
}

int termina_register(termina_session* h, const char* current_password, const char* registration_number, const char* inn,
                     const char* new_password) {
  std::string cur, reg, tax, next;
  if (!toAnsi(current_password, TERMINA_PASSWORD_CHARS, cur) ||
      !toAnsi(registration_number, TERMINA_NUMBER_CHARS, reg) || !toAnsi(inn, TERMINA_NUMBER_CHARS, tax) ||
      !toAnsi(new_password, TERMINA_PASSWORD_CHARS, next))
    return TERMINA_E_ARGUMENT;
  return onSession(h, [&](Session&) -> int {
    Body body(0x08);
    body.field(cur).field(reg).field(tax).field(next);
    return run(body);
  });
}

int termina_open_cash_drawer(termina_session* h) { return simple(h, 0x80); }

int termina_write_config(termina_session* h, unsigned table, unsigned field, const char* value) {
  std::string v;
  if (!fitsU16(table) || !fitsU16(field) || !toAnsi(value, TERMINA_TEXT_CHARS, v)) return TERMINA_E_ARGUMENT;
  return onSession(h, [&](Session&) -> int {
    Body body(0xA2);
    body.num(table).num(field).field(v);
    return run(body);
  });
}

int termina_set_date(termina_session* h, const termina_date* date, const termina_time* time) {
  return dateTime(h, 0xA3, date, time);
}

int termina_get_eej_status(termina_session* h) { return simple(h, 0xA4); }

int termina_install(termina_session* h, const termina_date* date, const termina_time* time, const char* serial_number) {
  std::string serial;
  if (!toAnsi(serial_number, TERMINA_NUMBER_CHARS, serial)) return TERMINA_E_ARGUMENT;
  return dateTime(h, 0xE0, date, time, &serial);
}

int termina_show_client_display_text(termina_session* h, const char* line1, const char* line2) {
  std::string a, b;
  if (!toAnsi(line1, TERMINA_NAME_CHARS, a) || !toAnsi(line2, TERMINA_NAME_CHARS, b)) return TERMINA_E_ARGUMENT;
  return onSession(h, [&](Session&) -> int {
    Body body(0x81);
    body.field(a).field(b);
    return run(body);
  });
}

// ---- Queries ------------------------------------------------------------------------------------

int termina_read_config(termina_session* h, unsigned table, unsigned field, char* value, std::size_t size) {
  if (!fitsU16(table) || !fitsU16(field)) return TERMINA_E_ARGUMENT;
  Body body(0xA1);
  body.num(table).num(field);
  return textQuery(h, std::move(body), value, size);
}

int termina_get_version(termina_session* h, unsigned* version) {
  if (!version) return TERMINA_E_ARGUMENT;
  *version = 120;
  int code = queryNumber(h, "0", version);
  if (code != 0 && code != 64) *version = 120;
  return code;
}

int termina_get_current_shift(termina_session* h, unsigned* shift) { return queryNumber(h, "1", shift); }
int termina_get_last_reg_shift(termina_session* h, unsigned* shift) { return queryNumber(h, "2", shift); }

int termina_get_eej_act_data(termina_session* h, char* data, std::size_t size) {
  Body body(0xA4);
  body.field("2");
  return textQuery(h, std::move(body), data, size);
}

int termina_get_inn(termina_session* h, char* inn, std::size_t size) {
  Body body(0xA5);
  body.field("9");
  return textQuery(h, std::move(body), inn, size);
}

int termina_eej_reg_num(termina_session* h, char* number, std::size_t size) {
  Body body(0xA5);
  body.field("11");
  return textQuery(h, std::move(body), number, size);
}

int termina_get_reg_number(termina_session* h, char* number, std::size_t size) {
  return textQuery(h, Body(0xA6), number, size);
}

int termina_get_fm_last_data(termina_session* h, char* date, std::size_t date_size, char* time, std::size_t time_size) {
  Body body(0xA5);
  body.field("20");
  return twoTexts(h, std::move(body), date, date_size, time, time_size);
}

int termina_get_kkm_date_time(termina_session* h, char* date, std::size_t date_size, char* time,
                              std::size_t time_size) {
  Body body(0xA7);
  body.field("");
  return twoTexts(h, std::move(body), date, date_size, time, time_size);
}

// ---- Raw frames -----------------------------------------------------------------------------------

int termina_put_command(termina_session* h, const void* frame, std::size_t count) {
  if (!frame || count == 0) return TERMINA_E_ARGUMENT;
  return onSession(h, [&](Session&) -> int {
    link::SendFrame(std::string_view(static_cast<const char*>(frame), count));
    return 0;
  });
}

int termina_get_receive(termina_session* h, int decode, char* reply, std::size_t size, std::size_t* length) {
  if (!reply || size == 0 || (!decode && !length)) return TERMINA_E_ARGUMENT;
  reply[0] = '\0';
  if (length) *length = 0;
  return onSession(h, [&](Session&) -> int {
    std::string whole = link::ReadReply(true, false);
    if (decode) {
      std::string utf8 = cp::oemToUtf8(whole);
      int rc = putUtf8(utf8, reply, size);
      if (length) *length = std::strlen(reply);
      return rc;
    }
    std::size_t n = std::min(whole.size(), size);
    std::memcpy(reply, whole.data(), n);
    *length = n;
    return n == whole.size() ? 0 : TERMINA_E_BUFFER;
  });
}

// ---- Logo and memory blocks ---------------------------------------------------------------------------

int termina_clear_logo(termina_session* h) { return simple(h, 0xE3); }

int termina_load_logo(termina_session* h, const char* path) {
  if (!path || !*path) return TERMINA_E_ARGUMENT;
  const std::string file = path;
  return onSession(h, [&](Session&) -> int { return loadLogo(file); });
}

int termina_read_mem_block(termina_session* h, unsigned area, unsigned address, unsigned count, uint8_t* out,
                           std::size_t size) {
  if (!out || size == 0 || size < count || !fitsU16(area) || !fitsU16(address) || !fitsU16(count))
    return TERMINA_E_ARGUMENT;
  std::fill(out, out + count, uint8_t{0});
  return onSession(h, [&](Session&) -> int {
    try {
      return TRMA_ReadMemBlock(static_cast<uint16_t>(area), static_cast<uint16_t>(address),
                               static_cast<uint16_t>(count), out);
    } catch (uint16_t) {
      std::fill(out, out + count, uint8_t{0});
      throw;
    }
  });
}

int termina_write_mem_block(termina_session* h, unsigned area, unsigned address, const uint8_t* data,
                            std::size_t count) {
  if (!data || count == 0 || count > 0xFFFF || !fitsU16(area) || !fitsU16(address)) return TERMINA_E_ARGUMENT;
  std::vector<uint8_t> copy(data, data + count);
  return onSession(h, [&](Session&) -> int {
    return TRMA_ReadBlock(static_cast<uint16_t>(area), static_cast<uint16_t>(address), static_cast<uint16_t>(count),
                          copy.data());
  });
}

}  // extern "C"
