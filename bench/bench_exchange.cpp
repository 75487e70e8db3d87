// SPDX-License-Identifier: GPL-3.0-or-later
// One exchange through the driver against the simulated register, over a
// pseudo-terminal and over loopback TCP: the status request (A0, a short
// reply) and the reading of one memory block of 32 bytes (E1, a reply of 64
// hexadecimal digits).  Next to it:
//  - a raw ping-pong of exactly the same request and reply bytes over the
//    same transport with no driver: the limit the driver is measured
//    against (Raw/...);
//  - the wire time of those bytes when the simulator emulates a serial line
//    of 19200 or 115200 baud (Line/...);
// and the fixed pauses, kept apart from the overhead: opening the serial
// port drains the input until 500 ms pass without a byte, and every ACK the
// register sends while busy is followed by a 100 ms pause.
#include "bench_support.h"
#include "termina.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

using namespace termina;
using namespace termina::bench;
using Bytes = std::vector<uint8_t>;

enum class Kind { Status, Block };

// The bytes of one exchange as they cross the transport.
struct Capture {
  Bytes request;  // TCP: inside the envelope, as sent
  Bytes reply;
};

bool getStatus() {
  TRMA_FATAL_STATUS f{};
  TRMA_STATUS s{};
  TRMA_REC_STATUS r{};
  return driverCall([&] { return TRMA_GetStatus(&f, &s, &r); }) == 0;
}

bool readBlock() {
  uint8_t block[32];
  return driverCall([&] { return TRMA_ReadMemBlock(3, 0xF000, sizeof block, block); }) == 0;
}

bool exchange(Kind k) { return k == Kind::Status ? getStatus() : readBlock(); }

class Env {
 public:
  Env() {
    sim::Config cfg;
    cfg.logLimit = 64;  // millions of exchanges: keep only the recent log
    sim_ = std::make_unique<sim::Simulator>(cfg);
    sim_->setReady();
    ptySlave_ = sim_->openPty(root_.com(1));
    tcpPort_ = sim_->listenTcp();
  }
  ~Env() {
    TRMA_ClosePort();
    sim_.reset();
  }

  sim::Simulator& sim() { return *sim_; }
  const std::string& ptySlave() const { return ptySlave_; }
  uint16_t tcpPort() const { return tcpPort_; }
  const DriverRoot& root() const { return root_; }

  // The driver connected over t (reconnects only when it is not).
  bool connect(Transport t) {
    if (connected_ == t) return true;
    TRMA_ClosePort();
    connected_.reset();
    useTransport(root_, t, tcpPort_);
    if (driverCall([] { return TRMA_CheckPort(false); }) != 0) return false;
    connected_ = t;
    return true;
  }
  void disconnect() {
    TRMA_ClosePort();
    connected_.reset();
  }

  // The request and reply bytes of one exchange over t.
  const Capture* capture(Transport t, Kind k) {
    if (auto it = captured_.find({t, k}); it != captured_.end()) return &it->second;
    if (!connect(t)) return nullptr;
    // The simulator logs what it sent just after sending it: let the
    // connection's own exchanges settle before the log is cleared, and
    // take only a capture that is one request and one whole reply.
    for (int attempt = 0; attempt < 3; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      sim_->clearLog();
      if (!exchange(k) || !sim_->waitForReplies(1, std::chrono::seconds(2))) continue;
      auto events = sim_->events();
      auto requests = sim_->requests();
      Capture c;
      c.reply = sim_->sent();
      if (events.size() != 1 || events[0].kind != sim::WireEvent::Frame || requests.size() != 1 ||
          requests[0].code != (k == Kind::Status ? "A0" : "E1") || c.reply.size() < 9 || c.reply.front() != 0x02 ||
          c.reply[c.reply.size() - 3] != 0x03)
        continue;
      c.request = events[0].viaTcpEnvelope ? events[0].envelope : events[0].bytes;
      return &captured_.emplace(std::pair{t, k}, std::move(c)).first->second;
    }
    return nullptr;
  }

 private:
  DriverRoot root_;
  std::unique_ptr<sim::Simulator> sim_;
  std::string ptySlave_;
  uint16_t tcpPort_ = 0;
  std::optional<Transport> connected_;
  std::map<std::pair<Transport, Kind>, Capture> captured_;
};

Env& env() {
  static Env e;
  return e;
}

// Of repeated runs the best is the one least disturbed by whatever else the
// machine did meanwhile; tools/bench reports it.
double minOf(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }

void setExchangeCounters(benchmark::State& state, const Capture& cap) {
  state.counters["request_bytes"] = static_cast<double>(cap.request.size());
  state.counters["reply_bytes"] = static_cast<double>(cap.reply.size());
}

// ---- through the driver ------------------------------------------------

