// The test helper that joins threads on every way out of a test, a failed assertion included.
#include "tests/support/thread_group.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace osltest {
namespace {

std::atomic<bool> threadEnded{false};

// Starts a thread that runs until told to stop, then fails an assertion, which returns early.
void FailWhileAThreadRuns() {
  std::atomic<bool> stop{false};
  ThreadGroup threads([&] { stop = true; });
  threads.Start([&] {
    for (int i = 0; i < 10000 && !stop; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    threadEnded = true;
  });
  ASSERT_TRUE(false) << "a failure while the thread runs";
}

TEST(ThreadGroup, AFailedAssertionStillStopsAndJoinsTheThreads) {
  EXPECT_FATAL_FAILURE(FailWhileAThreadRuns(), "a failure while the thread runs");
  EXPECT_TRUE(threadEnded);
}

}  // namespace
}  // namespace osltest
