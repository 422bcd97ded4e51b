#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "batch/ordered_executor.h"

namespace model_unpack {
namespace {

struct Record {
  std::atomic<std::size_t> started{0};
  std::atomic<std::size_t> printed{0};
  std::atomic<std::size_t> most_ahead{0};
  std::vector<std::size_t> order;
};

// Jobs whose first is slow; job `decline_at` declines to start.
OrderedJobs<std::size_t> jobs_of(Record& record, std::size_t count, std::size_t decline_at) {
  OrderedJobs<std::size_t> jobs;
  jobs.count = count;
  jobs.run = [&record, decline_at](std::size_t i) -> std::optional<std::size_t> {
    if (i == decline_at) return std::nullopt;
    const std::size_t ahead = ++record.started - record.printed;
    for (std::size_t seen = record.most_ahead; ahead > seen;) {
      if (record.most_ahead.compare_exchange_weak(seen, ahead)) break;
    }
    if (i == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return i * 10;
  };
  jobs.print = [&record](std::size_t i, std::size_t& result) {
    EXPECT_EQ(result, i * 10);
    record.order.push_back(i);
    ++record.printed;
  };
  return jobs;
}

TEST(OrderedExecutor, PrintsInOrderWithFewResultsWaitingAndStopsAtADeclinedJob) {
  for (const std::size_t workers : {0, 1, 3}) {
    Record record;
    run_in_order(jobs_of(record, 40, 40), ExecutorThreads{workers, 2 * workers, nullptr});
    ASSERT_EQ(record.order.size(), 40u) << workers;
    for (std::size_t i = 0; i < 40; ++i) EXPECT_EQ(record.order[i], i);
    // Behind the slow first job, the others wait instead of piling up their results.
    EXPECT_LE(record.most_ahead, std::max<std::size_t>(2 * workers, 1)) << workers;

    Record stopped;
    run_in_order(jobs_of(stopped, 40, 7), ExecutorThreads{workers, 2 * workers, nullptr});
    EXPECT_EQ(stopped.order.size(), 7u) << workers;
    EXPECT_LE(stopped.started, 7 + 2 * workers) << workers;
  }
}

}  // namespace
}  // namespace model_unpack
