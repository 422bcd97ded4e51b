#include <chrono>
#include <new>
#include <system_error>

#include "io/threads.h"

namespace model_unpack {

bool WorkerThread::start(std::function<void()> work, std::string* why) {
  try {
    thread_ = std::thread(std::move(work));
    return true;
  } catch (const std::system_error& error) {
    if (why != nullptr) *why = error.what();
    return false;
  } catch (const std::bad_alloc&) {
    if (why != nullptr) *why = "not enough memory";
    return false;
  }
}

WorkerThread& WorkerThread::operator=(WorkerThread&& other) noexcept {
  if (this != &other) {
    join();
    thread_ = std::move(other.thread_);
  }
  return *this;
}

void WorkerThread::join() {
  if (thread_.joinable()) thread_.join();
}

unsigned hardware_threads() {
  return std::thread::hardware_concurrency();
}

void pause_briefly() {
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace model_unpack
