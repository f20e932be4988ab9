// The service's accounts: signing in with an e-mail address and password, and setting a
// password. The store keeps one credential text per account (password_hash.h); this class does
// the hashing, the verification, the upgrade of outdated credentials and the throttling of
// failed sign-ins.
//
// Failed sign-ins are counted per account and address together (one person's typing, or one
// guesser aiming at one account), and per address alone with a much higher cap (one guesser
// trying many accounts). So a guesser at an address locks out only the account it aims at from
// that address, never the other people behind the same address (an office, a proxy).
//
// A sign-in:
//  - for an account and address, or from an address, that the throttle refuses is answered at
//    once (kThrottled, with the wait);
//  - looks the account up (one query); a password already verified against the account's
//    current credential text is accepted from the in-memory cache;
//  - otherwise takes one of the attempts left to the account and address (and to the address)
//    before verifying the password (an Argon2 run; an unknown e-mail address costs the same),
//    so parallel guesses get no more verifications than the count allows;
//  - upgrades an outdated credential (SHA-256, or other Argon2 parameters) to a fresh one with
//    a compare-and-set, so a password changed meanwhile is never overwritten.
// Safe to use from several threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "refservice/accounts/password_hash.h"
#include "refservice/accounts/sign_in_cache.h"
#include "refservice/accounts/sign_in_throttle.h"
#include "refservice/storage/store.h"

namespace refservice {

struct SignInResult {
  enum class Status {
    kSignedIn,
    kWrongCredentials,  // unknown e-mail address or wrong password
    kThrottled,         // too many failures from the address; `retryAfterSeconds` says how long
    kStoreFailure,      // the accounts could not be read
  };
  Status status = Status::kWrongCredentials;
  int userId = 0;
  int64_t retryAfterSeconds = 0;

  bool ok() const { return status == Status::kSignedIn; }
};

struct AccountsOptions {
  Argon2Params argon2 = kDefaultArgon2Params;
  SignInThrottleOptions throttle;  // per account and address
  SignInThrottleOptions addressThrottle{50};  // per address alone
  size_t cacheEntries = 4096;
};

class Accounts {
 public:
  // `store` must be open and outlive the object.
  explicit Accounts(Store* store, AccountsOptions options = {});

  // Signs in from `clientAddress` (empty: unknown, never throttled).
  SignInResult SignIn(const std::string& email, std::string_view password,
                      const std::string& clientAddress);

  // The account's id when `password` was already verified against its current credential (a
  // cache lookup only: no hashing, no throttling, not counted as a sign-in). For work that
  // follows a call which signed in; nullopt otherwise.
  std::optional<int> VerifiedUser(const std::string& email, std::string_view password);

  // Creates the account with `password` or replaces the password of an existing one. False on
  // a store failure (or when no hash could be computed).
  bool SetPassword(const std::string& email, std::string_view password);

 private:
  SignInResult Refuse(const std::string& pairKey, const std::string& clientAddress);

  Store* store_;
  AccountsOptions options_;
  SignInCache cache_;
  SignInThrottle throttle_;         // keyed by PairKey
  SignInThrottle addressThrottle_;  // keyed by the client address
};

}  // namespace refservice
