#include "refservice/storage/pg_connection_pool.h"

#include <chrono>

namespace refservice {
namespace {

// Messages the server sends (notices) are not the service's output.
void IgnoreNotice(void*, const PGresult*) {}

bool Prepare(PGconn* conn, bool readOnly) {
  PQsetNoticeReceiver(conn, IgnoreNotice, nullptr);
  std::string setup = "SET TIME ZONE 'UTC'";
  if (readOnly) setup += "; SET default_transaction_read_only = on";
  PGresult* result = PQexec(conn, setup.c_str());
  bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  PQclear(result);
  return ok;
}

}  // namespace

PgConnectionPool::~PgConnectionPool() {
  for (PGconn* conn : all_) PQfinish(conn);
}

bool PgConnectionPool::Open(const std::string& url, int size, bool readOnly, std::string* error) {
  url_ = url;
  for (int i = 0; i < size; ++i) {
    PGconn* conn = PQconnectdb(url.c_str());
    if (conn == nullptr || PQstatus(conn) != CONNECTION_OK || !Prepare(conn, readOnly)) {
      std::string why = conn != nullptr ? PQerrorMessage(conn) : "out of memory";
      while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
      *error = "cannot connect to the PostgreSQL database: " + why;
      PQfinish(conn);
      for (PGconn* open : all_) PQfinish(open);
      all_.clear();
      free_.clear();
      return false;
    }
    all_.push_back(conn);
    free_.push_back(conn);
  }
  readOnly_ = readOnly;
  return true;
}

PGconn* PgConnectionPool::Take(int waitMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!freed_.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return !free_.empty(); })) {
    return nullptr;
  }
  PGconn* conn = free_.back();
  free_.pop_back();
  lock.unlock();
  // A connection the server dropped (a restart, a network cut) is made again before use.
  if (PQstatus(conn) != CONNECTION_OK) {
    PQreset(conn);
    if (PQstatus(conn) != CONNECTION_OK || !Prepare(conn, readOnly_)) {
      Give(conn);
      return nullptr;
    }
  }
  return conn;
}

void PgConnectionPool::Give(PGconn* conn) {
  // A connection left inside a transaction (a failed rollback) must not carry it to the next
  // borrower: it is reset.
  if (PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) != PQTRANS_IDLE) PQreset(conn);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(conn);
  }
  freed_.notify_one();
}

PgConnectionPool::Lease::~Lease() {
  if (pool_ != nullptr && conn_ != nullptr && owned_) pool_->Give(conn_);
}

PgConnectionPool::Lease PgConnectionPool::Acquire(int waitMs) {
  Lease lease;
  lease.pool_ = this;
  if (PGconn* pinned = Pinned()) {
    lease.conn_ = pinned;
    return lease;
  }
  lease.conn_ = Take(waitMs);
  lease.owned_ = true;
  return lease;
}

PGconn* PgConnectionPool::Pinned() {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = pinned_.find(std::this_thread::get_id());
  return found == pinned_.end() ? nullptr : found->second.conn;
}

int PgConnectionPool::PinDepth() {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = pinned_.find(std::this_thread::get_id());
  return found == pinned_.end() ? 0 : found->second.depth;
}

int PgConnectionPool::Pin(PGconn** conn, int waitMs) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = pinned_.find(std::this_thread::get_id());
    if (found != pinned_.end()) {
      *conn = found->second.conn;
      return ++found->second.depth;
    }
  }
  PGconn* taken = Take(waitMs);
  if (taken == nullptr) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  pinned_[std::this_thread::get_id()] = PinEntry{taken, 1};
  *conn = taken;
  return 1;
}

void PgConnectionPool::Unpin() {
  PGconn* release = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = pinned_.find(std::this_thread::get_id());
    if (found == pinned_.end()) return;
    if (--found->second.depth > 0) return;
    release = found->second.conn;
    pinned_.erase(found);
  }
  Give(release);
}

PgResult PgExec(PGconn* conn, const char* sql, const std::vector<const std::string*>& params,
                bool* ok) {
  std::vector<const char*> values;
  std::vector<int> lengths;
  values.reserve(params.size());
  lengths.reserve(params.size());
  for (const std::string* param : params) {
    values.push_back(param == nullptr ? nullptr : param->c_str());
    lengths.push_back(param == nullptr ? 0 : static_cast<int>(param->size()));
  }
  PgResult result(PQexecParams(conn, sql, static_cast<int>(params.size()), nullptr, values.data(),
                               lengths.data(), nullptr, 0),
                  &PQclear);
  ExecStatusType status = PQresultStatus(result.get());
  *ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  return result;
}

}  // namespace refservice
