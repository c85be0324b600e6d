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

LeaveOutcome CApplication::Shutdown() {
  StopWorker();
  const LeaveOutcome outcome = window_.Shutdown();
  link_.Close();
  return outcome;
}

}  // namespace vqx
