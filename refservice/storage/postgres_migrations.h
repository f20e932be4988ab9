// The versioned schema of the PostgreSQL store. The versions match the SQLite store's: version N
// holds the same tables and meaning on both. The version a database is at is the highest row of
// its table schema_migrations.
#pragma once

#include <libpq-fe.h>

#include <string>

namespace refservice {

// The schema version this build writes.
int PostgresSchemaVersion();

// Brings the database `conn` is connected to up to PostgresSchemaVersion(): every missing
// migration runs, in order, in one transaction that first takes a transaction-scoped advisory
// lock, so services starting at once on one database never run a migration twice and none sees a
// half-migrated schema. False with `error` set when a migration fails (nothing of it is kept) or
// the database is at a newer version than this build knows.
bool MigratePostgres(PGconn* conn, std::string* error);

// The version of the database's schema, 0 when it has none (not this service's database); -1 on
// a database error.
int PostgresSchemaVersionOf(PGconn* conn);

}  // namespace refservice
