// SPDX-License-Identifier: LGPL-2.1-or-later
#include "exchange.h"

#include "codepage.h"
#include "driver_state.h"
#include "errors.h"
#include "event.h"
#include "frame.h"
#include "termina1.h"
#include "trace.h"

#include <algorithm>

namespace termina::link {

namespace {

// The session's deadline for this call: 259 once it has passed.
void checkDeadline() {
  const DriverState& s = state();
  if (s.deadline && s.deadline->expired()) raiseCode(kDeadlinePassed);
}

// A read wait of the channel, cut short by the call's deadline.
int readWaitMs() {
  const DriverState& s = state();
  const int full = s.channel.fullWaitMs();
  if (!s.deadline) return full;
  auto left = s.deadline->remaining().count();
  return static_cast<int>(std::min<long long>(full, std::max<long long>(left, 1)));
}

// After a silent read wait: a wait that the deadline cut short ran into it
// (the last millisecond must not turn into a burst of ENQs), and any wait
// may have outlasted it.
void afterSilence(int waitedMs) {
  const DriverState& s = state();
  if (!s.deadline) return;
  if (waitedMs < s.channel.fullWaitMs()) raiseCode(kDeadlinePassed);
  checkDeadline();
}

// The pause after a busy register's ACK, no longer than the call has left.
void pauseAfterAck() {
  const DriverState& s = state();
  int ms = 100;
  if (s.deadline)
    ms = static_cast<int>(std::min<long long>(ms, std::max<long long>(s.deadline->remaining().count(), 0)));
  sys::sleepMs(static_cast<unsigned>(ms));
  checkDeadline();
}

// Patience counter of one reply wait: every silent read wait costs one
// step; an ACK starts the count again.
class Patience {
 public:
  explicit Patience(unsigned factor) : factor_(factor) {}
  void restart() { count_ = 0; }
  // Counts one step; throws 48 when the limit is passed.
  void step() {
    ++count_;
    DriverState& s = state();
    unsigned limit = s.patience ? s.patience : static_cast<unsigned>(TRMATMOUT);
    if (count_ > factor_ * limit) {
      // Silent through the whole patience: no reply is coming any more.
      s.channel.replyOwed = false;
      raiseCode(48);
    }
  }

