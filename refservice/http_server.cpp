#include "refservice/http_server.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace refservice {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Reads from a connected socket, waiting at most the idle time-out for each read and never past
// the request deadline.
class SocketSource : public ByteSource {
 public:
  SocketSource(int fd, int idleTimeoutMs, Clock::time_point deadline)
      : fd_(fd), idleTimeoutMs_(idleTimeoutMs), deadline_(deadline) {}

  ReadStatus Read(char* buffer, size_t size, size_t* got) override {
    for (;;) {
      int wait = std::min(idleTimeoutMs_, MillisecondsUntil(deadline_));
      pollfd pfd{fd_, POLLIN, 0};
      int ready = ::poll(&pfd, 1, wait);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return ReadStatus::kError;
      if (ready == 0) return ReadStatus::kTimeout;
      ssize_t n = ::recv(fd_, buffer, size, 0);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0) return ReadStatus::kError;
      if (n == 0) return ReadStatus::kEof;
      *got = static_cast<size_t>(n);
      return ReadStatus::kOk;
    }
  }

 private:
  int fd_;
  int idleTimeoutMs_;
  Clock::time_point deadline_;
};

// Sends all bytes, waiting at most `idleTimeoutMs` for the socket to accept more.
bool SendAll(int fd, const char* data, size_t size, int idleTimeoutMs) {
  while (size > 0) {
    pollfd pfd{fd, POLLOUT, 0};
    int ready = ::poll(&pfd, 1, idleTimeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool SendAll(int fd, const std::string& data, int idleTimeoutMs) {
  return SendAll(fd, data.data(), data.size(), idleTimeoutMs);
}

bool SendResponse(int fd, const HttpResponse& response, int idleTimeoutMs) {
  switch (response.kind) {
    case HttpResponse::Kind::kClose:
      return true;
    case HttpResponse::Kind::kRaw:
      return SendAll(fd, response.raw, idleTimeoutMs);
    case HttpResponse::Kind::kNormal:
      break;
  }
  if (!SendAll(fd, SerializeHead(response), idleTimeoutMs)) return false;
  if (response.headOnly) return true;
  if (!response.file.valid()) return SendAll(fd, response.body, idleTimeoutMs);
  char buffer[64 * 1024];
  uint64_t left = response.fileSize;
  while (left > 0) {
    ssize_t n = ::read(response.file.get(), buffer, left < sizeof buffer ? left : sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // the file shrank: the short body tells the client
    if (!SendAll(fd, buffer, static_cast<size_t>(n), idleTimeoutMs)) return false;
    left -= static_cast<uint64_t>(n);
  }
  return true;
}

// Ends the connection so that the client can read the whole reply: stop sending, then drop what
// the client still sends for a short, bounded while before closing.
void CloseGracefully(int fd) {
  ::shutdown(fd, SHUT_WR);
  char sink[4096];
  size_t drained = 0;
  auto deadline = Clock::now() + std::chrono::milliseconds(500);
  while (drained < (1u << 20)) {
    pollfd pfd{fd, POLLIN, 0};
    int wait = MillisecondsUntil(deadline);
    if (wait == 0 || ::poll(&pfd, 1, wait) <= 0) break;
    ssize_t n = ::recv(fd, sink, sizeof sink, 0);
    if (n <= 0) break;
    drained += static_cast<size_t>(n);
  }
  ::close(fd);
}

}  // namespace

bool ParseListenAddress(const std::string& text, std::string* host, uint16_t* port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon + 1 >= text.size()) return false;
  std::string hostPart = text.substr(0, colon);
  std::string portPart = text.substr(colon + 1);
  if (hostPart.size() >= 2 && hostPart.front() == '[' && hostPart.back() == ']') {
    hostPart = hostPart.substr(1, hostPart.size() - 2);
  }
  if (hostPart.empty() || portPart.size() > 5) return false;
  unsigned long value = 0;
  for (char c : portPart) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
  }
  if (value > 65535) return false;
  *host = hostPart;
  *port = static_cast<uint16_t>(value);
  return true;
}

HttpServer::HttpServer(HttpServerOptions options, HttpHandler* handler)
    : options_(std::move(options)), handler_(handler) {
  if (options_.threads < 1) options_.threads = 1;
  if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    wakePipe_[0] = wakePipe_[1] = -1;
  }
}

