// The service's HTTP/1.1 server, on libmicrohttpd: a fixed pool of worker threads serving many
// more connections, bounded request heads, an idle time-out, and deadlines for the head and for
// the whole exchange so that slow or stalled clients hold a connection slot only briefly and never
// a worker. Every reply carries Content-Length. A reply that allows it (HttpResponse::keepAlive)
// leaves the connection open for the client's next request; every other reply says
// "Connection: close" and the connection closes after it. Each request on a kept connection has
// the whole head deadline from the first byte of its head and the whole exchange deadline; a kept
// connection silent between requests for `keepAliveMs` is closed, and so is every one between
// requests when the server stops. Kept connections count against the limits while open. Connections are limited in all and per
// client address; over a limit a plain connection is answered 503 with Retry-After, a TLS one is
// closed at once. A body must keep up a minimum average rate, so a trickled body cannot hold its
// connection for the whole request deadline. A gate in front of the library accepts
// connections and waits for each request head; heads with unsound body framing are answered there
// (see request_head_check.h), the others go to the library. The later requests of a kept
// connection go to the library directly: the same checks run on their heads in the library's
// callback, and a refused head is answered and its connection closed.
//
// With a TLS certificate and key the server speaks HTTPS only (the library's TLS). The gate then
// sees encrypted bytes: it accepts connections, refuses those over the connection limit by
// closing them, and hands the others to the library at once; the library decrypts, and the same
// head checks run on the decrypted head in the library's callback before anything else sees the
// request (a refused head is answered over TLS with the same status and text). The head deadline
// covers the handshake and the head: a connection whose head has not arrived by then is closed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "refservice/http/http_message.h"

namespace refservice {

struct HttpDaemonOptions {
  std::string host = "127.0.0.1";
  uint16_t port = 8080;             // 0: an ephemeral port chosen by the system
  int threads = 4;                  // worker threads
  int maxConnections = 256;         // open connections at once; more are refused at accept
  // Open connections from one client address (an IPv6 client's /64) at once; more are refused
  // at accept. 0: no limit (behind a proxy every client has the proxy's address).
  int maxConnectionsPerAddress = 32;
  int idleTimeoutSeconds = 30;      // a connection silent this long is closed
  int headTimeoutMs = 10000;        // the request head must have arrived this long after accept
  int requestTimeoutMs = 600000;    // the whole exchange must be over this long after accept
  // A kept connection with no request for this long is closed. 0: one request per connection.
  int keepAliveMs = 5000;
  // After the head, the body must arrive at this average rate (bytes per second) once
  // `bodyGraceMs` have passed: at time t after the head, at least rate * (t - grace) bytes. A
  // slower body's connection is cut. 0: no minimum.
  int64_t minBodyBytesPerSecond = 1024;
  int64_t bodyGraceMs = 10000;
  size_t maxHeadBytes = 32 * 1024;  // request line and header lines
  size_t connectionMemory = 128 * 1024;  // per-connection buffer of the library
  // PEM texts; both set: HTTPS only (see tls_credentials.h for reading them from files).
  std::string tlsCertificatePem;
  std::string tlsKeyPem;
};

class HttpDaemon {
 public:
  // `handler` must outlive the daemon.
  HttpDaemon(HttpDaemonOptions options, HttpHandler* handler);
  ~HttpDaemon();
  HttpDaemon(const HttpDaemon&) = delete;
  HttpDaemon& operator=(const HttpDaemon&) = delete;

  // Binds and listens. Returns false with `error` set when the address cannot be used.
  bool Listen(std::string* error);
  // The port actually bound (valid after Listen).
  uint16_t port() const;
  // Starts serving in the background (after Listen). Returns false with `error` set when the
  // server cannot start.
  bool Start(std::string* error);
  // Stops accepting, lets the exchanges in progress finish for at most `graceMs`, then closes
  // every connection and returns. Call at most once, from one thread.
  void Stop(int graceMs);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// Splits "HOST:PORT" ("[v6]:PORT" for IPv6) into its parts. Returns false when malformed.
bool ParseListenAddress(const std::string& text, std::string* host, uint16_t* port);

}  // namespace refservice
