// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui_channel.h"

#include "register_worker.h"

namespace tk {

void UiChannel::Close() {
  {
    std::lock_guard lock(m_mutex);
    m_bOpen = false;
    m_cv.notify_all();
  }
  if (reg::Worker::Started()) reg::Worker::Get().Wake();
}

bool UiChannel::IsOpen() const {
  std::lock_guard lock(m_mutex);
  return m_bOpen;
}

void UiChannel::Run(std::function<void()> job) {
  auto task = std::make_shared<Task>();
  {
    std::lock_guard lock(m_mutex);
    if (!m_bOpen) throw PageGone{};
  }
  std::shared_ptr<UiChannel> self = shared_from_this();
  // `job` refers to the worker's stack; it is only run while the worker is
  // known to wait for it (state Pending under the lock, channel open).
  PostToUi([self, task, &job] {
    {
      std::lock_guard lock(self->m_mutex);
      if (!self->m_bOpen) return;
      task->state = Task::Running;
    }
    try {
      job();
    } catch (...) { task->error = std::current_exception(); }
    {
      std::lock_guard lock(self->m_mutex);
      task->state = Task::Done;
      self->m_cv.notify_all();
    }
    if (reg::Worker::Started()) reg::Worker::Get().Wake();
  });
  const auto answered = [&] { return task->state == Task::Done || (task->state == Task::Pending && !m_bOpen); };
  if (reg::Worker::OnWorker()) {
    // The register worker goes on with the jobs queued meanwhile.
    reg::Worker::Get().ServeUntil([&] {
      std::lock_guard lock(m_mutex);
      return answered();
    });
  }
  std::unique_lock lock(m_mutex);
  m_cv.wait(lock, answered);
  if (task->state != Task::Done) throw PageGone{};
  if (task->error) std::rethrow_exception(task->error);
}

}  // namespace tk
