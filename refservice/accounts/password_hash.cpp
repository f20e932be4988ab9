#include "refservice/accounts/password_hash.h"

#include <argon2.h>
#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "refservice/common/sha256.h"

namespace refservice {
namespace {

constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;
constexpr char kArgon2Prefix[] = "$argon2id$";
constexpr char kSha256Prefix[] = "sha256$";
constexpr uint32_t kMaxMemoryKiB = 4u << 20;  // 4 GiB
constexpr uint32_t kMaxPassesOrLanes = 64;

// Reads the decimal number after `key` ("m=") at `at` in `text`, up to the next ',' or '$'.
bool ReadNumber(std::string_view text, size_t* at, std::string_view key, uint32_t* out) {
  if (text.substr(*at, key.size()) != key) return false;
  *at += key.size();
  uint64_t value = 0;
  size_t digits = 0;
  while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') {
    value = value * 10 + static_cast<uint64_t>(text[*at] - '0');
    if (++digits > 10 || value > UINT32_MAX) return false;
    ++*at;
  }
  if (digits == 0) return false;
  *out = static_cast<uint32_t>(value);
  return true;
}

// Splits "$argon2id$v=V$m=M,t=T,p=P$..." into its version and parameters.
bool ParseArgon2Header(std::string_view text, uint32_t* version, Argon2Params* params) {
  size_t at = sizeof(kArgon2Prefix) - 1;
  if (text.substr(0, at) != kArgon2Prefix) return false;
  if (!ReadNumber(text, &at, "v=", version)) return false;
  if (!ReadNumber(text, &at, "$m=", &params->memoryKiB)) return false;
  if (!ReadNumber(text, &at, ",t=", &params->passes)) return false;
  if (!ReadNumber(text, &at, ",p=", &params->lanes)) return false;
  return at < text.size() && text[at] == '$';
}

PasswordCheck VerifySha256(const std::string& credential, std::string_view password) {
  std::string_view rest = std::string_view(credential).substr(sizeof(kSha256Prefix) - 1);
  size_t dollar = rest.find('$');
  if (dollar == std::string_view::npos) return PasswordCheck::kMismatch;
  std::string salt(rest.substr(0, dollar));
  std::string_view expected = rest.substr(dollar + 1);
  std::string actual = Sha256Hex(salt + std::string(password));
  return ConstantTimeEquals(actual, expected) ? PasswordCheck::kMatchOutdated
                                              : PasswordCheck::kMismatch;
}

}  // namespace

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  return a.empty() || CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string HashPassword(std::string_view password, const Argon2Params& params) {
  unsigned char salt[kSaltBytes];
  if (RAND_bytes(salt, sizeof(salt)) != 1) return "";
  size_t length = argon2_encodedlen(params.passes, params.memoryKiB, params.lanes, kSaltBytes,
                                    kHashBytes, Argon2_id);
  std::vector<char> encoded(length + 1, '\0');
  int rc = argon2id_hash_encoded(params.passes, params.memoryKiB, params.lanes, password.data(),
                                 password.size(), salt, sizeof(salt), kHashBytes, encoded.data(),
                                 encoded.size());
  if (rc != ARGON2_OK) return "";
  return std::string(encoded.data());
}

PasswordCheck VerifyPassword(const std::string& credential, std::string_view password,
                             const Argon2Params& current) {
  if (credential.rfind(kSha256Prefix, 0) == 0) return VerifySha256(credential, password);
  uint32_t version = 0;
  Argon2Params params;
  if (!ParseArgon2Header(credential, &version, &params)) return PasswordCheck::kMismatch;
  if (params.memoryKiB > kMaxMemoryKiB || params.passes > kMaxPassesOrLanes ||
      params.lanes > kMaxPassesOrLanes || params.passes == 0 || params.lanes == 0) {
    return PasswordCheck::kMismatch;
  }
  if (argon2id_verify(credential.c_str(), password.data(), password.size()) != ARGON2_OK) {
    return PasswordCheck::kMismatch;
  }
  bool outdated = version != ARGON2_VERSION_13 || params.memoryKiB != current.memoryKiB ||
                  params.passes != current.passes || params.lanes != current.lanes;
  return outdated ? PasswordCheck::kMatchOutdated : PasswordCheck::kMatch;
}

void SpendVerificationTime(std::string_view password, const Argon2Params& current) {
  // One credential per parameter set, made on first use; its password is random and unknown.
  static std::mutex mutex;
  static std::string dummy;
  static Argon2Params dummyParams{0, 0, 0};
  std::string credential;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (dummy.empty() || dummyParams.passes != current.passes ||
        dummyParams.memoryKiB != current.memoryKiB || dummyParams.lanes != current.lanes) {
      unsigned char secret[32];
      if (RAND_bytes(secret, sizeof(secret)) != 1) return;
      dummy = HashPassword(std::string_view(reinterpret_cast<const char*>(secret), sizeof(secret)),
                           current);
      dummyParams = current;
    }
    credential = dummy;
  }
  if (!credential.empty()) VerifyPassword(credential, password, current);
}

}  // namespace refservice
