// SPDX-License-Identifier: GPL-3.0-or-later
// trma find: probes serial ports for registers, every port at once.
//
// Each port is probed by a thread of its own over a driver session: the
// session's open makes the driver's own drain, presence probe and password
// settling, then the version query follows.  Sessions name the device
// directly, so the user's INI file is untouched by the scan.  A thread
// tries the speeds in order and stops at the first that answers; it reports
// each step as one text line on a socket pair.  The main thread only waits
// on the sockets, shows progress, and stops the scan on Ctrl+C or when a
// port runs over its time: a thread still inside the driver then is left to
// the end of the process, which closes its port (the process ends at once,
// without running static destructors under a running thread).
#include "find.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "find_lists.h"
#include "json_out.h"
#include "ini.h"
#include "paths.h"
#include "port_check.h"
#include "speeds.h"
#include "codepage.h"
#include "termina.h"
#include "termina1.h"
#include "versions.h"

namespace termina::cli {
namespace {

constexpr unsigned kDefaultComPorts = 10;

// Exit status of a scan stopped by Ctrl+C (128 + SIGINT, as a shell shows it).
constexpr int kExitInterrupted = 130;

// What one speed may cost at most: the drain on open and the probe take
// about a second, the version query up to TRMATMOUT waits of 500 ms; a line
// that never falls silent keeps the drain going forever.  Past this the
// port's probe is given up.
std::chrono::milliseconds speedBudget() {
  return std::chrono::milliseconds(3000 + 2 * 500 * static_cast<long>(TRMATMOUT));
}

struct Port {
  unsigned com = 0;    // 0: no COM number leads to this device
  std::string device;  // the path the driver would open
  std::string real;    // where it leads, "" when it does not resolve
  std::string byId;    // its /dev/serial/by-id name, "" when none
};

enum class Outcome { Pending, Found, Unusable, Silent, Failed, TimedOut, Died };

struct Probe {
  Port port;
  std::thread thread;   // joinable while it runs or until it is joined
  int fd = -1;          // the main thread's end of the probe's socket pair
  std::string pending;  // an unfinished line from the socket
  std::chrono::steady_clock::time_point deadline;
  Outcome outcome = Outcome::Pending;
  ProbeEvent last;  // the event that settled the outcome
  std::vector<unsigned> silentAt;
  int status = 0;  // the probe's own: 0, or 3 when the main thread had gone
};

std::string realPath(const std::string& p) {
  char buf[PATH_MAX];
  return ::realpath(p.c_str(), buf) ? std::string(buf) : std::string();
}

// The folders that name serial devices by what is plugged in: the driver
// root's own dev folder (which stands in for /dev as it does for the COM
// links) and the system's.
std::vector<std::string> byIdFolders() { return {paths::root() + "/dev/serial/by-id", "/dev/serial/by-id"}; }

std::vector<std::string> byIdEntries() {
  std::vector<std::string> entries;
  for (const std::string& dir : byIdFolders()) {
    std::error_code ec;
    std::vector<std::string> here;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) here.push_back(e.path().string());
    std::sort(here.begin(), here.end());
    entries.insert(entries.end(), here.begin(), here.end());
  }
  return entries;
}

std::string byIdNameOf(const std::string& real, const std::vector<std::string>& entries) {
  if (real.empty()) return "";
  for (const std::string& e : entries)
    if (realPath(e) == real) return e;
  return "";
}

// The first COM number the driver maps to this device.
unsigned comNumberOf(const std::string& real) {
  if (real.empty()) return 0;
  for (int n = 1; n <= 255; ++n)
    if (realPath(paths::comDevice(n)) == real) return static_cast<unsigned>(n);
  return 0;
}

// The ports to scan: the list given, or COM1..COM10 and every by-id device.
// Two entries that lead to one device are probed once: two probes of one
// device at a time would find it busy.
std::vector<Port> portsToScan(const std::optional<std::vector<PortSpec>>& list) {
  const std::vector<std::string> byId = byIdEntries();
  std::vector<Port> ports;
  const auto add = [&](Port p) {
    p.real = realPath(p.device);
    for (const Port& q : ports)
      if (q.device == p.device || (!p.real.empty() && q.real == p.real)) return;
    if (p.com == 0) p.com = comNumberOf(p.real);
    p.byId = byIdNameOf(p.real, byId);
    ports.push_back(std::move(p));
  };
  if (list) {
    for (const PortSpec& s : *list)
      add(s.com ? Port{s.com, paths::comDevice(static_cast<int>(s.com)), {}, {}} : Port{0, s.path, {}, {}});
  } else {
    for (unsigned n = 1; n <= kDefaultComPorts; ++n) add({n, paths::comDevice(static_cast<int>(n)), {}, {}});
    for (const std::string& e : byId) add({0, e, {}, {}});
  }
  return ports;
}

std::string portName(const Port& p) { return p.com ? "COM" + std::to_string(p.com) : "без номера COM"; }

std::string deviceText(const Port& p) {
  std::string s = p.real.empty() ? p.device : p.real;
  if (!p.byId.empty()) s += " (" + p.byId + ")";
  return s;
}

// ---- Ctrl+C ---------------------------------------------------------------

int g_signalPipe[2] = {-1, -1};

extern "C" void onStopSignal(int sig) {
  const int saved = errno;
  const char c = static_cast<char>(sig);
  [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
  errno = saved;
}

// Catches SIGINT and SIGTERM into a pipe while it lives.
class StopSignals {
 public:
  StopSignals() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe");
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, &oldInt_);
    ::sigaction(SIGTERM, &sa, &oldTerm_);
  }
  ~StopSignals() {
    ::sigaction(SIGINT, &oldInt_, nullptr);
    ::sigaction(SIGTERM, &oldTerm_, nullptr);
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
  }
  int fd() const { return g_signalPipe[0]; }

