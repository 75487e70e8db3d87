// SPDX-License-Identifier: GPL-3.0-or-later
// trma's view of the driver's exchange: --trace has the driver write its
// trace lines to standard error, and the ACKs the register sends are
// counted, through the trace callback of the TRMA_ functions' connection,
// for the wait of a long report.
#pragma once

namespace termina::cli::exchange_trace {

// The driver's trace on standard error from the next port check or
// session open on (--trace); it replaces a trace file of TERMINA_TRACE.
void toStandardError();

// ACKs received from the register since the program started.
int acksReceived();

}  // namespace termina::cli::exchange_trace
