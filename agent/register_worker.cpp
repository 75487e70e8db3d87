// SPDX-License-Identifier: GPL-3.0-or-later
#include "register_worker.h"

#include <cmath>
#include <ctime>

#include "platform.h"
#include "versions.h"

namespace termina::agent {

namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

// Where the NVR image keeps its counters: shift (2 bytes), document, report
// and receipt numbers (4 bytes each), little-endian, from byte 19 of the
// image at 0xF000 of memory area 3.
constexpr unsigned kNvrArea = 3;
constexpr unsigned kCountersAddress = 0xF000 + 19;
constexpr unsigned kCountersLength = 14;
// Read, not a code of the register: the counters cannot be trusted (the NVR
// checksum fault).
constexpr int kCountersUnknown = -1;

uint32_t le(const uint8_t* p, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// The register's amount (roubles as a double) as a decimal string with two
// decimals.
std::string money(double roubles) { return formatDecimal(std::llround(roubles * 10000.0), 4, 2); }

json statusJson(const termina_status& s, int statusCode, std::optional<unsigned> version,
                std::optional<uint8_t> printer) {
  auto bit = [](uint8_t byte, uint8_t mask) { return (byte & mask) != 0; };
  json j = {{"version", version ? json(*version) : json(nullptr)},
            {"fatal",
             {{"byte", s.fatal},
              {"nvr_checksum", bit(s.fatal, TERMINA_FATAL_NVR_CHECKSUM)},
              {"config_crc", bit(s.fatal, TERMINA_FATAL_CONFIG_CRC)},
              {"spi", bit(s.fatal, TERMINA_FATAL_SPI)},
              {"fm_crc", bit(s.fatal, TERMINA_FATAL_FM_CRC)},
              {"fm_write", bit(s.fatal, TERMINA_FATAL_FM_WRITE)},
              {"not_installed", bit(s.fatal, TERMINA_FATAL_NOT_INSTALLED)},
              {"eej", bit(s.fatal, TERMINA_FATAL_EEJ)},
              {"eej_mismatch", bit(s.fatal, TERMINA_FATAL_EEJ_MISMATCH)}}},
            {"status",
             {{"byte", s.status},
              {"no_init", bit(s.status, TERMINA_STATUS_NO_INIT)},
              {"non_fiscal", bit(s.status, TERMINA_STATUS_NON_FISCAL)},
              {"shift_open", bit(s.status, TERMINA_STATUS_SHIFT_OPEN)},
              {"shift_over_24h", bit(s.status, TERMINA_STATUS_SHIFT_OVER_24H)},
              {"eej_archive_closed", bit(s.status, TERMINA_STATUS_EEJ_ARCHIVE_CLOSED)},
              {"eej_not_activated", bit(s.status, TERMINA_STATUS_EEJ_NOT_ACTIVATED)},
              {"no_fm_space", bit(s.status, TERMINA_STATUS_NO_FM_SPACE)},
              {"wrong_fm_password", bit(s.status, TERMINA_STATUS_WRONG_FM_PASSWORD)}}},
            {"document", {{"byte", s.receipt}, {"type", s.receipt & 0x0F}, {"state", s.receipt >> 4}}},
            {"printer", nullptr},
            {"no_data", statusCode == TERMINA_E_NODATA}};
  if (printer) {
    const uint8_t p = *printer;
    j["printer"] = {{"byte", p},
                    {"no_paper", bit(p, TERMINA_PRINTER_NO_PAPER)},
                    {"cover_open", bit(p, TERMINA_PRINTER_COVER_OPEN)},
                    {"head_overheat", bit(p, TERMINA_PRINTER_HEAD_OVERHEAT)},
                    {"cutter", bit(p, TERMINA_PRINTER_CUTTER)},
                    {"voltage", bit(p, TERMINA_PRINTER_VOLTAGE)}};
  }
  return j;
}

void localNow(termina_date& d, termina_time& t) {
  const std::tm tm = platform::localTime(std::time(nullptr));
  d.day = static_cast<uint8_t>(tm.tm_mday);
  d.month = static_cast<uint8_t>(tm.tm_mon + 1);
  d.year = static_cast<uint16_t>(tm.tm_year + 1900);
  t.hour = static_cast<uint8_t>(tm.tm_hour);
  t.minute = static_cast<uint8_t>(tm.tm_min);
  t.second = static_cast<uint8_t>(tm.tm_sec);
}

// The driver's codes that mean the register is not reachable: the session
// is reopened before anything else is sent.
bool linkCode(int rc) {
  // The driver's own codes but those that blame the caller.
  if (rc == TERMINA_E_ARGUMENT || rc == TERMINA_E_BUFFER || rc == TERMINA_E_BUSY) return false;
  return termina_code_is_driver(rc) || rc > TERMINA_E_INTERNAL;  // above: a socket's error number
}

enum class Made { Yes, No, Unknown };

// Whether the job's document is in the register, from the counters before
// and after it.
Made compare(Kind kind, const Counters& b, const Counters& a) {
  const int64_t dd = static_cast<int64_t>(a.document) - b.document;
  const int64_t dr = static_cast<int64_t>(a.receipt) - b.receipt;
  const int64_t drep = static_cast<int64_t>(a.report) - b.report;
  const bool same = dd == 0 && dr == 0 && drep == 0 && a.shift == b.shift;
  if (same) return Made::No;
  switch (kind) {
    case Kind::Receipt: return dd == 1 && dr == 1 && drep == 0 ? Made::Yes : Made::Unknown;
    case Kind::CashIn:
    case Kind::CashOut: return dd == 1 && dr == 0 && drep == 0 ? Made::Yes : Made::Unknown;
    case Kind::XReport:
    case Kind::ZReport: return dd == 1 && dr == 0 && drep <= 1 ? Made::Yes : Made::Unknown;
    default: return Made::Unknown;
  }
}

}  // namespace

json Counters::toJson() const {
  return {{"shift", shift},
          {"document", document},
          {"report", report},
          {"receipt", receipt},
          {"receipt_state", receiptState}};
}

std::optional<Counters> Counters::fromJson(const json& j) {
  if (!j.is_object()) return std::nullopt;
  try {
    Counters c;
    c.shift = j.at("shift").get<uint32_t>();
    c.document = j.at("document").get<uint32_t>();
    c.report = j.at("report").get<uint32_t>();
    c.receipt = j.at("receipt").get<uint32_t>();
    c.receiptState = j.at("receipt_state").get<int>();
    return c;
  } catch (const json::exception&) { return std::nullopt; }
}

RegisterWorker::RegisterWorker(RegisterConfig cfg, Journal& journal, Metrics& metrics, unsigned statusIntervalSeconds,
                               std::function<void()> jobEnded)
    : cfg_(std::move(cfg)),
      journal_(journal),
      metrics_(metrics),
      statusInterval_(statusIntervalSeconds),
      jobEnded_(std::move(jobEnded)) {}

RegisterWorker::~RegisterWorker() { stop(); }

void RegisterWorker::start(const std::vector<JobRecord>& unfinished) {
  for (const JobRecord& j : unfinished) {
    if (j.reg != cfg_.name) continue;
    if (j.state == "queued") {
      queue_.push_back({j.id, j.deadlineMs});
      continue;
    }
    const auto kind = kindFromName(j.kind);
    if (kind && isFiscal(*kind)) {
      unsettled_.push_back(j.id);
    } else {
      // Nothing of it is a document: it ended with the agent.
      JobRecord rec = j;
      finishJob(rec, "failed", std::nullopt, "the agent stopped while the job ran");
    }
  }
  thread_ = std::thread([this] { run(); });
}

void RegisterWorker::stop() {
  {
    std::lock_guard g(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void RegisterWorker::enqueue(const JobRecord& job) {
  {
    std::lock_guard g(lock_);
    queue_.push_back({job.id, job.deadlineMs});
  }
  wake_.notify_all();
}

json RegisterWorker::view() const {
  std::lock_guard g(lock_);
  const char* state = link_ == Link::Ready ? "ready" : link_ == Link::Busy ? "busy" : "offline";
  std::string model;
  if (version_) model = app::ModelName(static_cast<uint16_t>(*version_));
  return {{"name", cfg_.name},
          {"state", state},
          {"version", version_ ? json(*version_) : json(nullptr)},
          {"model", model.empty() ? json(nullptr) : json(model)},
          {"status", status_},
          {"checked", checked_.empty() ? json(nullptr) : json(checked_)}};
}

void RegisterWorker::onTrace(void* user, const termina_trace_record* r) {
  if (r->direction == TERMINA_TRACE_OUT && r->kind == TERMINA_TRACE_FRAME)
    static_cast<RegisterWorker*>(user)->frameSent_.store(true);
}

bool RegisterWorker::broken(int rc) {
  if (rc == kCountersUnknown || rc == TERMINA_E_ARGUMENT || rc == TERMINA_E_BUFFER) return false;
  if (linkCode(rc)) {
    const char* n = termina_code_name(rc);
    metrics_.linkError(cfg_.name, n ? n : std::to_string(rc));
    return true;
  }
  metrics_.goodExchange(cfg_.name);
  return false;
}

std::string RegisterWorker::codeText(int code) {
  char buf[TERMINA_MESSAGE_MAX];
  // Code 1's text asks the register for its status: only over a live link.
  termina_error_text(code == 1 ? session_ : nullptr, code, buf, sizeof buf);
  return buf;
}

bool RegisterWorker::waitFor(std::chrono::milliseconds d) {
  std::unique_lock g(lock_);
  wake_.wait_for(g, d, [this] { return stop_; });
  return !stop_;
}

bool RegisterWorker::connect() {
  termina_session* s = nullptr;
  const char* pw = cfg_.password.empty() ? nullptr : cfg_.password.c_str();
  int rc = cfg_.serial.empty() ? termina_open_tcp(cfg_.host.c_str(), cfg_.port, pw, &s)
                               : termina_open_serial(cfg_.serial.c_str(), cfg_.speed, pw, &s);
  if (rc != 0) {
    broken(rc);
    std::lock_guard g(lock_);
    lastCode_ = rc;
    return false;
  }
  session_ = s;
  termina_set_trace(session_, &RegisterWorker::onTrace, this);
  unsigned v = 0;
  rc = termina_get_version(session_, &v);
  if (broken(rc)) {
    disconnect(rc);
    return false;
  }
  {
    std::lock_guard g(lock_);
    if (rc == 0) version_ = v;
  }
  termina_status st{};
  rc = termina_get_status(session_, &st);
  if (broken(rc)) {
    disconnect(rc);
    return false;
  }
  // After power-on the register takes no document before function 0, which
  // carries the computer's date and time.
  if (rc == 0 && (st.status & TERMINA_STATUS_NO_INIT)) {
    termina_date d;
    termina_time t;
    localNow(d, t);
    rc = termina_init(session_, &d, &t);
    if (broken(rc)) {
      disconnect(rc);
      return false;
    }
  }
  if (!refreshStatus()) return false;
  {
    std::lock_guard g(lock_);
    link_ = Link::Ready;
  }
  metrics_.setUp(cfg_.name, true);
  return true;
}

void RegisterWorker::disconnect(int code) {
  if (session_) termina_close(session_);
  session_ = nullptr;
  {
    std::lock_guard g(lock_);
    link_ = Link::Offline;
    lastCode_ = code;
  }
  metrics_.setUp(cfg_.name, false);
}

bool RegisterWorker::refreshStatus() {
  termina_status st{};
  const int rc = termina_get_status(session_, &st);
  if (broken(rc)) {
    disconnect(rc);
    return false;
  }
  std::optional<uint8_t> printer;
  std::optional<unsigned> version;
  {
    std::lock_guard g(lock_);
    version = version_;
  }
  if (version && *version == 201) {
    uint8_t p = 0;
    const int prc = termina_get_printer_status(session_, &p);
    if (broken(prc)) {
      disconnect(prc);
      return false;
    }
    if (prc == 0) printer = p;
  }
  json j = statusJson(st, rc, version, printer);
  {
    std::lock_guard g(lock_);
    status_ = std::move(j);
    checked_ = nowRfc3339();
  }
  metrics_.setStatus(cfg_.name, st.fatal, st.status, printer);
  return true;
}

void RegisterWorker::failExpired(int code) {
  std::vector<std::string> expired;
  {
    std::lock_guard g(lock_);
    const int64_t now = nowUnixMs();
    for (auto it = queue_.begin(); it != queue_.end();) {
      if (it->deadlineMs <= now) {
        expired.push_back(it->id);
        it = queue_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const auto& id : expired) {
    auto rec = journal_.get(id);
    if (!rec || rec->state != "queued") continue;
    finishJob(*rec, "failed", code, codeText(code) + " (the register did not answer before the job's deadline)");
  }
}

void RegisterWorker::finishJob(JobRecord& job, const std::string& state, std::optional<int> code,
                               const std::string& text) {
  job.state = state;
  job.code = code;
  const char* n = code ? termina_code_name(*code) : nullptr;
  job.codeName = n ? n : "";
  job.text = !text.empty() ? text : code ? codeText(*code) : "";
  job.finished = nowRfc3339();
  journal_.finish(job);
  double seconds = 0;
  if (!job.started.empty()) {
    const auto end = nowUnixMs();
    std::tm tm{};
    int ms = 0;
    if (std::sscanf(job.started.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec, &ms) == 7) {
      tm.tm_year -= 1900;
      tm.tm_mon -= 1;
      const int64_t startMs = static_cast<int64_t>(timegm(&tm)) * 1000 + ms;
      seconds = end > startMs ? static_cast<double>(end - startMs) / 1000.0 : 0.0;
    }
  }
  metrics_.jobEnded(cfg_.name, job.kind, state, seconds);
  jobEnded_();
}

int RegisterWorker::readCounters(Counters& c) {
  termina_status st{};
  int rc = termina_get_status(session_, &st);
  if (rc != 0) return rc;
  c.receiptState = st.receipt >> 4;
  if (st.fatal & TERMINA_FATAL_NVR_CHECKSUM) return kCountersUnknown;
  uint8_t b[kCountersLength] = {};
  rc = termina_read_mem_block(session_, kNvrArea, kCountersAddress, kCountersLength, b, sizeof b);
  if (rc != 0) return rc;
  c.shift = le(b, 2);
  c.document = le(b + 2, 4);
  c.report = le(b + 6, 4);
  c.receipt = le(b + 10, 4);
  return 0;
}

bool RegisterWorker::settle(JobRecord& job, int failure) {
  Counters after;
  const int rc = readCounters(after);
  if (broken(rc)) {
    disconnect(rc);
    return false;
  }
  json result = {{"before", job.before.contains("counters") ? job.before["counters"] : json(nullptr)},
                 {"after", rc == 0 ? after.toJson() : json(nullptr)},
                 {"settled_by_counters", true}};
  if (job.before.contains("cancelled_open_receipt"))
    result["cancelled_open_receipt"] = job.before["cancelled_open_receipt"];
  if (rc == 0 || rc == kCountersUnknown) {
    if (after.receiptState != 0) {
      // What the job left open is cancelled now, not printed later.
      const int brc = termina_break_receipt(session_);
      if (broken(brc)) {
        disconnect(brc);
        return false;
      }
      result["receipt_cancelled"] = brc == 0;
    }
  }
  const auto kind = kindFromName(job.kind);
  const auto before = job.before.contains("counters") ? Counters::fromJson(job.before["counters"]) : std::nullopt;
  Made made = Made::Unknown;
  if (rc == 0 && before && kind) made = compare(*kind, *before, after);
  job.result = result;
  std::optional<int> code;
  if (failure >= 0) code = failure;
  if (made == Made::Yes) {
    finishJob(job, "done", 0, "the register's counters show the document made");
  } else if (made == Made::No) {
    finishJob(job, "failed", code,
              (code ? codeText(*code) + "; " : std::string()) + "the register's counters show no document made");
  } else {
    finishJob(job, "uncertain", code,
              (code ? codeText(*code) + "; " : std::string()) +
                  "the register's counters do not tell whether the document was made");
  }
  return true;
}

int RegisterWorker::runFiscal(const JobSpec& s, json& result) {
  double figure = 0;
  int rc = 0;
  switch (s.kind) {
    case Kind::Receipt: {
      rc = termina_open_receipt(session_, 2, 1, s.operatorName.c_str(), 1);
      for (std::size_t i = 0; rc == 0 && i < s.lines.size(); ++i)
        rc = termina_print_string(session_, s.lines[i].c_str());
      for (std::size_t i = 0; rc == 0 && i < s.items.size(); ++i) {
        const Item& it = s.items[i];
        rc = termina_add_article(session_, it.name.c_str(), it.code.c_str(), static_cast<double>(it.quantity) / 1000.0,
                                 static_cast<double>(it.price) / 10000.0, it.department, &figure);
      }
      double total = 0;
      if (rc == 0) rc = termina_subtotal(session_, &total);
      int64_t paid = 0;
      for (std::size_t i = 0; rc == 0 && i < s.payments.size(); ++i) {
        rc =
            termina_payment(session_, s.payments[i].type, static_cast<double>(s.payments[i].amount) / 10000.0, &figure);
        paid += s.payments[i].amount;
      }
      if (rc == 0) rc = termina_close_receipt(session_);
      if (rc == 0) {
        const int64_t totalUnits = std::llround(total * 10000.0);
        result["total"] = money(total);
        result["change"] = formatDecimal(paid > totalUnits ? paid - totalUnits : 0, 4, 2);
      }
      break;
    }
    case Kind::XReport: rc = termina_x_report(session_, s.operatorName.c_str()); break;
    case Kind::ZReport: rc = termina_z_report(session_, s.operatorName.c_str()); break;
    case Kind::CashIn:
    case Kind::CashOut: {
      const double sum = static_cast<double>(s.amount) / 10000.0;
      rc = termina_cash_in_out(session_, s.caption.c_str(), s.kind == Kind::CashIn ? sum : -sum, &figure);
      if (rc == 0) result["cash"] = money(figure);
      break;
    }
    default: rc = TERMINA_E_INTERNAL;
  }
  return rc;
}

int RegisterWorker::runOther(const JobSpec& s, json& result) {
  int rc = 0;
  switch (s.kind) {
    case Kind::Status: {
      if (!refreshStatus()) {
        std::lock_guard g(lock_);
        return lastCode_;
      }
      result = view();
      break;
    }
    case Kind::ConfigGet: {
      char value[TERMINA_TEXT_MAX];
      rc = termina_read_config(session_, s.table, s.field, value, sizeof value);
      if (rc == 0) result["value"] = value;
      break;
    }
    case Kind::ConfigSet: rc = termina_write_config(session_, s.table, s.field, s.value.c_str()); break;
    case Kind::SetClock: {
      termina_date d;
      termina_time t;
      localNow(d, t);
      rc = termina_set_date(session_, &d, &t);
      if (rc == 0) {
        char b[32];
        std::snprintf(b, sizeof b, "%04u-%02u-%02uT%02u:%02u:%02u", d.year, d.month, d.day, t.hour, t.minute, t.second);
        result["clock"] = b;
      }
      break;
    }
    case Kind::OpenDrawer: rc = termina_open_cash_drawer(session_); break;
    case Kind::Display: rc = termina_show_client_display_text(session_, s.line1.c_str(), s.line2.c_str()); break;
    default: rc = TERMINA_E_INTERNAL;
  }
  return rc;
}

void RegisterWorker::runJob(const std::string& id) {
  runJobOnce(id);
  // Whatever way the job ended, the register is ready again while its
  // session lives.
  std::lock_guard g(lock_);
  link_ = session_ ? Link::Ready : Link::Offline;
}

void RegisterWorker::runJobOnce(const std::string& id) {
  auto rec = journal_.get(id);
  if (!rec || rec->state != "queued") return;  // withdrawn
  JobRecord& job = *rec;
  ParseError pe;
  const auto spec = parseJob(job.body, pe);
  if (!spec) {
    finishJob(job, "failed", std::nullopt, "the stored job cannot be read: " + pe.message);
    return;
  }
  if (nowUnixMs() > job.deadlineMs) {
    finishJob(job, "failed", TERMINA_E_DEADLINE, codeText(TERMINA_E_DEADLINE) + " (the job waited past its deadline)");
    return;
  }
  {
    std::lock_guard g(lock_);
    link_ = Link::Busy;
  }
  auto requeue = [&] {
    std::lock_guard g(lock_);
    queue_.push_front({job.id, job.deadlineMs});
  };
  json result = json::object();
  if (isFiscal(spec->kind)) {
    // Before: an open receipt is cancelled and the counters noted, so that
    // a failure later can be settled by comparing them.
    Counters before;
    int rc = readCounters(before);
    bool cancelled = false;
    if ((rc == 0 || rc == kCountersUnknown) && before.receiptState != 0) {
      rc = termina_break_receipt(session_);
      if (rc == 0) {
        cancelled = true;
        rc = readCounters(before);
      }
    }
    if (broken(rc)) {
      // Nothing of the job went out: it waits for the register.
      requeue();
      disconnect(rc);
      return;
    }
    if (rc != 0 && rc != kCountersUnknown) {
      finishJob(job, "failed", rc);
      return;
    }
    json noted = {{"counters", rc == 0 ? before.toJson() : json(nullptr)}, {"cancelled_open_receipt", cancelled}};
    job.started = nowRfc3339();
    job.before = noted;
    if (!journal_.start(job.id, job.started, noted, true)) return;  // withdrawn meanwhile
    job.state = "running";
    frameSent_ = false;
    rc = runFiscal(*spec, result);
    if (rc == 0) {
      result["cancelled_open_receipt"] = cancelled;
      result["before"] = noted["counters"];
      job.result = result;
      finishJob(job, "done", 0);
    } else if (broken(rc) && !frameSent_) {
      // Not one frame of the job went out: it waits for the register
      // like any queued job.
      journal_.requeue(job.id);
      requeue();
      disconnect(rc);
      return;
    } else if (linkCode(rc)) {
      job.before["failure"] = rc;
      journal_.setBefore(job.id, job.before);
      disconnect(rc);
      std::lock_guard g(lock_);
      unsettled_.push_back(job.id);
      return;
    } else if (!settle(job, rc)) {
      job.before["failure"] = rc;
      journal_.setBefore(job.id, job.before);
      std::lock_guard g(lock_);
      unsettled_.push_back(job.id);
      return;
    }
  } else {
    job.started = nowRfc3339();
    if (!journal_.start(job.id, job.started, nullptr, false)) return;
    job.state = "running";
    const int rc = runOther(*spec, result);
    if (rc == 0) {
      job.result = result;
      finishJob(job, "done", 0);
    } else {
      const bool lost = broken(rc);
      finishJob(job, "failed", rc);
      if (lost && session_) disconnect(rc);
    }
  }
}

void RegisterWorker::run() {
  for (;;) {
    {
      std::lock_guard g(lock_);
      if (stop_) break;
    }
    if (!session_) {
      if (connect()) {
        backoff_ = std::chrono::milliseconds(1000);
        continue;
      }
      int code;
      std::chrono::milliseconds pause = backoff_;
      {
        std::lock_guard g(lock_);
        code = lastCode_;
        const int64_t now = nowUnixMs();
        for (const auto& q : queue_)
          pause = std::min(pause, std::chrono::milliseconds(std::max<int64_t>(q.deadlineMs - now, 0)));
      }
      failExpired(code);
      if (!waitFor(pause + std::chrono::milliseconds(1))) break;
      // The pause grows only with the failed attempts, not with the wakes
      // for deadlines.
      if (pause == backoff_) backoff_ = std::min(backoff_ * 2, std::chrono::milliseconds(30000));
      continue;
    }
    std::vector<std::string> unsettled;
    {
      std::lock_guard g(lock_);
      unsettled.swap(unsettled_);
    }
    bool lost = false;
    for (std::size_t i = 0; i < unsettled.size(); ++i) {
      auto rec = journal_.get(unsettled[i]);
      if (!rec || rec->state != "running") continue;
      const int failure = rec->before.contains("failure") ? rec->before["failure"].get<int>() : -1;
      if (!settle(*rec, failure)) {
        std::lock_guard g(lock_);
        unsettled_.insert(unsettled_.end(), unsettled.begin() + static_cast<long>(i), unsettled.end());
        lost = true;
        break;
      }
    }
    if (lost) continue;
    std::optional<Queued> next;
    {
      std::unique_lock g(lock_);
      wake_.wait_for(g, statusInterval_, [this] { return stop_ || !queue_.empty(); });
      if (stop_) break;
      if (!queue_.empty()) {
        next = queue_.front();
        queue_.pop_front();
      }
    }
    if (!next) {
      refreshStatus();
      continue;
    }
    runJob(next->id);
  }
  if (session_) termina_close(session_);
  session_ = nullptr;
}

}  // namespace termina::agent
