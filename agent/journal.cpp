// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal.h"

#include <sqlite3.h>

#include <chrono>
#include <ctime>
#include <stdexcept>

#include "platform.h"

namespace termina::agent {

namespace {

// One prepared statement, finalised on every way out.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string("journal: ") + sqlite3_errmsg(db));
  }
  ~Stmt() { sqlite3_finalize(s_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  Stmt& bind(int i, const std::string& v) {
    sqlite3_bind_text(s_, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& bind(int i, int64_t v) {
    sqlite3_bind_int64(s_, i, v);
    return *this;
  }
  Stmt& bindNull(int i) {
    sqlite3_bind_null(s_, i);
    return *this;
  }
  bool step() {
    const int rc = sqlite3_step(s_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw std::runtime_error(std::string("journal: ") + sqlite3_errmsg(db_));
  }
  std::string text(int c) const {
    const auto* p = sqlite3_column_text(s_, c);
    return p ? reinterpret_cast<const char*>(p) : "";
  }
  int64_t integer(int c) const { return sqlite3_column_int64(s_, c); }
  bool null(int c) const { return sqlite3_column_type(s_, c) == SQLITE_NULL; }

 private:
  sqlite3* db_;
  sqlite3_stmt* s_ = nullptr;
};

constexpr const char* kColumns =
    "seq, id, register, kind, body, state, code, code_name, text, result, created, started, finished, deadline_ms, "
    "before";

JobRecord readRow(const Stmt& s) {
  JobRecord j;
  j.seq = s.integer(0);
  j.id = s.text(1);
  j.reg = s.text(2);
  j.kind = s.text(3);
  j.body = s.text(4);
  j.state = s.text(5);
  if (!s.null(6)) j.code = static_cast<int>(s.integer(6));
  j.codeName = s.text(7);
  j.text = s.text(8);
  if (!s.null(9)) j.result = nlohmann::json::parse(s.text(9), nullptr, false);
  if (j.result.is_discarded()) j.result = nullptr;
  j.created = s.text(10);
  j.started = s.text(11);
  j.finished = s.text(12);
  j.deadlineMs = s.integer(13);
  if (!s.null(14)) j.before = nlohmann::json::parse(s.text(14), nullptr, false);
  if (j.before.is_discarded()) j.before = nullptr;
  return j;
}

std::string dumpJson(const nlohmann::json& j) {
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

nlohmann::json JobRecord::toJson() const {
  auto textOrNull = [](const std::string& s) { return s.empty() ? nlohmann::json(nullptr) : nlohmann::json(s); };
  nlohmann::json j = {{"id", id},
                      {"register", reg},
                      {"kind", kind},
                      {"state", state},
                      {"code", code ? nlohmann::json(*code) : nlohmann::json(nullptr)},
                      {"code_name", textOrNull(codeName)},
                      {"text", textOrNull(text)},
                      {"result", result},
                      {"created", created},
                      {"started", textOrNull(started)},
                      {"finished", textOrNull(finished)}};
  return j;
}

Journal::Journal(const std::string& path) {
  std::string err;
  if (!platform::makeParentFolder(path, err)) throw std::runtime_error("journal: " + err);
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    const std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw std::runtime_error("journal " + path + ": " + msg);
  }
  sqlite3_busy_timeout(db_, 5000);
  try {
    exec("PRAGMA journal_mode=WAL");
    // Commits reach the disk in order; only the one before a fiscal job's
    // first frame waits for it (start), which also makes every commit
    // before it durable.
    exec("PRAGMA synchronous=NORMAL");
    exec(
        "CREATE TABLE IF NOT EXISTS jobs ("
        " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
        " id TEXT NOT NULL UNIQUE,"
        " register TEXT NOT NULL,"
        " kind TEXT NOT NULL,"
        " body TEXT NOT NULL,"
        " state TEXT NOT NULL,"
        " code INTEGER, code_name TEXT, text TEXT, result TEXT,"
        " created TEXT NOT NULL, started TEXT, finished TEXT,"
        " deadline_ms INTEGER NOT NULL,"
        " before TEXT)");
    exec("CREATE INDEX IF NOT EXISTS jobs_state ON jobs(state, register)");
  } catch (...) {
    sqlite3_close(db_);
    throw;
  }
}

Journal::~Journal() { sqlite3_close(db_); }

void Journal::exec(const char* sql) {
  char* msg = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
    const std::string m = msg ? msg : "failed";
    sqlite3_free(msg);
    throw std::runtime_error(std::string("journal: ") + m);
  }
}

Journal::Insert Journal::insert(const JobRecord& job, JobRecord& stored) {
  std::lock_guard g(lock_);
  exec("BEGIN IMMEDIATE");
  try {
    {
      Stmt s(db_, (std::string("SELECT ") + kColumns + " FROM jobs WHERE id = ?").c_str());
      s.bind(1, job.id);
      if (s.step()) {
        stored = readRow(s);
        exec("COMMIT");
        return stored.reg == job.reg && stored.body == job.body ? Insert::Same : Insert::Conflict;
      }
    }
    Stmt ins(db_,
             "INSERT INTO jobs (id, register, kind, body, state, created, deadline_ms) VALUES (?, ?, ?, ?, ?, ?, ?)");
    ins.bind(1, job.id).bind(2, job.reg).bind(3, job.kind).bind(4, job.body).bind(5, job.state);
    ins.bind(6, job.created).bind(7, job.deadlineMs);
    ins.step();
    stored = job;
    stored.seq = sqlite3_last_insert_rowid(db_);
    exec("COMMIT");
    return Insert::Added;
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

std::optional<JobRecord> Journal::get(const std::string& id) {
  std::lock_guard g(lock_);
  Stmt s(db_, (std::string("SELECT ") + kColumns + " FROM jobs WHERE id = ?").c_str());
  s.bind(1, id);
  if (!s.step()) return std::nullopt;
  return readRow(s);
}

std::vector<JobRecord> Journal::list(const std::string& reg, const std::string& state, int limit) {
  std::lock_guard g(lock_);
  Stmt s(db_, (std::string("SELECT ") + kColumns +
               " FROM jobs WHERE (?1 = '' OR register = ?1) AND (?2 = '' OR state = ?2) ORDER BY seq DESC LIMIT ?3")
                  .c_str());
  s.bind(1, reg).bind(2, state).bind(3, static_cast<int64_t>(limit));
  std::vector<JobRecord> out;
  while (s.step()) out.push_back(readRow(s));
  return out;
}

std::vector<JobRecord> Journal::unfinished() {
  std::lock_guard g(lock_);
  Stmt s(db_,
         (std::string("SELECT ") + kColumns + " FROM jobs WHERE state IN ('queued', 'running') ORDER BY seq").c_str());
  std::vector<JobRecord> out;
  while (s.step()) out.push_back(readRow(s));
  return out;
}

bool Journal::start(const std::string& id, const std::string& started, const nlohmann::json& before, bool durable) {
  std::lock_guard g(lock_);
  if (durable) exec("PRAGMA synchronous=FULL");
  bool changed = false;
  try {
    Stmt s(db_, "UPDATE jobs SET state = 'running', started = ?, before = ? WHERE id = ? AND state = 'queued'");
    s.bind(1, started);
    if (before.is_null())
      s.bindNull(2);
    else
      s.bind(2, dumpJson(before));
    s.bind(3, id);
    s.step();
    changed = sqlite3_changes(db_) == 1;
  } catch (...) {
    if (durable) exec("PRAGMA synchronous=NORMAL");
    throw;
  }
  if (durable) exec("PRAGMA synchronous=NORMAL");
  return changed;
}

void Journal::requeue(const std::string& id) {
  std::lock_guard g(lock_);
  Stmt s(db_, "UPDATE jobs SET state = 'queued', started = NULL, before = NULL WHERE id = ? AND state = 'running'");
  s.bind(1, id);
  s.step();
}

void Journal::setBefore(const std::string& id, const nlohmann::json& before) {
  std::lock_guard g(lock_);
  Stmt s(db_, "UPDATE jobs SET before = ? WHERE id = ?");
  s.bind(1, dumpJson(before)).bind(2, id);
  s.step();
}

void Journal::finish(const JobRecord& j) {
  std::lock_guard g(lock_);
  Stmt s(db_,
         "UPDATE jobs SET state = ?, code = ?, code_name = ?, text = ?, result = ?, started = ?, finished = ? "
         "WHERE id = ?");
  s.bind(1, j.state);
  if (j.code)
    s.bind(2, static_cast<int64_t>(*j.code));
  else
    s.bindNull(2);
  s.bind(3, j.codeName).bind(4, j.text);
  if (j.result.is_null())
    s.bindNull(5);
  else
    s.bind(5, dumpJson(j.result));
  s.bind(6, j.started).bind(7, j.finished).bind(8, j.id);
  s.step();
}

bool Journal::withdraw(const std::string& id, const std::string& finished) {
  std::lock_guard g(lock_);
  Stmt s(db_,
         "UPDATE jobs SET state = 'failed', code_name = 'withdrawn', text = 'withdrawn before it started', "
         "finished = ? WHERE id = ? AND state = 'queued'");
  s.bind(1, finished).bind(2, id);
  s.step();
  return sqlite3_changes(db_) == 1;
}

std::vector<Journal::Count> Journal::counts() {
  std::lock_guard g(lock_);
  Stmt s(db_,
         "SELECT register, kind, state, COUNT(*) FROM jobs WHERE state IN ('done', 'failed', 'uncertain') "
         "GROUP BY register, kind, state");
  std::vector<Count> out;
  while (s.step()) out.push_back({s.text(0), s.text(1), s.text(2), s.integer(3)});
  return out;
}

int64_t nowUnixMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string nowRfc3339() {
  const int64_t ms = nowUnixMs();
  const std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms % 1000));
  return buf;
}

}  // namespace termina::agent
