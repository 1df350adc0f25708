#include "app/termination_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmora {

namespace {

// A signal handler can reach nothing but process-wide state: this is the one place that
// needs it.
volatile std::sig_atomic_t gWriteSocket = -1;

// Each of them would otherwise end the process at once, with the transmitter keyed: SIGHUP
// comes when the terminal the program was started from is closed, SIGQUIT from Ctrl+\.
constexpr int kTerminationSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void forwardSignal(int signalNumber) {
  const int savedErrno = errno;
  const auto byte = static_cast<unsigned char>(signalNumber);
  [[maybe_unused]] const ssize_t written = ::write(gWriteSocket, &byte, 1);
  errno = savedErrno;
}

void setHandler(int signalNumber, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signalNumber, &action, nullptr);
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets_) != 0) return;
  // A burst of signals must never block the handler.
  ::fcntl(sockets_[0], F_SETFL, O_NONBLOCK);
  gWriteSocket = sockets_[0];
  notifier_ = new QSocketNotifier(sockets_[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::readPendingSignal);
  for (const int signalNumber : kTerminationSignals) setHandler(signalNumber, forwardSignal);
  // A reader of our output that has gone (a closed terminal, `velmora | head`) costs a
  // line, never the unkeying. Left so when the handlers go: it is the program's for good.
  ::signal(SIGPIPE, SIG_IGN);
}

TerminationSignals::~TerminationSignals() {
  if (notifier_ == nullptr) return;
  for (const int signalNumber : kTerminationSignals) setHandler(signalNumber, SIG_DFL);
  gWriteSocket = -1;
  ::close(sockets_[0]);
  ::close(sockets_[1]);
}

void TerminationSignals::readPendingSignal() {
  unsigned char byte = 0;
  if (::read(sockets_[1], &byte, 1) == 1) emit terminationRequested(byte);
}

}  // namespace velmora
