// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports_cli.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>

#include "codepage.h"
#include "exchange_trace.h"
#include "reports.h"
#include "termina1.h"

namespace termina::cli {
namespace {

namespace app = termina::app;
using Clock = std::chrono::steady_clock;

void connect() {
  if (const uint16_t rc = TRMA_CheckPort(false); rc != 0) throw rc;
}

// The ACKs the register sends while it prints a report, counted from the
// report's start.
class AckCounter {
 public:
  void Restart() { m_start = exchange_trace::acksReceived(); }
  int Count() const { return exchange_trace::acksReceived() - m_start; }

 private:
  int m_start = exchange_trace::acksReceived();
};

// A long report in progress: SIGINT is taken from the process's threads and
// waited for by a watcher thread, which sends CAN once on the first Ctrl+C
// and shows the wait meanwhile.  Made before the port is opened, so that a
// Ctrl+C while it opens is taken too.
class ReportWait {
 public:
  explicit ReportWait(Context& ctx) : m_ctx(ctx), m_tty(::isatty(STDERR_FILENO) == 1) {
    sigemptyset(&m_sigint);
    sigaddset(&m_sigint, SIGINT);
    pthread_sigmask(SIG_BLOCK, &m_sigint, &m_oldMask);
  }
  ~ReportWait() {
    Stop();
    // A Ctrl+C after the report ended is dropped with it.
    const timespec none{0, 0};
    while (sigtimedwait(&m_sigint, nullptr, &none) == SIGINT) {}
    pthread_sigmask(SIG_SETMASK, &m_oldMask, nullptr);
  }
  ReportWait(const ReportWait&) = delete;
  ReportWait& operator=(const ReportWait&) = delete;

  void Start(const std::string& what) {
    m_ctx.err << what << ": ожидание ответа регистратора (Ctrl+C прерывает отчет)\n";
    m_ctx.err.flush();
    m_started = Clock::now();
    m_acks.Restart();
    m_thread = std::thread([this] { Watch(); });
  }
  void Stop() {
    if (!m_thread.joinable()) return;
    m_stop = true;
    m_thread.join();
    if (m_tty && m_shown) m_ctx.err << "\n";
    m_ctx.err.flush();
  }
  bool Cancelled() const { return m_cancelled; }

 private:
  void Watch() {
    const timespec tick{0, 100 * 1000 * 1000};
    auto lastLine = Clock::now();
    int shownAcks = 0;
    while (!m_stop) {
      if (sigtimedwait(&m_sigint, nullptr, &tick) == SIGINT) Interrupt();
      const int acks = m_acks.Count();
      const auto now = Clock::now();
      if (acks == shownAcks) continue;
      if (!m_tty && shownAcks != 0 && now - lastLine < std::chrono::seconds(5)) continue;
      shownAcks = acks;
      lastLine = now;
      m_shown = true;
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - m_started).count();
      m_ctx.err << (m_tty ? "\r" : "") << "Отчет печатается: подтверждений от регистратора " << acks << ", прошло "
                << seconds << " с" << (m_tty ? "" : "\n");
      m_ctx.err.flush();
    }
  }
  // The first Ctrl+C sends CAN; the register's answer ends the report call.
  void Interrupt() {
    if (m_tty && m_shown) m_ctx.err << "\n";
    if (m_cancelled) {
      m_ctx.err << "Прерывание уже отправлено, ожидание ответа регистратора\n";
      m_ctx.err.flush();
      return;
    }
    m_cancelled = true;
    try {
      TRMA_CancelReport();
      m_ctx.err << "Отчет прерван\n";
    } catch (uint16_t code) {
      TRMA_ERROR_MESSAGE message{};
      TRMA_GetErrorMessage(code, &message);
      m_ctx.err << "trma: прервать отчет не удалось: " << cp::ansiToUtf8(message) << " (код " << code << ")\n";
    }
    m_ctx.err.flush();
    m_shown = false;
  }

