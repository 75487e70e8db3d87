// SPDX-License-Identifier: GPL-3.0-or-later
#include "register_worker.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace reg {
namespace {

std::atomic<Worker*> g_worker{nullptr};
thread_local std::shared_ptr<JobToken>* t_current = nullptr;  // the worker's running job

}  // namespace

Worker& Worker::Get() {
  static Worker* worker = [] {
    auto* w = new Worker;
    g_worker = w;
    return w;
  }();
  return *worker;
}

bool Worker::Started() { return g_worker.load() != nullptr; }

bool Worker::OnWorker() {
  Worker* w = g_worker.load();
  return w && std::this_thread::get_id() == w->m_id;
}

void Worker::BeforeDriverCall(const char* name) {
  if (!Started()) return;
  if (OnWorker()) {
    if (Get().m_stopping || (t_current && *t_current && (*t_current)->Abandoned())) throw JobAbandoned{};
    return;
  }
#ifndef NDEBUG
  if (tk::OnUiThread()) {
    std::fprintf(stderr, "TerminaTool: %s called on the user-interface thread; register calls belong on the worker\n",
                 name);
    std::fflush(stderr);
    std::abort();
  }
#else
  (void)name;
#endif
}

Worker::Worker() {
  std::thread t([this] { Loop(); });
  m_id = t.get_id();
  // The worker lives for the whole process; at the end the program either
  // finds it idle or ends without waiting for the driver call it is in.
  t.detach();
}

void Worker::Post(Job job, std::shared_ptr<JobToken> token) {
  {
    std::lock_guard lock(m_mutex);
    m_queue.push_back({std::move(job), std::move(token)});
    ++m_wakeups;
  }
  m_cv.notify_all();
}

bool Worker::Busy() const {
  std::lock_guard lock(m_mutex);
  return m_depth > 0 || !m_queue.empty();
}

void Worker::Wake() {
  {
    std::lock_guard lock(m_mutex);
    ++m_wakeups;
  }
  m_cv.notify_all();
}

void Worker::RunEntry(Entry& e) {
  std::shared_ptr<JobToken>* outer = t_current;
  t_current = &e.token;
  try {
    if (!e.token || !e.token->Abandoned()) e.job();
  } catch (const JobAbandoned&) {
    // The job ended before its next driver call, as asked.
  } catch (...) {
    // A job reports its own failures; what escapes is a fault of the job.
    // It must not take the worker down with it.
    std::fprintf(stderr, "TerminaTool: a register job ended with an unexpected exception\n");
  }
  t_current = outer;
  ++m_completed;
}

Worker::Entry Worker::TakeLocked() {
  Entry e = std::move(m_queue.front());
  m_queue.pop_front();
  ++m_depth;
  return e;
}

void Worker::RunTaken(Entry& e) {
  RunEntry(e);
  {
    std::lock_guard lock(m_mutex);
    --m_depth;
  }
  m_cv.notify_all();
}

void Worker::Loop() {
  for (;;) {
    Entry e;
    {
      std::unique_lock lock(m_mutex);
      m_cv.wait(lock, [&] { return !m_queue.empty(); });
      e = TakeLocked();
    }
    RunTaken(e);
  }
}

void Worker::ServeUntil(const std::function<bool()>& done) {
  for (;;) {
    if (done()) return;
    Entry e;
    {
      std::unique_lock lock(m_mutex);
      const unsigned long seen = m_wakeups;
      if (m_queue.empty()) {
        m_cv.wait(lock, [&] { return m_wakeups != seen || !m_queue.empty(); });
        if (m_queue.empty()) continue;
      }
      e = TakeLocked();
    }
    RunTaken(e);
  }
}

bool Worker::WaitIdle(int ms) {
  std::unique_lock lock(m_mutex);
  return m_cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_depth == 0 && m_queue.empty(); });
}

bool Worker::Stop(int ms) {
  std::unique_lock lock(m_mutex);
  // Every job, running or queued, ends before its next driver call; the
  // queued ones still run so that whoever waits for them hears of it.
  m_stopping = true;
  lock.unlock();
  m_cv.notify_all();
  lock.lock();
  return m_cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return m_depth == 0 && m_queue.empty(); });
}

}  // namespace reg
