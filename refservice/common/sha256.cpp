#include "refservice/common/sha256.h"

#include <openssl/evp.h>

#include <new>

namespace refservice {

struct Sha256::Context {
  Context() : digest(EVP_MD_CTX_new()) {
    if (digest == nullptr || EVP_DigestInit_ex(digest, EVP_sha256(), nullptr) != 1) {
      EVP_MD_CTX_free(digest);
      throw std::bad_alloc();
    }
  }
  ~Context() { EVP_MD_CTX_free(digest); }
  EVP_MD_CTX* digest;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size) {
  if (size > 0) EVP_DigestUpdate(context_->digest, data, size);
}

std::string Sha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_->digest, digest, &length);
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    out.push_back(kHex[digest[i] >> 4]);
    out.push_back(kHex[digest[i] & 0xF]);
  }
  return out;
}

std::string Sha256Hex(std::string_view data) {
  Sha256 hash;
  hash.Update(data);
  return hash.HexDigest();
}

}  // namespace refservice
