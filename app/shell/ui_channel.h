// SPDX-License-Identifier: GPL-3.0-or-later
// The one road from the register worker to the controls of one page.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>

#include "ui_thread.h"

namespace tk {

// Thrown on a worker thread that asks for the UI of a page that has gone.
// Worker code lets it pass; the thread's entry function catches it and ends
// without touching anything of the page.
struct PageGone {};

// Call() runs a function on the UI thread and waits for it.  Once the owner
// closes the channel, calls that have not started throw PageGone in the
// worker; a call that is already running on the UI thread is waited for, so
// its captures stay valid.  The UI thread never waits for a worker.
class UiChannel : public std::enable_shared_from_this<UiChannel> {
 public:
  static std::shared_ptr<UiChannel> Create() { return std::shared_ptr<UiChannel>(new UiChannel); }

  void Close();  // UI thread
  bool IsOpen() const;

  template <class F>
  auto Call(F&& f) -> std::invoke_result_t<F&> {
    using R = std::invoke_result_t<F&>;
    if (OnUiThread()) return f();
    if constexpr (std::is_void_v<R>) {
      Run([&] { f(); });
    } else {
      std::optional<R> result;
      Run([&] { result.emplace(f()); });
      return std::move(*result);
    }
  }

 private:
  UiChannel() = default;
  // Posts `job` to the UI thread and waits until it has run (rethrowing
  // what it threw) or until the channel closed before it started.
  void Run(std::function<void()> job);

  struct Task {
    enum State { Pending, Running, Done } state = Pending;
    std::exception_ptr error;
  };
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_bOpen = true;
};

}  // namespace tk
