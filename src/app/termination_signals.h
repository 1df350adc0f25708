#pragma once
// SIGINT, SIGTERM, SIGHUP and SIGQUIT as a Qt signal on the GUI thread, so that they
// close the window the normal way (the running worker stopped, the transmitter unkeyed,
// the settings saved). The handler only writes a byte into a socket pair; a
// QSocketNotifier reads it in the event loop. SIGPIPE is ignored.

#include <QObject>

class QSocketNotifier;

namespace velmora {

class TerminationSignals final : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; only one instance may exist at a time.
  explicit TerminationSignals(QObject* parent = nullptr);
  // Restores the default handlers.
  ~TerminationSignals() override;

  bool installed() const { return notifier_ != nullptr; }

 signals:
  void terminationRequested(int signalNumber);

 private:
  void readPendingSignal();

  int sockets_[2] = {-1, -1};
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace velmora
