// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange_trace.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "termina.h"

namespace termina::cli::exchange_trace {
namespace {

std::atomic<int> g_acks{0};

void onRecord(void*, const termina_trace_record* r) {
  if (r->direction == TERMINA_TRACE_IN && r->kind == TERMINA_TRACE_ACK) ++g_acks;
}

}  // namespace

void toStandardError() { ::setenv("TERMINA_TRACE", "-", 1); }

int acksReceived() {
  // Installed at the first question, which comes before the exchange whose
  // ACKs are to be counted.
  static std::once_flag once;
  std::call_once(once, [] { termina_set_trma_trace(onRecord, nullptr); });
  return g_acks;
}

}  // namespace termina::cli::exchange_trace
