// Databases as an older osl-service left them, written with SQLite itself, for the tests that
// check a newer service opens them with everything they held.
#pragma once

#include <string>

namespace osltest {

// The service's mark and its accounts and templates tables as they were before the schema had
// versions and accounts had credentials (a salt and a SHA-256 password digest each). Tests
// append the rows (and any further tables) they need.
extern const char* const kUnversionedAccountsAndTemplates;

// Runs `sql` on the SQLite file at `path`, creating it when missing; fails the calling test with
// SQLite's message when it cannot (call it within ASSERT_NO_FATAL_FAILURE).
void RunSqlite(const std::string& path, const std::string& sql);

}  // namespace osltest
