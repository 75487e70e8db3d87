// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "codec.h"
#include "line_pacing.h"
#include "model.h"

namespace termina::sim {

using Clock = std::chrono::steady_clock;

namespace {

// The forced reply for a request: the key naming the code and its first two
// fields ("A1 11 0") before the one naming the code and its first field
// ("A1 11") before the bare code.
std::map<std::string, ForcedReply>::const_iterator findForced(const std::map<std::string, ForcedReply>& forced,
                                                              const std::string& code,
                                                              const std::vector<std::string>& fields) {
  if (forced.empty()) return forced.end();
  if (fields.size() >= 2)
    if (auto it = forced.find(code + " " + fields[0] + " " + fields[1]); it != forced.end()) return it;
  if (!fields.empty())
    if (auto it = forced.find(code + " " + fields[0]); it != forced.end()) return it;
  return forced.find(code);
}

int msUntil(Clock::time_point t) {
  auto d = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
  return d < 0 ? 0 : static_cast<int>(d);
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

struct Simulator::Impl {
  explicit Impl(Config c) : cfg(std::move(c)), model(cfg) {
    if (!cfg.statePath.empty()) loadState();
    if (::pipe(wake) != 0) throw std::runtime_error("pipe failed");
    ::fcntl(wake[0], F_SETFL, O_NONBLOCK);
    ::fcntl(wake[1], F_SETFL, O_NONBLOCK);
  }
  ~Impl() {
    stopAll();
    closeFd(wake[0]);
    closeFd(wake[1]);
  }

  // ---- shared state (guarded by m) --------------------------------------
  mutable std::mutex m;
  mutable std::condition_variable cv;
  Config cfg;
  Faults faults;
  RegisterModel model;
  std::vector<WireEvent> events;
  std::vector<Request> requests;
  uint64_t requestsPushed = 0;   // requests logged in all, and the number of
  uint64_t requestsDropped = 0;  // them gone from the front (cleared or trimmed)
  std::vector<uint8_t> sentBytes;
  size_t replies = 0;
  size_t reportAcks = 0;  // ACKs sent by the long report now printing (or the last one)
  size_t restartsBooted = 0;
  int framesSinceFaults = 0;  // request frames since the last setFaults (restartAtFrame)

  // ---- transports -------------------------------------------------------
  int wake[2] = {-1, -1};
  std::atomic<bool> stopping{false};
  int ptyMaster = -1, ptySlave = -1;
  std::string ptySlavePath, ptyLink;
  int listenFd = -1;
  uint16_t boundPort = 0;
  std::thread ptyThread, tcpThread;

  void stopAll() {
    stopping = true;
    if (wake[1] >= 0) {
      char c = 1;
      [[maybe_unused]] auto r = ::write(wake[1], &c, 1);
    }
    if (ptyThread.joinable()) ptyThread.join();
    if (tcpThread.joinable()) tcpThread.join();
    closeFd(ptyMaster);
    closeFd(ptySlave);
    closeFd(listenFd);
    if (!ptyLink.empty()) {
      struct stat sb {};
      if (::lstat(ptyLink.c_str(), &sb) == 0 && S_ISLNK(sb.st_mode)) ::unlink(ptyLink.c_str());
      ptyLink.clear();
    }
  }

  // Sleeps up to ms; false when the simulator is stopping.
  bool pause(int ms) {
    if (stopping) return false;
    pollfd p{wake[0], POLLIN, 0};
    ::poll(&p, 1, ms);
    return !stopping;
  }

  // ---- logging ----------------------------------------------------------
  void logEvent(WireEvent e) {
    const bool can = e.kind == WireEvent::Can;
    {
      std::lock_guard lk(m);
      events.push_back(std::move(e));
      trimLogs();
      cv.notify_all();
    }
    if (can && cfg.onCan) cfg.onCan();
  }
  // Called with m held.
  void trimLogs() {
    const size_t lim = cfg.logLimit;
    if (lim == 0) return;
    if (events.size() > lim) events.erase(events.begin(), events.begin() + static_cast<long>(events.size() - lim));
    if (requests.size() > lim) {
      requestsDropped += requests.size() - lim;
      requests.erase(requests.begin(), requests.begin() + static_cast<long>(requests.size() - lim));
    }
    if (sentBytes.size() > lim * 64)
      sentBytes.erase(sentBytes.begin(), sentBytes.begin() + static_cast<long>(sentBytes.size() - lim * 64));
  }

  // ---- state file -------------------------------------------------------
  void loadState() {
    std::ifstream in(cfg.statePath, std::ios::binary);
    if (!in) return;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!model.deserialize(text))
      std::fprintf(stderr, "termina-sim: state file %s ignored: not readable\n", cfg.statePath.c_str());
    model.takeChanged();
  }
  // Called with m held.
  void saveStateIfChanged() {
    if (!model.takeChanged() || cfg.statePath.empty()) return;
    const std::string tmp = cfg.statePath + ".tmp";
    {
      std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
      if (!out) return;
      out << model.serialize();
      out.flush();
      if (!out) return;
    }
    if (std::rename(tmp.c_str(), cfg.statePath.c_str()) != 0) ::unlink(tmp.c_str());
  }

  // ---- one connection ---------------------------------------------------
  struct Conn {
    int fd;
    bool tcp;
    bool closed = false;
    std::deque<uint8_t> in;
    bool mute = false;  // a reply broke off half-way: ENQ stays unanswered until the next frame
    LinePacing line{};  // emulated line rate (Config::lineBaud)
  };

  // Reads what is there into c.in, waiting up to timeoutMs (-1: forever).
  // Returns false when stopping or the peer closed (TCP).
  bool readMore(Conn& c, int timeoutMs) {
    if (stopping || c.closed) return false;
    pollfd p[2] = {{c.fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
    int r = ::poll(p, 2, timeoutMs);
    if (stopping) return false;
    if (r <= 0) return true;
    if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      uint8_t buf[4096];
      ssize_t n = ::read(c.fd, buf, sizeof buf);
      if (n > 0 && !c.tcp && !lineRateMatches(c.fd)) {
        logEvent({WireEvent::Raw, std::vector<uint8_t>(buf, buf + n), false, {}});
      } else if (n > 0) {
        c.line.setBaud(lineBaud());
        c.line.received(static_cast<size_t>(n));
        c.in.insert(c.in.end(), buf, buf + n);
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        if (c.tcp) {
          c.closed = true;
          return false;
        }
        pause(20);  // pty without a reader: avoid spinning
      }
    }
    return true;
  }

  // Makes sure c.in holds at least n bytes, waiting at most the inter-byte
  // time-out between arrivals.  False on time-out, stop or disconnect.
  bool need(Conn& c, size_t n) {
    while (c.in.size() < n) {
      size_t before = c.in.size();
      auto deadline = Clock::now() + std::chrono::milliseconds(interByteMs());
      while (c.in.size() == before) {
        if (!readMore(c, msUntil(deadline))) return false;
        if (c.in.size() == before && Clock::now() >= deadline) return false;
      }
    }
    return true;
  }

  int interByteMs() {
    std::lock_guard lk(m);
    return cfg.interByteTimeoutMs;
  }

  // Whether the pty's other end has set the line to the register's own rate
  // (Config::ptySpeed).  The master reports the settings of the slave.
  bool lineRateMatches(int fd) {
    unsigned want;
    {
      std::lock_guard lk(m);
      want = cfg.ptySpeed;
    }
    if (want == 0) return true;
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    return ::cfgetospeed(&tio) == speedConstant(want);
  }

  static speed_t speedConstant(unsigned baud) {
    switch (baud) {
      case 1200: return B1200;
      case 2400: return B2400;
      case 4800: return B4800;
      case 9600: return B9600;
      case 19200: return B19200;
      case 38400: return B38400;
      case 57600: return B57600;
      case 115200: return B115200;
      case 230400: return B230400;
      default: return B0;  // no such rate: nothing matches
    }
  }

  unsigned lineBaud() {
    std::lock_guard lk(m);
    return cfg.lineBaud;
  }

  // Writes all bytes (waiting for room up to 2 s in total).
  // With line emulation each byte goes out once it has crossed the line.
  bool writeAll(Conn& c, const uint8_t* data, size_t n) {
    c.line.setBaud(lineBaud());
    c.line.beginSend(n);
    auto deadline = Clock::now() + std::chrono::seconds(2) + c.line.wireTime(n);
    size_t done = 0;
    while (done < n) {
      if (stopping || c.closed) return false;
      size_t chunk = c.line.dueFrom(done);
      if (chunk == 0) {
        if (!LinePacing::sleepUntil(c.line.dueAt(done), wake[0])) return false;
        continue;
      }
      ssize_t w = c.tcp ? ::send(c.fd, data + done, chunk, MSG_NOSIGNAL) : ::write(c.fd, data + done, chunk);
      if (w > 0) {
        std::lock_guard lk(m);
        sentBytes.insert(sentBytes.end(), data + done, data + done + w);
        done += static_cast<size_t>(w);
        continue;
      }
      if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        if (Clock::now() >= deadline) return false;
        pollfd p[2] = {{c.fd, POLLOUT, 0}, {wake[0], POLLIN, 0}};
        ::poll(p, 2, 20);
        continue;
      }
      if (c.tcp) c.closed = true;
      return false;
    }
    return true;
  }
  // One write attempt without waiting for room; false when nothing went out.
  bool writeNow(Conn& c, const uint8_t* data, size_t n) {
    c.line.setBaud(lineBaud());
    c.line.beginSend(n);
    if (c.line.enabled() && n > 0 && !LinePacing::sleepUntil(c.line.dueAt(n - 1), wake[0])) return false;
    ssize_t w = c.tcp ? ::send(c.fd, data, n, MSG_NOSIGNAL) : ::write(c.fd, data, n);
    if (w <= 0) return false;
    std::lock_guard lk(m);
    sentBytes.insert(sentBytes.end(), data, data + w);
    return true;
  }
  bool writeAll(Conn& c, const std::vector<uint8_t>& v) { return writeAll(c, v.data(), v.size()); }
  bool writeByte(Conn& c, uint8_t b) { return writeAll(c, &b, 1); }

  Faults currentFaults() {
    std::lock_guard lk(m);
    return faults;
  }

  // Takes the input apart unit by unit.  An unfinished frame or envelope
  // waits for each further byte up to the inter-byte time-out; when that
  // runs out, what arrived is logged as stray bytes.
  void serve(Conn& c) {
    while (!stopping && !c.closed) {
      if (c.in.empty()) {
        if (!readMore(c, -1)) return;
        continue;
      }
      InputUnit u = nextInputUnit(c.in, c.tcp, false);
      if (u.kind == InputKind::NeedMore) {
        if (need(c, c.in.size() + 1)) continue;
        u = nextInputUnit(c.in, c.tcp, true);
      }
      std::vector<uint8_t> bytes(c.in.begin(), c.in.begin() + static_cast<long>(u.length));
      c.in.erase(c.in.begin(), c.in.begin() + static_cast<long>(u.length));
      switch (u.kind) {
        case InputKind::Enq:
          logEvent({WireEvent::Enq, std::move(bytes), false, {}});
          if (!currentFaults().silent && !c.mute) writeByte(c, kAck);
          break;
        case InputKind::Can: logEvent({WireEvent::Can, std::move(bytes), false, {}}); break;
        case InputKind::Frame: handleFrame(c, bytes, false, {}); break;
        case InputKind::Envelope:
          if (std::optional<Envelope> e = unwrapEnvelope(bytes)) {
            handleFrame(c, e->frame, true, std::move(bytes), e->xorOk);
            break;
          }
          [[fallthrough]];
        case InputKind::NeedMore:
        case InputKind::Garbage: logEvent({WireEvent::Raw, std::move(bytes), false, {}}); break;
      }
    }
  }

  void dropPartial(Conn& c, size_t n) {
    if (n == 0) return;
    std::vector<uint8_t> raw(c.in.begin(), c.in.begin() + static_cast<long>(n));
    c.in.erase(c.in.begin(), c.in.begin() + static_cast<long>(n));
    logEvent({WireEvent::Raw, std::move(raw), false, {}});
  }

  void handleFrame(Conn& c, const std::vector<uint8_t>& frame, bool viaEnv, std::vector<uint8_t> env,
                   bool envOk = true) {
    c.mute = false;
    if (restartsNow(frame, viaEnv, env)) return restart(c);
    Request req;
    Outcome out;
    Faults f;
    uint64_t reqSeq;
    {
      std::lock_guard lk(m);
      f = faults;
      ParsedRequest p = parseRequest(frame, utf8ToCp866(model.password()));
      req.password = p.password;
      req.packetId = p.packetId;
      req.code = p.code;
      req.bodyUtf8 = cp866ToUtf8(p.body866);
      for (auto& x : p.fields866) req.fieldsUtf8.push_back(cp866ToUtf8(x));
      req.checksumOk = p.checksumOk && envOk;
      req.passwordOk = p.passwordOk;
      req.viaTcpEnvelope = viaEnv;
      events.push_back({WireEvent::Frame, frame, viaEnv, std::move(env)});

      if (!p.wellFormed || !req.checksumOk) {
        out.result = 0x07;  // checksum error: nothing else of the frame is trusted
      } else if (!p.passwordOk) {
        out.result = 0x06;
      } else if (!p.codeIsHex) {
        out.result = 0x02;
      } else if (!cfg.dieAtCommand.empty() && p.code == cfg.dieAtCommand && !cfg.dieAfterCommand) {
        std::_Exit(3);
      } else if (auto once = findForced(faults.forcedOnce, p.code, req.fieldsUtf8); once != faults.forcedOnce.end()) {
        out.result = static_cast<uint8_t>(once->second.result);
        out.fields = once->second.fieldsUtf8;
        faults.forcedOnce.erase(once);
      } else if (auto it = findForced(f.forced, p.code, req.fieldsUtf8); it != f.forced.end()) {
        out.result = static_cast<uint8_t>(it->second.result);
        out.fields = it->second.fieldsUtf8;
      } else {
        model.setTruncatedMemBlock(f.truncatedMemBlock);
        model.setLowerCaseMemHex(f.lowerCaseMemHex);
        out = model.execute(p.code, req.fieldsUtf8);
        if (out.kind == Outcome::LongReport) reportAcks = 0;
        saveStateIfChanged();
        if (!cfg.dieAtCommand.empty() && p.code == cfg.dieAtCommand) std::_Exit(3);
      }
      if (out.kind == Outcome::LogoHeader && f.logoHeaderResult >= 0) {
        out = Outcome{};
        out.result = static_cast<uint8_t>(f.logoHeaderResult);
      }
      req.resultCode = out.result;
      requests.push_back(req);
      reqSeq = requestsPushed++;
      trimLogs();
      cv.notify_all();
    }

    if (out.kind == Outcome::LongReport) {
      bool cancelled = runReport(c, out.reportMs);
      std::lock_guard lk(m);
      out = model.finishReport(cancelled);
      saveStateIfChanged();
      setResult(reqSeq, out.result);
    } else if (out.kind == Outcome::LogoHeader) {
      if (f.silent) return;
      if (!writeByte(c, kAck)) return;
      std::vector<uint8_t> stream;
      bool complete = true;
      while (stream.size() < out.logoLength) {
        if (!need(c, 1)) {
          complete = false;
          break;
        }
        size_t take = std::min(c.in.size(), out.logoLength - stream.size());
        stream.insert(stream.end(), c.in.begin(), c.in.begin() + static_cast<long>(take));
        c.in.erase(c.in.begin(), c.in.begin() + static_cast<long>(take));
      }
      logEvent({WireEvent::Raw, stream, false, {}});
      std::lock_guard lk(m);
      out = model.finishLogo(stream, complete);
      saveStateIfChanged();
      setResult(reqSeq, out.result);
    }
    std::vector<std::string> fields866;
    for (auto& x : out.fields) fields866.push_back(utf8ToCp866(x));
    if (cfg.onRequest) {
      req.resultCode = out.result;
      cfg.onRequest(req);
    }
    sendReply(c, buildReply(req.packetId, out.result, fields866, {f.lowerCaseChecksum, f.badChecksum}));
  }

  // Counts the frame against Faults::restartAtFrame; true when this is the
  // frame the register restarts on (the frame is logged as received, and
  // the fault is used up).
  bool restartsNow(const std::vector<uint8_t>& frame, bool viaEnv, std::vector<uint8_t>& env) {
    std::lock_guard lk(m);
    ++framesSinceFaults;
    if (faults.restartAtFrame <= 0 || framesSinceFaults != faults.restartAtFrame) return false;
    faults.restartAtFrame = 0;
    events.push_back({WireEvent::Frame, frame, viaEnv, std::move(env)});
    trimLogs();
    cv.notify_all();
    return true;
  }

  // A restart: whatever arrives while the register boots is lost and
  // nothing is answered; then the model comes back as after power-on, the
  // way it comes back from its state file.
  void restart(Conn& c) {
    int bootMs;
    {
      std::lock_guard lk(m);
      bootMs = faults.restartBootMs;
      model.deserialize(model.serialize());
    }
    auto end = Clock::now() + std::chrono::milliseconds(std::max(bootMs, 0));
    while (!stopping && !c.closed && Clock::now() < end) {
      c.in.clear();
      if (!readMore(c, msUntil(end))) break;
    }
    if (!c.in.empty()) dropPartial(c, c.in.size());
    std::lock_guard lk(m);
    ++restartsBooted;
    cv.notify_all();
  }

  // Records the final result of a request that is still in the log.  Called
  // with m held.
  void setResult(uint64_t seq, int result) {
    if (seq >= requestsDropped && seq - requestsDropped < requests.size())
      requests[seq - requestsDropped].resultCode = result;
  }

  // Prints a long report: ACK every interval until the time is up or a CAN
  // arrives.  ENQ during the report is answered with ACK.  Other bytes stay
  // queued.  Returns true when cancelled.
  bool runReport(Conn& c, int ms) {
    int ackEvery;
    {
      std::lock_guard lk(m);
      ackEvery = cfg.reportAckIntervalMs > 0 ? cfg.reportAckIntervalMs : 1000;
    }
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    auto nextAck = Clock::now() + std::chrono::milliseconds(ackEvery);
    std::deque<uint8_t> keep;
    bool cancelled = false;
    while (!stopping && !c.closed && Clock::now() < end) {
      if (!readMore(c, std::min(msUntil(end), msUntil(nextAck)))) break;
      while (!c.in.empty()) {
        uint8_t x = c.in.front();
        c.in.pop_front();
        if (x == kCan) {
          logEvent({WireEvent::Can, {kCan}, false, {}});
          cancelled = true;
        } else if (x == kEnq) {
          logEvent({WireEvent::Enq, {kEnq}, false, {}});
          if (!currentFaults().silent) sendReportAck(c);
        } else {
          keep.push_back(x);
        }
      }
      if (cancelled) break;
      if (Clock::now() >= nextAck) {
        if (!currentFaults().silent) sendReportAck(c);
        nextAck += std::chrono::milliseconds(ackEvery);
      }
    }
    c.in.insert(c.in.begin(), keep.begin(), keep.end());
    return cancelled;
  }

  void sendReportAck(Conn& c) {
    if (!writeByte(c, kAck)) return;
    std::lock_guard lk(m);
    ++reportAcks;
    cv.notify_all();
  }

  // Waits ms while the register is busy: an ENQ is answered with ACK at once
  // (the register is alive), a CAN is logged; other bytes stay queued.
  bool busyWait(Conn& c, int ms) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    size_t seen = 0;
    while (!stopping && !c.closed) {
      for (size_t i = seen; i < c.in.size();) {
        uint8_t x = c.in[i];
        if (x == kEnq || x == kCan) {
          c.in.erase(c.in.begin() + static_cast<long>(i));
          logEvent({x == kEnq ? WireEvent::Enq : WireEvent::Can, {x}, false, {}});
          if (x == kEnq && !currentFaults().silent) writeByte(c, kAck);
        } else {
          ++i;
        }
      }
      seen = c.in.size();
      if (Clock::now() >= end) return true;
      if (!readMore(c, msUntil(end))) return false;
    }
    return false;
  }

