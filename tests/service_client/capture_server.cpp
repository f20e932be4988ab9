#include "tests/service_client/capture_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace osltest {

namespace {

constexpr int kWaitMs = 5000;

int Listen(int* port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

bool WaitReadable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) > 0;
}

// Sends `data`, one byte per `paceMs` when it is positive; stops when the
// peer goes away or `stop` is set.
void SendAll(int fd, const std::string& data, long long paceMs, const std::atomic<bool>& stop) {
  size_t sent = 0;
  while (sent < data.size() && !stop) {
    const size_t piece = paceMs > 0 ? 1 : data.size() - sent;
    const ssize_t n = send(fd, data.data() + sent, piece, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
    if (paceMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(paceMs));
  }
}

// Sends nothing for `ms` milliseconds. False when the client closed the
// connection (or `stop` was set) meanwhile.
bool FallSilent(int fd, long long ms, const std::atomic<bool>& stop) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!stop && std::chrono::steady_clock::now() < end) {
    if (!WaitReadable(fd, 20)) continue;
    char sink[4096];
    if (recv(fd, sink, sizeof sink, 0) <= 0) return false;
  }
  return !stop;
}

// Whether `request` holds a whole HTTP request (header plus the body its
// Content-Length or chunked coding announces).
bool Complete(const std::string& request) {
  const size_t headerEnd = request.find("\r\n\r\n");
  if (headerEnd == std::string::npos) return false;
  const std::string header = request.substr(0, headerEnd);
  const size_t bodyStart = headerEnd + 4;
  const size_t lengthAt = header.find("\r\nContent-Length: ");
  if (lengthAt != std::string::npos) {
    const size_t length = std::strtoul(header.c_str() + lengthAt + 18, nullptr, 10);
    return request.size() >= bodyStart + length;
  }
  if (header.find("\r\nTransfer-Encoding: chunked") != std::string::npos) {
    size_t at = bodyStart;
    for (;;) {
      const size_t lineEnd = request.find("\r\n", at);
      if (lineEnd == std::string::npos) return false;
      const size_t size = std::strtoul(request.c_str() + at, nullptr, 16);
      if (size == 0) return request.size() >= lineEnd + 4;
      at = lineEnd + 2 + size;
      if (request.size() < at + 2) return false;
      at += 2;  // the CRLF after the chunk data
    }
  }
  return true;
}

}  // namespace

const char CaptureServer::kCloseWithoutReply[] = "<close>";

CaptureServer::CaptureServer(std::vector<std::string> replies) : replies_(std::move(replies)) {
  listenFd_ = Listen(&port_);
  if (listenFd_ >= 0) thread_ = std::thread([this] { Serve(); });
}

CaptureServer::~CaptureServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) close(listenFd_);
}

std::string CaptureServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> CaptureServer::Requests(size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  received_.wait_for(lock, std::chrono::milliseconds(kWaitMs),
                     [&] { return requests_.size() >= count; });
  return requests_;
}

std::string CaptureServer::OnlyRequest() {
  const std::vector<std::string> requests = Requests();
  return requests.size() == 1 ? requests[0] : std::string();
}

bool CaptureServer::ReadRequest(int fd, std::string* request) {
  char buffer[65536];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  const bool headOnly = answerAfterHead_;
  while (headOnly ? request->find("\r\n\r\n") == std::string::npos : !Complete(*request)) {
    if (std::chrono::steady_clock::now() > deadline || !WaitReadable(fd, 100)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      continue;
    }
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    request->append(buffer, static_cast<size_t>(n));
  }
  return true;
}