  Context& m_ctx;
  const bool m_tty;
  sigset_t m_sigint{}, m_oldMask{};
  AckCounter m_acks;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_cancelled{false};
  bool m_shown = false;  // watcher thread only, and after it has ended
  Clock::time_point m_started;
};

// Connects, runs a long report with the wait shown, and says how it ended.
int LongReport(Context& ctx, const std::string& what, const std::function<void()>& call) {
  ReportWait wait(ctx);
  connect();
  wait.Start(what);
  call();  // a failure (also the answer to a cancelled report) reaches run()
  wait.Stop();
  ctx.out << (wait.Cancelled() ? "Отчет завершен после прерывания" : "Отчет напечатан") << "\n";
  return 0;
}

// The arguments after the command name: flags anywhere, numbers in order.
struct ReportArgs {
  bool full = false;
  bool yes = false;
  std::optional<std::string> password;
  std::vector<std::string> positional;
};

ReportArgs ParseArgs(const std::vector<std::string>& args, bool reportFlags, bool yesFlag) {
  ReportArgs r;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (reportFlags && a == "--full") {
      r.full = true;
    } else if (reportFlags && (a == "--password" || a.rfind("--password=", 0) == 0)) {
      if (a == "--password") {
        if (i + 1 >= args.size()) throw UsageError{"у параметра --password нет значения"};
        r.password = args[++i];
      } else {
        r.password = a.substr(11);
      }
    } else if (yesFlag && a == "--yes") {
      r.yes = true;
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"неизвестный параметр " + a};
    } else {
      r.positional.push_back(a);
    }
  }
  return r;
}

void ExpectPositional(const ReportArgs& r, std::size_t n) {
  if (r.positional.size() != n) throw UsageError{"неверное число аргументов"};
}

uint16_t Shift(const std::string& text, const char* what) {
  return static_cast<uint16_t>(parseNumber(text, 0, 65535, what));
}

TRMADT Date(const std::string& text, const char* what) {
  const std::optional<TRMADT> d = app::ParseDdmmyy(text);
  if (!d) throw UsageError{std::string(what) + ": ожидается дата ДДММГГ, получено \"" + text + "\""};
  return *d;
}

// The tax inspector's password: required, at most 10 characters.
std::string InspectorPassword(const ReportArgs& r) {
  if (!r.password) throw UsageError{"нужен пароль налогового инспектора: --password ПАРОЛЬ"};
  if (r.password->empty()) throw UsageError{app::kPasswordEmpty};
  toAnsiLimited(*r.password, sizeof(TRMA_PASSWORD) - 1, "--password");
  return *r.password;
}

const char* Kind(bool full) { return full ? "полный" : "краткий"; }

// Questions of a sequence answered on the terminal.
class TerminalInteraction : public app::Interaction {
 public:
  explicit TerminalInteraction(Context& ctx) : m_ctx(ctx) {}
  app::Answer Ask(const app::Question& q) override {
    m_ctx.err << q.text << " (д/н): ";
    m_ctx.err.flush();
    std::string line;
    if (!std::getline(std::cin, line)) return app::Answer::No;
    const bool yes =
        line.rfind("д", 0) == 0 || line.rfind("Д", 0) == 0 || line.rfind("y", 0) == 0 || line.rfind("Y", 0) == 0;
    return yes ? app::Answer::Yes : app::Answer::No;
  }

 private:
  Context& m_ctx;
};

}  // namespace

int cmdFiscalReportShifts(Context& ctx, const std::vector<std::string>& args) {
  const ReportArgs r = ParseArgs(args, true, false);
  ExpectPositional(r, 2);
  const uint16_t first = Shift(r.positional[0], "НАЧАЛО"), last = Shift(r.positional[1], "КОНЕЦ");
  const std::string password = InspectorPassword(r);
  const uint16_t type = r.full ? app::kFullReport : app::kShortReport;
  return LongReport(ctx, std::string("Фискальный отчет по сменам (") + Kind(r.full) + ")",
                    [&] { app::RunFiscShiftReport(type, first, last, password); });
}

int cmdFiscalReportDates(Context& ctx, const std::vector<std::string>& args) {
  const ReportArgs r = ParseArgs(args, true, false);
  ExpectPositional(r, 2);
  const TRMADT first = Date(r.positional[0], "НАЧАЛО"), last = Date(r.positional[1], "КОНЕЦ");
  const std::string password = InspectorPassword(r);
  const uint16_t type = r.full ? app::kFullReport : app::kShortReport;
  return LongReport(ctx, std::string("Фискальный отчет по датам (") + Kind(r.full) + ")",
                    [&] { app::RunFiscDateReport(type, first, last, password); });
}

