#include "tests/e2e/web_driver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "tests/refservice/raw_http.h"

namespace osltest {
namespace {

constexpr char kChromium[] = "/usr/bin/chromium";
constexpr char kChromeDriver[] = "/usr/bin/chromedriver";
constexpr char kElementKey[] = "element-6066-11e4-a52e-4f735466cecf";

// Case-insensitive search for a header line's name.
size_t FindNoCase(const std::string& text, const std::string& what) {
  auto it = std::search(text.begin(), text.end(), what.begin(), what.end(),
                        [](char a, char b) { return std::tolower(a) == std::tolower(b); });
  return it == text.end() ? std::string::npos : static_cast<size_t>(it - text.begin());
}

// One request to chromedriver; reads the answer up to its Content-Length (chromedriver does not
// always close the connection after it), within `timeoutMs`.
HttpReply Exchange(uint16_t port, const std::string& request, int timeoutMs) {
  Connection connection(port);
  if (!connection.ok() || !connection.Send(request)) return HttpReply{};
  std::string bytes;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    bool closed = false;
    bytes += connection.Receive(100, &closed);
    size_t end = bytes.find("\r\n\r\n");
    if (end != std::string::npos) {
      std::string head = bytes.substr(0, end);
      size_t at = FindNoCase(head, "\r\ncontent-length:");
      if (at != std::string::npos) {
        size_t length = std::strtoul(head.c_str() + at + 17, nullptr, 10);
        if (bytes.size() >= end + 4 + length) break;
      }
    }
    if (closed) break;
  }
  return ParseReply(bytes);
}

uint16_t FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  uint16_t port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  if (fd >= 0) ::close(fd);
  return port;
}

std::string Base64Decode(const std::string& text) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    size_t value = kAlphabet.find(c);
    if (value == std::string::npos) continue;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return out;
}

}  // namespace

bool BrowserAvailable() {
  return ::access(kChromium, X_OK) == 0 && ::access(kChromeDriver, X_OK) == 0;
}

WebDriver::~WebDriver() {
  if (!session_.empty()) Command("DELETE", "/session/" + session_);
  if (driver_.Running()) driver_.Stop(3000);
}

