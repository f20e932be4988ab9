#include "refservice/storage/store_factory.h"

#include "refservice/storage/postgres_driver.h"
#include "refservice/storage/sqlite_driver.h"

namespace refservice {

std::string SqlitePathOf(const std::string& dataDir) { return dataDir + "/service.db"; }

bool IsPostgresUrl(const std::string& text) {
  return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

bool CheckStoreLocation(const StoreLocation& location, bool needFiles, std::string* error) {
  if (!location.databaseUrl.empty() && !IsPostgresUrl(location.databaseUrl)) {
    *error = "--database expects a PostgreSQL URL (postgresql://...)";
    return false;
  }
  if (!location.filesDir.empty() && location.databaseUrl.empty()) {
    *error = "--files needs --database: services share a files folder through one PostgreSQL "
             "database (with SQLite, --data DIR holds both)";
    return false;
  }
  if (!location.filesDir.empty() && !location.dataDir.empty()) {
    *error = "give either --data DIR or --files DIR, not both";
    return false;
  }
  if (location.databaseUrl.empty() && location.dataDir.empty()) {
    *error = "--data DIR is required";
    return false;
  }
  if (needFiles && location.files().empty()) {
    *error = location.databaseUrl.empty()
                 ? "--data DIR is required"
                 : "--files DIR (shared by several services) or --data DIR (one service's) is "
                   "required with --database";
    return false;
  }
  return true;
}

std::unique_ptr<Store> OpenStore(const StoreLocation& location, int connections,
                                 std::string* error) {
  if (!location.databaseUrl.empty()) {
    auto store = std::make_unique<PostgresStore>();
    if (!store->Open(location.databaseUrl, connections, error)) return nullptr;
    return store;
  }
  auto store = std::make_unique<SqliteStore>();
  if (!store->Open(SqlitePathOf(location.dataDir), error)) return nullptr;
  return store;
}

std::unique_ptr<Store> OpenStoreReadOnly(const StoreLocation& location, std::string* error) {
  if (!location.databaseUrl.empty()) {
    auto store = std::make_unique<PostgresStore>();
    if (!store->OpenReadOnly(location.databaseUrl, error)) return nullptr;
    return store;
  }
  auto store = std::make_unique<SqliteStore>();
  if (!store->OpenReadOnly(SqlitePathOf(location.dataDir), error)) return nullptr;
  return store;
}

}  // namespace refservice