void BM_Driver(benchmark::State& state, Transport t, Kind k) {
  Env& e = env();
  const Capture* cap = e.capture(t, k);
  if (!cap || !e.connect(t)) {
    state.SkipWithError("driver did not connect to the simulator");
    return;
  }
  e.sim().setLineBaud(0);
  for (auto _ : state) {
    if (!exchange(k)) {
      state.SkipWithError("exchange failed");
      break;
    }
  }
  setExchangeCounters(state, *cap);
}
BENCHMARK_CAPTURE(BM_Driver, pty_status, Transport::Pty, Kind::Status)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Driver, pty_block, Transport::Pty, Kind::Block)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Driver, tcp_status, Transport::Tcp, Kind::Status)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Driver, tcp_block, Transport::Tcp, Kind::Block)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);

// ---- through the session interface ------------------------------------

// The same exchanges on a session of termina.h to the same register (the
// original interface lets go of the line first: the pty is opened
// exclusively, and the simulator serves one TCP client).
void BM_Session(benchmark::State& state, Transport t, Kind k) {
  Env& e = env();
  e.disconnect();
  e.sim().setLineBaud(0);
  termina_session* s = nullptr;
  const int rc = t == Transport::Pty ? termina_open_serial(e.root().com(1).c_str(), 19200, nullptr, &s)
                                     : termina_open_tcp("127.0.0.1", e.tcpPort(), nullptr, &s);
  if (rc != 0) {
    state.SkipWithError("the session did not open");
    return;
  }
  termina_status st;
  uint8_t block[32];
  for (auto _ : state) {
    const int code = k == Kind::Status ? termina_get_status(s, &st)
                                       : termina_read_mem_block(s, 3, 0xF000, sizeof block, block, sizeof block);
    if (code != 0) {
      state.SkipWithError("exchange failed");
      break;
    }
  }
  termina_close(s);
}
BENCHMARK_CAPTURE(BM_Session, pty_status, Transport::Pty, Kind::Status)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Session, pty_block, Transport::Pty, Kind::Block)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Session, tcp_status, Transport::Tcp, Kind::Status)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Session, tcp_block, Transport::Tcp, Kind::Block)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);

// ---- the same bytes without the driver -------------------------------

// The leanest client there is: blocking reads and writes, bounded by the
// kernel's own time-outs (one second), one system call per transfer.
int openRaw(Transport t) {
  Env& e = env();
  if (t == Transport::Pty) {
    int fd = ::open(e.ptySlave().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    tio.c_cc[VMIN] = 0;    // a read returns what is there as soon as
    tio.c_cc[VTIME] = 10;  // there is something, or nothing after 1 s
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(e.tcpPort());
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval second{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &second, sizeof second);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &second, sizeof second);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Writes the request and reads exactly the reply's length back.
bool pingPong(int fd, const Bytes& request, std::size_t replySize) {
  std::size_t done = 0;
  while (done < request.size()) {
    ssize_t w = ::write(fd, request.data() + done, request.size() - done);
    if (w > 0)
      done += static_cast<std::size_t>(w);
    else if (!(w < 0 && errno == EINTR))
      return false;
  }
  uint8_t buf[512];
  std::size_t got = 0;
  while (got < replySize) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0)
      got += static_cast<std::size_t>(n);
    else if (!(n < 0 && errno == EINTR))
      return false;  // time-out, closed or failed
  }
  return got == replySize;
}

void BM_Raw(benchmark::State& state, Transport t, Kind k) {
  Env& e = env();
  const Capture* cap = e.capture(t, k);
  if (!cap) {
    state.SkipWithError("no exchange to copy");
    return;
  }
  e.sim().setLineBaud(0);
  e.disconnect();  // the port is exclusive and TCP serves one client
  int fd = openRaw(t);
  if (fd < 0) {
    state.SkipWithError("raw transport did not open");
    return;
  }
  for (auto _ : state) {
    if (!pingPong(fd, cap->request, cap->reply.size())) {
      state.SkipWithError("raw ping-pong failed");
      break;
    }
  }
  ::close(fd);
  setExchangeCounters(state, *cap);
}
BENCHMARK_CAPTURE(BM_Raw, pty_status, Transport::Pty, Kind::Status)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Raw, pty_block, Transport::Pty, Kind::Block)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Raw, tcp_status, Transport::Tcp, Kind::Status)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Raw, tcp_block, Transport::Tcp, Kind::Block)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);

// ---- against an emulated line ------------------------------------------

