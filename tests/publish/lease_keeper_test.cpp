// The keeper of a publish run's hold: it renews at its interval while it lives, from a thread of
// its own, and stops at once when it ends (a renewal is never made after that).
#include "publish/lease_keeper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace osltest {
namespace {

using std::chrono::milliseconds;

TEST(LeaseKeeper, RenewsAtItsIntervalUntilItEnds) {
  std::atomic<int> renewals{0};
  const std::thread::id test = std::this_thread::get_id();
  std::atomic<bool> otherThread{true};
  const auto started = std::chrono::steady_clock::now();
  {
    LeaseKeeper keeper(
        [&] {
          if (std::this_thread::get_id() == test) otherThread = false;
          ++renewals;
        },
        milliseconds(40));
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_EQ(0, renewals.load()) << "the first renewal waits one interval";
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_GE(keeper.Renewals(), 3);
    EXPECT_LE(keeper.Renewals(), 6);
  }
  const int atEnd = renewals.load();
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(atEnd, renewals.load()) << "renewed after the keeper ended";
  EXPECT_TRUE(otherThread.load());
  // Ending does not wait for the next interval.
  EXPECT_LT(std::chrono::steady_clock::now() - started, milliseconds(1000));
  {
    LeaseKeeper idle([&] { ++renewals; }, std::chrono::hours(1));
  }
  EXPECT_EQ(atEnd, renewals.load());
}

}  // namespace
}  // namespace osltest
