// A database of its own for one test on the private PostgreSQL cluster that ctest starts
// (tests/support/pg_cluster.sh, the fixture "postgres"): a fresh schema, named in the connection
// URL's search_path, dropped again when the object ends.
#pragma once

#include <string>

namespace osltest {

class PgTestDatabase {
 public:
  PgTestDatabase() = default;
  ~PgTestDatabase();
  PgTestDatabase(const PgTestDatabase&) = delete;
  PgTestDatabase& operator=(const PgTestDatabase&) = delete;

  // Creates the schema. False with `skip` set when the tests that need PostgreSQL are to be
  // skipped (the server programs are not installed), or with `error` set when the cluster is
  // not running or the schema cannot be made.
  bool Create(std::string* skip, std::string* error);
  // The connection URL that opens the schema (valid after Create).
  const std::string& url() const { return url_; }

 private:
  std::string clusterUrl_;
  std::string schema_;
  std::string url_;
};

// True when the store-dependent service tests run on PostgreSQL in this run (ctest runs them once
// per backend; the environment variable OSL_TEST_BACKEND=postgresql selects this one).
bool TestOnPostgres();

// Runs `sql` on the database at `url`; the first column of the first row (or "" when there is
// none). False with `error` set when it fails.
bool PgQuery(const std::string& url, const std::string& sql, std::string* value,
             std::string* error);

}  // namespace osltest

// Skips the current test with a clear message when PostgreSQL is not available; fails it when
// the cluster is there but unusable. Leaves `db` created otherwise.
#define OSL_CREATE_PG_DATABASE(db)                    \
  do {                                                \
    std::string pg_skip_, pg_error_;                  \
    if (!(db).Create(&pg_skip_, &pg_error_)) {        \
      if (!pg_skip_.empty()) GTEST_SKIP() << pg_skip_; \
      FAIL() << pg_error_;                            \
    }                                                 \
  } while (0)
