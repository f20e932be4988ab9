#include "refservice/storage/postgres_migrations.h"

#include <cstdlib>

#include "refservice/storage/pg_connection_pool.h"

namespace refservice {
namespace {

// Every service's schema change in order; entry i brings the schema to version i + 1.
constexpr const char* kMigrations[] = {
    // 1: accounts, templates with their fields, groups, assets and commits, uploaded and pending
    // files, publish leases.
    R"sql(
CREATE TABLE users(
  id SERIAL PRIMARY KEY,
  email TEXT NOT NULL,
  email_key TEXT NOT NULL UNIQUE,
  salt TEXT NOT NULL,
  password_hash TEXT NOT NULL);
CREATE TABLE templates(
  id BIGSERIAL PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users(id),
  doc_id TEXT NOT NULL UNIQUE,
  doc_password TEXT NOT NULL,
  name TEXT,
  description TEXT,
  category TEXT,
  is_active BOOLEAN NOT NULL,
  page_count INTEGER NOT NULL,
  width TEXT NOT NULL,
  height TEXT NOT NULL,
  bleed TEXT NOT NULL,
  client_type INTEGER NOT NULL,
  full_screen_window INTEGER NOT NULL,
  committed BOOLEAN NOT NULL DEFAULT false,
  created_at TIMESTAMPTZ NOT NULL DEFAULT now(),
  updated_at TIMESTAMPTZ NOT NULL DEFAULT now());
CREATE INDEX templates_by_user ON templates(user_id, id);
CREATE TABLE fields(
  template_id BIGINT NOT NULL REFERENCES templates(id),
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  record TEXT NOT NULL,
  PRIMARY KEY(template_id, position));
CREATE TABLE logic_groups(
  id SERIAL PRIMARY KEY,
  template_id BIGINT NOT NULL REFERENCES templates(id),
  name TEXT NOT NULL,
  move_direction INTEGER NOT NULL);
CREATE INDEX logic_groups_by_template ON logic_groups(template_id, id);
CREATE TABLE assets(
  template_id BIGINT NOT NULL REFERENCES templates(id),
  position INTEGER NOT NULL,
  url TEXT,
  name TEXT,
  type INTEGER NOT NULL,
  image_picker_num INTEGER NOT NULL,
  PRIMARY KEY(template_id, position));
CREATE TABLE commits(
  id BIGSERIAL PRIMARY KEY,
  template_id BIGINT NOT NULL REFERENCES templates(id),
  committed_at TEXT NOT NULL DEFAULT to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS'),
  field_count INTEGER NOT NULL,
  asset_count INTEGER NOT NULL,
  group_count INTEGER NOT NULL);
CREATE INDEX commits_by_template ON commits(template_id);
CREATE TABLE files(
  session TEXT NOT NULL,
  token TEXT NOT NULL,
  name TEXT NOT NULL,
  size BIGINT NOT NULL,
  sha256 TEXT NOT NULL,
  uploaded_at TIMESTAMPTZ NOT NULL DEFAULT now(),
  PRIMARY KEY(session, token, name));
CREATE TABLE pending_files(
  session TEXT NOT NULL,
  token TEXT NOT NULL,
  name TEXT NOT NULL,
  started_at TIMESTAMPTZ NOT NULL DEFAULT clock_timestamp(),
  PRIMARY KEY(session, token, name));
CREATE TABLE publish_leases(
  template_id BIGINT PRIMARY KEY REFERENCES templates(id),
  owner TEXT NOT NULL,
  taken_at_ms BIGINT NOT NULL,
  expires_at_ms BIGINT NOT NULL);
)sql",
    // 2: an opaque credential text per account instead of a salted digest; an old record becomes
    // "sha256$SALT$DIGEST", which the accounts code still accepts.
    R"sql(
ALTER TABLE users ADD COLUMN credential TEXT;
UPDATE users SET credential = 'sha256$' || salt || '$' || password_hash;
ALTER TABLE users ALTER COLUMN credential SET NOT NULL;
ALTER TABLE users DROP COLUMN salt, DROP COLUMN password_hash;
)sql",
    // 3: services sharing the database: their heartbeats, the instance that moves a pending
    // upload, and the bytes reserved for uploads in flight, so that quotas hold across services.
    R"sql(
CREATE TABLE instances(
  id TEXT PRIMARY KEY,
  description TEXT NOT NULL,
  heartbeat_ms BIGINT NOT NULL);
ALTER TABLE pending_files ADD COLUMN instance TEXT NOT NULL DEFAULT '';
CREATE TABLE upload_reservations(
  id TEXT PRIMARY KEY,
  instance TEXT NOT NULL,
  session TEXT NOT NULL,
  bytes BIGINT NOT NULL);
CREATE INDEX upload_reservations_by_session ON upload_reservations(session);
CREATE INDEX upload_reservations_by_instance ON upload_reservations(instance);
)sql",
};