  void sendReply(Conn& c, const std::vector<uint8_t>& reply) {
    Faults f = currentFaults();
    if (f.silent) return;
    if (f.closeConnection && c.tcp) {
      ::shutdown(c.fd, SHUT_RDWR);
      c.closed = true;
      return;
    }
    for (int i = 0; i < f.busyAcks; ++i) {
      if (!writeByte(c, kAck)) return;
      if (!busyWait(c, f.ackIntervalMs)) return;
    }
    if (f.replyDelayMs > 0 && !busyWait(c, f.replyDelayMs)) return;
    if (f.ackStormMs > 0) {
      const int every = std::max(f.ackIntervalMs, 1);
      const auto start = Clock::now();
      const auto end = start + std::chrono::milliseconds(f.ackStormMs);
      for (auto at = start; at < end; at += std::chrono::milliseconds(every)) {
        if (!writeByte(c, kAck)) return;
        if (!busyWait(c, msUntil(std::min(at + std::chrono::milliseconds(every), end)))) return;
      }
    }
    if (f.garbageBeforeStx) {
      static const uint8_t junk[] = {0x7F, 'x', 0x00, 0x15};
      if (!writeAll(c, junk, sizeof junk)) return;
    }
    if (f.silentMidReply) {
      writeAll(c, reply.data(), reply.size() / 2);
      c.mute = true;
      return;
    }
    if (f.disconnectMidReply) {
      writeAll(c, reply.data(), reply.size() / 2);
      if (c.tcp) {
        ::shutdown(c.fd, SHUT_RDWR);
        c.closed = true;
      } else {
        c.mute = true;
      }
      return;
    }
    if (f.byteGapMs > 0) {
      for (uint8_t b : reply)
        if (!pause(f.byteGapMs) || !writeByte(c, b)) return;
      std::lock_guard lk(m);
      ++replies;
      cv.notify_all();
      return;
    }
    if (f.endlessReply) {
      // The head of the reply, then filler without ETX until input arrives.
      if (!writeAll(c, reply.data(), 6)) return;
      const uint8_t filler[16] = {'0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0'};
      while (!stopping && !c.closed && c.in.empty()) {
        if (!readMore(c, 5)) return;
        if (!c.in.empty()) break;
        if (!writeNow(c, filler, sizeof filler)) pause(20);
      }
      return;
    }
    if (writeAll(c, reply) && (!f.duplicateReply || writeAll(c, reply))) {
      std::lock_guard lk(m);
      ++replies;
      cv.notify_all();
    }
  }

