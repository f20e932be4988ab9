#include "refservice/accounts/user_command.h"

#include <sys/stat.h>

#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

#include "refservice/accounts/accounts.h"
#include "refservice/accounts/password_prompt.h"
#include "refservice/storage/file_system.h"
#include "refservice/storage/store_factory.h"

namespace refservice {

bool IsAcceptableEmail(const std::string& email) {
  if (email.size() < 5 || email.size() > 254) return false;
  const size_t at = email.find('@');
  if (at == std::string::npos || at == 0 || at > 64 ||
      email.find('@', at + 1) != std::string::npos) {
    return false;
  }
  const std::string_view local = std::string_view(email).substr(0, at);
  const std::string_view domain = std::string_view(email).substr(at + 1);
  // The local part: letters, digits and the usual punctuation of addresses, no markup or
  // quoting characters; not starting like an option or with a dot, no empty dot-separated atom.
  if (local.front() == '-' || local.front() == '.' || local.back() == '.' ||
      local.find("..") != std::string_view::npos) {
    return false;
  }
  for (unsigned char c : local) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c >= 0x80 || std::string_view("!#$%&'*+/=?^_`{|}~.-").find(static_cast<char>(c)) !=
                               std::string_view::npos;
    if (!ok) return false;
  }
  // The domain: at least two labels of letters, digits and inner hyphens.
  size_t labels = 0;
  size_t start = 0;
  while (start <= domain.size()) {
    size_t dot = domain.find('.', start);
    std::string_view label =
        domain.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
      return false;
    }
    for (unsigned char c : label) {
      bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '-' || c >= 0x80;
      if (!ok) return false;
    }
    ++labels;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return labels >= 2;
}

std::unique_ptr<Store> OpenCommandStore(const UserCommandOptions& options, bool create,
                                        std::string* error) {
  StoreLocation location;
  location.dataDir = options.dataDir;
  location.databaseUrl = options.databaseUrl;
  if (!CheckStoreLocation(location, false, error)) return nullptr;
  const std::string path = SqlitePathOf(location.dataDir);
  struct stat info {};
  if (location.databaseUrl.empty() && create && !MakeDirectories(location.dataDir, error)) {
    return nullptr;
  }
  if (location.databaseUrl.empty() && !create && ::stat(path.c_str(), &info) != 0) {
    *error = "no service database in " + location.dataDir + " (" + path + " is missing)";
    return nullptr;
  }
  return OpenStore(location, 2, error);
}

int RunUserCommand(const UserCommandOptions& options, std::ostream& out, std::ostream& err) {
  const std::string& email = options.email;
  if (!IsAcceptableEmail(email)) {
    err << "osl-service: \"" << email << "\" is not an e-mail address\n";
    return 2;
  }
  if (options.dataDir.empty() == options.databaseUrl.empty()) {
    err << "osl-service: give the accounts' place: --data DIR or --database URL\n";
    return 2;
  }
  const std::string where =
      options.databaseUrl.empty() ? options.dataDir : std::string("the database");
  std::string error;
  std::unique_ptr<Store> store = OpenCommandStore(options, options.action == "add", &error);
  if (!store) {
    err << "osl-service: " << error << "\n";
    return 1;
  }
  std::optional<UserRecord> user;
  if (!store->FindUser(email, &user)) {
    err << "osl-service: cannot read the accounts in " << where << "\n";
    return 1;
  }
  const bool add = options.action == "add";
  if (add && user) {
    err << "osl-service: the account " << user->email
        << " exists already; use \"osl-service user passwd\" to change its password\n";
    return 1;
  }
  if (!add && !user) {
    err << "osl-service: there is no account " << email << "\n";
    return 1;
  }

  if (options.action == "remove") {
    std::vector<TemplateData> owned;
    if (!store->ListTemplates(user->id, &owned)) {
      err << "osl-service: cannot read the templates of " << user->email << "\n";
      return 1;
    }
    if (!owned.empty() && !options.withTemplates) {
      err << "osl-service: the account " << user->email << " owns " << owned.size()
          << " template(s); nothing was removed. Give --with-templates to remove the account "
             "together with its templates\n";
      return 1;
    }
    bool removed = false;
    if (!store->RemoveUser(user->email, &removed)) {
      err << "osl-service: cannot remove the account " << user->email << "; nothing was removed\n";
      return 1;
    }
    if (!removed) {
      err << "osl-service: there is no account " << email << "\n";
      return 1;
    }
    out << "osl-service: removed the account " << user->email;
    if (!owned.empty()) out << " and its " << owned.size() << " template(s)";
    out << "\n";
    return 0;
  }

  std::string password;
  if (!ReadNewPassword("Password for " + email + ": ", true, &password, &error)) {
    err << "osl-service: " << error << "\n";
    return 2;
  }
  std::string credential = HashPassword(password);
  password.assign(password.size(), '\0');
  if (credential.empty()) {
    err << "osl-service: cannot compute the password hash (out of memory?)\n";
    return 1;
  }
  if (add) {
    if (!store->SetUserCredential(email, credential)) {
      err << "osl-service: cannot store the account " << email << "\n";
      return 1;
    }
    out << "osl-service: created the account " << email << "\n";
    return 0;
  }
  // The service may upgrade the credential at a sign-in meanwhile: replace whatever is current,
  // but never bring back an account removed in between.
  for (int attempt = 0; attempt < 5; ++attempt) {
    bool replaced = false;
    if (!store->ReplaceUserCredential(user->id, user->credential, credential, &replaced)) break;
    if (replaced) {
      out << "osl-service: changed the password of " << user->email << "\n";
      return 0;
    }
    if (!store->FindUser(email, &user)) break;
    if (!user) {
      err << "osl-service: the account " << email << " was removed meanwhile\n";
      return 1;
    }
  }
  err << "osl-service: cannot store the new password of " << email << "\n";
  return 1;
}

}  // namespace refservice
