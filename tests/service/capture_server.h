// A loopback HTTP peer for service client tests: listens on 127.0.0.1 at an
// ephemeral port, records every request it receives byte for byte and
// answers each with the next canned reply (the last one repeats). Every wait
// is bounded, so a broken client cannot hang a test.
#pragma once

#include <atomic>
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
  std::mutex mutex_;
  std::condition_variable received_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A port on 127.0.0.1 that refuses connections (bound, then closed).
int RefusingPort();

// Raw HTTP replies.
std::string HttpReply(int status, const std::string& reason, const std::string& body,
                      const std::string& contentType = "text/xml; charset=utf-8");
// A SOAP 1.1 envelope around `body`, with the service's namespace prefixes.
std::string Envelope(const std::string& body);

}  // namespace osltest
