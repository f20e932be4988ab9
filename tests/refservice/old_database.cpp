#include "tests/refservice/old_database.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace osltest {

const char* const kUnversionedAccountsAndTemplates =
    "PRAGMA application_id=1330859057;"
    "CREATE TABLE users(id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "email TEXT NOT NULL UNIQUE COLLATE NOCASE, salt TEXT NOT NULL, "
    "password_hash TEXT NOT NULL);"
    "CREATE TABLE templates(id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "user_id INTEGER NOT NULL REFERENCES users(id), doc_id TEXT NOT NULL UNIQUE, "
    "doc_password TEXT NOT NULL, name TEXT, description TEXT, category TEXT, "
    "is_active INTEGER NOT NULL, page_count INTEGER NOT NULL, width TEXT NOT NULL, "
    "height TEXT NOT NULL, bleed TEXT NOT NULL, client_type INTEGER NOT NULL, "
    "full_screen_window INTEGER NOT NULL, committed INTEGER NOT NULL DEFAULT 0, "
    "created_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP, "
    "updated_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP);";

void RunSqlite(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* message = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  std::string text = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << text;
}

}  // namespace osltest