bool WebDriver::Start(const std::string& downloadDir, std::string* error) {
  port_ = FreePort();
  if (port_ == 0) {
    *error = "no free port for chromedriver";
    return false;
  }
  RunOptions options;
  options.timeoutMs = 600000;
  if (!driver_.Start({kChromeDriver, "--port=" + std::to_string(port_), "--allowed-ips=127.0.0.1"},
                     options, error)) {
    return false;
  }
  // Ready once it answers /status (at most 20 s).
  bool ready = false;
  for (int i = 0; i < 200 && !ready; ++i) {
    HttpReply reply = Exchange(port_, "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                      "Connection: close\r\n\r\n", 2000);
    ready = reply.status == 200;
    if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!ready) {
    *error = "chromedriver did not start: " + driver_.Stderr();
    return false;
  }
  nlohmann::json capabilities = {
      {"capabilities",
       {{"alwaysMatch",
         {{"browserName", "chrome"},
          {"goog:chromeOptions",
           {{"binary", kChromium},
            {"args",
             {"--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
              "--window-size=1280,1000", "--no-first-run", "--user-data-dir=" + profile_.path()}},
            {"prefs",
             {{"download.default_directory", downloadDir},
              {"download.prompt_for_download", false},
              {"plugins.always_open_pdf_externally", true}}}}}}}}}};
  nlohmann::json value = Command("POST", "/session", capabilities);
  if (!value.is_object() || !value.contains("sessionId")) {
    *error = "no browser session: " + lastError_;
    return false;
  }
  session_ = value["sessionId"].get<std::string>();
  return true;
}

nlohmann::json WebDriver::Command(const std::string& method, const std::string& path,
                                  const nlohmann::json& body) {
  std::string payload = body.is_null() ? std::string() : body.dump();
  std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                        std::to_string(port_) + "\r\nConnection: close\r\n";
  if (method == "POST") {
    request += "Content-Type: application/json\r\nContent-Length: " +
               std::to_string(payload.size()) + "\r\n";
  }
  request += "\r\n" + payload;
  HttpReply reply = Exchange(port_, request, 60000);
  nlohmann::json answer = nlohmann::json::parse(reply.body, nullptr, false);
  if (reply.status != 200 || answer.is_discarded() || !answer.is_object()) {
    lastError_ = "HTTP " + std::to_string(reply.status) + ": " + reply.body.substr(0, 2000);
    return nullptr;
  }
  return answer.value("value", nlohmann::json());
}

bool WebDriver::Go(const std::string& url) {
  lastError_.clear();
  Command("POST", "/session/" + session_ + "/url", {{"url", url}});
  return lastError_.empty();
}

std::string WebDriver::Url() {
  nlohmann::json value = Command("GET", "/session/" + session_ + "/url");
  return value.is_string() ? value.get<std::string>() : "";
}

std::string WebDriver::Title() {
  nlohmann::json value = Command("GET", "/session/" + session_ + "/title");
  return value.is_string() ? value.get<std::string>() : "";
}

std::string WebDriver::Source() {
  nlohmann::json value = Command("GET", "/session/" + session_ + "/source");
  return value.is_string() ? value.get<std::string>() : "";
}

std::string WebDriver::Find(const std::string& css) {
  nlohmann::json value = Command("POST", "/session/" + session_ + "/element",
                                 {{"using", "css selector"}, {"value", css}});
  if (!value.is_object() || !value.contains(kElementKey)) return "";
  return value[kElementKey].get<std::string>();
}

std::string WebDriver::Text(const std::string& element) {
  nlohmann::json value = Command("GET", "/session/" + session_ + "/element/" + element + "/text");
  return value.is_string() ? value.get<std::string>() : "";
}

bool WebDriver::Type(const std::string& element, const std::string& text) {
  lastError_.clear();
  Command("POST", "/session/" + session_ + "/element/" + element + "/value", {{"text", text}});
  return lastError_.empty();
}

bool WebDriver::Clear(const std::string& element) {
  lastError_.clear();
  Command("POST", "/session/" + session_ + "/element/" + element + "/clear", nlohmann::json::object());
  return lastError_.empty();
}

bool WebDriver::Click(const std::string& element) {
  lastError_.clear();
  Command("POST", "/session/" + session_ + "/element/" + element + "/click", nlohmann::json::object());
  return lastError_.empty();
}

nlohmann::json WebDriver::Execute(const std::string& script, const nlohmann::json& args) {
  return Command("POST", "/session/" + session_ + "/execute/sync",
                 {{"script", script}, {"args", args}});
}

bool WebDriver::SetViewport(int width, int height) {
  lastError_.clear();
  Command("POST", "/session/" + session_ + "/goog/cdp/execute",
          {{"cmd", "Emulation.setDeviceMetricsOverride"},
           {"params", {{"width", width}, {"height", height}, {"deviceScaleFactor", 1},
                       {"mobile", width < 600}}}});
  if (!lastError_.empty()) return false;
  nlohmann::json shown = Execute("return window.innerWidth;");
  return shown.is_number() && shown.get<int>() == width;
}

bool WebDriver::Screenshot(const std::string& path) {
  nlohmann::json value = Command("GET", "/session/" + session_ + "/screenshot");
  if (!value.is_string()) return false;
  std::ofstream out(path, std::ios::binary);
  out << Base64Decode(value.get<std::string>());
  return static_cast<bool>(out);
}

bool WebDriver::WaitFor(const std::string& script, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    nlohmann::json value = Execute(script);
    if (value.is_boolean() && value.get<bool>()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

}  // namespace osltest