 private:
  struct sigaction oldInt_ {
  }, oldTerm_{};
};

// ---- the probe thread ------------------------------------------------------

// False when the main thread has stopped listening.
bool send(int fd, const ProbeEvent& e) {
  const std::string line = formatProbeEvent(e);
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::send(fd, line.data() + done, line.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The probe of one port; its socket end is closed when it returns, which
// tells the main thread that the probe is over.
void probePort(const Port& port, const std::vector<unsigned>& speeds, const std::string& password, int out,
               int& status) {
  struct CloseAtEnd {
    int fd;
    ~CloseAtEnd() { ::close(fd); }
  } closeAtEnd{out};
  const auto tell = [&](const ProbeEvent& e) {
    if (send(out, e)) return true;
    status = 3;
    return false;
  };
  const PortDiagnosis d = diagnosePort(port.device);
  if (d.problem != PortProblem::None) {
    tell({ProbeEvent::Unusable, 0, 0, 0, 0, static_cast<int>(d.problem), d.error});
    return;
  }
  for (unsigned speed : speeds) {
    if (!tell({ProbeEvent::Trying, speed, 0, 0, 0, 0, 0})) return;
    termina_session* s = nullptr;
    const int code = termina_open_serial(port.device.c_str(), speed, password.c_str(), &s);
    if (code == 0) {
      unsigned version = 0;
      const int rc = termina_get_version(s, &version);
      termina_close(s);
      tell({ProbeEvent::Found, speed, version, static_cast<unsigned>(rc), 0, 0, 0});
      return;
    }
    if (code == TRMA_E_NOREGISTER) {
      if (!tell({ProbeEvent::Silent, speed, 0, 0, 0, 0, 0})) return;
      continue;
    }
    if (code == TRMA_E_PORT) {
      const PortDiagnosis again = diagnosePort(port.device);
      if (again.problem != PortProblem::None) {
        tell({ProbeEvent::Unusable, 0, 0, 0, 0, static_cast<int>(again.problem), again.error});
        return;
      }
    }
    if (!tell({ProbeEvent::Failed, speed, 0, 0, static_cast<unsigned>(code), 0, 0})) return;
  }
}

// ---- the parent -----------------------------------------------------------

// Stops listening to a probe.
void reap(Probe& p) {
  if (p.fd >= 0) ::close(p.fd);
  p.fd = -1;
}

void progress(Context& ctx, const Probe& p, const ProbeEvent& e) {
  const std::string head = "trma: " + portName(p.port) + " " + deviceText(p.port) + ": ";
  switch (e.kind) {
    case ProbeEvent::Trying: ctx.err << head << std::to_string(e.speed) << " бод...\n"; break;
    case ProbeEvent::Silent: ctx.err << head << std::to_string(e.speed) << " бод: нет ответа\n"; break;
    case ProbeEvent::Found: ctx.err << head << std::to_string(e.speed) << " бод: регистратор ответил\n"; break;
    case ProbeEvent::Failed:
      ctx.err << head << std::to_string(e.speed) << " бод: ошибка драйвера (код " << e.code << ")\n";
      break;
    case ProbeEvent::Unusable: ctx.err << head << "порт недоступен\n"; break;
  }
  ctx.err.flush();
}

void take(Context& ctx, Probe& p, const ProbeEvent& e) {
  progress(ctx, p, e);
  switch (e.kind) {
    case ProbeEvent::Trying: break;
    case ProbeEvent::Silent:
      p.silentAt.push_back(e.speed);
      if (p.outcome == Outcome::Pending) p.outcome = Outcome::Silent;
      break;
    case ProbeEvent::Failed:
      p.outcome = Outcome::Failed;
      p.last = e;
      break;
    case ProbeEvent::Found:
      p.outcome = Outcome::Found;
      p.last = e;
      break;
    case ProbeEvent::Unusable:
      p.outcome = Outcome::Unusable;
      p.last = e;
      break;
  }
}

// Reads what the probe wrote; false at the end of its socket.
bool readChild(Context& ctx, Probe& p) {
  char buf[512];
  const ssize_t n = ::read(p.fd, buf, sizeof buf);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return true;
  if (n <= 0) return false;
  p.pending.append(buf, static_cast<std::size_t>(n));
  std::size_t nl;
  while ((nl = p.pending.find('\n')) != std::string::npos) {
    if (const auto e = parseProbeEvent(std::string_view(p.pending).substr(0, nl))) take(ctx, p, *e);
    p.pending.erase(0, nl + 1);
  }
  if (p.pending.size() > 4096) p.pending.clear();  // no line is that long
  return true;
}

std::string speedsText(const std::vector<unsigned>& speeds) {
  std::string s;
  for (unsigned v : speeds) s += (s.empty() ? "" : ", ") + std::to_string(v);
  return s;
}

// The line of one port for standard output.
std::string resultLine(const Probe& p, std::chrono::milliseconds budget) {
  const std::string head = portName(p.port) + ": ";
  switch (p.outcome) {
    case Outcome::Found: {
      std::string s = head + deviceText(p.port) + ", " + std::to_string(p.last.speed) + " бод: ";
      if (p.last.versionResult != 0) return s + "версия не получена (код " + std::to_string(p.last.versionResult) + ")";
      const auto version = static_cast<uint16_t>(p.last.version);
      const std::string model = app::ModelName(version);
      return s + "версия " + std::to_string(version) + ", " + (model.empty() ? "модель неизвестна" : model);
    }
    case Outcome::Unusable: {
      int problem = p.last.problem;
      if (problem < 0 || problem > static_cast<int>(PortProblem::None)) problem = static_cast<int>(PortProblem::Other);
      const PortDiagnosis d{static_cast<PortProblem>(problem), p.last.error};
      std::string s = head + explainPort(p.port.real.empty() ? p.port.device : deviceText(p.port), d);
      if (d.problem == PortProblem::Busy) s += holdersText(findHolders(p.port.device));
      return s;
    }
    case Outcome::Silent:
      return head + deviceText(p.port) + ": регистратор не ответил (скорости " + speedsText(p.silentAt) + ")";
    case Outcome::Failed:
      return head + deviceText(p.port) + ": ошибка драйвера (код " + std::to_string(p.last.code) + ")";
    case Outcome::TimedOut:
      return head + deviceText(p.port) + ": нет результата за " + std::to_string(budget.count() / 1000) +
             " с (порт не замолкает?), проверка остановлена";
    case Outcome::Pending:
    case Outcome::Died: break;
  }
  return head + deviceText(p.port) + ": проверка порта не завершилась";
}

const char* outcomeName(Outcome o) {
  switch (o) {
    case Outcome::Found: return "found";
    case Outcome::Unusable: return "unusable";
    case Outcome::Silent: return "silent";
    case Outcome::Failed: return "failed";
    case Outcome::TimedOut: return "timed_out";
    case Outcome::Pending:
    case Outcome::Died: break;
  }
  return "unfinished";
}

const char* problemName(int problem) {
  switch (static_cast<PortProblem>(problem)) {
    case PortProblem::Missing: return "missing";
    case PortProblem::NoPermission: return "no_permission";
    case PortProblem::Busy: return "busy";
    case PortProblem::NotTerminal: return "not_terminal";
    case PortProblem::None: return "none";
    case PortProblem::Other: break;
  }
  return "other";
}

// The object of one port for --json; "text" is the line the text output
// shows for it.
nlohmann::json resultJson(const Probe& p, std::chrono::milliseconds budget) {
  nlohmann::json j{{"com", p.port.com ? nlohmann::json(p.port.com) : nlohmann::json(nullptr)},
                   {"device", p.port.real.empty() ? p.port.device : p.port.real},
                   {"by_id", p.port.byId.empty() ? nlohmann::json(nullptr) : nlohmann::json(p.port.byId)},
                   {"outcome", outcomeName(p.outcome)}};
  switch (p.outcome) {
    case Outcome::Found: {
      j["speed"] = p.last.speed;
      j["version_code"] = p.last.versionResult;
      const auto version = static_cast<uint16_t>(p.last.version);
      const std::string model = app::ModelName(version);
      j["version"] = p.last.versionResult == 0 ? nlohmann::json(version) : nlohmann::json(nullptr);
      j["model"] = p.last.versionResult == 0 && !model.empty() ? nlohmann::json(model) : nlohmann::json(nullptr);
      break;
    }
    case Outcome::Unusable: j["problem"] = problemName(p.last.problem); break;
    case Outcome::Silent: j["silent_speeds"] = p.silentAt; break;
    case Outcome::Failed: j["code"] = p.last.code; break;
    default: break;
  }
  j["text"] = resultLine(p, budget);
  return j;
}

// A free COM number for a device that has none: no link of that number in
// the driver root and no host port it would fall back to.
unsigned freeComNumber() {
  for (int n = 1; n <= 255; ++n) {
    struct stat st {};
    const std::string own = paths::root() + "/dev/com" + std::to_string(n);
    if (::lstat(own.c_str(), &st) != 0 && ::lstat(("/dev/ttyS" + std::to_string(n - 1)).c_str(), &st) != 0)
      return static_cast<unsigned>(n);
  }
  return 0;
}

// Links root/dev/com<n> to the device, replacing nothing that exists.
bool linkCom(unsigned n, const std::string& device) {
  const std::string dir = paths::root() + "/dev";
  if (!paths::makeDirs(dir)) return false;
  const std::string link = dir + "/com" + std::to_string(n);
  const std::string tmp = link + ".tmp" + std::to_string(::getpid());
  ::unlink(tmp.c_str());
  if (::symlink(device.c_str(), tmp.c_str()) != 0) return false;
  if (::rename(tmp.c_str(), link.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

int save(Context& ctx, const std::vector<const Probe*>& found, nlohmann::json& saved) {
  std::ostream& said = ctx.json ? ctx.err : ctx.out;
  if (found.size() > 1) {
    ctx.err << "trma: найдено несколько регистраторов:";
    for (const Probe* p : found) ctx.err << " " << portName(p->port) << " (" << deviceText(p->port) << ")";
    ctx.err << "; ничего не сохранено. Укажите нужный порт: trma find --ports N --save\n";
    return kExitRefused;
  }
  const Probe& p = *found.front();
  unsigned com = p.port.com;
  if (com == 0) {
    // The driver opens COM numbers only: give the device one, by its
    // stable by-id name where it has one.
    com = freeComNumber();
    const std::string target = p.port.byId.empty() ? p.port.device : p.port.byId;
    if (com == 0 || !linkCom(com, target)) {
      ctx.err << "trma: не удалось связать номер COM с " << target << "; ничего не сохранено\n";
      return kExitFile;
    }
    said << "COM" << com << " теперь ведет к " << target << " (" << paths::root() << "/dev/com" << com << ")\n";
    saved["linked"] = target;
  }
  const std::string file = paths::iniPath();
  paths::makeDirs(std::filesystem::path(file).parent_path().string());
  bool ok = ini::writeString(file, "General", "Port", std::to_string(com)) &&
            ini::writeString(file, "General", "Speed", std::to_string(p.last.speed));
  // A gateway set up earlier would keep the driver off the serial line.
  if (ok && ini::readInt(file, "TCP", "Mode", 0) != 0) ok = ini::writeString(file, "TCP", "Mode", "0");
  if (!ok) {
    ctx.err << "trma: не удалось записать Port и Speed в " << file << "\n";
    return kExitFile;
  }
  said << "Сохранено в " << file << ": Port=" << com << ", Speed=" << p.last.speed << "\n";
  saved["port"] = com;
  saved["speed"] = p.last.speed;
  saved["file"] = file;
  return 0;
}

struct FindArgs {
  std::optional<std::vector<PortSpec>> ports;
  std::vector<unsigned> speeds{std::begin(app::kProgramSpeeds), std::end(app::kProgramSpeeds)};
  bool save = false;
};

FindArgs parseArgs(const std::vector<std::string>& args) {
  FindArgs a;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& w = args[i];
    const auto value = [&](std::string_view name) {
      if (w.size() > name.size() && w[name.size()] == '=') return w.substr(name.size() + 1);
      if (w != name) throw UsageError{"неизвестный аргумент " + w};
      if (i + 1 >= args.size()) throw UsageError{"у " + std::string(name) + " нет значения"};
      return args[++i];
    };
    std::string error;
    if (w == "--save") {
      a.save = true;
    } else if (w.rfind("--ports", 0) == 0) {
      a.ports = parsePortList(value("--ports"), error);
      if (!a.ports) throw UsageError{error};
    } else if (w.rfind("--speeds", 0) == 0) {
      const auto speeds = parseSpeedList(value("--speeds"), error);
      if (!speeds) throw UsageError{error};
      a.speeds = *speeds;
    } else {
      throw UsageError{"неизвестный аргумент " + w};
    }
  }
  return a;
}

}  // namespace

int cmdFind(Context& ctx, const std::vector<std::string>& args) {
  const FindArgs a = parseArgs(args);
  std::vector<Probe> probes;
  for (Port& port : portsToScan(a.ports)) {
    probes.emplace_back();
    probes.back().port = std::move(port);
  }
  if (probes.empty()) {
    ctx.err << "trma: нет портов для поиска\n";
    if (ctx.json) json::print(ctx.out, json::failure(TRMA_E_NOREGISTER, "нет портов для поиска"));
    return TRMA_E_NOREGISTER;
  }
  // The password as the driver would take it from the INI file (code page
  // 1251, at most 59 characters), in UTF-8 for the session.
  std::string password = ini::readString(paths::iniPath(), "General", "pswd", "WKRD", 60);
  if (password.size() > TERMINA_LINK_PASSWORD_CHARS) password.resize(TERMINA_LINK_PASSWORD_CHARS);
  password = cp::ansiToUtf8(password);
  const auto budget = speedBudget() * static_cast<long>(a.speeds.size());

  StopSignals signals;
  ctx.out.flush();
  ctx.err.flush();
  // The scan's end: a probe still inside the driver (a port that never
  // falls silent, or Ctrl+C) ends with the process, at once.
  const auto finish = [&](int code) {
    bool left = false;
    for (Probe& p : probes) {
      reap(p);
      if (p.thread.joinable()) {
        p.thread.detach();
        left = true;
      }
    }
    if (left) {
      ctx.out.flush();
      ctx.err.flush();
      std::fflush(nullptr);
      std::_Exit(code);
    }
    return code;
  };
  for (Probe& p : probes) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
      ctx.err << "trma: не удалось подготовить проверку " << portName(p.port) << ": " << std::strerror(errno) << "\n";
      return finish(kExitFile);
    }
    try {
      p.thread = std::thread(probePort, p.port, a.speeds, password, ends[1], std::ref(p.status));
    } catch (const std::system_error& e) {
      ::close(ends[0]);
      ::close(ends[1]);
      ctx.err << "trma: не удалось запустить проверку порта: " << e.what() << "\n";
      return finish(kExitFile);
    }
    p.fd = ends[0];
    p.deadline = std::chrono::steady_clock::now() + budget;
  }

  while (true) {
    std::vector<pollfd> fds{{signals.fd(), POLLIN, 0}};
    std::vector<Probe*> watched;
    auto next = std::chrono::steady_clock::time_point::max();
    for (Probe& p : probes) {
      if (p.fd < 0) continue;
      fds.push_back({p.fd, POLLIN, 0});
      watched.push_back(&p);
      next = std::min(next, p.deadline);
    }
    if (watched.empty()) break;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - std::chrono::steady_clock::now());
    const int r =
        ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long>(0, std::min<long>(wait.count(), 1000))) + 1);
    if (r < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      ctx.err << "\ntrma: поиск прерван, все порты закрыты\n";
      if (ctx.json) json::print(ctx.out, json::failure(kExitInterrupted, "поиск прерван"));
      return finish(kExitInterrupted);
    }
    for (std::size_t i = 0; i < watched.size(); ++i) {
      Probe& p = *watched[i];
      if ((fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) && !readChild(ctx, p)) {
        // The probe closed its end on the way out of its thread.
        reap(p);
        p.thread.join();
        if (p.outcome == Outcome::Pending) p.outcome = Outcome::Died;
        if (p.outcome == Outcome::Silent && p.silentAt.size() < a.speeds.size() && p.status != 0)
          p.outcome = Outcome::Died;
      } else if (p.fd >= 0 && std::chrono::steady_clock::now() >= p.deadline) {
        reap(p);
        if (p.outcome != Outcome::Found && p.outcome != Outcome::Unusable) p.outcome = Outcome::TimedOut;
      }
    }
  }

  std::vector<const Probe*> found;
  nlohmann::json ports = nlohmann::json::array();
  const auto budgetMs = std::chrono::duration_cast<std::chrono::milliseconds>(budget);
  for (const Probe& p : probes) {
    if (ctx.json)
      ports.push_back(resultJson(p, budgetMs));
    else
      ctx.out << resultLine(p, budgetMs) << "\n";
    if (p.outcome == Outcome::Found) found.push_back(&p);
  }
  ctx.err << "trma: найдено регистраторов: " << found.size() << "\n";
  nlohmann::json saved = nlohmann::json::object();
  const int code = found.empty() ? TRMA_E_NOREGISTER : a.save ? save(ctx, found, saved) : 0;
  if (ctx.json) {
    // The ports also when none answered: the object then carries the code
    // and text a failure has.
    nlohmann::json j{{"ports", ports}, {"found", found.size()}};
    if (a.save) j["saved"] = saved.empty() ? nlohmann::json(nullptr) : saved;
    if (found.empty()) {
      TRMA_ERROR_MESSAGE message{};
      TRMA_GetErrorMessage(TRMA_E_NOREGISTER, &message);
      j["code"] = TRMA_E_NOREGISTER;
      j["text"] = cp::ansiToUtf8(message);
    }
    json::print(ctx.out, j);
  }
  return finish(code);
}

}  // namespace termina::cli
