// Sign-ins already verified, so that a client sending its password with every call pays for one
// Argon2 run, not one per call.
//
// An entry is the stored credential text together with an HMAC-SHA256 of the password under a
// key drawn at random when the cache is made (never stored, never sent): the cache holds no
// password and nothing an attacker could test guesses against offline. An entry only matches
// while the account's stored credential text is the one it was made with, so a password changed
// anywhere (by another instance too) is in force at the next call. At most `capacity` entries;
// the least recently used one is dropped first. Safe to use from several threads.
#pragma once

#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace refservice {

class SignInCache {
 public:
  explicit SignInCache(size_t capacity = 4096);

  // Whether `password` was verified against exactly this `credential` text.
  bool Contains(const std::string& credential, std::string_view password);
  // Records that `password` matches `credential`.
  void Add(const std::string& credential, std::string_view password);
  size_t size();

 private:
  std::string KeyOf(const std::string& credential, std::string_view password) const;

  size_t capacity_;
  unsigned char secret_[32];
  std::mutex mutex_;
  std::list<std::string> order_;  // most recently used first
  std::unordered_map<std::string, std::list<std::string>::iterator> entries_;
};

}  // namespace refservice
