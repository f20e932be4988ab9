#include "tests/support/pg_test_database.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <random>

#include "tests/support/subprocess.h"

namespace osltest {
namespace {

std::string Trim(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

bool TestOnPostgres() {
  const char* backend = std::getenv("OSL_TEST_BACKEND");
  return backend != nullptr && std::string(backend) == "postgresql";
}

bool PgQuery(const std::string& url, const std::string& sql, std::string* value,
             std::string* error) {
  PGconn* conn = PQconnectdb(url.c_str());
  bool ok = false;
  if (PQstatus(conn) == CONNECTION_OK) {
    PGresult* result = PQexec(conn, sql.c_str());
    ExecStatusType status = PQresultStatus(result);
    ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!ok) *error = Trim(PQresultErrorMessage(result));
    if (ok && value != nullptr) {
      *value = PQntuples(result) > 0 && PQnfields(result) > 0 ? PQgetvalue(result, 0, 0) : "";
    }
    PQclear(result);
  } else {
    *error = Trim(PQerrorMessage(conn));
  }
  PQfinish(conn);
  return ok;
}

bool PgTestDatabase::Create(std::string* skip, std::string* error) {
  const char* dir = OSL_TEST_PGDIR;
  std::string reason = Trim(ReadFile(std::string(dir) + "/skip"));
  if (!reason.empty()) {
    *skip = "PostgreSQL tests skipped: " + reason;
    return false;
  }
  clusterUrl_ = Trim(ReadFile(std::string(dir) + "/url"));
  if (clusterUrl_.empty()) {
    *error = std::string("the PostgreSQL test cluster in ") + dir +
             " is not running: ctest starts it (the test postgres_cluster_start); outside ctest, "
             "start it with tests/support/pg_cluster.sh start " + dir;
    return false;
  }
  std::random_device random;
  std::string name = "t_";
  for (int i = 0; i < 4; ++i) {
    static const char kHex[] = "0123456789abcdef";
    unsigned value = random();
    for (int j = 0; j < 4; ++j) name.push_back(kHex[(value >> (4 * j)) & 0xF]);
  }
  if (!PgQuery(clusterUrl_, "CREATE SCHEMA " + name, nullptr, error)) {
    *error = "cannot create a schema on the PostgreSQL test cluster: " + *error;
    return false;
  }
  schema_ = name;
  url_ = clusterUrl_ + "&options=-csearch_path%3D" + schema_;
  return true;
}

PgTestDatabase::~PgTestDatabase() {
  if (schema_.empty()) return;
  std::string ignored;
  PgQuery(clusterUrl_, "DROP SCHEMA " + schema_ + " CASCADE", nullptr, &ignored);
}

}  // namespace osltest
