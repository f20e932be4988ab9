#include "tests/refservice/raw_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <cstdio>
#include <cstdlib>

#include "refservice/common/sha256.h"

namespace osltest {

Connection::Connection(uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

Connection::~Connection() {
  if (fd_ >= 0) ::close(fd_);
}

bool Connection::Send(const std::string& bytes) {
  return fd_ >= 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                         static_cast<ssize_t>(bytes.size());
}

std::string Connection::Receive(int waitMs, bool* closed) {
  std::string out;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  *closed = false;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd pfd{fd_, POLLIN, 0};
    if (fd_ < 0 || left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
      return out;
    }
    char buffer[4096];
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
      *closed = true;
      return out;
    }
    out.append(buffer, static_cast<size_t>(n));
  }
}

HttpReply Connection::ReceiveReply(int waitMs, bool* closed) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  *closed = false;
  for (;;) {
    const size_t end = pending_.find("\r\n\r\n");
    if (end != std::string::npos) {
      HttpReply head = ParseReply(pending_.substr(0, end + 4));
      std::smatch match;
      const size_t length =
          std::regex_search(head.head, match, std::regex("\r\nContent-Length: *([0-9]+)",
                                                         std::regex::icase))
              ? std::stoul(match[1].str())
              : 0;
      if (pending_.size() >= end + 4 + length) {
        HttpReply reply = ParseReply(pending_.substr(0, end + 4 + length));
        pending_.erase(0, end + 4 + length);
        return reply;
      }
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd pfd{fd_, POLLIN, 0};
    if (*closed || fd_ < 0 || left.count() <= 0 ||
        ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
      return HttpReply();
    }
    char buffer[65536];
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
      *closed = true;
      continue;
    }
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

std::string RawExchange(uint16_t port, const std::string& request, int timeoutMs) {
  return RawSend(port, request, timeoutMs).bytes;
}

RawResult RawSend(uint16_t port, const std::string& request, int timeoutMs, bool halfClose) {
  RawResult result;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return result;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return result;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto left = [&] {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  deadline - std::chrono::steady_clock::now())
                  .count();
    return ms < 0 ? 0 : static_cast<int>(ms);
  };
  size_t sent = 0;
  char buffer[65536];
  // Send and receive together, so a server that answers early never deadlocks the test.
  while (left() > 0) {
    pollfd pfd{fd, static_cast<short>(POLLIN | (sent < request.size() ? POLLOUT : 0)), 0};
    if (::poll(&pfd, 1, left()) <= 0) break;
    if (pfd.revents & POLLIN) {
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) {
        result.peerClosed = true;  // orderly close, or a reset
        break;
      }
      result.bytes.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (pfd.revents & POLLOUT) {
      ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) {
        sent = request.size();
      } else {
        sent += static_cast<size_t>(n);
        if (sent == request.size() && halfClose) ::shutdown(fd, SHUT_WR);
      }
      continue;
    }
    if (pfd.revents & (POLLERR | POLLHUP)) {
      result.peerClosed = true;
      break;
    }
  }
  ::close(fd);
  return result;
}

HttpReply ParseReply(const std::string& raw) {
  HttpReply reply;
  size_t end = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/1.", 0) != 0 || end == std::string::npos || raw.size() < 12) return reply;
  reply.status = std::atoi(raw.c_str() + 9);
  reply.head = raw.substr(0, end + 2);
  reply.body = raw.substr(end + 4);
  return reply;
}

std::string PostRequest(const std::string& path, const std::string& contentType,
                        const std::string& body, const std::string& extraHeaders) {
  return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + contentType +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders +
         "Connection: close\r\n\r\n" + body;
}

std::string UploadBody(const std::string& boundary, const std::string& fileName,
                       const std::string& content) {
  return "\r\n--" + boundary +
         "\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n"
         "Content-Disposition: form-data;  name=\"file\"; filename=\"" +
         fileName + "\"\r\n\r\n" + content + "\r\n--" + boundary + "--";
}

std::string UploadContentType(const std::string& boundary) {
  return "multipart/form-data; boundary=\"" + boundary +
         "\"; type=\"text/xml\"; start=\"<SOAP-ENV:Envelope>\"";
}

const char kUploadBoundary[] =
    "==A1b2C3d4E5f6G7h8I9j0K1l2M3n4O5p6Q7r8S9t0U1v2W3x4Y5z6+/A1b2C3d4E5f6==";

std::string UploadRequest(uint16_t port, const std::string& session, const std::string& fileName,
                          const std::string& content) {
  const std::string boundary = kUploadBoundary;
  std::string body = UploadBody(boundary, fileName, content);
  std::string request =
      "POST /fileUpload.aspx?sessionid=" + session +
      " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
      "\r\nUser-Agent: gSOAP/2.8\r\nContent-Type: " + UploadContentType(boundary) +
      "\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
  const size_t kChunk = 65536;
  char sizeLine[32];
  for (size_t pos = 0; pos < body.size(); pos += kChunk) {
    size_t n = std::min(kChunk, body.size() - pos);
    std::snprintf(sizeLine, sizeof sizeLine, "%zx\r\n", n);
    request += sizeLine;
    request.append(body, pos, n);
    request += "\r\n";
  }
  request += "0\r\n\r\n";
  return request;
}

HttpReply Upload(uint16_t port, const std::string& session, const std::string& fileName,
                 const std::string& content) {
  return ParseReply(RawExchange(port, UploadRequest(port, session, fileName, content)));
}

HttpReply Get(uint16_t port, const std::string& path) {
  return ParseReply(RawExchange(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
}

std::string Sha256Of(const std::string& data) { return refservice::Sha256Hex(data); }

}  // namespace osltest