HttpServer::~HttpServer() {
  if (wakePipe_[0] >= 0) ::close(wakePipe_[0]);
  if (wakePipe_[1] >= 0) ::close(wakePipe_[1]);
}

bool HttpServer::Listen(std::string* error) {
  if (wakePipe_[0] < 0) {
    *error = "cannot create the wake-up pipe";
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  std::string portText = std::to_string(options_.port);
  int rc = ::getaddrinfo(options_.host.c_str(), portText.c_str(), &hints, &found);
  if (rc != 0) {
    *error = "cannot resolve " + options_.host + ": " + ::gai_strerror(rc);
    return false;
  }
  *error = "no usable address for " + options_.host;
  for (addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
    UniqueFd fd(::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol));
    if (!fd.valid()) continue;
    int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.get(), ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd.get(), 128) != 0) {
      *error = "cannot listen on " + options_.host + ":" + portText + ": " + std::strerror(errno);
      continue;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&bound), &length) == 0) {
      if (bound.ss_family == AF_INET) {
        port_ = ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
      } else if (bound.ss_family == AF_INET6) {
        port_ = ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
      }
    }
    listenFd_ = std::move(fd);
    break;
  }
  ::freeaddrinfo(found);
  if (!listenFd_.valid()) return false;
  error->clear();
  return true;
}

void HttpServer::Stop() {
  if (wakePipe_[1] >= 0) {
    char byte = 1;
    ssize_t ignored = ::write(wakePipe_[1], &byte, 1);
    (void)ignored;
  }
}

void HttpServer::Run() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = false;
  }
  for (int i = 0; i < options_.threads; ++i) workers_.emplace_back([this] { WorkerLoop(); });
  for (;;) {
    pollfd pfds[2] = {{listenFd_.get(), POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    int ready = ::poll(pfds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (pfds[1].revents & POLLIN) != 0) break;
    if ((pfds[0].revents & POLLIN) == 0) continue;
    int fd = ::accept4(listenFd_.get(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors or a connection reset before accept: wait briefly and go on.
      if (errno == EMFILE || errno == ENFILE) ::poll(nullptr, 0, 50);
      continue;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (pending_.size() >= options_.maxPending) {
      lock.unlock();
      HttpResponse busy = HttpResponse::Text(503, "the service is busy, try again\n");
      SendResponse(fd, busy, 1000);
      CloseGracefully(fd);
      continue;
    }
    pending_.push_back(fd);
    lock.unlock();
    ready_.notify_one();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  for (int fd : pending_) ::close(fd);
  pending_.clear();
  char drain[64];
  while (::read(wakePipe_[0], drain, sizeof drain) > 0) {
  }
}

void HttpServer::WorkerLoop() {
  for (;;) {
    int fd = -1;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
      if (stopping_) return;
      fd = pending_.front();
      pending_.pop_front();
    }
    Serve(fd);
  }
}

void HttpServer::Serve(int fd) {
  auto deadline = Clock::now() + std::chrono::milliseconds(options_.requestTimeoutMs);
  SocketSource source(fd, options_.idleTimeoutMs, deadline);
  HttpReader reader(&source);
  HttpRequest request;
  auto fail = [&](const HttpReadResult& result) {
    if (result.status > 0) {
      SendResponse(fd, HttpResponse::Text(result.status, result.message + "\n"),
                   options_.idleTimeoutMs);
    }
    CloseGracefully(fd);
  };

  HttpReadResult result = reader.ReadHead(options_.limits, &request);
  if (result.status != 0) return fail(result);
  bool chunked = false;
  std::optional<uint64_t> length;
  result = reader.BodyFraming(request, &chunked, &length);
  if (result.status != 0) return fail(result);
  size_t maxBody = handler_->MaxBodySize(request);
  if (length && *length > maxBody) return fail({413, "the request body is too large"});
  if (request.ExpectsContinue() && request.version == "HTTP/1.1" && (chunked || length)) {
    if (!SendAll(fd, std::string("HTTP/1.1 100 Continue\r\n\r\n"), options_.idleTimeoutMs)) {
      return CloseGracefully(fd);
    }
  }
  result = reader.ReadBody(options_.limits, maxBody, &request);
  if (result.status != 0) return fail(result);

  HttpResponse response = handler_->Handle(request);
  if (request.method == "HEAD") response.headOnly = true;
  SendResponse(fd, response, options_.idleTimeoutMs);
  CloseGracefully(fd);
}

}  // namespace refservice
