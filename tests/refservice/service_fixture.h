// A test fixture with one osl-service on a fresh data folder: StartService starts it with the
// account kAnn / kAnnPw (and any further options). When the run is on PostgreSQL
// (TestOnPostgres), the service keeps its state in a fresh database of its own, and the files in
// the data folder. A service the test started must still be
// running after the test, unless the test stopped it with StopService, and must end cleanly: a
// crash or a sanitizer report fails the test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/pg_test_database.h"
#include "tests/support/subprocess.h"

namespace osltest {

inline constexpr char kAnn[] = "ann@example.org";
inline constexpr char kAnnPw[] = "ann-pw";

class ServiceFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestOnPostgres()) return;
    OSL_CREATE_PG_DATABASE(db_);
    service_.UseDatabase(db_.url());
  }

  // The options that name the service's state, for the read-only commands (list, show, render).
  std::vector<std::string> StoreArgs() const {
    if (!TestOnPostgres()) return {"--data", dir_.path()};
    return {"--database", db_.url(), "--data", dir_.path()};
  }
  // How the commands' messages name the state.
  std::string StoreName() const {
    return TestOnPostgres() ? "the PostgreSQL database" : dir_.path();
  }

  void StartService(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"--user", kAnn, "--password", kAnnPw};
    args.insert(args.end(), extra.begin(), extra.end());
    StartServiceWith(args);
  }

  // Starts the service with exactly `args` after --listen and --data (no account added).
  void StartServiceWith(const std::vector<std::string>& args) {
    std::string error;
    stopped_ = false;
    ASSERT_TRUE(service_.Start(dir_.path(), args, &error)) << error;
  }

  // Stops the service (SIGTERM) on purpose; its exit status (0 when it ended cleanly).
  int StopService() {
    stopped_ = true;
    return service_.Stop();
  }

  void TearDown() override {
    if (service_.port() == 0) return;  // never started
    if (service_.Running()) {
      EXPECT_EQ(service_.Stop(), 0) << "osl-service did not end cleanly";
    } else {
      EXPECT_TRUE(stopped_) << "osl-service ended during the test";
    }
  }

  TempDir dir_;
  PgTestDatabase db_;
  ServiceProcess service_;

 private:
  bool stopped_ = false;
};

}  // namespace osltest
