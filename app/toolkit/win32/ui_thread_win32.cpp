// SPDX-License-Identifier: GPL-3.0-or-later
// The UI thread on Win32: the thread that made the hidden message window
// of the program.  Calls posted to it travel as messages to that window,
// so they run in every message loop of the thread, modal ones included.
#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "toolkit_win32.h"

namespace tk {
namespace {

constexpr UINT kRunPosted = WM_APP + 1;
constexpr UINT kRunDeferred = WM_APP + 2;

std::atomic<DWORD> g_uiThread{0};
std::atomic<HWND> g_messageWindow{nullptr};

// The depth of the message loops running now, and the calls waiting for
// the loop they were deferred from.
int g_loopDepth = 0;
struct DeferredCall {
  int depth;
  std::function<void()> f;
};
std::vector<DeferredCall> g_waitingForLoop;

// The program-wide wait cursors alive, the latest last.
std::vector<std::pair<const WaitCursor*, bool>> g_waitCursors;

LRESULT CALLBACK MessageWindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kRunPosted) {
    std::unique_ptr<std::function<void()>> f(reinterpret_cast<std::function<void()>*>(lp));
    if (*f) (*f)();
    return 0;
  }
  if (msg == kRunDeferred) {
    std::unique_ptr<DeferredCall> call(reinterpret_cast<DeferredCall*>(lp));
    if (call->depth > 0 && g_loopDepth > call->depth) {
      // A loop nested in the one it was deferred from: it waits until
      // that loop runs again.  A call deferred before any loop ran runs in
      // the first one.
      g_waitingForLoop.push_back(std::move(*call));
      return 0;
    }
    if (call->f) call->f();
    return 0;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

void PostDeferred(DeferredCall call) {
  HWND w = g_messageWindow.load();
  if (!w) return;
  auto* p = new DeferredCall(std::move(call));
  if (!PostMessageW(w, kRunDeferred, 0, reinterpret_cast<LPARAM>(p))) delete p;
}

bool PumpOnce() {
  MSG msg;
  bool any = false;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    any = true;
    if (msg.message == WM_QUIT) {
      // Left for the outermost loop.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return any;
    }
    ProcessMessage(msg);
  }
  return any;
}

}  // namespace

void InitUiThread() {
  if (g_messageWindow.load()) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = MessageWindowProc;
  wc.hInstance = ResourceModule();
  wc.lpszClassName = L"TerminaTool.UiThread";
  RegisterClassExW(&wc);
  HWND w = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ResourceModule(), nullptr);
  g_uiThread = GetCurrentThreadId();
  g_messageWindow = w;
}

LoopLevel::LoopLevel() { ++g_loopDepth; }

LoopLevel::~LoopLevel() {
  --g_loopDepth;
  // Calls deferred from this loop's level or below run again once their
  // loop turns.
  std::vector<DeferredCall> ready;
  for (auto it = g_waitingForLoop.begin(); it != g_waitingForLoop.end();) {
    if (it->depth >= g_loopDepth) {
      ready.push_back(std::move(*it));
      it = g_waitingForLoop.erase(it);
    } else {
      ++it;
    }
  }
  for (DeferredCall& c : ready) PostDeferred(std::move(c));
}

bool OnUiThread() { return g_uiThread.load() != 0 && GetCurrentThreadId() == g_uiThread.load(); }

void PostToUi(std::function<void()> f) {
  HWND w = g_messageWindow.load();
  if (!w) return;
  auto* p = new std::function<void()>(std::move(f));
  if (!PostMessageW(w, kRunPosted, 0, reinterpret_cast<LPARAM>(p))) delete p;
}

void WaitForUiEvents() {
  if (!PumpOnce()) {
    WaitMessage();
    PumpOnce();
  }
}

bool PumpUntil(const std::function<bool()>& done, int ms) {
  const LoopLevel level;
  const ULONGLONG start = GetTickCount64();
  while (!done()) {
    const ULONGLONG elapsed = GetTickCount64() - start;
    if (elapsed >= static_cast<ULONGLONG>(ms)) return false;
    if (!PumpOnce()) {
      const auto left = static_cast<DWORD>(static_cast<ULONGLONG>(ms) - elapsed);
      MsgWaitForMultipleObjectsEx(0, nullptr, std::min<DWORD>(left, 10), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
  }
  return true;
}

void DeferToLoop(std::function<void()> f) { PostDeferred({g_loopDepth, std::move(f)}); }

bool WaitCursorActive(bool* wait) {
  if (g_waitCursors.empty()) return false;
  *wait = g_waitCursors.back().second;
  return true;
}

WaitCursor::WaitCursor(bool wait) {
  g_waitCursors.emplace_back(this, wait);
  SetCursor(LoadCursorW(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

WaitCursor::~WaitCursor() {
  std::erase_if(g_waitCursors, [this](const auto& c) { return c.first == this; });
  bool wait = false;
  WaitCursorActive(&wait);
  SetCursor(LoadCursorW(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

}  // namespace tk