  void ptyLoop() {
    Conn c{ptyMaster, false, false, {}, false};
    serve(c);
  }

  void tcpLoop() {
    while (!stopping) {
      pollfd p[2] = {{listenFd, POLLIN, 0}, {wake[0], POLLIN, 0}};
      int r = ::poll(p, 2, -1);
      if (stopping) return;
      if (r <= 0 || !(p[0].revents & POLLIN)) continue;
      int fd = ::accept(listenFd, nullptr, nullptr);
      if (fd < 0) continue;
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      ::fcntl(fd, F_SETFL, O_NONBLOCK);
      Conn c{fd, true, false, {}, false};
      serve(c);
      ::close(fd);
    }
  }
};

// ---- public API -----------------------------------------------------------

Simulator::Simulator(Config cfg) : impl_(std::make_unique<Impl>(std::move(cfg))) {}
Simulator::~Simulator() { impl_->stopAll(); }

std::string Simulator::openPty(const std::string& linkPath) {
  Impl& d = *impl_;
  if (d.ptyMaster >= 0) throw std::runtime_error("pty already open");
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0) throw std::runtime_error(std::string("posix_openpt: ") + std::strerror(errno));
  char name[128];
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
    ::close(master);
    throw std::runtime_error("pty setup failed");
  }
  // Our own slave descriptor keeps the line open while the driver closes and
  // reopens it, so the master never sees a hang-up.
  int slave = ::open(name, O_RDWR | O_NOCTTY);
  if (slave < 0) {
    ::close(master);
    throw std::runtime_error(std::string("open slave: ") + std::strerror(errno));
  }
  termios t{};
  ::tcgetattr(slave, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(slave, TCSANOW, &t);
  ::fcntl(master, F_SETFL, O_NONBLOCK);
  if (!linkPath.empty()) {
    struct stat sb {};
    if (::lstat(linkPath.c_str(), &sb) == 0) {
      if (!S_ISLNK(sb.st_mode)) {
        ::close(master);
        ::close(slave);
        throw std::runtime_error("link path exists and is not a symbolic link: " + linkPath);
      }
      ::unlink(linkPath.c_str());
    }
    if (::symlink(name, linkPath.c_str()) != 0) {
      ::close(master);
      ::close(slave);
      throw std::runtime_error(std::string("symlink: ") + std::strerror(errno));
    }
    d.ptyLink = linkPath;
  }
  d.ptyMaster = master;
  d.ptySlave = slave;
  d.ptySlavePath = name;
  d.ptyThread = std::thread([&d] { d.ptyLoop(); });
  return name;
}

