// The store in one SQLite file (DIR/service.db): the embedded default, for one service per data
// folder. SqlStore over a driver with one connection that serves every thread; a Transaction
// holds the connection for its thread, so other threads wait for it (which is why this dialect
// needs no row or key locks). The schema is versioned (PRAGMA user_version) and a file written
// by an older build is brought up to date when the service opens it.
#pragma once

#include <string>

#include "refservice/storage/sql_store.h"

namespace refservice {

// The schema version this build writes.
int SqliteSchemaVersion();

class SqliteDriver;

class SqliteStore : public SqlStore {
 public:
  SqliteStore();
  ~SqliteStore() override;

  // Opens (creating when missing) the database file and brings its schema up to date, each
  // missing migration in a transaction of its own. Returns false with `error` set when the file
  // cannot be opened, is not a database of this service, or has a newer schema than this build.
  bool Open(const std::string& path, std::string* error);

  // Opens an existing database of this service for reading only, beside a service that may be
  // writing to it. Returns false with `error` set when the file is missing, is not a database, or
  // is not a database of this service. Write methods fail on a store opened this way.
  bool OpenReadOnly(const std::string& path, std::string* error);

 private:
  explicit SqliteStore(SqliteDriver* driver);

  SqliteDriver* sqlite_;  // owned by SqlStore
};

}  // namespace refservice
