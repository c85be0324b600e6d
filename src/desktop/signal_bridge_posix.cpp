#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <QSocketNotifier>

#include "signal_bridge.h"

namespace vqx::desktop {
namespace {

int signalPipe[2] = {-1, -1};

extern "C" void OnTerminatingSignal(int signalNumber) {
  const int saved = errno;
  const char byte = static_cast<char>(signalNumber);
  [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
  errno = saved;
}

bool IgnoredAtStart(int signalNumber) {
  struct sigaction current {};
  return ::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

bool catchingHangUp = false;

}  // namespace

SignalBridge::SignalBridge(std::function<void(bool hungUp)> onSignal) : onSignal_(std::move(onSignal)) {
  if (::pipe2(signalPipe, O_NONBLOCK | O_CLOEXEC) != 0) return;
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] {
    char buffer[16];
    ssize_t count;
    while ((count = ::read(signalPipe[0], buffer, sizeof(buffer))) > 0) {
      // A terminal that hung up stays gone whatever signal comes next.
      for (ssize_t i = 0; i < count; ++i) hungUp_ = hungUp_ || buffer[i] == static_cast<char>(SIGHUP);
    }
    if (onSignal_) onSignal_(hungUp_);
  });
  struct sigaction action {};
  action.sa_handler = OnTerminatingSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  catchingHangUp = !IgnoredAtStart(SIGHUP);
  if (catchingHangUp) ::sigaction(SIGHUP, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

SignalBridge::~SignalBridge() {
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
  if (catchingHangUp) ::signal(SIGHUP, SIG_DFL);
  delete notifier_;
  for (int& fd : signalPipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

}  // namespace vqx::desktop
