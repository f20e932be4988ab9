#include "refservice/accounts/sign_in_cache.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <stdexcept>

namespace refservice {

SignInCache::SignInCache(size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {
  if (RAND_bytes(secret_, sizeof(secret_)) != 1) {
    throw std::runtime_error("no random bytes for the sign-in cache key");
  }
}

std::string SignInCache::KeyOf(const std::string& credential, std::string_view password) const {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (HMAC(EVP_sha256(), secret_, sizeof(secret_),
           reinterpret_cast<const unsigned char*>(password.data()), password.size(), mac,
           &length) == nullptr) {
    return "";
  }
  std::string key = credential;
  key.push_back('\0');
  key.append(reinterpret_cast<const char*>(mac), length);
  return key;
}

bool SignInCache::Contains(const std::string& credential, std::string_view password) {
  std::string key = KeyOf(credential, password);
  if (key.empty()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = entries_.find(key);
  if (found == entries_.end()) return false;
  order_.splice(order_.begin(), order_, found->second);
  return true;
}

void SignInCache::Add(const std::string& credential, std::string_view password) {
  std::string key = KeyOf(credential, password);
  if (key.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = entries_.find(key);
  if (found != entries_.end()) {
    order_.splice(order_.begin(), order_, found->second);
    return;
  }
  while (entries_.size() >= capacity_) {
    entries_.erase(order_.back());
    order_.pop_back();
  }
  order_.push_front(key);
  entries_.emplace(std::move(key), order_.begin());
}

size_t SignInCache::size() {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}

}  // namespace refservice
