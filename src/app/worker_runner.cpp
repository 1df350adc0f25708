#include "app/worker_runner.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

namespace velmora {

WorkerRunner::WorkerRunner(QObject* parent) : QObject(parent) {}

WorkerRunner::~WorkerRunner() {
  if (!thread_.joinable()) return;
  if (finished_.load()) {
    thread_.join();
  } else {
    thread_.detach();
  }
}

bool WorkerRunner::busy() const { return thread_.joinable(); }

bool WorkerRunner::start(std::function<void()> job) {
  if (busy()) return false;
  finished_ = false;
  thread_ = std::thread([this, job = std::move(job)] {
    job();
    finished_ = true;
    QMetaObject::invokeMethod(this, &WorkerRunner::joinEndedWorker, Qt::QueuedConnection);
  });
  return true;
}

void WorkerRunner::joinEndedWorker() {
  // The queued notice can arrive after waitForEnd() has already joined this worker.
  if (!thread_.joinable() || !finished_.load()) return;
  thread_.join();
  emit workerEnded();
}

bool WorkerRunner::waitForEnd(std::chrono::milliseconds limit) {
  if (!busy()) return true;
  if (!finished_.load()) {
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &WorkerRunner::workerEnded, &loop, &QEventLoop::quit);
    deadline.start(limit);
    loop.exec();
  }
  joinEndedWorker();
  return !busy();
}

}  // namespace velmora
