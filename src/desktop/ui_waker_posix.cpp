#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "ui_waker.h"

namespace vqx::desktop {

UiWaker::UiWaker(std::function<void()> onWake) : onWake_(std::move(onWake)) {
  int fds[2];
  if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
    readFd_ = fds[0];
    writeFd_ = fds[1];
    notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] { Woken(); });
  }
}

UiWaker::~UiWaker() {
  delete notifier_;
  if (readFd_ >= 0) ::close(readFd_);
  if (writeFd_ >= 0) ::close(writeFd_);
}

void UiWaker::Wake() {
  if (pending_.exchange(true)) return;
  const char byte = 1;
  // A full pipe already holds a wake-up; nothing else can go wrong that matters here.
  while (::write(writeFd_, &byte, 1) < 0 && errno == EINTR) {
  }
}

void UiWaker::Woken() {
  char buffer[64];
  while (::read(readFd_, buffer, sizeof(buffer)) > 0) {
  }
  pending_.store(false);
  if (onWake_) onWake_();
}

}  // namespace vqx::desktop
