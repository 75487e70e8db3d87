// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file's save (49 table reads) and load (47 table writes)
// against the simulated register on an emulated 19200 baud line, measured
// against their floor: the wire time of every byte that crossed the line
// (requests and replies as the simulator logged them) plus the pauses the
// sequences must make (50 ms after each of the 49 reads; after each write
// but the last, 46).
#include "bench_support.h"
#include "interaction.h"
#include "settings_file.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace termina;
using namespace termina::bench;

constexpr unsigned kBaud = 19200;
constexpr double kPauseS = 0.050;

// Answers every question with its default (a load of a file of the
// register's own version asks none).
class Defaults : public app::Interaction {
 public:
  app::Answer Ask(const app::Question& q) override { return q.defaultAnswer; }
};

class Env {
 public:
  Env() {
    sim::Config cfg;
    cfg.version = 201;
    sim_ = std::make_unique<sim::Simulator>(cfg);
    sim_->setReady();
    sim_->openPty(root_.com(1));
    useTransport(root_, Transport::Pty);
    ok_ = driverCall([] { return TRMA_CheckPort(false); }) == 0;
    file_ = root_.path() + "/bench.frc";
  }
  ~Env() {
    TRMA_ClosePort();
    sim_.reset();
  }
  bool ok() const { return ok_; }
  sim::Simulator& sim() { return *sim_; }
  const std::string& file() const { return file_; }

  // Bytes of the last sequence on the line: every request frame received
  // and every byte sent back.
  double lineBytes() const {
    double n = static_cast<double>(sim_->sent().size());
    for (const auto& e : sim_->events()) n += static_cast<double>(e.bytes.size());
    return n;
  }

 private:
  DriverRoot root_;
  std::unique_ptr<sim::Simulator> sim_;
  std::string file_;
  bool ok_ = false;
};

Env& env() {
  static Env e;
  return e;
}

enum class Op { Save, Load };

void BM_SettingsFile(benchmark::State& state, Op op) {
  Env& e = env();
  if (!e.ok()) {
    state.SkipWithError("driver did not connect to the simulator");
    return;
  }
  if (op == Op::Load && app::SaveSettings(e.file()).outcome != app::SettingsOutcome::Saved) {
    state.SkipWithError("no file to load");
    return;
  }
  e.sim().setLineBaud(kBaud);
  Defaults ask;
  // The load's own writes; its backup is a save's reads, measured by the save.
  app::LoadOptions writesOnly;
  writesOnly.backup = app::BackupPolicy::None;
  double elapsed = 0, floor = 0;
  for (auto _ : state) {
    e.sim().clearLog();
    const auto t0 = std::chrono::steady_clock::now();
    const app::SettingsResult r =
        op == Op::Save ? app::SaveSettings(e.file()) : app::LoadSettings(e.file(), 201, ask, writesOnly);
    elapsed += secondsSince(t0);
    if (!r.ok()) {
      state.SkipWithError("the sequence failed");
      break;
    }
    const std::size_t pauses = op == Op::Save ? 49 : 46;
    floor += wireSeconds(e.lineBytes(), kBaud) + static_cast<double>(pauses) * kPauseS;
    state.counters["frames"] = static_cast<double>(e.sim().requests().size());
  }
  e.sim().setLineBaud(0);
  if (state.iterations() > 0) {
    state.counters["floor_ms"] = floor / static_cast<double>(state.iterations()) * 1e3;
    state.counters["floor_ratio"] = elapsed / floor;
  }
}
BENCHMARK_CAPTURE(BM_SettingsFile, save, Op::Save)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_SettingsFile, load, Op::Load)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
