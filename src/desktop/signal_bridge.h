#pragma once

#include <functional>

#include <QObject>

class QSocketNotifier;

namespace vqx::desktop {

// SIGINT and SIGTERM end the program the way closing its window does: the handler only
// writes to a pipe, and onSignal runs later on the user-interface thread. One
// implementation file per platform.
class SignalBridge : public QObject {
 public:
  explicit SignalBridge(std::function<void()> onSignal);
  ~SignalBridge() override;
  SignalBridge(const SignalBridge&) = delete;
  SignalBridge& operator=(const SignalBridge&) = delete;

 private:
  std::function<void()> onSignal_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vqx::desktop
