#include "io/threads.h"

namespace model_unpack {

bool WorkerThread::start(std::function<void()>, std::string* why) {
  if (why != nullptr) *why = "no threads on this platform";
  return false;
}

WorkerThread& WorkerThread::operator=(WorkerThread&&) noexcept {
  return *this;
}

void WorkerThread::join() {}

unsigned hardware_threads() {
  return 1;
}

void pause_briefly() {}

}  // namespace model_unpack
