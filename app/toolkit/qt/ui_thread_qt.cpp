// SPDX-License-Identifier: GPL-3.0-or-later
// The UI thread on Qt: the application's thread and its event loop.
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

#include "ui_thread.h"

namespace tk {

bool OnUiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void PostToUi(std::function<void()> f) {
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(app, std::move(f), Qt::QueuedConnection);
}

void WaitForUiEvents() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

bool PumpUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() >= ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

namespace {
// Runs its function when deleted; deleteLater waits for the event loop
// that was running when it was called.
class Deferred : public QObject {
 public:
  explicit Deferred(std::function<void()> f) : m_f(std::move(f)) {}
  ~Deferred() override {
    if (m_f) m_f();
  }

 private:
  std::function<void()> m_f;
};
}  // namespace

void DeferToLoop(std::function<void()> f) { (new Deferred(std::move(f)))->deleteLater(); }

WaitCursor::WaitCursor(bool wait) { QApplication::setOverrideCursor(wait ? Qt::WaitCursor : Qt::ArrowCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace tk
