#pragma once

#include <atomic>
#include <chrono>
#include <functional>
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

  // Runs the calls the worker left for this thread, waiting up to the time given for one
  // to come (zero: only those waiting now). A front-end whose surface marshals the
  // worker's calls to its own thread passes one, or the worker could wait on it for ever.
  using ServeCalls = std::function<void(std::chrono::milliseconds wait)>;

  // The worker out: asked to stop, its calls served (when serve is given) until it has
  // left its loop, joined, then what it left behind served once more.
  void StopWorkerServing(const ServeCalls& serve);

  // The orderly stop, the one path that returns the unit to transparent mode: the worker
  // ended (nothing new starts, its calls served), the unit back to transparent mode by
  // this thread, the calls that left for the window served, then the port closed.
  LeaveOutcome Shutdown(const ServeCalls& serve = {});

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
