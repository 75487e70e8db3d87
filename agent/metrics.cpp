// SPDX-License-Identifier: GPL-3.0-or-later
#include "metrics.h"

#include <array>
#include <cstdio>
#include <sstream>

namespace termina::agent {

namespace {

constexpr std::array<double, 11> kBounds{0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30, 60, 120};

constexpr std::array<const char*, 8> kFatalBits{"nvr_checksum", "config_crc",    "spi", "fm_crc",
                                                "fm_write",     "not_installed", "eej", "eej_mismatch"};
// Printer bits 1..5; bits 0, 6 and 7 have no meaning.
constexpr std::array<const char*, 5> kPrinterBits{"no_paper", "cover_open", "head_overheat", "cutter", "voltage"};

// A label value with \, " and line feeds escaped.
std::string label(const std::string& v) {
  std::string o;
  for (char c : v) {
    if (c == '\\' || c == '"')
      o += {'\\', c};
    else if (c == '\n')
      o += "\\n";
    else
      o += c;
  }
  return o;
}

std::string num(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%.17g", v);
  return b;
}

}  // namespace

Metrics::Metrics(const std::vector<std::string>& registers) {
  for (const auto& r : registers) regs_[r].buckets.assign(kBounds.size(), 0);
}

void Metrics::setUp(const std::string& reg, bool up) {
  std::lock_guard g(lock_);
  regs_[reg].up = up;
}

void Metrics::setStatus(const std::string& reg, uint8_t fatal, uint8_t status, std::optional<uint8_t> printer) {
  std::lock_guard g(lock_);
  Reg& r = regs_[reg];
  r.known = true;
  r.fatal = fatal;
  r.status = status;
  r.printer = printer;
}

void Metrics::goodExchange(const std::string& reg) {
  std::lock_guard g(lock_);
  regs_[reg].lastGood = std::chrono::steady_clock::now();
}

void Metrics::linkError(const std::string& reg, const std::string& codeName) {
  std::lock_guard g(lock_);
  ++linkErrors_[{reg, codeName}];
}

void Metrics::jobEnded(const std::string& reg, const std::string& kind, const std::string& state, double seconds) {
  std::lock_guard g(lock_);
  ++jobs_[{reg, kind, state}];
  Reg& r = regs_[reg];
  if (r.buckets.empty()) r.buckets.assign(kBounds.size(), 0);
  for (std::size_t i = 0; i < kBounds.size(); ++i)
    if (seconds <= kBounds[i]) ++r.buckets[i];
  ++r.count;
  r.sum += seconds;
}

void Metrics::addJobs(const std::string& reg, const std::string& kind, const std::string& state, int64_t n) {
  std::lock_guard g(lock_);
  jobs_[{reg, kind, state}] += n;
}

std::string Metrics::render() {
  std::lock_guard g(lock_);
  std::ostringstream o;
  const auto now = std::chrono::steady_clock::now();
  o << "# HELP termina_register_up 1 while the register answers.\n# TYPE termina_register_up gauge\n";
  for (auto& [n, r] : regs_) o << "termina_register_up{register=\"" << label(n) << "\"} " << (r.up ? 1 : 0) << "\n";
  o << "# HELP termina_register_shift_open 1 while the register's shift is open.\n"
       "# TYPE termina_register_shift_open gauge\n";
  for (auto& [n, r] : regs_)
    if (r.known)
      o << "termina_register_shift_open{register=\"" << label(n) << "\"} " << ((r.status & 0x04) ? 1 : 0) << "\n";
  o << "# HELP termina_register_shift_over_24h 1 while the open shift is older than 24 hours.\n"
       "# TYPE termina_register_shift_over_24h gauge\n";
  for (auto& [n, r] : regs_)
    if (r.known)
      o << "termina_register_shift_over_24h{register=\"" << label(n) << "\"} " << ((r.status & 0x08) ? 1 : 0) << "\n";
  o << "# HELP termina_register_fatal A fatal status bit of the register, by name.\n"
       "# TYPE termina_register_fatal gauge\n";
  for (auto& [n, r] : regs_)
    if (r.known)
      for (std::size_t b = 0; b < kFatalBits.size(); ++b)
        o << "termina_register_fatal{register=\"" << label(n) << "\",bit=\"" << kFatalBits[b] << "\"} "
          << ((r.fatal >> b) & 1) << "\n";
  o << "# HELP termina_register_printer A printer status bit of the register, by name.\n"
       "# TYPE termina_register_printer gauge\n";
  for (auto& [n, r] : regs_)
    if (r.known && r.printer)
      for (std::size_t b = 0; b < kPrinterBits.size(); ++b)
        o << "termina_register_printer{register=\"" << label(n) << "\",bit=\"" << kPrinterBits[b] << "\"} "
          << ((*r.printer >> (b + 1)) & 1) << "\n";
  o << "# HELP termina_register_last_exchange_seconds Seconds since the last good exchange with the register.\n"
       "# TYPE termina_register_last_exchange_seconds gauge\n";
  for (auto& [n, r] : regs_)
    if (r.lastGood)
      o << "termina_register_last_exchange_seconds{register=\"" << label(n) << "\"} "
        << num(std::chrono::duration<double>(now - *r.lastGood).count()) << "\n";
  o << "# HELP termina_jobs_total Jobs ended, by register, kind and state.\n# TYPE termina_jobs_total counter\n";
  for (auto& [k, v] : jobs_)
    o << "termina_jobs_total{register=\"" << label(std::get<0>(k)) << "\",kind=\"" << label(std::get<1>(k))
      << "\",state=\"" << label(std::get<2>(k)) << "\"} " << v << "\n";
  o << "# HELP termina_job_duration_seconds Time from a job's start to its end.\n"
       "# TYPE termina_job_duration_seconds histogram\n";
  for (auto& [n, r] : regs_) {
    const std::string l = "register=\"" + label(n) + "\"";
    for (std::size_t i = 0; i < kBounds.size(); ++i)
      o << "termina_job_duration_seconds_bucket{" << l << ",le=\"" << num(kBounds[i]) << "\"} " << r.buckets[i] << "\n";
    o << "termina_job_duration_seconds_bucket{" << l << ",le=\"+Inf\"} " << r.count << "\n";
    o << "termina_job_duration_seconds_sum{" << l << "} " << num(r.sum) << "\n";
    o << "termina_job_duration_seconds_count{" << l << "} " << r.count << "\n";
  }
  o << "# HELP termina_link_errors_total Failed exchanges with the register, by result code.\n"
       "# TYPE termina_link_errors_total counter\n";
  for (auto& [k, v] : linkErrors_)
    o << "termina_link_errors_total{register=\"" << label(k.first) << "\",code_name=\"" << label(k.second) << "\"} "
      << v << "\n";
  return o.str();
}

}  // namespace termina::agent
