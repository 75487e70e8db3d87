// SPDX-License-Identifier: GPL-3.0-or-later
// What the driver costs while it waits, and what the command-line tool
// occupies:
//  - KeepAlive: CPU time (user + system) of the process while a long report
//    is kept alive by the register's ACKs;
//  - Silence: CPU time while the driver waits out a silent register (one
//    ENQ after every empty read wait) until its patience runs out;
//  - TrmaStatus: the largest resident set of `trma status` against the
//    simulated register;
//  - TrmaFind: `trma find` over three simulated registers against the
//    slowest port scanned alone.
// The simulated register runs in a child process, so the CPU time measured
// here is the driver's alone.  The durations come from the environment:
// TERMINA_BENCH_KEEPALIVE_S (default 30) and TERMINA_BENCH_SILENCE_S
// (default 30); the smoke run sets them small.
#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace termina;
using namespace termina::bench;

// A simulated register in a forked child.  The child answers over a pty
// symlinked as the root's COM1 and over loopback TCP; a byte 's' on the
// control pipe makes it go silent (it answers on the ready pipe once it
// is); the pipe closing ends it.
class SimChild {
 public:
  SimChild(const DriverRoot& root, int reportMs, int ackMs) {
    int ready[2], ctl[2];
    if (::pipe(ready) != 0 || ::pipe(ctl) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(ctl[1]);
      serve(root, reportMs, ackMs, ready[1], ctl[0]);
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(ctl[0]);
    ctl_ = ctl[1];
    ready_ = ready[0];
    uint16_t port = 0;
    pollfd p{ready_, POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0 || ::read(ready_, &port, sizeof port) != sizeof port) {
      end();
      throw std::runtime_error("simulator did not start");
    }
    port_ = port;
  }
  ~SimChild() { end(); }
  SimChild(const SimChild&) = delete;
  SimChild& operator=(const SimChild&) = delete;

  uint16_t tcpPort() const { return port_; }
  // True once the register has gone silent.
  bool silence() {
    const char s = 's';
    char done = 0;
    pollfd p{ready_, POLLIN, 0};
    return ::write(ctl_, &s, 1) == 1 && ::poll(&p, 1, 5000) == 1 && ::read(ready_, &done, 1) == 1 && done == 's';
  }

 private:
  void end() {
    if (ctl_ >= 0) ::close(ctl_);
    if (ready_ >= 0) ::close(ready_);
    ctl_ = ready_ = -1;
    if (pid_ <= 0) return;
    // The child ends when its control pipe closes; a stuck one is killed.
    for (int i = 0; i < 250; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  static void serve(const DriverRoot& root, int reportMs, int ackMs, int readyFd, int ctlFd) {
    try {
      sim::Config cfg;
      cfg.reportDurationMs = reportMs;
      cfg.reportAckIntervalMs = ackMs;
      cfg.logLimit = 64;
      sim::Simulator s(cfg);
      s.setReady();
      s.addFiscalHistory(5);  // shifts for the fiscal memory reports
      s.openPty(root.com(1));
      uint16_t port = s.listenTcp();
      if (::write(readyFd, &port, sizeof port) != sizeof port) return;
      char c;
      while (::read(ctlFd, &c, 1) == 1) {
        if (c == 's') {
          sim::Faults f;
          f.silent = true;
          s.setFaults(f);
          if (::write(readyFd, &c, 1) != 1) return;
        }
      }
      s.stop();
    } catch (...) {}
  }

  pid_t pid_ = -1;
  int ctl_ = -1;
  int ready_ = -1;
  uint16_t port_ = 0;
};

std::unique_ptr<SimChild> startSim(benchmark::State& state, const DriverRoot& root, int reportMs, int ackMs) {
  try {
    return std::make_unique<SimChild>(root, reportMs, ackMs);
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return nullptr;
  }
}

bool connect(const DriverRoot& root, const SimChild& sim, Transport t) {
  useTransport(root, t, sim.tcpPort());
  return driverCall([] { return TRMA_CheckPort(false); }) == 0;
}

void setCpuCounters(benchmark::State& state, double cpu, double wall) {
  state.counters["cpu_s"] = cpu;
  state.counters["wall_s"] = wall;
  state.counters["cpu_per_30s"] = wall > 0 ? cpu * 30.0 / wall : 0;
}

// A fiscal memory report that prints for the given time; the register sends
// an ACK every second and answers every ENQ with ACK.
void BM_KeepAlive(benchmark::State& state, Transport t) {
  const double seconds = envSeconds("TERMINA_BENCH_KEEPALIVE_S", 30);
  DriverRoot root;
  auto sim = startSim(state, root, static_cast<int>(seconds * 1000), 1000);
  if (!sim) return;
  if (!connect(root, *sim, t)) {
    state.SkipWithError("driver did not connect to the simulator");
    return;
  }
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    TRMA_PASSWORD pw{'0'};
    const double c0 = processCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    int code = driverCall([&] { return TRMA_FiscShiftReport(1, 1, 5, &pw); });
    wall = secondsSince(t0);
    cpu = processCpuSeconds() - c0;
    if (code != 0) {
      state.SkipWithError("report failed");
      break;
    }
  }
  TRMA_ClosePort();
  setCpuCounters(state, cpu, wall);
}
BENCHMARK_CAPTURE(BM_KeepAlive, pty, Transport::Pty)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_KeepAlive, tcp, Transport::Tcp)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// A status request to a register that has gone silent: empty read waits
// (500 ms serial, 5 s TCP), each followed by ENQ, until the patience counter
// gives up with 48.  TRMATMOUT is chosen for the requested duration.
void BM_Silence(benchmark::State& state, Transport t) {
  const double seconds = envSeconds("TERMINA_BENCH_SILENCE_S", 30);
  const double waitSeconds = t == Transport::Pty ? 0.5 : 5.0;
  DriverRoot root;
  auto sim = startSim(state, root, 1000, 1000);
  if (!sim) return;
  if (!connect(root, *sim, t)) {
    state.SkipWithError("driver did not connect to the simulator");
    return;
  }
  if (!sim->silence()) {
    state.SkipWithError("the simulator did not go silent");
    return;
  }
  const uint16_t saved = TRMATMOUT;
  TRMATMOUT = static_cast<uint16_t>(std::max(1.0, std::round(seconds / waitSeconds)));
  double cpu = 0, wall = 0;
  int code = 0;
  for (auto _ : state) {
    TRMA_FATAL_STATUS f{};
    TRMA_STATUS s{};
    TRMA_REC_STATUS r{};
    const double c0 = processCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    code = driverCall([&] { return TRMA_GetStatus(&f, &s, &r); });
    wall = secondsSince(t0);
    cpu = processCpuSeconds() - c0;
  }
  TRMATMOUT = saved;
  TRMA_ClosePort();
  if (code != 48) state.SkipWithError("a silent register did not end the exchange with 48");
  setCpuCounters(state, cpu, wall);
}
BENCHMARK_CAPTURE(BM_Silence, pty, Transport::Pty)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Silence, tcp, Transport::Tcp)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Runs trma with the given arguments (output discarded); its exit status
// and largest resident set in KiB, or nullopt when it did not run or ran
// longer than 20 s.
struct ChildRun {
  int status;
  long maxRssKb;
};
std::optional<ChildRun> runTrma(std::vector<std::string> args) {
  std::string exe = TERMINA_TRMA_EXE;
  std::vector<char*> argv{exe.data()};
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return std::nullopt;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  int st = 0;
  rusage u{};
  while (::wait4(pid, &st, WNOHANG, &u) != pid) {
    if (std::chrono::steady_clock::now() > end) {
      ::kill(pid, SIGKILL);
      ::wait4(pid, &st, 0, &u);
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ChildRun{WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st), u.ru_maxrss};
}

void BM_TrmaStatus(benchmark::State& state, Transport t) {
  DriverRoot root;
  auto sim = startSim(state, root, 1000, 1000);
  if (!sim) return;
  useTransport(root, t, sim->tcpPort());
  long rss = 0;
  for (auto _ : state) {
    auto run = runTrma({"status"});
    if (!run || run->status != 0) {
      state.SkipWithError("trma status failed");
      break;
    }
    rss = std::max(rss, run->maxRssKb);
  }
  state.counters["max_rss_kb"] = static_cast<double>(rss);
}
BENCHMARK_CAPTURE(BM_TrmaStatus, pty, Transport::Pty)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_TrmaStatus, tcp, Transport::Tcp)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// trma find over three simulated registers on pseudo-terminals, each at its
// own line rate, against the slowest port scanned alone: the ports are
// probed side by side, so the scan should take about as long as the slowest
// port (the one whose rate comes last in the speed list), not their sum.
// TERMINA_BENCH_FIND_SPEEDS changes the speed list (the smoke run keeps it
// short).
void BM_TrmaFind(benchmark::State& state) {
  DriverRoot root;
  const unsigned rates[] = {19200, 9600, 115200};
  std::vector<std::unique_ptr<sim::Simulator>> sims;
  for (int i = 0; i < 3; ++i) {
    sim::Config cfg;
    cfg.ptySpeed = rates[i];
    sims.push_back(std::make_unique<sim::Simulator>(cfg));
    sims.back()->openPty(root.com(i + 1));
  }
  const char* env = std::getenv("TERMINA_BENCH_FIND_SPEEDS");
  const std::string speeds = env && *env ? env : "19200,4800,9600,38400,57600,115200";
  const auto timed = [&](const std::string& ports) -> std::optional<double> {
    const auto t0 = std::chrono::steady_clock::now();
    const auto run = runTrma({"find", "--ports", ports, "--speeds", speeds});
    if (!run || run->status != 0) return std::nullopt;
    return secondsSince(t0);
  };
  double slowest = 0, sum = 0, scan = 0;
  for (const char* port : {"1", "2", "3"}) {
    const auto t = timed(port);
    if (!t) {
      state.SkipWithError("trma find on one port failed");
      return;
    }
    slowest = std::max(slowest, *t);
    sum += *t;
  }
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const auto run = runTrma({"find", "--ports", "1-3", "--speeds", speeds});
    if (!run || run->status != 0) {
      state.SkipWithError("trma find failed");
      break;
    }
    scan = secondsSince(t0);
  }
  state.counters["slowest_s"] = slowest;
  state.counters["sum_s"] = sum;
  state.counters["scan_s"] = scan;
  state.counters["slowest_ratio"] = slowest > 0 ? scan / slowest : 0;
}
BENCHMARK(BM_TrmaFind)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
