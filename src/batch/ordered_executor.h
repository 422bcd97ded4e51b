// Runs a batch's jobs on worker threads and hands their results to the calling thread strictly
// in order. Only the calling thread prints; only workers run jobs (with no workers, the calling
// thread runs them itself). A job starts only while fewer than `window` jobs are started and not
// yet printed, so a slow job followed by many fast ones holds at most `window` results, and a
// job that declines to start (the run is stopping) ends the run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "io/threads.h"

namespace model_unpack {

template <typename Result>
struct OrderedJobs {
  std::size_t count = 0;
  // Runs job `i`; nothing when it declines to start.
  std::function<std::optional<Result>(std::size_t)> run;
  // Called on the calling thread before it waits for job `i`'s result.
  std::function<void(std::size_t)> waiting = [](std::size_t) {};
  // Job `i`'s result, on the calling thread, in order.
  std::function<void(std::size_t, Result&)> print;
};

struct ExecutorThreads {
  std::size_t workers = 0;  // threads that run jobs; 0: the calling thread runs them
  std::size_t window = 1;   // most jobs started and not yet printed (at least `workers`)
  // Told once, before any job runs, when fewer workers than asked could start.
  std::function<void(std::size_t started, const std::string& why)> fewer = nullptr;
};

namespace executor_detail {

template <typename Result>
void run_on_calling_thread(const OrderedJobs<Result>& jobs) {
  for (std::size_t i = 0; i < jobs.count; ++i) {
    jobs.waiting(i);
    std::optional<Result> result = jobs.run(i);
    if (!result) return;
    jobs.print(i, *result);
  }
}

template <typename Result>
class Shared {
 public:
  Shared(const OrderedJobs<Result>& jobs, std::size_t window)
      : jobs_(jobs), window_(window), results_(jobs.count) {}

  void work() {
    for (;;) {
      UniqueLock<Mutex> lock(mutex_);
      changed_.wait(lock, [&] { return ended() || next_ < printed_ + window_; });
      if (ended()) return;
      const std::size_t i = next_++;
      lock.unlock();
      std::optional<Result> result = jobs_.run(i);
      lock.lock();
      if (result) {
        results_[i] = std::move(result);
      } else if (i < declined_) {
        declined_ = i;
      }
      changed_.notify_all();
    }
  }

  void print_in_order() {
    for (std::size_t i = 0; i < jobs_.count; ++i) {
      jobs_.waiting(i);
      std::optional<Result> result;
      {
        UniqueLock<Mutex> lock(mutex_);
        changed_.wait(lock, [&] { return results_[i].has_value() || i >= declined_; });
        if (!results_[i]) return finish(lock);
        result = std::move(results_[i]);
        results_[i].reset();
      }
      jobs_.print(i, *result);
      const UniqueLock<Mutex> lock(mutex_);
      printed_ = i + 1;
      changed_.notify_all();
    }
  }

 private:
  bool ended() const { return next_ >= jobs_.count || declined_ < jobs_.count; }
  void finish(UniqueLock<Mutex>&) {
    declined_ = std::min(declined_, next_);
    changed_.notify_all();
  }

  const OrderedJobs<Result>& jobs_;
  const std::size_t window_;
  Mutex mutex_;
  ConditionVariable changed_;
  std::vector<std::optional<Result>> results_;
  std::size_t next_ = 0;
  std::size_t printed_ = 0;
  std::size_t declined_ = static_cast<std::size_t>(-1);
};

}  // namespace executor_detail

template <typename Result>
void run_in_order(const OrderedJobs<Result>& jobs, const ExecutorThreads& threads) {
  executor_detail::Shared<Result> shared(jobs, std::max(threads.window, threads.workers));
  std::vector<WorkerThread> workers(threads.workers);
  std::size_t started = 0;
  std::string why;
  while (started < workers.size() && workers[started].start([&] { shared.work(); }, &why)) {
    ++started;
  }
  if (started < workers.size() && threads.fewer) threads.fewer(started, why);
  if (started == 0) return executor_detail::run_on_calling_thread(jobs);
  shared.print_in_order();
  // Workers end once every job is taken or one declined; joined here.
}

}  // namespace model_unpack
