// A loopback HTTP peer for service client tests: listens on 127.0.0.1 at an
// ephemeral port, records every request it receives byte for byte and
// answers each with the next canned reply (the last one repeats). Every wait
// is bounded, so a broken client cannot hang a test.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace osltest {

class CaptureServer {
 public:
  // `replies`: raw HTTP responses, sent after each complete request. A reply
  // of kCloseWithoutReply closes the connection without answering.
  explicit CaptureServer(std::vector<std::string> replies);
  ~CaptureServer();
  CaptureServer(const CaptureServer&) = delete;
  CaptureServer& operator=(const CaptureServer&) = delete;

  static const char kCloseWithoutReply[];

  // Sends every reply from now on one byte per `perByte`, as a service that
  // trickles its answer; a reply stops early when the client goes away.
  void SetReplyPace(std::chrono::milliseconds perByte) { paceMs_ = perByte.count(); }

  // Sends the first `bytes` bytes of every reply (0: none), then nothing for
  // `gap`, then the rest, as a service that falls silent in the middle of
  // its reply. The gap ends early when the client closes the connection.
  void SetSilenceAfter(size_t bytes, std::chrono::milliseconds gap) {
    silentAfter_ = bytes;
    silenceMs_ = gap.count();
  }

  // Answers each request as soon as its head has arrived and closes the
  // connection without reading the body, as a server refusing a request
  // early does (the client still sending meets a reset connection).
  void SetAnswerAfterHead() { answerAfterHead_ = true; }

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" + path.
  std::string Url(const std::string& path) const;

  // The requests received so far (waits up to 5 s for `count` of them).
  std::vector<std::string> Requests(size_t count = 1);
  // The one request received (waits as Requests); empty when none or more
  // than one arrived, so a comparison fails instead of indexing past the end.
  std::string OnlyRequest();

 private:
  void Serve();
  bool ReadRequest(int fd, std::string* request);

  int listenFd_ = -1;
  int port_ = 0;
  std::vector<std::string> replies_;
  std::atomic<bool> stop_{false};
  std::atomic<long long> paceMs_{0};
  std::atomic<bool> answerAfterHead_{false};
  std::atomic<size_t> silentAfter_{0};
  std::atomic<long long> silenceMs_{0};
  std::mutex mutex_;
  std::condition_variable received_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A port on 127.0.0.1 that refuses connections (bound, then closed).
int RefusingPort();

// A peer on 127.0.0.1 that lets clients connect (into its backlog) but never
// reads or answers: a service that hangs.
class SilentPeer {
 public:
  SilentPeer();
  ~SilentPeer();
  SilentPeer(const SilentPeer&) = delete;
  SilentPeer& operator=(const SilentPeer&) = delete;
  // "http://127.0.0.1:<port>" + path; port 1 (refused) when it could not listen.
  std::string Url(const std::string& path) const;

 private:
  int fd_ = -1;
  int port_ = 1;
};

// A plain GET of `url` ("http://127.0.0.1:PORT/path" only) with bounded
// waits: true with the status and the body (Content-Length or chunked) when a
// whole reply arrived.
bool HttpGet(const std::string& url, int* status, std::string* body);

// Raw HTTP replies.
std::string HttpReply(int status, const std::string& reason, const std::string& body,
                      const std::string& contentType = "text/xml; charset=utf-8");
// A 200 reply of exactly `size` bytes, header included, whose body is `head`,
// as many 'p' bytes as it takes, then `tail`. Empty when `size` is too small.
std::string HttpReplyOfSize(size_t size, const std::string& head, const std::string& tail,
                            const std::string& contentType = "text/xml; charset=utf-8");
// A SOAP 1.1 envelope around `body`, with the service's namespace prefixes.
std::string Envelope(const std::string& body);

}  // namespace osltest
