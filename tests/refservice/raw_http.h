// Raw HTTP with osl-service on 127.0.0.1: request bytes exactly as a test writes them, replies
// exactly as the service sent them, with bounded waits.
#pragma once

#include <cstdint>
#include <string>

namespace osltest {

struct RawResult {
  std::string bytes;        // everything received
  bool peerClosed = false;  // the service closed the connection (rather than the time-out)
};

// Sends `request` bytes to 127.0.0.1:`port` and collects everything received until the peer
// closes or `timeoutMs` passes. With `halfClose` the sending side is shut once the request is
// out; without it the test sees whether the service closes the connection by itself. Nothing is
// received when the connection fails.
RawResult RawSend(uint16_t port, const std::string& request, int timeoutMs = 10000,
                  bool halfClose = true);

// RawSend's bytes.
std::string RawExchange(uint16_t port, const std::string& request, int timeoutMs = 10000);

struct HttpReply {
  int status = 0;  // 0 when no parseable status line arrived
  std::string head;
  std::string body;
};

// Splits a raw HTTP reply into status, head (up to and including the last header line's CR LF)
// and body (everything after the empty line).
HttpReply ParseReply(const std::string& raw);

// A POST with Content-Length.
std::string PostRequest(const std::string& path, const std::string& contentType,
                        const std::string& body, const std::string& extraHeaders = "");

// The multipart/form-data upload body the plug-in sends, for `fileName` and `content`, with
// `boundary`.
std::string UploadBody(const std::string& boundary, const std::string& fileName,
                       const std::string& content);
std::string UploadContentType(const std::string& boundary);

// The boundary UploadRequest uses.
extern const char kUploadBoundary[];

// The whole upload request the plug-in sends (chunked), ready for RawExchange.
std::string UploadRequest(uint16_t port, const std::string& session, const std::string& fileName,
                          const std::string& content);

// Uploads one file the way the plug-in does (chunked) and returns the reply.
HttpReply Upload(uint16_t port, const std::string& session, const std::string& fileName,
                 const std::string& content);

// A connection to 127.0.0.1:`port` that a test drives piece by piece; closed on destruction.
class Connection {
 public:
  explicit Connection(uint16_t port);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  bool ok() const { return fd_ >= 0; }
  // Sends all of `bytes`; false when the connection failed.
  bool Send(const std::string& bytes);
  // Reads what arrives within `waitMs`; sets `closed` when the service ended the connection.
  std::string Receive(int waitMs, bool* closed);
  // Reads one whole reply framed by its Content-Length (the connection may stay open after it).
  // Status 0 when none arrived whole within `waitMs`; `closed` as for Receive.
  HttpReply ReceiveReply(int waitMs, bool* closed);

 private:
  int fd_ = -1;
  std::string pending_;  // bytes received past the last whole reply
};

// GET of `path` and the parsed reply.
HttpReply Get(uint16_t port, const std::string& path);

// Lower-case hex SHA-256 of `data` (via the service's own implementation).
std::string Sha256Of(const std::string& data);

}  // namespace osltest