void CaptureServer::Serve() {
  size_t served = 0;
  while (!stop_) {
    if (!WaitReadable(listenFd_, 50)) continue;
    const int fd = accept(listenFd_, nullptr, nullptr);
    if (fd < 0) continue;
    std::string request;
    const bool whole = ReadRequest(fd, &request);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    received_.notify_all();
    const std::string& reply =
        replies_.empty() ? std::string() : replies_[std::min(served, replies_.size() - 1)];
    ++served;
    if (whole && reply != kCloseWithoutReply) {
      const size_t before = std::min<size_t>(silentAfter_, reply.size());
      if (silenceMs_ > 0) {
        SendAll(fd, reply.substr(0, before), paceMs_, stop_);
        if (FallSilent(fd, silenceMs_, stop_)) SendAll(fd, reply.substr(before), paceMs_, stop_);
      } else {
        SendAll(fd, reply, paceMs_, stop_);
      }
    }
    if (answerAfterHead_) {
      close(fd);  // the body unread: the client's sending meets a reset
      continue;
    }
    shutdown(fd, SHUT_WR);
    // Let the client read the reply before the socket goes away.
    char sink[4096];
    for (int i = 0; i < 50 && WaitReadable(fd, 100); ++i) {
      if (recv(fd, sink, sizeof sink, 0) <= 0) break;
    }
    close(fd);
  }
}

SilentPeer::SilentPeer() {
  int port = 0;
  fd_ = Listen(&port);
  if (fd_ >= 0) port_ = port;
}

SilentPeer::~SilentPeer() {
  if (fd_ >= 0) close(fd_);
}

std::string SilentPeer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int RefusingPort() {
  int port = 0;
  const int fd = Listen(&port);
  if (fd >= 0) close(fd);
  return port;
}

std::string HttpReply(int status, const std::string& reason, const std::string& body,
                      const std::string& contentType) {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: " + contentType +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
         body;
}

bool HttpGet(const std::string& url, int* status, std::string* body) {
  const std::string prefix = "http://127.0.0.1:";
  if (url.compare(0, prefix.size(), prefix) != 0) return false;
  const size_t slash = url.find('/', prefix.size());
  if (slash == std::string::npos) return false;
  const int port = std::atoi(url.c_str() + prefix.size());
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    const std::string request = "GET " + url.substr(slash) +
                                " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nConnection: close\r\n\r\n";
    std::atomic<bool> never{false};
    SendAll(fd, request, 0, never);
    char buffer[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (!WaitReadable(fd, 100)) continue;
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      reply.append(buffer, static_cast<size_t>(n));
    }
  }
  close(fd);
  const size_t headerEnd = reply.find("\r\n\r\n");
  if (reply.compare(0, 9, "HTTP/1.1 ") != 0 || headerEnd == std::string::npos || !Complete(reply)) {
    return false;
  }
  *status = std::atoi(reply.c_str() + 9);
  const std::string header = reply.substr(0, headerEnd);
  std::string content = reply.substr(headerEnd + 4);
  if (header.find("\r\nTransfer-Encoding: chunked") != std::string::npos) {
    std::string joined;
    size_t at = 0;
    for (;;) {
      const size_t lineEnd = content.find("\r\n", at);
      const size_t size = std::strtoul(content.c_str() + at, nullptr, 16);
      if (lineEnd == std::string::npos || size == 0) break;
      joined += content.substr(lineEnd + 2, size);
      at = lineEnd + 2 + size + 2;
    }
    content = joined;
  } else {
    const size_t lengthAt = header.find("\r\nContent-Length: ");
    if (lengthAt != std::string::npos) {
      content.resize(std::strtoul(header.c_str() + lengthAt + 18, nullptr, 10));
    }
  }
  *body = content;
  return true;
}

std::string HttpReplyOfSize(size_t size, const std::string& head, const std::string& tail,
                            const std::string& contentType) {
  // The padding lengthens Content-Length's digits too: settle both.
  size_t padding = 0;
  for (int i = 0; i < 4; ++i) {
    const std::string reply =
        HttpReply(200, "OK", head + std::string(padding, 'p') + tail, contentType);
    if (reply.size() == size) return reply;
    if (reply.size() > size && padding < reply.size() - size) return std::string();
    padding = padding + size - reply.size();
  }
  return std::string();
}

std::string Envelope(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xmlns:t=\"urn:osl:templates\" xmlns:d=\"urn:osl:templates/\"><s:Body>" +
         body + "</s:Body></s:Envelope>";
}

}  // namespace osltest
