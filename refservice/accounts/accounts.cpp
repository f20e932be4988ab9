#include "refservice/accounts/accounts.h"

#include <optional>

#include "text/ascii_case.h"

namespace refservice {

namespace {

// The throttle's key of an account at an address: e-mail addresses compare without case, as
// the store looks them up. Empty (never throttled) when the address is unknown.
std::string PairKey(const std::string& email, const std::string& clientAddress) {
  if (clientAddress.empty()) return "";
  return textutil::Lower(email) + '\n' + clientAddress;
}

}  // namespace

Accounts::Accounts(Store* store, AccountsOptions options)
    : store_(store),
      options_(options),
      cache_(options.cacheEntries),
      throttle_(options.throttle),
      addressThrottle_(options.addressThrottle) {}

SignInResult Accounts::Refuse(const std::string& pairKey, const std::string& clientAddress) {
  const auto now = SignInThrottle::Clock::now();
  throttle_.Failed(pairKey, now);
  addressThrottle_.Failed(clientAddress, now);
  return SignInResult{};
}

SignInResult Accounts::SignIn(const std::string& email, std::string_view password,
                              const std::string& clientAddress) {
  SignInResult result;
  const std::string pairKey = PairKey(email, clientAddress);
  auto throttled = [&result](int64_t wait) {
    result.status = SignInResult::Status::kThrottled;
    result.retryAfterSeconds = wait;
    return result;
  };
  const auto now = SignInThrottle::Clock::now();
  if (int64_t wait = throttle_.RefusedFor(pairKey, now)) return throttled(wait);
  if (int64_t wait = addressThrottle_.RefusedFor(clientAddress, now)) return throttled(wait);
  std::optional<UserRecord> user;
  if (!store_->FindUser(email, &user)) {
    result.status = SignInResult::Status::kStoreFailure;
    return result;
  }
  if (!user || !cache_.Contains(user->credential, password)) {
    // A verification: one of the attempts left is taken first, so parallel guesses are counted
    // before any of them is verified.
    if (int64_t wait = addressThrottle_.Admit(clientAddress, now)) return throttled(wait);
    if (int64_t wait = throttle_.Admit(pairKey, now)) {
      addressThrottle_.Release(clientAddress);
      return throttled(wait);
    }
    if (!user) {
      SpendVerificationTime(password, options_.argon2);
      return Refuse(pairKey, clientAddress);
    }
    PasswordCheck check = VerifyPassword(user->credential, password, options_.argon2);
    if (check == PasswordCheck::kMismatch) return Refuse(pairKey, clientAddress);
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
    // The address's count is not cleared by one account's success (a guesser may own one).
    addressThrottle_.Release(clientAddress);
  }
  throttle_.Succeeded(pairKey);
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