constexpr int kVersions = static_cast<int>(sizeof(kMigrations) / sizeof(kMigrations[0]));

// The advisory lock that serialises migrations of every service on the cluster (1330859057 is
// "OSL1" read as a number).
constexpr const char* kMigrationLock = "SELECT pg_advisory_xact_lock(1330859057, 1)";

bool Exec(PGconn* conn, const std::string& sql, std::string* error) {
  PGresult* result = PQexec(conn, sql.c_str());
  ExecStatusType status = PQresultStatus(result);
  bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  if (!ok) {
    *error = PQresultErrorMessage(result);
    while (!error->empty() && (error->back() == '\n' || error->back() == ' ')) error->pop_back();
  }
  PQclear(result);
  return ok;
}

int ReadVersion(PGconn* conn) {
  bool ok = false;
  PgResult result = PgExec(conn,
                           "SELECT COALESCE(MAX(version), 0) FROM schema_migrations", {}, &ok);
  if (!ok || PQntuples(result.get()) != 1) return -1;
  return std::atoi(PQgetvalue(result.get(), 0, 0));
}

}  // namespace

int PostgresSchemaVersion() { return kVersions; }

int PostgresSchemaVersionOf(PGconn* conn) {
  bool ok = false;
  PgResult exists =
      PgExec(conn, "SELECT to_regclass('schema_migrations') IS NOT NULL", {}, &ok);
  if (!ok || PQntuples(exists.get()) != 1) return -1;
  if (std::string(PQgetvalue(exists.get(), 0, 0)) != "t") return 0;
  return ReadVersion(conn);
}

bool MigratePostgres(PGconn* conn, std::string* error) {
  std::string why;
  auto fail = [&](const std::string& what) {
    *error = what + (why.empty() ? "" : ": " + why);
    PQclear(PQexec(conn, "ROLLBACK"));
    return false;
  };
  if (!Exec(conn, "BEGIN", &why)) return fail("cannot start the schema migration");
  // The lock comes first, so the check below sees every migration another service committed.
  if (!Exec(conn, kMigrationLock, &why) ||
      !Exec(conn,
            "CREATE TABLE IF NOT EXISTS schema_migrations("
            "version INTEGER PRIMARY KEY, applied_at TIMESTAMPTZ NOT NULL DEFAULT now())",
            &why)) {
    return fail("cannot prepare the schema migration");
  }
  int version = ReadVersion(conn);
  if (version < 0) return fail("cannot read the schema version");
  if (version > kVersions) {
    why.clear();
    return fail("the database has schema version " + std::to_string(version) +
                ", newer than this osl-service (" + std::to_string(kVersions) +
                ") knows; use a newer osl-service");
  }
  for (int next = version + 1; next <= kVersions; ++next) {
    if (!Exec(conn, kMigrations[next - 1], &why) ||
        !Exec(conn,
              "INSERT INTO schema_migrations(version) VALUES(" + std::to_string(next) + ")",
              &why)) {
      return fail("schema migration to version " + std::to_string(next) + " failed");
    }
  }
  PgResult commit(PQexec(conn, "COMMIT"), &PQclear);
  if (PQresultStatus(commit.get()) != PGRES_COMMAND_OK ||
      std::string(PQcmdStatus(commit.get())) != "COMMIT") {
    why = PQresultErrorMessage(commit.get());
    return fail("the schema migration could not be committed");
  }
  return true;
}

}  // namespace refservice
