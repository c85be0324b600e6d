#pragma once

#include <atomic>
#include <thread>

#include "app/app_window.h"
#include "link/serial_comm.h"

namespace vqx {

// The program's spine: the running flag and the worker thread that drives the link and
// the device logic. The front-end runs the message loop around it.
class CApplication {
 public:
  CApplication(CSerialComm& link, CAppWindow& window) : link_(link), window_(window) {}
  ~CApplication();
  CApplication(const CApplication&) = delete;
  CApplication& operator=(const CApplication&) = delete;

  // Sets running and starts the worker; false (and nothing started) when already running.
  bool StartWorker();
  // Clears running; the worker ends at the top of its next pass.
  void RequestStop() { running_.store(false); }
  // The worker has left its loop (a front-end whose surface marshals worker calls to its
  // own thread keeps serving them until this is true, then joins).
  bool WorkerEnded() const { return workerEnded_.load(); }
  void JoinWorker();
  // RequestStop and JoinWorker.
  void StopWorker();
  bool Running() const { return running_.load(); }

  // One pass of the worker loop: Poll on every second pass (never the first), Step on
  // every pass. The worker thread runs these; deterministic tests call them directly.
  void WorkerPass();

  // The orderly stop: the worker ended (nothing new starts), the unit back to transparent
  // mode by this thread, then the port closed. A front-end whose surface marshals worker
  // calls to its own thread stops the worker itself (serving it) and then does the rest.
  LeaveOutcome Shutdown();

 private:
  void WorkerThreadMain();

  CSerialComm& link_;
  CAppWindow& window_;
  std::atomic<bool> running_{false};
  std::atomic<bool> workerEnded_{false};
  bool pollToggle_ = true;  // worker thread only
  std::thread worker_;
};

}  // namespace vqx
