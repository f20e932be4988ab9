// A fixed set of libpq connections to one PostgreSQL database, shared by the threads of one
// service. A thread borrows a connection for one call (PgConnectionPool::Lease) and gives it
// back when the lease ends; a thread with an open transaction keeps its connection pinned until
// the transaction ends, so every call it makes meanwhile runs inside that transaction.
#pragma once

#include <libpq-fe.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace refservice {

class PgConnectionPool {
 public:
  PgConnectionPool() = default;
  ~PgConnectionPool();
  PgConnectionPool(const PgConnectionPool&) = delete;
  PgConnectionPool& operator=(const PgConnectionPool&) = delete;

  // Opens `size` connections to `url` (a libpq connection URI or key=value text), each set to
  // UTC and, with `readOnly`, to read-only transactions. False with `error` set when one cannot
  // be opened (nothing is kept open then).
  bool Open(const std::string& url, int size, bool readOnly, std::string* error);

  // One connection for the calling thread: its pinned one when it has one, else a free one
  // (waiting up to `waitMs` for one). A lease without a connection (conn() null) means none was
  // free in time or the database cannot be reached.
  class Lease {
   public:
    Lease() = default;
    Lease(Lease&& other) noexcept : pool_(other.pool_), conn_(other.conn_), owned_(other.owned_) {
      other.pool_ = nullptr;
      other.conn_ = nullptr;
    }
    Lease& operator=(Lease&&) = delete;
    ~Lease();
    PGconn* conn() const { return conn_; }

   private:
    friend class PgConnectionPool;
    PgConnectionPool* pool_ = nullptr;
    PGconn* conn_ = nullptr;
    bool owned_ = false;  // given back to the pool at the end (not a pinned connection)
  };
  Lease Acquire(int waitMs = 30000);

  // Pins a connection to the calling thread (taking one when it has none) and returns how many
  // pins it now holds; 0 when no connection could be had. Unpin gives one pin back and returns
  // the connection to the pool with the last one.
  int Pin(PGconn** conn, int waitMs = 30000);
  void Unpin();
  // The calling thread's pinned connection, or null.
  PGconn* Pinned();
  // How many pins the calling thread holds.
  int PinDepth();

 private:
  PGconn* Take(int waitMs);
  void Give(PGconn* conn);

  std::string url_;
  std::mutex mutex_;
  std::condition_variable freed_;
  std::vector<PGconn*> all_;
  std::vector<PGconn*> free_;
  struct PinEntry {
    PGconn* conn = nullptr;
    int depth = 0;
  };
  std::map<std::thread::id, PinEntry> pinned_;
  bool readOnly_ = false;
};

// A libpq result, cleared on destruction.
using PgResult = std::unique_ptr<PGresult, decltype(&PQclear)>;

// Runs `sql` with text parameters (null entries are SQL NULL) and returns its result; `ok` says
// whether it succeeded (command done or rows returned).
PgResult PgExec(PGconn* conn, const char* sql, const std::vector<const std::string*>& params,
                bool* ok);

}  // namespace refservice
