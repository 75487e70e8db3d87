// SPDX-License-Identifier: GPL-3.0-or-later
// trma's fiscal-memory reports and EEJ operations (rows in commands.cpp).
// A long report shows that it waits, with the register's ACKs counted, and
// Ctrl+C sends one CAN, as "ПРЕРВАТЬ" does in the program.
#pragma once

#include <string>
#include <vector>

#include "cli.h"

namespace termina::cli {

int cmdFiscalReportShifts(Context& ctx, const std::vector<std::string>& args);
int cmdFiscalReportDates(Context& ctx, const std::vector<std::string>& args);
int cmdEejReportShifts(Context& ctx, const std::vector<std::string>& args);
int cmdEejReportDates(Context& ctx, const std::vector<std::string>& args);
// `fiscal-report` and `eej-report` without shifts or dates.
int cmdReportKindMissing(Context& ctx, const std::vector<std::string>& args);
int cmdEejJournal(Context& ctx, const std::vector<std::string>& args);
int cmdEejDocument(Context& ctx, const std::vector<std::string>& args);
int cmdEejShiftReport(Context& ctx, const std::vector<std::string>& args);
int cmdEejActivationReport(Context& ctx, const std::vector<std::string>& args);
int cmdEejActivate(Context& ctx, const std::vector<std::string>& args);
int cmdEejCloseArchive(Context& ctx, const std::vector<std::string>& args);

}  // namespace termina::cli
