#include "refservice/storage/postgres_driver.h"

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "refservice/storage/pg_connection_pool.h"
#include "refservice/storage/postgres_migrations.h"

namespace refservice {
namespace {

constexpr SqlDialect kDialect = {
    // clock_timestamp() is read anew by every call, so a lease taken late in a long transaction
    // still starts when it is taken.
    "(extract(epoch FROM clock_timestamp()) * 1000)::bigint",
    "\"C\"",
    "email_key",
    " FOR UPDATE",
    false,  // addresses without a token were only ever handed out by the single-file store
};

// Says why a statement failed on stderr: the operator's only clue to a database problem.
void Report(PGconn* conn, const PGresult* result) {
  std::string why = result != nullptr ? PQresultErrorMessage(result) : "";
  if (why.empty() && conn != nullptr) why = PQerrorMessage(conn);
  if (why.empty()) why = "no connection to the database";
  while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
  if (why.size() > 400) why.resize(400);
  std::cerr << "osl-service: database error: " << why << "\n";
}

// The rows of one statement, all read when it ran.
class PostgresRows : public SqlRows {
 public:
  PostgresRows(PgConnectionPool* pool, const std::string& sql, const std::vector<SqlValue>& params)
      : result_(nullptr, &PQclear) {
    PgConnectionPool::Lease lease = pool->Acquire();
    if (lease.conn() == nullptr) {
      Report(nullptr, nullptr);
      return;
    }
    // Parameters go as text; text values are passed without a copy.
    std::vector<std::string> numbers;
    numbers.reserve(params.size());
    std::vector<const std::string*> values;
    for (const SqlValue& value : params) {
      if (value.kind() == SqlValue::Kind::kText) {
        values.push_back(&value.text());
      } else if (value.kind() == SqlValue::Kind::kNull) {
        values.push_back(nullptr);
      } else {
        numbers.push_back(value.kind() == SqlValue::Kind::kBool
                              ? (value.number() != 0 ? "true" : "false")
                              : std::to_string(value.number()));
        values.push_back(&numbers.back());
      }
    }
    result_ = PgExec(lease.conn(), sql.c_str(), values, &ok_);
    if (!ok_) Report(lease.conn(), result_.get());
  }

  bool Next() override { return ok_ && ++row_ < PQntuples(result_.get()); }
  bool ok() const override { return ok_; }
  int64_t changed() const override { return ok_ ? std::atoll(PQcmdTuples(result_.get())) : 0; }
  bool IsNull(int column) const override { return PQgetisnull(result_.get(), row_, column) != 0; }
  std::string Text(int column) const override {
    return std::string(PQgetvalue(result_.get(), row_, column),
                       static_cast<size_t>(PQgetlength(result_.get(), row_, column)));
  }
  int64_t Int64(int column) const override {
    return std::atoll(PQgetvalue(result_.get(), row_, column));
  }
  bool Bool(int column) const override { return PQgetvalue(result_.get(), row_, column)[0] == 't'; }

 private:
  PgResult result_;
  bool ok_ = false;
  int row_ = -1;
};

// Big-endian integers for the binary COPY format.
void PutInt16(std::string* out, int16_t value) {
  auto v = static_cast<uint16_t>(value);
  out->push_back(static_cast<char>(v >> 8));
  out->push_back(static_cast<char>(v & 0xFF));
}
void PutInt32(std::string* out, int32_t value) {
  auto v = static_cast<uint32_t>(value);
  for (int shift = 24; shift >= 0; shift -= 8)
    out->push_back(static_cast<char>((v >> shift) & 0xFF));
}
void PutInt64(std::string* out, int64_t value) {
  auto v = static_cast<uint64_t>(value);
  for (int shift = 56; shift >= 0; shift -= 8)
    out->push_back(static_cast<char>((v >> shift) & 0xFF));
}

// Appends one value in the binary COPY format; false for text too long to send.
bool PutValue(std::string* out, const SqlValue& value) {
  switch (value.kind()) {
    case SqlValue::Kind::kNull:
      PutInt32(out, -1);
      return true;
    case SqlValue::Kind::kInt32:
      PutInt32(out, 4);
      PutInt32(out, static_cast<int32_t>(value.number()));
      return true;
    case SqlValue::Kind::kInt64:
      PutInt32(out, 8);
      PutInt64(out, value.number());
      return true;
    case SqlValue::Kind::kBool:
      PutInt32(out, 1);
      out->push_back(static_cast<char>(value.number() != 0 ? 1 : 0));
      return true;
    case SqlValue::Kind::kText:
      if (value.text().size() > INT32_MAX / 2) return false;
      PutInt32(out, static_cast<int32_t>(value.text().size()));
      out->append(value.text());
      return true;
  }
  return false;
}

}  // namespace

class PostgresDriver : public SqlDriver {
 public:
  const SqlDialect& dialect() const override { return kDialect; }

  std::unique_ptr<SqlRows> Run(const std::string& sql,
                               const std::vector<SqlValue>& params) override {
    return std::make_unique<PostgresRows>(&pool_, sql, params);
  }

