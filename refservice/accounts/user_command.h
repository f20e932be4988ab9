// `osl-service user add|passwd|remove --data DIR|--database URL EMAIL`: managing accounts from the command line,
// also while a service runs on the same data folder (the commands do not take the folder's
// service lock; the database serialises their writes with the service's, and a running service
// sees a changed or removed account at its next call).
//
//   add     creates the account; refused when it exists. Creates DIR and its database when
//           they are missing, so accounts can be made before the first start.
//   passwd  sets a new password; refused when the account does not exist.
//   remove  removes the account; refused when it does not exist, and refused when it owns
//           templates unless --with-templates is given (the templates go with it).
// Passwords come from the terminal (asked twice, not echoed) or from the first line of
// standard input; never from the command line.
// Exit status: 0 done, 1 refused or failed (nothing changed), 2 bad usage or input.
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "refservice/storage/store.h"

namespace refservice {

struct UserCommandOptions {
  std::string action;  // "add", "passwd" or "remove"
  std::string dataDir;      // --data: the SQLite store of one service's folder
  std::string databaseUrl;  // --database: the PostgreSQL store several services share
  std::string email;
  bool withTemplates = false;
};

// Whether `email` is accepted as an account's address: LOCAL@DOMAIN with one "@", a local part
// of letters, digits and !#$%&'*+/=?^_`{|}~.- (not starting with "-" or ".", no ".."), and a
// domain of at least two dot-separated labels of letters, digits and inner hyphens (bytes
// beyond ASCII pass in both). Refuses markup ("<script>@x.org"), option-like text ("-x@y.org")
// and single-label domains ("a@b").
bool IsAcceptableEmail(const std::string& email);

// Runs the parsed command; messages go to `out` (what was done) and `err` (why not).
int RunUserCommand(const UserCommandOptions& options, std::ostream& out, std::ostream& err);

// The store the account commands work on: the PostgreSQL database of `options.databaseUrl`, or
// the database in `options.dataDir` (created with the folder when `create`). Null with `error`
// set when it cannot be opened.
std::unique_ptr<Store> OpenCommandStore(const UserCommandOptions& options, bool create,
                                        std::string* error);

}  // namespace refservice
