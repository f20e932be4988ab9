// Password credentials: the text the store keeps for an account instead of its password.
//
// New credentials are Argon2id hashes in the PHC string form
// "$argon2id$v=19$m=MEMORY_KIB,t=PASSES,p=LANES$SALT$HASH" (16 random salt bytes from the
// system's CSPRNG, 32 hash bytes). Accounts created before Argon2 carry
// "sha256$SALT$HEX" (HEX = SHA-256 of SALT followed by the password); they are still accepted
// and reported as outdated so that the caller can rehash them with the password it has just
// verified. All comparisons of secrets take time independent of where they differ.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace refservice {

struct Argon2Params {
  uint32_t passes = 2;             // t
  uint32_t memoryKiB = 19 * 1024;  // m
  uint32_t lanes = 1;              // p
};

// The parameters new credentials get.
inline constexpr Argon2Params kDefaultArgon2Params{};

// The Argon2id credential of `password` with a fresh salt; empty when it cannot be computed
// (out of memory).
std::string HashPassword(std::string_view password,
                         const Argon2Params& params = kDefaultArgon2Params);

enum class PasswordCheck {
  kMismatch,       // wrong password, or a credential text this code cannot use
  kMatch,          // right password, credential in the current form
  kMatchOutdated,  // right password; the credential should be replaced by HashPassword's
};

// Checks `password` against a stored credential. Argon2 credentials whose parameters differ from
// `current` (or the SHA-256 form) are kMatchOutdated when the password is right. A credential
// whose parameters exceed sane bounds (a memory cost above 4 GiB, more than 64 passes or lanes)
// is refused without running it.
PasswordCheck VerifyPassword(const std::string& credential, std::string_view password,
                             const Argon2Params& current = kDefaultArgon2Params);

// Spends the time a VerifyPassword of a current credential takes, for a sign-in whose account
// does not exist, so that unknown addresses cannot be told from wrong passwords by timing.
void SpendVerificationTime(std::string_view password,
                           const Argon2Params& current = kDefaultArgon2Params);

// True when both byte strings are equal, in time that depends only on their lengths.
bool ConstantTimeEquals(std::string_view a, std::string_view b);

}  // namespace refservice
