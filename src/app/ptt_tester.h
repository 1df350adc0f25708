#pragma once
// "Test PTT": keys the transmitter with settings not saved yet, for a while or until
// stopped, with no sound. It keys through a PttKeyer of its own, so the port claim, the
// messages and the log lines are those of a transmission, and its stop flag is its own:
// a "Stop" of the window does not end a test, nor a test's end a transmission. The keying
// runs on a worker thread; the GUI thread never waits on it.

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/worker_runner.h"
#include "core/clock.h"
#include "core/message_box.h"
#include "ptt/ptt_keyer.h"

namespace velmora {

inline constexpr std::uint32_t kPttTestMs = 2000;

class PttTester final : public QObject {
  Q_OBJECT

 public:
  PttTester(SerialPortOpener& opener, MessageBox& messages, Clock& clock, std::shared_ptr<RigControl> rigs,
            LogLineWriter writeLog, PortPathResolver resolvePath = {}, QObject* parent = nullptr);
  // Ends a test that still runs: unkeyed, and waited for (bounded).
  ~PttTester() override;

  // While this says so (a transmission or Tune on the air), no test is started.
  std::function<bool()> blocked;

  bool running() const { return workers_.busy(); }
  // Keys with `settings` (whether or not "Use PTT control" is checked there) for
  // kPttTestMs or until stop(). Nothing when a test runs already.
  void start(const PttSettings& settings);
  // Asks the test to end: the worker unkeys within one step of its wait.
  void stop();

 signals:
  // On the GUI thread: what the test is doing or did, for the user to read.
  void progress(const QString& what);
  void finished(const QString& outcome);

 private:
  // Passes every message on and remembers the last one for the outcome.
  class RememberingBox final : public MessageBox {
   public:
    explicit RememberingBox(MessageBox& inner) : inner_(inner) {}
    void show(const std::string& caption, const std::string& text, MessageIcon icon) override;
    std::string takeLast();

   private:
    MessageBox& inner_;
    std::mutex mutex_;
    std::string last_;
  };

  void run(const PttSettings& settings);
  void report(void (PttTester::*signal)(const QString&), const QString& text);

  Clock& clock_;
  std::atomic<int> stopFlag_{0};
  RememberingBox messages_;
  PttKeyer keyer_;
  QString outcome_;
  // Last: its worker uses everything above.
  WorkerRunner workers_;
};

}  // namespace velmora
