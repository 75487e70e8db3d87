// trma find: probes serial ports for registers, every port at once.
//
// The driver keeps one channel per process, so each port is probed by a
// child process of its own (fork, no exec) that runs the driver's own open
// and probe, TRMA_CheckPort, and then the version query.  A child works in
// a driver root of its own in the temporary folder: an INI file naming COM1
// and the speed to try, and a COM1 link to the port's device, so that the
// user's INI file is untouched by the scan.  The child tries the speeds in
// order and stops at the first that answers; it reports each step as one
// text line on a pipe.  The parent only waits on the pipes, shows progress,
// and stops every child on Ctrl+C (the children die with their ports
// closed by the kernel) or when one runs over its time.
#include "find.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <stdexcept>

#include "find_lists.h"
#include "ini.h"
#include "paths.h"
#include "port_check.h"
#include "speeds.h"
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
// child is stopped.
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
  pid_t pid = -1;
  int fd = -1;  // read end of the child's pipe
  std::string root;
  std::string pending;  // an unfinished line from the pipe
  std::chrono::steady_clock::time_point deadline;
  Outcome outcome = Outcome::Pending;
  ProbeEvent last;  // the event that settled the outcome
  std::vector<unsigned> silentAt;
  int childStatus = 0;
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

// ---- the child ------------------------------------------------------------

void send(int fd, const ProbeEvent& e) {
  const std::string line = formatProbeEvent(e);
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ::_exit(3);  // the parent has gone
    done += static_cast<std::size_t>(n);
  }
}

[[noreturn]] void runChild(const Probe& p, const std::vector<unsigned>& speeds, int out) {
  const std::string ini = p.root + "/c/Program Files/Orvelsoft/TERMINA.INI";
  ::setenv("TERMINA_ROOT", p.root.c_str(), 1);
  const PortDiagnosis d = diagnosePort(p.port.device);
  if (d.problem != PortProblem::None) {
    send(out, {ProbeEvent::Unusable, 0, 0, 0, 0, static_cast<int>(d.problem), d.error});
    ::_exit(0);
  }
  for (unsigned speed : speeds) {
    send(out, {ProbeEvent::Trying, speed, 0, 0, 0, 0, 0});
    if (!ini::writeString(ini, "General", "Speed", std::to_string(speed))) ::_exit(4);
    try {
      TRMA_CheckPort(true);
      uint16_t version = 0;
      const uint16_t rc = TRMA_GetVersion(&version);
      TRMA_ClosePort();
      send(out, {ProbeEvent::Found, speed, version, rc, 0, 0, 0});
      ::_exit(0);
    } catch (uint16_t code) {
      TRMA_ClosePort();
      if (code == TRMA_E_NOREGISTER) {
        send(out, {ProbeEvent::Silent, speed, 0, 0, 0, 0, 0});
        continue;
      }
      if (code == TRMA_E_PORT) {
        const PortDiagnosis again = diagnosePort(p.port.device);
        if (again.problem != PortProblem::None) {
          send(out, {ProbeEvent::Unusable, 0, 0, 0, 0, static_cast<int>(again.problem), again.error});
          ::_exit(0);
        }
      }
      send(out, {ProbeEvent::Failed, speed, 0, 0, code, 0, 0});
    }
  }
  ::_exit(0);
}

// ---- the parent -----------------------------------------------------------

// A driver root of the child's own: COM1 leads to the port, the INI file
// names COM1 over the serial line and carries the user's password.
bool prepareRoot(Probe& p, const std::string& password) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "trma-find-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) return false;
  p.root = tmpl;
  const std::string iniDir = p.root + "/c/Program Files/Orvelsoft";
  if (!paths::makeDirs(iniDir) || !paths::makeDirs(p.root + "/dev")) return false;
  const std::string device =
      p.port.device.front() == '/' ? p.port.device : std::filesystem::absolute(p.port.device).string();
  if (::symlink(device.c_str(), (p.root + "/dev/com1").c_str()) != 0) return false;
  const std::string ini = iniDir + "/TERMINA.INI";
  return ini::writeString(ini, "General", "Port", "1") && ini::writeString(ini, "TCP", "Mode", "0") &&
         ini::writeString(ini, "General", "pswd", password);
}

