#pragma once

#include <functional>

#include <QObject>

class QSocketNotifier;

namespace vqx::desktop {

// SIGINT, SIGTERM and SIGHUP (the terminal that started the program was closed) end the
// program the way closing its window does: the handler only writes to a pipe, and
// onSignal runs later on the user-interface thread, told whether the terminal hung up
// (nothing may be written to it then). A SIGHUP ignored at start (nohup) stays ignored,
// and SIGPIPE is ignored: a write to a vanished reader must not end the program before the
// unit is back in transparent mode. One implementation file per platform.
class SignalBridge : public QObject {
 public:
  explicit SignalBridge(std::function<void(bool hungUp)> onSignal);
  ~SignalBridge() override;
  SignalBridge(const SignalBridge&) = delete;
  SignalBridge& operator=(const SignalBridge&) = delete;

 private:
  std::function<void(bool hungUp)> onSignal_;
  QSocketNotifier* notifier_ = nullptr;
  bool hungUp_ = false;
};

}  // namespace vqx::desktop
