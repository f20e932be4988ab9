// One HTTP exchange as the service's routing sees it: the request head, the body arriving in
// pieces, and one reply. The HTTP daemon (http_daemon.h) parses and frames; this is the contract
// between it and the handler.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "refservice/common/unique_fd.h"

namespace refservice {

struct HttpRequestHead {
  std::string method;                                        // e.g. "POST"
  std::string path;                                          // percent-decoded, without the query
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case, as sent
  std::vector<std::pair<std::string, std::string>> query;    // decoded query arguments
  // Where the request came from, as the sign-in throttle counts clients: an IPv4 address
  // ("192.0.2.7"), or an IPv6 address's /64 network ("2001:db8:1:2::/64", as one host usually
  // has a whole /64); empty when unknown.
  std::string clientAddress;
  // The service's own address the client connected to, as "HOST:PORT" ("[v6]:PORT"); empty when
  // unknown.
  std::string localAddress;

  // Value of the first header with this (lower-case) name.
  std::optional<std::string_view> Header(std::string_view lowerName) const;
  // Value of the first query argument with this name.
  std::optional<std::string_view> QueryValue(std::string_view name) const;
};

class DeferredReply;

// One reply. The daemon adds Content-Length. It closes the connection after sending it (and says
// "Connection: close") unless the reply allows another request on the connection (`keepAlive`),
// the client did not ask to close, the request's body was read whole and the server is not
// stopping.
struct HttpResponse {
  enum class Kind {
    kNormal,  // status, headers and a body (text or file)
    kClose,   // no answer at all: the connection is closed
    kDeferred,  // computed elsewhere: `deferred` gives the reply later; no server thread waits
  };

  Kind kind = Kind::kNormal;
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  UniqueFd file;  // when valid, its `fileSize` bytes are the body instead of `body`
  uint64_t fileSize = 0;
  int delayMs = 0;  // the reply is held back this long (the connection waits; no worker does)
  std::shared_ptr<DeferredReply> deferred;  // kDeferred only
  // The connection may stay open for the client's next request (for kDeferred: whatever reply
  // comes later).
  bool keepAlive = false;

  static HttpResponse Text(int status, std::string body,
                           std::string contentType = "text/plain; charset=utf-8");
  static HttpResponse Close();
  static HttpResponse Later(std::shared_ptr<DeferredReply> deferred);
};

// A reply that another thread computes (a render on its own pool). Exactly one reply comes out:
// the first of Fulfil and Abandon wins, the other is ignored. Safe from any thread.
class DeferredReply {
 public:
  // The reply is ready.
  void Fulfil(HttpResponse reply);
  // The server is stopping and cannot wait: `reply` goes out instead, unless one has already.
  void Abandon(HttpResponse reply);
  // Runs `ready` once there is a reply: at once on this thread when there already is one,
  // otherwise on the thread that gives it. Called once, by the server.
  void OnReady(std::function<void()> ready);
  // The reply (once there is one; called once).
  HttpResponse Take();

 private:
  void Give(HttpResponse reply);

  std::mutex mutex_;
  std::optional<HttpResponse> reply_;
  bool given_ = false;
  std::function<void()> ready_;
};

// One request whose head has arrived. The daemon feeds the body to it, then asks for the reply;
// it is destroyed when the exchange ends, also when the client goes away early.
class HttpExchange {
 public:
  virtual ~HttpExchange() = default;
  // The next piece of the body. Returns a reply to end the exchange (the exchange is destroyed
  // at once; the rest of the body is read and dropped, up to 256 MiB, then the reply is sent and
  // the connection closed; a longer rest is cut off unanswered), or nothing to go on.
  virtual std::optional<HttpResponse> OnBody(std::string_view data) = 0;
  // The whole body has arrived: the reply.
  virtual HttpResponse Finish() = 0;
};

// Answers requests. Called from several daemon threads at once.
class HttpHandler {
 public:
  virtual ~HttpHandler() = default;
  // A request head has arrived. Returns the exchange that takes its body, or null after setting
  // `reply` to the answer to send right away (the body, if any, is not read).
  virtual std::unique_ptr<HttpExchange> Begin(const HttpRequestHead& head, HttpResponse* reply) = 0;
};

}  // namespace refservice
