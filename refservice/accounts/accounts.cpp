#include "refservice/accounts/accounts.h"

#include <optional>

namespace refservice {

Accounts::Accounts(Store* store, AccountsOptions options)
    : store_(store), options_(options), cache_(options.cacheEntries), throttle_(options.throttle) {}

SignInResult Accounts::Refuse(const std::string& clientAddress) {
  throttle_.Failed(clientAddress, SignInThrottle::Clock::now());
  return SignInResult{};
}

SignInResult Accounts::SignIn(const std::string& email, std::string_view password,
                              const std::string& clientAddress) {
  SignInResult result;
  if (int64_t wait = throttle_.RefusedFor(clientAddress, SignInThrottle::Clock::now())) {
    result.status = SignInResult::Status::kThrottled;
    result.retryAfterSeconds = wait;
    return result;
  }
  std::optional<UserRecord> user;
  if (!store_->FindUser(email, &user)) {
    result.status = SignInResult::Status::kStoreFailure;
    return result;
  }
  if (!user) {
    SpendVerificationTime(password, options_.argon2);
    return Refuse(clientAddress);
  }
  if (!cache_.Contains(user->credential, password)) {
    PasswordCheck check = VerifyPassword(user->credential, password, options_.argon2);
    if (check == PasswordCheck::kMismatch) return Refuse(clientAddress);
    std::string credential = user->credential;
    if (check == PasswordCheck::kMatchOutdated) {
      std::string fresh = HashPassword(password, options_.argon2);
      bool replaced = false;
      // A failed upgrade leaves the old credential, which still works; the next sign-in tries
      // again.
      if (!fresh.empty() && store_->ReplaceUserCredential(user->id, credential, fresh, &replaced) &&
          replaced) {
        credential = std::move(fresh);
      }
    }
    cache_.Add(credential, password);
  }
  throttle_.Succeeded(clientAddress);
  result.status = SignInResult::Status::kSignedIn;
  result.userId = user->id;
  return result;
}

std::optional<int> Accounts::VerifiedUser(const std::string& email, std::string_view password) {
  std::optional<UserRecord> user;
  if (!store_->FindUser(email, &user) || !user || !cache_.Contains(user->credential, password)) {
    return std::nullopt;
  }
  return user->id;
}

bool Accounts::SetPassword(const std::string& email, std::string_view password) {
  std::string credential = HashPassword(password, options_.argon2);
  return !credential.empty() && store_->SetUserCredential(email, credential);
}

}  // namespace refservice
