// SPDX-License-Identifier: GPL-3.0-or-later
// main() of every benchmark program: Google Benchmark's own, plus
// --tsv=FILE, which also writes every result as one tab-separated line
// (name, aggregate, real time, CPU time, time unit, iterations, error, then
// the counters as name=value) for tools/bench to turn into its table.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

class TsvAlsoReporter : public benchmark::ConsoleReporter {
 public:
  explicit TsvAlsoReporter(const std::string& path) : tsv_(path, std::ios::trunc) {}
  bool ok() const { return static_cast<bool>(tsv_); }

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      tsv_ << r.run_name.str() << '\t' << (r.run_type == Run::RT_Aggregate ? r.aggregate_name : "") << '\t'
           << r.GetAdjustedRealTime() << '\t' << r.GetAdjustedCPUTime() << '\t'
           << benchmark::GetTimeUnitString(r.time_unit) << '\t' << r.iterations << '\t'
           << (r.error_occurred ? r.error_message : "");
      for (const auto& [name, counter] : r.counters) tsv_ << '\t' << name << '=' << counter.value;
      tsv_ << '\n';
    }
    tsv_.flush();
  }

 private:
  std::ofstream tsv_;
};

}  // namespace

int main(int argc, char** argv) {
  std::string tsv;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (i > 0 && std::strncmp(argv[i], "--tsv=", 6) == 0)
      tsv = argv[i] + 6;
    else
      args.push_back(argv[i]);
  }
  int n = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 1;
  if (tsv.empty()) {
    benchmark::RunSpecifiedBenchmarks();
  } else {
    TsvAlsoReporter reporter(tsv);
    if (!reporter.ok()) {
      std::cerr << "cannot write " << tsv << "\n";
      return 1;
    }
    benchmark::RunSpecifiedBenchmarks(&reporter);
  }
  benchmark::Shutdown();
  return 0;
}