// Counters: wire_ms, the time the request and reply bytes take on the line,
// and wire_ratio, the measured exchange time over it.
void BM_Line(benchmark::State& state, Transport t, Kind k) {
  const unsigned baud = static_cast<unsigned>(state.range(0));
  Env& e = env();
  const Capture* cap = e.capture(t, k);
  if (!cap || !e.connect(t)) {
    state.SkipWithError("driver did not connect to the simulator");
    return;
  }
  e.sim().setLineBaud(baud);
  exchange(k);  // the first paced exchange starts on an idle line
  const auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (!exchange(k)) {
      state.SkipWithError("exchange failed");
      break;
    }
  }
  const double elapsed = secondsSince(t0);
  e.sim().setLineBaud(0);
  const double wire = wireSeconds(static_cast<double>(cap->request.size() + cap->reply.size()), baud);
  state.counters["wire_ms"] = wire * 1e3;
  if (state.iterations() > 0) state.counters["wire_ratio"] = elapsed / static_cast<double>(state.iterations()) / wire;
  setExchangeCounters(state, *cap);
}
BENCHMARK_CAPTURE(BM_Line, pty_status, Transport::Pty, Kind::Status)
    ->Arg(19200)
    ->Arg(115200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Line, pty_block, Transport::Pty, Kind::Block)
    ->Arg(19200)
    ->Arg(115200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Line, tcp_status, Transport::Tcp, Kind::Status)
    ->Arg(19200)
    ->Arg(115200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_Line, tcp_block, Transport::Tcp, Kind::Block)
    ->Arg(19200)
    ->Arg(115200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);

// The raw ping-pong on the same emulated line: what is left over the wire
// time here belongs to the transport and the emulation, not to the driver.
void BM_RawLine(benchmark::State& state, Transport t, Kind k) {
  const unsigned baud = static_cast<unsigned>(state.range(0));
  Env& e = env();
  const Capture* cap = e.capture(t, k);
  if (!cap) {
    state.SkipWithError("no exchange to copy");
    return;
  }
  e.disconnect();
  int fd = openRaw(t);
  if (fd < 0) {
    state.SkipWithError("raw transport did not open");
    return;
  }
  e.sim().setLineBaud(baud);
  bool ok = pingPong(fd, cap->request, cap->reply.size());  // starts on an idle line
  const auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (!ok || !(ok = pingPong(fd, cap->request, cap->reply.size()))) {
      state.SkipWithError("raw ping-pong failed");
      break;
    }
  }
  const double elapsed = secondsSince(t0);
  e.sim().setLineBaud(0);
  ::close(fd);
  const double wire = wireSeconds(static_cast<double>(cap->request.size() + cap->reply.size()), baud);
  state.counters["wire_ms"] = wire * 1e3;
  if (state.iterations() > 0) state.counters["wire_ratio"] = elapsed / static_cast<double>(state.iterations()) / wire;
  setExchangeCounters(state, *cap);
}
BENCHMARK_CAPTURE(BM_RawLine, pty_status, Transport::Pty, Kind::Status)
    ->Arg(19200)
    ->Arg(115200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_RawLine, pty_block, Transport::Pty, Kind::Block)
    ->Arg(19200)
    ->Arg(115200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_RawLine, tcp_status, Transport::Tcp, Kind::Status)
    ->Arg(19200)
    ->Arg(115200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);
BENCHMARK_CAPTURE(BM_RawLine, tcp_block, Transport::Tcp, Kind::Block)
    ->Arg(19200)
    ->Arg(115200)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", minOf);

// ---- fixed pauses ------------------------------------------------------

// TRMA_CheckPort: open, (serial) drain until 500 ms of silence, probe, ask
// the version, save the password.  fixed_ms is the drain.
void BM_PortOpen(benchmark::State& state, Transport t) {
  Env& e = env();
  for (auto _ : state) {
    e.disconnect();
    if (!e.connect(t)) {
      state.SkipWithError("driver did not connect to the simulator");
      break;
    }
  }
  state.counters["fixed_ms"] = t == Transport::Pty ? 500 : 0;
}
BENCHMARK_CAPTURE(BM_PortOpen, pty, Transport::Pty)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_PortOpen, tcp, Transport::Tcp)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// A status exchange during which the register sends one ACK first: the
// driver pauses 100 ms (fixed_ms) after it, then reads the reply.
void BM_AfterAck(benchmark::State& state, Transport t) {
  Env& e = env();
  if (!e.connect(t)) {
    state.SkipWithError("driver did not connect to the simulator");
    return;
  }
  sim::Faults f;
  f.busyAcks = 1;
  f.ackIntervalMs = 0;
  e.sim().setFaults(f);
  for (auto _ : state) {
    if (!getStatus()) {
      state.SkipWithError("status exchange failed");
      break;
    }
  }
  e.sim().setFaults({});
  state.counters["fixed_ms"] = 100;
}
BENCHMARK_CAPTURE(BM_AfterAck, pty, Transport::Pty)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_AfterAck, tcp, Transport::Tcp)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
