// SPDX-License-Identifier: GPL-3.0-or-later
// The register worker: the one thread of the program that talks to the
// register.  Every register job (start-up, the device check, a page's
// reads, a command, the settings file, the NVR dialog) is queued here and
// runs to its end before the next one starts, so the driver only ever
// sees one exchange at a time.  The UI thread never calls the driver
// (only TRMA_CancelReport, which is made to be called while a command
// waits); it posts jobs and gets their results back as posted calls.
//
// A job that asks the user something waits for the UI thread; while it
// waits, the worker runs the jobs the UI queued meanwhile (the reads of a
// dialog the question opened, for example), between two driver calls of
// the waiting job, never inside one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

#include "ui_thread.h"

namespace reg {

// Thrown on the worker in place of the next driver call of a job that has
// been abandoned (its page replaced, the program closing).  The worker
// ends the job there.
struct JobAbandoned {};

// Shared by the worker and the one who queued a job: setting it makes the
// job end before its next driver call.
class JobToken {
 public:
  void Abandon() { m_abandoned = true; }
  bool Abandoned() const { return m_abandoned; }

 private:
  std::atomic<bool> m_abandoned{false};
};

class Worker {
 public:
  using Job = std::function<void()>;

  // The program's worker, started at the first use.
  static Worker& Get();
  // Whether the worker has been started (the driver guard is on from then).
  static bool Started();
  // The calling thread is the worker.
  static bool OnWorker();
  // Called before every driver call the program makes: on the UI thread it
  // aborts (debug and test builds) naming the call; on the worker it throws
  // JobAbandoned when the job running has been abandoned.
  static void BeforeDriverCall(const char* name);

  // Queues a job; it runs after those queued before it.  The token, when
  // given, abandons it.
  void Post(Job job, std::shared_ptr<JobToken> token = nullptr);
  // A job is running or queued.
  bool Busy() const;
  // Number of jobs run to their end (for tests and the benchmark).
  long Completed() const { return m_completed.load(); }

  // UI thread: runs `f` on the worker and keeps the event loop turning
  // until it has ended; returns its result or rethrows what it threw.  The
  // caller disables what the user must not touch meanwhile.
  template <class F>
  auto Run(F f) -> std::invoke_result_t<F&>;

  // Worker: runs `f` on the UI thread and waits for it, running the jobs
  // queued meanwhile.  From the UI thread it simply calls `f`.
  template <class F>
  auto OnUi(F f) -> std::invoke_result_t<F&>;

  // Worker: waits until `done()` (checked under no lock of ours) is true,
  // running queued jobs meanwhile.  Anyone who makes `done()` true calls
  // Wake() afterwards.
  void ServeUntil(const std::function<bool()>& done);
  void Wake();

  // Program end: from now on every job ends before its next driver call;
  // waits at most `ms` milliseconds for the jobs to end.  True when
  // the worker is idle (the process may unload the driver); false when it
  // is still inside a driver call.
  bool Stop(int ms);
  // Takes jobs again after Stop, once idle: for a new main window in the
  // same process (tests).
  void Resume() { m_stopping = false; }
  // Waits at most `ms` milliseconds for the worker to be idle.
  bool WaitIdle(int ms);
  bool Stopping() const { return m_stopping; }
  // UI thread: how many Run() calls are waiting on its stack.
  int UiWaiting() const { return m_uiWaiting; }

 private:
  Worker();
  ~Worker() = delete;  // lives as long as the process
  struct Entry {
    Job job;
    std::shared_ptr<JobToken> token;
  };
  void Loop();
  // The first queued job, counted on the worker's stack; the caller holds
  // the lock and has seen the queue not empty.
  Entry TakeLocked();
  // Runs a job taken with TakeLocked and counts it off again.
  void RunTaken(Entry& e);
  void RunEntry(Entry& e);
  void PostDone(const std::function<void()>& wake);

  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<Entry> m_queue;
  std::shared_ptr<JobToken> m_running;  // token of the innermost running job
  int m_depth = 0;                      // jobs on the worker's stack
  unsigned long m_wakeups = 0;
  std::atomic<bool> m_stopping{false};
  std::atomic<long> m_completed{0};
  int m_uiWaiting = 0;  // UI thread only
  std::thread::id m_id;
};

namespace detail {
// One call handed to another thread: its result or exception, and whether
// the caller may take it.
template <class R>
struct CallState {
  std::atomic<bool> done{false};
  std::exception_ptr error;
  std::optional<std::conditional_t<std::is_void_v<R>, bool, R>> result;
  template <class F>
  void Call(F& f) {
    try {
      if constexpr (std::is_void_v<R>) {
        f();
        result.emplace(true);
      } else {
        result.emplace(f());
      }
    } catch (...) { error = std::current_exception(); }
  }
};
}  // namespace detail

// Posts to the UI thread.
inline void PostToUiThread(std::function<void()> f) { tk::PostToUi(std::move(f)); }

template <class F>
auto Worker::Run(F f) -> std::invoke_result_t<F&> {
  using R = std::invoke_result_t<F&>;
  if (OnWorker()) return f();
  auto state = std::make_shared<detail::CallState<R>>();
  Post([state, &f] {
    state->Call(f);
    // Done once this call has been taken on the UI thread: what the job
    // posted to the UI before (a question, a dialog) has been taken first.
    PostToUiThread([state] { state->done = true; });
  });
  // `f` lives on this stack, which the loop below keeps alive until the
  // job has ended.
  ++m_uiWaiting;
  while (!state->done) tk::WaitForUiEvents();
  --m_uiWaiting;
  if (state->error) std::rethrow_exception(state->error);
  if constexpr (!std::is_void_v<R>) return std::move(*state->result);
}

template <class F>
auto Worker::OnUi(F f) -> std::invoke_result_t<F&> {
  using R = std::invoke_result_t<F&>;
  if (!OnWorker()) return f();
  auto state = std::make_shared<detail::CallState<R>>();
  // `f` lives on the worker's stack, which waits below until it has run.
  PostToUiThread([this, state, &f] {
    state->Call(f);
    state->done = true;
    Wake();
  });
  ServeUntil([&] { return state->done.load(); });
  if (state->error) std::rethrow_exception(state->error);
  if constexpr (!std::is_void_v<R>) return std::move(*state->result);
}

}  // namespace reg
