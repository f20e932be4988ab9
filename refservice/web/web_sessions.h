// Sessions of the web pages, kept in memory: a signed-in account, or a fill link's end customer
// who may use exactly one template. Each session carries its own CSRF token, which every form
// and every script request must send back. Failed sign-ins of an e-mail address are answered
// ever more slowly.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace refservice {

struct WebSession {
  std::string id;    // the cookie value: 128 random bits
  std::string csrf;  // 128 random bits
  int userId = -1;   // the signed-in account, or -1 for a fill session
  std::string email;
  std::string templateId;  // a fill session's one template (lower case)
  std::chrono::steady_clock::time_point expires;
};

class WebSessions {
 public:
  static constexpr std::chrono::hours kLifetime{8};
  static constexpr size_t kMaxSessions = 10000;
  static constexpr int kMaxDelayMs = 4000;

  WebSession CreateAccount(int userId, const std::string& email);
  WebSession CreateFill(const std::string& templateId);
  // The live session with this cookie value.
  std::optional<WebSession> Find(const std::string& id);
  void Remove(const std::string& id);

  // Records a failed sign-in of `email` and returns how long to hold the answer back: 250 ms
  // for the first failure, doubling with each further one up to kMaxDelayMs.
  int SignInFailed(const std::string& email);
  // How long an attempt for `email` is held back before it is even checked.
  int SignInDelay(const std::string& email);
  void SignInSucceeded(const std::string& email);

 private:
  WebSession Add(WebSession session);

  std::mutex mutex_;
  std::map<std::string, WebSession> sessions_;
  std::map<std::string, int> failures_;  // lower-case e-mail -> failures in a row
};

// The value of cookie `name` in a Cookie header, or "".
std::string CookieValue(const std::string& header, const std::string& name);

}  // namespace refservice
