#pragma once
// Runs at most one worker thread at a time for the GUI thread. The worker's end is
// signalled to the GUI thread, which then joins it; the GUI thread never waits on a
// worker that may be inside a blocking call into it.

#include <QObject>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace velmora {

class WorkerRunner final : public QObject {
  Q_OBJECT

 public:
  explicit WorkerRunner(QObject* parent = nullptr);
  // A worker that was still running (only after an abandoned wait) is left detached.
  ~WorkerRunner() override;

  // True from start() until the ended worker has been joined on the GUI thread.
  bool busy() const;
  // Starts `job` on a new thread; false (and nothing started) while busy().
  bool start(std::function<void()> job);
  // Serves the GUI thread's events (so the worker's blocking calls go on) until the
  // worker has ended and been joined, or until `limit` has passed. True when no worker
  // is left.
  bool waitForEnd(std::chrono::milliseconds limit);

 signals:
  // On the GUI thread, after the ended worker has been joined.
  void workerEnded();

 private:
  void joinEndedWorker();

  std::thread thread_;
  std::atomic<bool> finished_{false};
};

}  // namespace velmora
