// Upload quotas: per session and per data folder, reservations given back, no overflow.
#include "refservice/storage/upload_quota.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/support/thread_group.h"

namespace osltest {
namespace {

using refservice::UploadQuota;

TEST(UploadQuota, SessionAndFolderLimitsHoldExactly) {
  UploadQuota quota(100, 250);
  quota.AddStored("a", 40);
  std::string why;
  EXPECT_TRUE(quota.Reserve("a", 60, &why));
  EXPECT_FALSE(quota.Reserve("a", 1, &why));
  EXPECT_EQ(why, "session a would hold more than its quota of 100 bytes of uploaded files");
  EXPECT_EQ(quota.used("a"), 100u);
  EXPECT_TRUE(quota.Reserve("b", 100, &why));
  EXPECT_TRUE(quota.Reserve("c", 50, &why));
  EXPECT_FALSE(quota.Reserve("c", 1, &why));
  EXPECT_EQ(why, "the data folder would hold more than its quota of 250 bytes of uploaded files");
  EXPECT_EQ(quota.usedTotal(), 250u);
  quota.Release("c", 50);
  EXPECT_EQ(quota.used("c"), 0u);
  EXPECT_TRUE(quota.Reserve("d", 50, &why));
  EXPECT_FALSE(quota.Reserve("e", UINT64_MAX, &why)) << "no overflow";
  EXPECT_EQ(quota.usedTotal(), 250u);
  UploadQuota unlimited(0, 0);
  EXPECT_TRUE(unlimited.Reserve("x", UINT64_MAX / 2, &why));
}

TEST(UploadQuota, ConcurrentReservationsNeverPassTheLimit) {
  UploadQuota quota(0, 1000);
  std::atomic<int> granted{0};
  ThreadGroup threads;
  for (int t = 0; t < 8; ++t) {
    threads.Start([&, t] {
      std::string why;
      for (int i = 0; i < 1000; ++i) {
        if (quota.Reserve("s" + std::to_string(t), 1, &why)) ++granted;
      }
    });
  }
  threads.JoinAll();
  EXPECT_EQ(granted.load(), 1000);
  EXPECT_EQ(quota.usedTotal(), 1000u);
}

}  // namespace
}  // namespace osltest
