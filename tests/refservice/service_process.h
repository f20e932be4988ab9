// Test helpers: run osl-service as a child process on an ephemeral loopback port, and talk raw
// HTTP to it with bounded waits.
#ifndef OSL_TESTS_REFSERVICE_SERVICE_PROCESS_H_
#define OSL_TESTS_REFSERVICE_SERVICE_PROCESS_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace osl::refservice::testing {

// A fresh folder under the system's temporary folder, removed with its content on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// One running osl-service. Start waits for its "listening on" line; the destructor stops it
// (SIGTERM, then SIGKILL after a few seconds).
class ServiceProcess {
 public:
  ServiceProcess() = default;
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  // Starts `osl-service --listen 127.0.0.1:0 --data DIR` plus `extra` arguments. Returns false
  // (with the reason in `error`) when it does not announce its port within 10 seconds.
  bool Start(const std::string& data_dir, const std::vector<std::string>& extra,
             std::string* error);
  // Stops the process and returns its exit status (-1 when it had to be killed).
  int Stop();
  // True while the process is alive.
  bool Running();

  uint16_t port() const { return port_; }
  std::string base_url() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

// Path of the osl-service executable under test.
std::string ServiceBinary();

// Sends `request` bytes to 127.0.0.1:`port` and returns everything received until the peer
// closes (or `timeout_ms` passes). Empty when the connection fails.
std::string RawExchange(uint16_t port, const std::string& request, int timeout_ms = 10000);

struct HttpReply {
  int status = 0;  // 0 when no parseable status line arrived
  std::string head;
  std::string body;
};

// Splits a raw HTTP reply into status, head and body (Content-Length bodies only).
HttpReply ParseReply(const std::string& raw);

// A POST with Content-Length.
std::string PostRequest(const std::string& path, const std::string& content_type,
                        const std::string& body, const std::string& extra_headers = "");

// The multipart/form-data upload body the plug-in sends, for `file_name` and `content`, with
// `boundary`.
std::string UploadBody(const std::string& boundary, const std::string& file_name,
                       const std::string& content);
std::string UploadContentType(const std::string& boundary);

// Uploads one file the way the plug-in does (chunked) and returns the reply.
HttpReply Upload(uint16_t port, const std::string& session, const std::string& file_name,
                 const std::string& content);

// Lower-case hex SHA-256 of `data` (via the service's own implementation).
std::string Sha256Of(const std::string& data);

}  // namespace osl::refservice::testing

#endif  // OSL_TESTS_REFSERVICE_SERVICE_PROCESS_H_