 private:
  unsigned factor_;
  unsigned count_ = 0;
};

// Reads bytes into the collector until the reply is complete.  A silent
// read wait calls onSilence (which sends ENQ) and counts one patience step;
// an ACK restarts the count and pauses 100 ms.
template <class OnSilence>
void collect(ReplyCollector& reply, Patience& patience, OnSilence onSilence) {
  Channel& ch = state().channel;
  patience.step();
  for (;;) {
    checkDeadline();
    const int wait = readWaitMs();
    std::optional<uint8_t> b = ch.readByte(wait);
    if (!b) {
      trace::emit(trace::Dir::Note, trace::Kind::Silence, "silence, collected so far", reply.buffer());
      afterSilence(wait);
      onSilence();
      patience.step();
      continue;
    }
    switch (reply.feed(*b)) {
      case ReplyCollector::Step::Ack:
        trace::emit(trace::Dir::In, trace::Kind::Ack, "ACK", std::string_view("\x06", 1));
        patience.restart();
        pauseAfterAck();
        break;
      case ReplyCollector::Step::More: break;
      case ReplyCollector::Step::Complete:
        ch.replyOwed = false;
        trace::emit(trace::Dir::In, trace::Kind::Frame, "reply", reply.buffer(), reply.buffer());
        return;
      case ReplyCollector::Step::Overflow:
        trace::emit(trace::Dir::In, trace::Kind::Raw, "reply too long, dropped", reply.buffer());
        raiseCode(48);
    }
  }
}

void requireChecksum(const std::string& reply) {
  if (!replyChecksumOk(reply)) raiseCode(7);
}

// Before a request: a reply still owed to an earlier request is waited out
// and thrown away, so that it can never be taken for the answer to the
// request that follows; over TCP whatever else has already arrived is
// thrown away as the serial line's purge does.
//
// The owed reply is awaited silently (no ENQ goes out for it) for as long as
// the abandoned call would have waited in all: the session's patience in
// read waits of the channel, counted from that call's request, and again
// from every ACK of a register still busy with it.  A call that comes later than
// that waits for nothing.  The call's own deadline holds throughout.
void clearLine() {
  DriverState& s = state();
  Channel& ch = s.channel;
  if (ch.replyOwed) {
    using Clock = std::chrono::steady_clock;
    const unsigned limit = s.patience ? s.patience : static_cast<unsigned>(TRMATMOUT);
    const auto budget = std::chrono::milliseconds(static_cast<long long>(limit) * ch.fullWaitMs());
    auto until = ch.owedSince + budget;
    ReplyCollector late;
    bool announced = false;
    for (;;) {
      checkDeadline();
      const auto now = Clock::now();
      if (now >= until) break;
      if (!announced) {
        trace::emit(trace::Dir::Note, trace::Kind::Raw, "waiting out the reply to an earlier request", {});
        announced = true;
      }
      long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count() + 1;
      if (s.deadline) ms = std::min<long long>(ms, std::max<long long>(s.deadline->remaining().count(), 1));
      const int wait = static_cast<int>(std::min<long long>(ms, Channel::kSerialTimeoutMs));
      std::optional<uint8_t> b = ch.readByte(wait);
      if (!b) {
        // A read that gave up well before its time found the link closed or
        // broken: nothing more can come on it.
        if (Clock::now() - now < std::chrono::milliseconds(wait / 2)) break;
        continue;
      }
      const ReplyCollector::Step step = late.feed(*b);
      if (step == ReplyCollector::Step::Ack) {
        trace::emit(trace::Dir::In, trace::Kind::Ack, "ACK", std::string_view("\x06", 1));
        until = Clock::now() + budget;
      } else if (step == ReplyCollector::Step::Complete) {
        trace::emit(trace::Dir::In, trace::Kind::Frame, "reply", late.buffer(), late.buffer());
        break;
      } else if (step == ReplyCollector::Step::Overflow) {
        break;
      }
    }
    if (announced)
      trace::emit(trace::Dir::Note, trace::Kind::Raw,
                  late.complete() ? "the late reply is thrown away" : "no late reply came", {});
    ch.replyOwed = false;
  }
  if (ch.tcpMode()) {
    const std::string stale = ch.takeArrived();
    if (!stale.empty()) trace::emit(trace::Dir::In, trace::Kind::Raw, "thrown away before the request", stale);
  }
}

}  // namespace

std::string BuildFrame(std::string_view body) {
  DriverState& s = state();
  return buildFrame(body, s.password, s.packetId);
}

void SendFrame(std::string_view frame) {
  DriverState& s = state();
  Channel& ch = s.channel;
  clearLine();
  if (ch.tcpMode()) {
    auto env = wrapEnvelope(frame);
    if (!env) {
      trace::emit(trace::Dir::Note, trace::Kind::Raw, "frame too long for the TCP envelope", frame);
      raiseCode(16);
    }
    trace::emit(trace::Dir::Out, trace::Kind::Frame, "frame (TCP envelope)", *env, frame);
    if (ch.write(reinterpret_cast<const uint8_t*>(env->data()), env->size(), false) != env->size()) raiseCode(16);
    ch.owe();
    return;
  }
  trace::emit(trace::Dir::Out, trace::Kind::Frame, "frame", frame, frame);
  if (ch.write(reinterpret_cast<const uint8_t*>(frame.data()), frame.size(), true) != frame.size()) raiseCode(16);
  ch.owe();
  s.packetId = nextPacketId(s.packetId);
}

void WriteRawBytes(const void* data, std::size_t count, bool isFrame) {
  Channel& ch = state().channel;
  // A request frame or the presence probe expects an answer of its own;
  // CAN and the pieces of a stream do not, and CAN may come from another
  // thread while a reply is being read.
  if (isFrame || (count == 1 && *static_cast<const uint8_t*>(data) == ENQ)) clearLine();
  if (isFrame) {
    std::string_view frame(static_cast<const char*>(data), count);
    trace::emit(trace::Dir::Out, trace::Kind::Frame, "frame", frame, frame);
  } else {
    std::string_view bytes(static_cast<const char*>(data), count);
    const char only = count == 1 ? bytes[0] : 0;
    const trace::Kind kind = only == static_cast<char>(CAN)   ? trace::Kind::Can
                             : only == static_cast<char>(ENQ) ? trace::Kind::Enq
                                                              : trace::Kind::Raw;
    trace::emit(trace::Dir::Out, kind, "raw", bytes);
  }
  if (ch.write(static_cast<const uint8_t*>(data), count, true) != count) raiseCode(16);
}

uint8_t ReadByte() {
  checkDeadline();
  const int wait = readWaitMs();
  std::optional<uint8_t> b = state().channel.readByte(wait);
  if (!b) {
    trace::emit(trace::Dir::Note, trace::Kind::Silence, "no byte within the read time-out", {});
    afterSilence(wait);
    raiseCode(17);
  }
  trace::emit(trace::Dir::In, *b == ACK ? trace::Kind::Ack : trace::Kind::Raw, "byte",
              std::string_view(reinterpret_cast<const char*>(&*b), 1));
  return *b;
}

void SendEnq() {
  DriverState& s = state();
  if (s.deadline) {
    if (!s.longReply.waitFor(s.deadline->remaining())) raiseCode(kDeadlinePassed);
  } else {
    s.longReply.wait();
  }
  trace::emit(trace::Dir::Out, trace::Kind::Enq, "ENQ", std::string_view("\x05", 1));
  const uint8_t enq = ENQ;
  if (s.channel.write(&enq, 1, false) != 1) raiseCode(16);
}

std::string ReadReply(bool keepWhole, bool toAnsi) { return ReadReplyFrom(std::nullopt, keepWhole, toAnsi); }

std::string ReadReplyFrom(std::optional<uint8_t> first, bool keepWhole, bool toAnsi) {
  ReplyCollector reply;
  Patience patience(1);
  if (first) reply.feed(*first);
  collect(reply, patience, [] { SendEnq(); });
  requireChecksum(reply.buffer());
  std::string text = keepWhole ? reply.buffer() : stripReply(reply.buffer());
  return toAnsi ? cp::oemToAnsi(text) : text;
}

uint16_t ReadLongReply() {
  DriverState& s = state();
  ReplyCollector reply;
  Patience patience(2);
  // The event stays reset while the reply is being collected and is
  // signalled again on every way out, so a waiting ENQ is never stranded.
  struct Signal {
    sys::ManualResetEvent& e;
    ~Signal() { e.set(); }
  } signalOnExit{s.longReply};
  s.longReply.reset();
  collect(reply, patience, [&s] {
    s.longReply.set();
    SendEnq();
    s.longReply.reset();
  });
  s.longReply.set();
  requireChecksum(reply.buffer());
  auto rt = splitResult(stripReply(reply.buffer()));
  if (!rt) raiseCode(7);
  return rt->code;
}

uint16_t Exchange(std::string& body) {
  SendFrame(BuildFrame(body));
  std::string text = ReadReply(false, true);
  auto rt = splitResult(text);
  if (!rt) raiseCode(7);
  body = std::move(rt->fields);
  return rt->code;
}

uint16_t ExchangeLong(std::string_view body) {
  SendFrame(BuildFrame(body));
  return ReadLongReply();
}

std::string NextField(std::string& text) { return nextField(text); }

}  // namespace termina::link
