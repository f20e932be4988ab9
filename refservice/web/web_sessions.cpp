#include "refservice/web/web_sessions.h"

#include <algorithm>

#include "refservice/common/identifiers.h"
#include "text/ascii_case.h"

namespace refservice {

using textutil::Lower;

WebSession WebSessions::Add(WebSession session) {
  session.id = RandomHex(16);
  session.csrf = RandomHex(16);
  session.expires = std::chrono::steady_clock::now() + kLifetime;
  std::lock_guard<std::mutex> lock(mutex_);
  if (sessions_.size() >= kMaxSessions) {
    // Drop expired sessions, then the one that expires first.
    auto now = std::chrono::steady_clock::now();
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      it = it->second.expires <= now ? sessions_.erase(it) : std::next(it);
    }
    if (sessions_.size() >= kMaxSessions) {
      auto oldest = std::min_element(sessions_.begin(), sessions_.end(), [](auto& a, auto& b) {
        return a.second.expires < b.second.expires;
      });
      sessions_.erase(oldest);
    }
  }
  sessions_[session.id] = session;
  return session;
}

WebSession WebSessions::CreateAccount(int userId, const std::string& email) {
  WebSession session;
  session.userId = userId;
  session.email = email;
  return Add(session);
}

WebSession WebSessions::CreateFill(const std::string& templateId) {
  WebSession session;
  session.templateId = Lower(templateId);
  return Add(session);
}

std::optional<WebSession> WebSessions::Find(const std::string& id) {
  if (id.empty()) return std::nullopt;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return std::nullopt;
  if (it->second.expires <= std::chrono::steady_clock::now()) {
    sessions_.erase(it);
    return std::nullopt;
  }
  return it->second;
}

void WebSessions::Remove(const std::string& id) {
  std::lock_guard<std::mutex> lock(mutex_);
  sessions_.erase(id);
}

int WebSessions::SignInDelay(const std::string& email) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = failures_.find(Lower(email));
  if (it == failures_.end() || it->second == 0) return 0;
  return std::min(kMaxDelayMs, 250 << std::min(it->second - 1, 8));
}

int WebSessions::SignInFailed(const std::string& email) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failures_.size() >= kMaxSessions && failures_.count(Lower(email)) == 0) failures_.clear();
    int& count = failures_[Lower(email)];
    count = std::min(count + 1, 100);
  }
  return SignInDelay(email);
}

void WebSessions::SignInSucceeded(const std::string& email) {
  std::lock_guard<std::mutex> lock(mutex_);
  failures_.erase(Lower(email));
}

std::string CookieValue(const std::string& header, const std::string& name) {
  size_t at = 0;
  while (at < header.size()) {
    size_t end = header.find(';', at);
    if (end == std::string::npos) end = header.size();
    std::string pair = header.substr(at, end - at);
    at = end + 1;
    size_t start = pair.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    pair = pair.substr(start);
    if (pair.compare(0, name.size() + 1, name + "=") == 0) return pair.substr(name.size() + 1);
  }
  return "";
}

}  // namespace refservice
