// What SqlStore needs of a database: statements with bound values, their rows read in order,
// transactions that nest, a bulk insert, and the few places where the SQL dialects differ. The
// query text is SqlStore's, written once with the placeholders $1, $2, ...; a driver whose
// database spells them otherwise rewrites them. A driver is safe to use from several threads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace refservice {

// One value bound to a statement: NULL, a 32- or 64-bit integer (the width a bulk insert sends),
// a truth value, or text. Text is borrowed: it must outlive the call the value is given to.
class SqlValue {
 public:
  enum class Kind { kNull, kInt32, kInt64, kBool, kText };
  SqlValue(int value) : kind_(Kind::kInt32), number_(value) {}
  SqlValue(int64_t value) : kind_(Kind::kInt64), number_(value) {}
  SqlValue(bool value) : kind_(Kind::kBool), number_(value ? 1 : 0) {}
  SqlValue(const std::string& text) : kind_(Kind::kText), text_(&text) {}
  SqlValue(const std::optional<std::string>& text)
      : kind_(text ? Kind::kText : Kind::kNull), text_(text ? &*text : nullptr) {}
  SqlValue(const char*) = delete;  // would bind as a truth value

  Kind kind() const { return kind_; }
  int64_t number() const { return number_; }
  const std::string& text() const { return *text_; }

 private:
  Kind kind_;
  int64_t number_ = 0;
  const std::string* text_ = nullptr;
};

// The outcome of one statement: its rows, read in order, and how many rows it changed.
class SqlRows {
 public:
  virtual ~SqlRows() = default;
  // Moves to the next row; false after the last one and on an error.
  virtual bool Next() = 0;
  // False when the statement failed; an error while reading rows shows once Next returned false.
  virtual bool ok() const = 0;
  // How many rows an INSERT, UPDATE or DELETE changed.
  virtual int64_t changed() const = 0;

  // The current row's columns, counted from 0.
  virtual bool IsNull(int column) const = 0;
  virtual std::string Text(int column) const = 0;
  virtual int64_t Int64(int column) const = 0;
  virtual bool Bool(int column) const = 0;
  int Int(int column) const { return static_cast<int>(Int64(column)); }
  std::optional<std::string> OptionalText(int column) const {
    if (IsNull(column)) return std::nullopt;
    return Text(column);
  }
};

// The pieces of query text in which the dialects differ.
struct SqlDialect {
  // The database's clock in milliseconds since 1970, as an expression.
  const char* nowMs;
  // The collation that orders text byte by byte.
  const char* byteOrder;
  // The column that holds an account's e-mail address in lower case, to find it by; null when
  // the address column itself compares in any ASCII letter case.
  const char* emailKey;
  // What makes a SELECT lock the rows it read until the transaction ends; null when the
  // database's transactions exclude each other anyway.
  const char* forUpdate;
  // Whether the database can hold the table "uploads" of files stored before addresses had
  // tokens.
  bool legacyUploads;
};

class SqlDriver {
 public:
  virtual ~SqlDriver() = default;

  virtual const SqlDialect& dialect() const = 0;

  // Runs `sql` with `params` bound to $1, $2, ... (in the calling thread's transaction when it
  // has one). Never null; see SqlRows::ok.
  virtual std::unique_ptr<SqlRows> Run(const std::string& sql,
                                       const std::vector<SqlValue>& params) = 0;

  // Inserts rows of `width` values each, `values` holding them one row after the other, into
  // the comma-separated `columns` of `table`, in as few round trips as the database allows.
  // True when every row was inserted (and for no rows).
  virtual bool BulkInsert(const char* table, const char* columns, size_t width,
                          const std::vector<SqlValue>& values) = 0;

  // Inside a transaction: keeps every other caller of LockKey with the same `key`, in this
  // service or another sharing the database, waiting until the transaction ends. Does nothing
  // outside a transaction. False on a database error.
  virtual bool LockKey(int64_t key) = 0;

  // The calling thread's transaction: Begin opens one (or a savepoint inside the one it has
  // open), Commit ends it keeping its changes, Rollback ends it dropping them.
  virtual bool Begin() = 0;
  virtual bool Commit() = 0;
  virtual void Rollback() = 0;
};

}  // namespace refservice
