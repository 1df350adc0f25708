#include "app/ptt_tester.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>

namespace velmora {

namespace {

constexpr std::uint32_t kStepMs = 10;

}  // namespace

void PttTester::RememberingBox::show(const std::string& caption, const std::string& text, MessageIcon icon) {
  {
    std::lock_guard lock(mutex_);
    last_ = text;
  }
  inner_.show(caption, text, icon);
}

std::string PttTester::RememberingBox::takeLast() {
  std::lock_guard lock(mutex_);
  return std::exchange(last_, {});
}

PttTester::PttTester(SerialPortOpener& opener, MessageBox& messages, Clock& clock,
                     std::shared_ptr<RigControl> rigs, LogLineWriter writeLog, PortPathResolver resolvePath,
                     QObject* parent)
    : QObject(parent),
      clock_(clock),
      messages_(messages),
      keyer_(opener, messages_, clock, stopFlag_, std::move(resolvePath), std::move(writeLog)) {
  keyer_.useRigs(std::move(rigs));
  connect(&workers_, &WorkerRunner::workerEnded, this, [this] { emit finished(outcome_); });
}

PttTester::~PttTester() {
  stop();
  workers_.waitForEnd(std::chrono::milliseconds(5000));
}

void PttTester::start(const PttSettings& settings) {
  if (running()) return;
  if (blocked && blocked()) {
    emit finished("Not while a transmission or Tune is on the air");
    return;
  }
  stopFlag_ = 0;
  PttSettings keyed = settings;
  keyed.UsePTTControl = 1;  // the test keys whatever the box says
  emit progress("Keying\u2026");
  workers_.start([this, keyed] { run(keyed); });
}

void PttTester::stop() {
  // The worker unkeys within one step of its wait (a keying under way sees the flag); an
  // unkeying here could hold the GUI thread for a rig's deadline.
  stopFlag_ = 1;
}

void PttTester::report(void (PttTester::*signal)(const QString&), const QString& text) {
  QMetaObject::invokeMethod(
      this, [this, signal, text] { emit(this->*signal)(text); }, Qt::QueuedConnection);
}

// On the worker thread.
void PttTester::run(const PttSettings& settings) {
  keyer_.setSettings(settings);
  keyer_.keyTransmitter();
  const bool keyed = keyer_.portOpen();
  std::string failure = messages_.takeLast();
  std::uint32_t heldMs = 0;
  if (keyed && failure.empty()) {
    report(&PttTester::progress, "PTT on: press Test PTT again to unkey");
    while (heldMs < kPttTestMs && stopFlag_.load() == 0) {
      const std::uint32_t step = std::min(kStepMs, kPttTestMs - heldMs);
      clock_.sleepMs(step);
      heldMs += step;
    }
  }
  keyer_.unkeyTransmitter();
  const std::string unkeyFailure = messages_.takeLast();
  if (!failure.empty() || !unkeyFailure.empty()) {
    outcome_ = QString::fromStdString("Failed: " + (failure.empty() ? unkeyFailure : failure));
  } else if (!keyed) {
    outcome_ = "Not keyed";
  } else {
    outcome_ = QString("Keyed for %1 s, then unkeyed").arg(heldMs / 1000.0, 0, 'f', 1);
  }
}

}  // namespace velmora