int cmdEejReportShifts(Context& ctx, const std::vector<std::string>& args) {
  ReportArgs r = ParseArgs(args, true, false);
  if (r.password) throw UsageError{"отчет ЭКЛЗ не требует пароля"};
  ExpectPositional(r, 2);
  const uint16_t first = Shift(r.positional[0], "НАЧАЛО"), last = Shift(r.positional[1], "КОНЕЦ");
  const uint16_t type = r.full ? app::kFullReport : app::kShortReport;
  return LongReport(ctx, std::string("Отчет ЭКЛЗ по сменам (") + Kind(r.full) + ")",
                    [&] { app::RunEejShiftRangeReport(type, first, last); });
}

int cmdEejReportDates(Context& ctx, const std::vector<std::string>& args) {
  ReportArgs r = ParseArgs(args, true, false);
  if (r.password) throw UsageError{"отчет ЭКЛЗ не требует пароля"};
  ExpectPositional(r, 2);
  const TRMADT first = Date(r.positional[0], "НАЧАЛО"), last = Date(r.positional[1], "КОНЕЦ");
  const uint16_t type = r.full ? app::kFullReport : app::kShortReport;
  return LongReport(ctx, std::string("Отчет ЭКЛЗ по датам (") + Kind(r.full) + ")",
                    [&] { app::RunEejDateRangeReport(type, first, last); });
}

int cmdReportKindMissing(Context&, const std::vector<std::string>& args) {
  throw UsageError{args.empty() ? "ожидается shifts или dates"
                                : "ожидается shifts или dates, получено \"" + args[0] + "\""};
}

int cmdEejJournal(Context& ctx, const std::vector<std::string>& args) {
  const ReportArgs r = ParseArgs(args, false, false);
  ExpectPositional(r, 1);
  const uint16_t shift = Shift(r.positional[0], "СМЕНА");
  return LongReport(ctx, "Контрольная лента смены " + std::to_string(shift), [&] { app::RunEejJournal(shift); });
}

int cmdEejShiftReport(Context& ctx, const std::vector<std::string>& args) {
  const ReportArgs r = ParseArgs(args, false, false);
  ExpectPositional(r, 1);
  const uint16_t shift = Shift(r.positional[0], "СМЕНА");
  return LongReport(ctx, "Отчет ЭКЛЗ по смене " + std::to_string(shift), [&] { app::RunEejShiftReport(shift); });
}

int cmdEejDocument(Context& ctx, const std::vector<std::string>& args) {
  const ReportArgs r = ParseArgs(args, false, false);
  ExpectPositional(r, 1);
  const uint32_t kpk = parseNumber(r.positional[0], 0, 4294967295u, "КПК");
  connect();
  app::RunEejDocument(kpk);
  ctx.out << "Документ КПК " << kpk << " напечатан\n";
  return 0;
}

int cmdEejActivationReport(Context& ctx, const std::vector<std::string>& args) {
  ExpectPositional(ParseArgs(args, false, false), 0);
  connect();
  app::RunEejActivationReport();
  ctx.out << "Отчет по активизации ЭКЛЗ напечатан\n";
  return 0;
}

int cmdEejActivate(Context& ctx, const std::vector<std::string>& args) {
  ExpectPositional(ParseArgs(args, false, false), 0);
  connect();
  app::RunEejActivate();
  ctx.out << "ЭКЛЗ активизирована\n";
  return 0;
}

int cmdEejCloseArchive(Context& ctx, const std::vector<std::string>& args) {
  const ReportArgs r = ParseArgs(args, false, true);
  ExpectPositional(r, 0);
  if (!r.yes) {
    // Closing cannot be undone: without a terminal to ask, only --yes closes.
    if (::isatty(STDIN_FILENO) != 1) throw UsageError{"закрытие архива нужно подтвердить: --yes"};
    TerminalInteraction terminal(ctx);
    if (!app::ConfirmCloseArchive(terminal)) {
      ctx.out << "Архив ЭКЛЗ не закрыт\n";
      return 0;
    }
  }
  connect();
  app::RunCloseArchive();
  ctx.out << "Архив ЭКЛЗ закрыт\n";
  return 0;
}

}  // namespace termina::cli
