// SPDX-License-Identifier: GPL-3.0-or-later
// The UI thread as the rest of the program sees it: whether the caller is
// on it, posting a call to it, and keeping its event loop turning while
// the caller waits for something.  Implemented by the window system's
// side of the seam.
#pragma once

#include <functional>

namespace tk {

bool OnUiThread();

// Posts a function to the UI thread without waiting (safe from any thread).
// Calls posted from one thread run in the order posted.
void PostToUi(std::function<void()> f);

// UI thread: handles the events that are waiting, or sleeps until the next
// one arrives.
void WaitForUiEvents();

// Runs the UI event loop until `done` returns true or `ms` milliseconds
// have passed; true when done.  For tests and for bounded waits on the UI
// thread that must keep the loop alive.
bool PumpUntil(const std::function<bool()>& done, int ms);

// Runs `f` on the UI thread once control is back in the event loop that
// runs now (not in a loop nested inside it), so that no handler on the
// stack at this moment is still running: for deleting an object whose
// handler may be on the stack.
void DeferToLoop(std::function<void()> f);

// The program's wait cursor over all its windows for the life of the
// object (UI thread); `wait` false shows the normal arrow instead, for a
// question in the middle of a wait.  The latest one alive wins.
class WaitCursor {
 public:
  explicit WaitCursor(bool wait = true);
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace tk