uint16_t Simulator::listenTcp(uint16_t port) {
  Impl& d = *impl_;
  if (d.listenFd >= 0) throw std::runtime_error("already listening");
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 4) != 0) {
    std::string err = std::strerror(errno);
    ::close(fd);
    throw std::runtime_error("bind/listen: " + err);
  }
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  d.listenFd = fd;
  d.boundPort = ntohs(a.sin_port);
  d.tcpThread = std::thread([&d] { d.tcpLoop(); });
  return d.boundPort;
}

void Simulator::stop() { impl_->stopAll(); }
std::string Simulator::ptyPath() const { return impl_->ptySlavePath; }
uint16_t Simulator::tcpPort() const { return impl_->boundPort; }

Faults Simulator::faults() const {
  std::lock_guard lk(impl_->m);
  return impl_->faults;
}
void Simulator::setFaults(const Faults& f) {
  std::lock_guard lk(impl_->m);
  impl_->faults = f;
  impl_->framesSinceFaults = 0;
}

std::vector<WireEvent> Simulator::events() const {
  std::lock_guard lk(impl_->m);
  return impl_->events;
}
std::vector<Request> Simulator::requests() const {
  std::lock_guard lk(impl_->m);
  return impl_->requests;
}
std::vector<uint8_t> Simulator::sent() const {
  std::lock_guard lk(impl_->m);
  return impl_->sentBytes;
}
void Simulator::clearLog() {
  std::lock_guard lk(impl_->m);
  impl_->events.clear();
  impl_->requestsDropped += impl_->requests.size();
  impl_->requests.clear();
  impl_->sentBytes.clear();
  impl_->replies = 0;
}
bool Simulator::waitForEvents(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lk(impl_->m);
  return impl_->cv.wait_for(lk, timeout, [&] { return impl_->events.size() >= n; });
}
bool Simulator::waitForRequests(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lk(impl_->m);
  return impl_->cv.wait_for(lk, timeout, [&] { return impl_->requests.size() >= n; });
}
bool Simulator::waitForReplies(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lk(impl_->m);
  return impl_->cv.wait_for(lk, timeout, [&] { return impl_->replies >= n; });
}

