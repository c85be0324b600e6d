#include "app/application.h"

namespace vqx {

CApplication::~CApplication() { StopWorker(); }

bool CApplication::StartWorker() {
  if (running_.exchange(true)) return false;
  workerEnded_.store(false);
  pollToggle_ = true;
  worker_ = std::thread([this] { WorkerThreadMain(); });
  return true;
}

void CApplication::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

void CApplication::StopWorker() {
  RequestStop();
  JoinWorker();
}

void CApplication::WorkerPass() {
  pollToggle_ = !pollToggle_;
  if (pollToggle_) link_.Poll();
  window_.Step();
}

void CApplication::WorkerThreadMain() {
  while (running_.load()) WorkerPass();
  workerEnded_.store(true);
}

void CApplication::StopWorkerServing(const ServeCalls& serve) {
  RequestStop();
  if (serve) {
    // The worker may be waiting for this thread to read a control: serve it until it is out.
    while (!WorkerEnded() && worker_.joinable()) serve(std::chrono::milliseconds(2));
  }
  JoinWorker();
  if (serve) serve(std::chrono::milliseconds(0));
}

LeaveOutcome CApplication::Shutdown(const ServeCalls& serve) {
  StopWorkerServing(serve);
  const LeaveOutcome outcome = window_.Shutdown();
  if (serve) serve(std::chrono::milliseconds(0));
  link_.Close();
  return outcome;
}

}  // namespace vqx
