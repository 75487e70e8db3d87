#include "exchange.h"

#include "codepage.h"
#include "driver_state.h"
#include "errors.h"
#include "event.h"
#include "frame.h"
#include "termina1.h"
#include "trace.h"

namespace termina::link {

namespace {

void traceBytes(trace::Dir dir, std::string_view what, std::string_view data) {
  if (trace::enabled()) trace::bytes(dir, what, data);
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
    if (count_ > factor_ * static_cast<unsigned>(TRMATMOUT)) raiseCode(48);
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
    std::optional<uint8_t> b = ch.readByte();
    if (!b) {
      traceBytes(trace::Dir::Note, "silence, collected so far", reply.buffer());
      onSilence();
      patience.step();
      continue;
    }
    switch (reply.feed(*b)) {
      case ReplyCollector::Step::Ack:
        traceBytes(trace::Dir::In, "ACK", std::string_view("\x06", 1));
        patience.restart();
        sys::sleepMs(100);
        break;
      case ReplyCollector::Step::More: break;
      case ReplyCollector::Step::Complete: traceBytes(trace::Dir::In, "reply", reply.buffer()); return;
      case ReplyCollector::Step::Overflow:
        traceBytes(trace::Dir::In, "reply too long, dropped", reply.buffer());
        raiseCode(48);
    }
  }
}

void requireChecksum(const std::string& reply) {
  if (!replyChecksumOk(reply)) raiseCode(7);
}

}  // namespace

std::string BuildFrame(std::string_view body) {
  DriverState& s = state();
  return buildFrame(body, s.password, s.packetId);
}

void SendFrame(std::string_view frame) {
  DriverState& s = state();
  Channel& ch = s.channel;
  if (ch.tcpMode()) {
    auto env = wrapEnvelope(frame);
    if (!env) {
      traceBytes(trace::Dir::Note, "frame too long for the TCP envelope", frame);
      raiseCode(16);
    }
    traceBytes(trace::Dir::Out, "frame (TCP envelope)", *env);
    if (ch.write(reinterpret_cast<const uint8_t*>(env->data()), env->size(), false) != env->size()) raiseCode(16);
    return;
  }
  traceBytes(trace::Dir::Out, "frame", frame);
  if (ch.write(reinterpret_cast<const uint8_t*>(frame.data()), frame.size(), true) != frame.size()) raiseCode(16);
  s.packetId = nextPacketId(s.packetId);
}

void WriteRawBytes(const void* data, std::size_t count) {
  Channel& ch = state().channel;
  if (trace::enabled()) {
    std::string_view bytes(static_cast<const char*>(data), count);
    const char* what = count == 1 && bytes[0] == static_cast<char>(CAN)   ? "CAN"
                       : count == 1 && bytes[0] == static_cast<char>(ENQ) ? "ENQ"
                                                                          : "raw";
    trace::bytes(trace::Dir::Out, what, bytes);
  }
  if (ch.write(static_cast<const uint8_t*>(data), count, true) != count) raiseCode(16);
}

uint8_t ReadByte() {
  std::optional<uint8_t> b = state().channel.readByte();
  if (!b) {
    traceBytes(trace::Dir::Note, "no byte within the read time-out", {});
    raiseCode(17);
  }
  traceBytes(trace::Dir::In, "byte", std::string_view(reinterpret_cast<const char*>(&*b), 1));
  return *b;
}

void SendEnq() {
  DriverState& s = state();
  s.longReply.wait();
  traceBytes(trace::Dir::Out, "ENQ", std::string_view("\x05", 1));
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
