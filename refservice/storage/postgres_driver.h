// The store in a PostgreSQL database (libpq), shared by every osl-service started with the same
// --database URL: SqlStore over a driver whose calls borrow a connection from a pool; a
// Transaction pins one connection to its thread until it ends. Times (publish leases,
// heartbeats) are the database server's clock. Rows are locked with FOR UPDATE and keys with
// transaction-scoped advisory locks; field and asset lists are sent with one binary COPY.
#pragma once

#include <string>

#include "refservice/storage/sql_store.h"

namespace refservice {

class PostgresDriver;

class PostgresStore : public SqlStore {
 public:
  PostgresStore();
  ~PostgresStore() override;

  // Connects `connections` times to `url` and brings the schema up to date (see
  // MigratePostgres). False with `error` set when the database cannot be reached or migrated.
  bool Open(const std::string& url, int connections, std::string* error);
  // Connects once, read-only, to a database this service has already set up. False with `error`
  // set when it cannot be reached or holds no schema of this service (nothing is created then).
  bool OpenReadOnly(const std::string& url, std::string* error);

 private:
  explicit PostgresStore(PostgresDriver* driver);

  PostgresDriver* postgres_;  // owned by SqlStore
};

}  // namespace refservice