  // Streams the rows with one binary COPY: one statement and one round trip for any number.
  bool BulkInsert(const char* table, const char* columns, size_t width,
                  const std::vector<SqlValue>& values) override {
    if (values.empty()) return true;
    PgConnectionPool::Lease lease = pool_.Acquire();
    PGconn* conn = lease.conn();
    if (conn == nullptr) {
      Report(nullptr, nullptr);
      return false;
    }
    std::string copy =
        std::string("COPY ") + table + "(" + columns + ") FROM STDIN WITH (FORMAT binary)";
    PgResult start(PQexec(conn, copy.c_str()), &PQclear);
    if (PQresultStatus(start.get()) != PGRES_COPY_IN) {
      Report(conn, start.get());
      return false;
    }
    std::string buffer("PGCOPY\n\377\r\n\0", 11);
    PutInt32(&buffer, 0);  // flags
    PutInt32(&buffer, 0);  // header extension
    bool sent = true;
    auto flush = [&] {
      if (sent && PQputCopyData(conn, buffer.data(), static_cast<int>(buffer.size())) != 1) {
        sent = false;
      }
      buffer.clear();
    };
    for (size_t i = 0; sent && i < values.size(); ++i) {
      if (i % width == 0) PutInt16(&buffer, static_cast<int16_t>(width));
      sent = PutValue(&buffer, values[i]);
      if (buffer.size() >= (1u << 20)) flush();
    }
    PutInt16(&buffer, -1);
    flush();
    if (PQputCopyEnd(conn, sent ? nullptr : "the rows could not be sent") != 1) sent = false;
    bool ok = sent;
    while (PGresult* result = PQgetResult(conn)) {
      if (PQresultStatus(result) != PGRES_COMMAND_OK) {
        if (ok) Report(conn, result);
        ok = false;
      }
      PQclear(result);
    }
    return ok;
  }

  bool LockKey(int64_t key) override {
    if (pool_.Pinned() == nullptr) return true;
    // 1330859057 is "OSL1" read as a number.
    return Run("SELECT pg_advisory_xact_lock(1330859057, $1)", {key})->ok();
  }

  bool Begin() override {
    PGconn* conn = nullptr;
    int depth = pool_.Pin(&conn);
    if (depth == 0) {
      Report(nullptr, nullptr);
      return false;
    }
    std::string sql = depth > 1   ? "SAVEPOINT osl_" + std::to_string(depth)
                      : readOnly_ ? "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"
                                  : "BEGIN";
    PgResult result(PQexec(conn, sql.c_str()), &PQclear);
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
      Report(conn, result.get());
      pool_.Unpin();
      return false;
    }
    return true;
  }

  bool Commit() override {
    PGconn* conn = pool_.Pinned();
    if (conn == nullptr) return false;
    const int depth = pool_.PinDepth();
    const std::string sql = depth > 1 ? "RELEASE SAVEPOINT osl_" + std::to_string(depth) : "COMMIT";
    PgResult result(PQexec(conn, sql.c_str()), &PQclear);
    // COMMIT of a transaction that failed earlier answers "ROLLBACK" without an error.
    bool ok = PQresultStatus(result.get()) == PGRES_COMMAND_OK &&
              (depth > 1 || std::strcmp(PQcmdStatus(result.get()), "COMMIT") == 0);
    if (!ok) Report(conn, result.get());
    if (!ok && depth > 1) {
      Rollback();  // ends the savepoint, dropping its changes
      return false;
    }
    pool_.Unpin();
    return ok;
  }

  void Rollback() override {
    PGconn* conn = pool_.Pinned();
    if (conn == nullptr) return;
    int depth = pool_.PinDepth();
    if (depth > 1) {
      std::string name = "osl_" + std::to_string(depth);
      PQclear(PQexec(conn, ("ROLLBACK TO SAVEPOINT " + name).c_str()));
      PQclear(PQexec(conn, ("RELEASE SAVEPOINT " + name).c_str()));
    } else {
      PQclear(PQexec(conn, "ROLLBACK"));
    }
    pool_.Unpin();
  }

  bool Open(const std::string& url, int connections, std::string* error) {
    if (!pool_.Open(url, connections, false, error)) return false;
    PgConnectionPool::Lease lease = pool_.Acquire();
    if (lease.conn() == nullptr) {
      *error = "cannot connect to the PostgreSQL database";
      return false;
    }
    return MigratePostgres(lease.conn(), error);
  }

  bool OpenReadOnly(const std::string& url, std::string* error) {
    if (!pool_.Open(url, 1, true, error)) return false;
    readOnly_ = true;
    PgConnectionPool::Lease lease = pool_.Acquire();
    int version = lease.conn() == nullptr ? -1 : PostgresSchemaVersionOf(lease.conn());
    if (version < 0) {
      *error = "cannot read the PostgreSQL database";
      return false;
    }
    if (version == 0) {
      *error = "the PostgreSQL database holds no data of this service";
      return false;
    }
    if (version > PostgresSchemaVersion()) {
      *error = "the database's schema is at version " + std::to_string(version) +
               ", newer than this osl-service knows (" + std::to_string(PostgresSchemaVersion()) +
               ")";
      return false;
    }
    if (version < PostgresSchemaVersion()) {
      *error = "the database's schema is at version " + std::to_string(version) +
               "; start osl-service on it once to bring it up to date";
      return false;
    }
    return true;
  }

 private:
  PgConnectionPool pool_;
  bool readOnly_ = false;
};

PostgresStore::PostgresStore() : PostgresStore(new PostgresDriver) {}

PostgresStore::PostgresStore(PostgresDriver* driver)
    : SqlStore(std::unique_ptr<SqlDriver>(driver)), postgres_(driver) {}

PostgresStore::~PostgresStore() = default;

bool PostgresStore::Open(const std::string& url, int connections, std::string* error) {
  return postgres_->Open(url, connections, error);
}

bool PostgresStore::OpenReadOnly(const std::string& url, std::string* error) {
  return postgres_->OpenReadOnly(url, error);
}

}  // namespace refservice