void removeRoot(const Probe& p) {
  if (p.root.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(p.root, ec);
}

void reap(Probe& p) {
  if (p.pid > 0) {
    while (::waitpid(p.pid, &p.childStatus, 0) < 0 && errno == EINTR) {}
    p.pid = -1;
  }
  if (p.fd >= 0) ::close(p.fd);
  p.fd = -1;
}

void stopAll(std::vector<Probe>& probes) {
  for (Probe& p : probes)
    if (p.pid > 0) ::kill(p.pid, SIGKILL);
  for (Probe& p : probes) reap(p);
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

// Reads what the child wrote; false at the end of the pipe.
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
  if (WIFSIGNALED(p.childStatus))
    return head + deviceText(p.port) + ": проверка порта прервана сигналом " + std::to_string(WTERMSIG(p.childStatus));
  return head + deviceText(p.port) + ": проверка порта не завершилась";
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

int save(Context& ctx, const std::vector<const Probe*>& found) {
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
    ctx.out << "COM" << com << " теперь ведет к " << target << " (" << paths::root() << "/dev/com" << com << ")\n";
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
  ctx.out << "Сохранено в " << file << ": Port=" << com << ", Speed=" << p.last.speed << "\n";
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
    return TRMA_E_NOREGISTER;
  }
  const std::string password = ini::readString(paths::iniPath(), "General", "pswd", "WKRD", 60);
  const auto budget = speedBudget() * static_cast<long>(a.speeds.size());

  StopSignals signals;
  ctx.out.flush();
  ctx.err.flush();
  const pid_t parent = ::getpid();
  const auto cleanup = [&] {
    stopAll(probes);
    for (const Probe& p : probes) removeRoot(p);
  };
  for (Probe& p : probes) {
    int pipeFds[2];
    if (!prepareRoot(p, password) || ::pipe2(pipeFds, O_CLOEXEC) != 0) {
      cleanup();
      ctx.err << "trma: не удалось подготовить проверку " << portName(p.port) << ": " << std::strerror(errno) << "\n";
      return kExitFile;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
      // Only the own pipe stays open, so that each pipe ends with its child.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(5);
      ::signal(SIGINT, SIG_DFL);
      ::signal(SIGTERM, SIG_DFL);
      ::close(pipeFds[0]);
      for (const Probe& q : probes)
        if (q.fd >= 0) ::close(q.fd);
      ::close(signals.fd());
      runChild(p, a.speeds, pipeFds[1]);
    }
    ::close(pipeFds[1]);
    if (pid < 0) {
      ::close(pipeFds[0]);
      cleanup();
      ctx.err << "trma: не удалось запустить проверку порта: " << std::strerror(errno) << "\n";
      return kExitFile;
    }
    p.pid = pid;
    p.fd = pipeFds[0];
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
      cleanup();
      ctx.err << "\ntrma: поиск прерван, все порты закрыты\n";
      return kExitInterrupted;
    }
    for (std::size_t i = 0; i < watched.size(); ++i) {
      Probe& p = *watched[i];
      if ((fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) && !readChild(ctx, p)) {
        reap(p);
        if (p.outcome == Outcome::Pending) p.outcome = Outcome::Died;
        if (p.outcome == Outcome::Silent && p.silentAt.size() < a.speeds.size() && p.childStatus != 0)
          p.outcome = Outcome::Died;
      } else if (p.fd >= 0 && std::chrono::steady_clock::now() >= p.deadline) {
        ::kill(p.pid, SIGKILL);
        reap(p);
        if (p.outcome != Outcome::Found && p.outcome != Outcome::Unusable) p.outcome = Outcome::TimedOut;
      }
    }
  }
  cleanup();

  std::vector<const Probe*> found;
  for (const Probe& p : probes) {
    ctx.out << resultLine(p, std::chrono::duration_cast<std::chrono::milliseconds>(budget)) << "\n";
    if (p.outcome == Outcome::Found) found.push_back(&p);
  }
  ctx.err << "trma: найдено регистраторов: " << found.size() << "\n";
  if (found.empty()) return TRMA_E_NOREGISTER;
  if (a.save) return save(ctx, found);
  return 0;
}

}  // namespace termina::cli
