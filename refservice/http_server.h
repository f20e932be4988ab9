// A small threaded HTTP/1.1 server: one listening socket, a fixed pool of worker threads, one
// request per connection ("Connection: close"), bounded request sizes and time-outs so that slow
// or hostile clients cannot hold a worker for long.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "refservice/http.h"

namespace refservice {

// Answers requests. Called from several worker threads at once.
class HttpHandler {
 public:
  virtual ~HttpHandler() = default;
  // Largest body accepted for a request with this head; larger bodies get 413 unread.
  virtual size_t MaxBodySize(const HttpRequest& head) const = 0;
  // The reply to one complete request.
  virtual HttpResponse Handle(const HttpRequest& request) = 0;
};

struct HttpServerOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 8080;           // 0: an ephemeral port chosen by the system
  int threads = 4;                // worker threads
  int idleTimeoutMs = 30000;      // longest wait for the next byte from (or to) a client
  int requestTimeoutMs = 600000;  // longest time to receive one whole request
  size_t maxPending = 64;         // accepted connections waiting for a worker; more get 503
  HttpLimits limits;
};

class HttpServer {
 public:
  // `handler` must outlive the server.
  HttpServer(HttpServerOptions options, HttpHandler* handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and listens. Returns false with `error` set when the address cannot be used.
  bool Listen(std::string* error);
  // The port actually bound (valid after Listen).
  uint16_t port() const { return port_; }

  // Accepts and serves connections until Stop is called; then finishes the requests in progress,
  // closes waiting connections and returns.
  void Run();
  // Asks Run to end. Safe to call from any thread and from a signal handler.
  void Stop();

 private:
  void WorkerLoop();
  void Serve(int fd);

  HttpServerOptions options_;
  HttpHandler* handler_;
  UniqueFd listenFd_;
  int wakePipe_[2] = {-1, -1};
  uint16_t port_ = 0;

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<int> pending_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// Splits "HOST:PORT" ("[v6]:PORT" for IPv6) into its parts. Returns false when malformed.
bool ParseListenAddress(const std::string& text, std::string* host, uint16_t* port);

}  // namespace refservice
