// Where a service keeps its state, as the command line names it, and the store that opens it:
// `--data DIR` alone is one service's folder (SQLite database DIR/service.db, files in DIR);
// `--database postgresql://...` is a PostgreSQL database, with the files in `--files DIR`
// (shared by every service on that database) or in `--data DIR` (one service's).
#pragma once

#include <memory>
#include <string>

#include "refservice/storage/store.h"

namespace refservice {

struct StoreLocation {
  std::string dataDir;      // --data
  std::string databaseUrl;  // --database
  std::string filesDir;     // --files

  // The folder of the uploaded files.
  const std::string& files() const { return filesDir.empty() ? dataDir : filesDir; }
  // Whether several services may use the files folder at once.
  bool shared() const { return !filesDir.empty(); }
};

// The database file of a data folder.
std::string SqlitePathOf(const std::string& dataDir);

// True for a PostgreSQL connection URL ("postgresql://..." or "postgres://...").
bool IsPostgresUrl(const std::string& text);

// Checks that the options name a usable combination (a files folder only when `needFiles`); the
// message for the user otherwise.
bool CheckStoreLocation(const StoreLocation& location, bool needFiles, std::string* error);

// Opens (creating and migrating when needed) the store `location` names, with up to
// `connections` database connections for a PostgreSQL store. Null with `error` set on failure.
std::unique_ptr<Store> OpenStore(const StoreLocation& location, int connections,
                                 std::string* error);

// Opens the store `location` names for reading only, beside services that may be writing to it;
// nothing is created or migrated. Null with `error` set on failure.
std::unique_ptr<Store> OpenStoreReadOnly(const StoreLocation& location, std::string* error);

}  // namespace refservice
