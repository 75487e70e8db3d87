// SPDX-License-Identifier: GPL-3.0-or-later
// The UI thread on Qt: the application's thread and its event loop.
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

}  // namespace tk
