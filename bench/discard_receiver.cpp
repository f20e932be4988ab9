// The yardstick for the service's upload path: an HTTP/1.1 receiver that
// reads each request's body (Content-Length or chunked) and throws it away,
// then answers 200 with an address, one request per connection. It stores,
// parses and checks nothing else, so it shows what the loopback socket and
// the client alone cost.
//   osl_bench_discard [PORT]     (default 0: a free port)
// Listens on 127.0.0.1 only, prints "listening on http://127.0.0.1:PORT",
// and serves until killed. A connection silent for 30 s is closed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "text/ascii_case.h"

namespace {

constexpr size_t kMaxHead = 32 * 1024;
constexpr size_t kReadSize = 256 * 1024;
constexpr int kSilenceSeconds = 30;

bool SendAll(int fd, const std::string& text) {
  size_t sent = 0;
  while (sent < text.size()) {
    ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// The value of header `name` (lower case) in `head`, or "" when absent.
std::string HeaderValue(const std::string& head, const std::string& name) {
  const std::string lower = textutil::Lower(head);
  size_t at = lower.find("\r\n" + name + ":");
  if (at == std::string::npos) return "";
  at += name.size() + 3;
  size_t end = lower.find("\r\n", at);
  std::string value = head.substr(at, end - at);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.erase(0, 1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
  return value;
}

// Reads and drops a chunked body whose first bytes are `pending`. False when
// the framing is broken or the peer went away first.
bool DiscardChunked(int fd, std::string pending, std::vector<char>& buffer) {
  enum { kSize, kData, kDataEnd, kTrailer } state = kSize;
  unsigned long long remaining = 0;
  for (;;) {
    // Consume what is pending.
    bool progress = true;
    while (progress) {
      progress = false;
      if (state == kData) {
        size_t take = static_cast<size_t>(std::min<unsigned long long>(remaining, pending.size()));
        pending.erase(0, take);
        remaining -= take;
        if (remaining == 0) {
          state = kDataEnd;
          progress = true;
        }
      } else {
        size_t eol = pending.find("\r\n");
        if (eol == std::string::npos) {
          if (pending.size() > kMaxHead) return false;
          break;
        }
        std::string line = pending.substr(0, eol);
        pending.erase(0, eol + 2);
        progress = true;
        if (state == kSize) {
          char* end = nullptr;
          remaining = std::strtoull(line.c_str(), &end, 16);
          if (end == line.c_str()) return false;
          state = remaining == 0 ? kTrailer : kData;
        } else if (state == kDataEnd) {
          if (!line.empty()) return false;
          state = kSize;
        } else if (line.empty()) {
          return true;  // the end of the trailer
        }
      }
    }
    if (state == kData && pending.empty()) {
      // Bulk data: straight from the socket into the buffer and away.
      size_t want = static_cast<size_t>(std::min<unsigned long long>(remaining, buffer.size()));
      ssize_t n = ::recv(fd, buffer.data(), want, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      remaining -= static_cast<unsigned long long>(n);
      if (remaining == 0) state = kDataEnd;
      continue;
    }
    ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    pending.append(buffer.data(), static_cast<size_t>(n));
  }
}

bool DiscardLength(int fd, unsigned long long length, size_t already, std::vector<char>& buffer) {
  unsigned long long remaining = length > already ? length - already : 0;
  while (remaining > 0) {
    size_t want = static_cast<size_t>(std::min<unsigned long long>(remaining, buffer.size()));
    ssize_t n = ::recv(fd, buffer.data(), want, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    remaining -= static_cast<unsigned long long>(n);
  }
  return true;
}

void Serve(int fd, uint16_t port) {
  timeval silence{kSilenceSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &silence, sizeof silence);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &silence, sizeof silence);
  std::vector<char> buffer(kReadSize);
  std::string head;
  size_t headEnd = std::string::npos;
  while ((headEnd = head.find("\r\n\r\n")) == std::string::npos) {
    if (head.size() > kMaxHead) return;
    ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    head.append(buffer.data(), static_cast<size_t>(n));
  }
  std::string rest = head.substr(headEnd + 4);
  head.resize(headEnd + 2);
  if (textutil::Lower(HeaderValue(head, "expect")) == "100-continue") {
    if (!SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n")) return;
  }
  bool ok = true;
  if (textutil::Lower(HeaderValue(head, "transfer-encoding")) == "chunked") {
    ok = DiscardChunked(fd, std::move(rest), buffer);
  } else {
    const std::string length = HeaderValue(head, "content-length");
    ok = DiscardLength(fd, length.empty() ? 0 : std::strtoull(length.c_str(), nullptr, 10),
                       rest.size(), buffer);
  }
  const std::string body =
      ok ? "http://127.0.0.1:" + std::to_string(port) + "/files/discarded" : "bad body\n";
  SendAll(fd, std::string(ok ? "HTTP/1.1 200 OK" : "HTTP/1.1 400 Bad Request") +
                  "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
                  "\r\nConnection: close\r\n\r\n" + body);
}

}  // namespace

int main(int argc, char** argv) {
  const int port = argc > 1 ? std::atoi(argv[1]) : 0;
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t length = sizeof address;
  if (listener < 0 ||
      ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 64) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::fprintf(stderr, "osl_bench_discard: cannot listen: %s\n", std::strerror(errno));
    return 1;
  }
  const uint16_t bound = ntohs(address.sin_port);
  std::printf("listening on http://127.0.0.1:%u\n", bound);
  std::fflush(stdout);
  for (;;) {
    int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      std::fprintf(stderr, "osl_bench_discard: accept: %s\n", std::strerror(errno));
      return 1;
    }
    std::thread([fd, bound] {
      Serve(fd, bound);
      ::shutdown(fd, SHUT_WR);
      ::close(fd);
    }).detach();
  }
}