bool Simulator::waitForReportAcks(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lk(impl_->m);
  return impl_->cv.wait_for(lk, timeout, [&] { return impl_->model.reportRunning() && impl_->reportAcks >= n; });
}
bool Simulator::waitForRestarts(size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lk(impl_->m);
  return impl_->cv.wait_for(lk, timeout, [&] { return impl_->restartsBooted >= n; });
}

#define SIM_LOCKED(stmt)          \
  do {                            \
    std::lock_guard lk(impl_->m); \
    stmt;                         \
    impl_->saveStateIfChanged();  \
  } while (0)

void Simulator::setVersion(uint16_t v) { SIM_LOCKED(impl_->model.setVersion(v)); }
void Simulator::setPassword(std::string p) { SIM_LOCKED(impl_->model.setPassword(std::move(p))); }
void Simulator::setStatus(uint8_t fatal, uint8_t status, uint8_t doc) {
  SIM_LOCKED(impl_->model.setStatus(fatal, status, doc));
}
void Simulator::setPrinterStatus(uint8_t p) { SIM_LOCKED(impl_->model.setPrinterStatus(p)); }
void Simulator::setReportDuration(int ms) { SIM_LOCKED(impl_->model.setReportDuration(ms)); }
void Simulator::setReportAckInterval(int ms) { SIM_LOCKED(impl_->cfg.reportAckIntervalMs = ms); }
void Simulator::setLineBaud(unsigned baud) { SIM_LOCKED(impl_->cfg.lineBaud = baud); }
void Simulator::setPtySpeed(unsigned baud) { SIM_LOCKED(impl_->cfg.ptySpeed = baud); }
void Simulator::setCancelResult(uint8_t code) { SIM_LOCKED(impl_->model.setCancelResult(code)); }
void Simulator::setDisplayAttached(bool on) { SIM_LOCKED(impl_->model.setDisplayAttached(on)); }
void Simulator::setNvrFault(bool on) { SIM_LOCKED(impl_->model.setNvrFault(on)); }
void Simulator::setFiscalModuleInstalled(bool on) { SIM_LOCKED(impl_->model.setFiscalModuleInstalled(on)); }
void Simulator::setTable(uint16_t t, uint16_t f, std::string v) {
  SIM_LOCKED(impl_->model.setTable(t, f, std::move(v)));
}
void Simulator::setClockOffset(int64_t s) { SIM_LOCKED(impl_->model.setClockOffset(s)); }
void Simulator::setReady() { SIM_LOCKED(impl_->model.setReady()); }
void Simulator::addFiscalHistory(int shifts) { SIM_LOCKED(impl_->model.addFiscalHistory(shifts)); }
void Simulator::setMemory(uint16_t area, uint32_t address, const std::vector<uint8_t>& bytes) {
  SIM_LOCKED(impl_->model.setMemory(area, address, bytes));
}
#undef SIM_LOCKED

std::string Simulator::table(uint16_t t, uint16_t f) const {
  std::lock_guard lk(impl_->m);
  return impl_->model.table(t, f);
}
RegisterState Simulator::state() const {
  std::lock_guard lk(impl_->m);
  return impl_->model.state();
}
std::vector<uint8_t> Simulator::memory(uint16_t area, uint32_t address, size_t count) const {
  std::lock_guard lk(impl_->m);
  return impl_->model.memory(area, address, count);
}
std::vector<uint8_t> Simulator::nvrImage() const {
  std::lock_guard lk(impl_->m);
  return impl_->model.nvrImage();
}
size_t Simulator::nvrLength(uint16_t version) { return RegisterModel::nvrLength(version); }
uint8_t Simulator::nvrChecksum(const std::vector<uint8_t>& image) { return RegisterModel::nvrChecksum(image); }
std::vector<uint8_t> Simulator::logo() const {
  std::lock_guard lk(impl_->m);
  return impl_->model.state().logo;
}

}  // namespace termina::sim
