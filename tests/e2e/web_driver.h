// A small WebDriver client for browser tests: starts Debian's chromedriver on a free loopback
// port, opens one headless chromium session, and drives it over the W3C WebDriver protocol.
// Every wait is bounded; the destructor ends the session and stops chromedriver.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/subprocess.h"

namespace osltest {

// Whether chromium and chromedriver are installed (tests skip with a message when not).
bool BrowserAvailable();

class WebDriver {
 public:
  WebDriver() = default;
  ~WebDriver();
  WebDriver(const WebDriver&) = delete;
  WebDriver& operator=(const WebDriver&) = delete;

  // Starts chromedriver and a headless chromium whose downloads go to `downloadDir`.
  bool Start(const std::string& downloadDir, std::string* error);

  bool Go(const std::string& url);
  std::string Url();
  std::string Title();
  std::string Source();
  // The first element matching `css`, or "" when none does.
  std::string Find(const std::string& css);
  std::string Text(const std::string& element);
  bool Type(const std::string& element, const std::string& text);
  bool Clear(const std::string& element);
  bool Click(const std::string& element);
  // Runs `script` (a function body; `arguments` available) and returns its value.
  nlohmann::json Execute(const std::string& script, const nlohmann::json& args = nlohmann::json::array());
  // Lays pages out for a screen `width` x `height` CSS pixels (a phone's, say), as the browser's
  // device emulation does; true when the page then reports that width.
  bool SetViewport(int width, int height);
  // Writes a PNG screenshot of the page to `path`.
  bool Screenshot(const std::string& path);
  // Waits at most `timeoutMs` for `script` to return true.
  bool WaitFor(const std::string& script, int timeoutMs);

  const std::string& lastError() const { return lastError_; }

 private:
  // One command; the "value" member of the answer, or null with lastError_ set.
  nlohmann::json Command(const std::string& method, const std::string& path,
                         const nlohmann::json& body = nullptr);

  ChildProcess driver_;
  TempDir profile_;
  uint16_t port_ = 0;
  std::string session_;
  std::string lastError_;
};

}  // namespace osltest
