#include "tests/refservice/service_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "refservice/sha256.h"

namespace osl::refservice::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "osl-refservice-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ServiceBinary() { return OSL_SERVICE_BINARY; }

ServiceProcess::~ServiceProcess() { Stop(); }

bool ServiceProcess::Start(const std::string& data_dir, const std::vector<std::string>& extra,
                           std::string* error) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    *error = "pipe failed";
    return false;
  }
  std::vector<std::string> args = {ServiceBinary(), "--listen", "127.0.0.1:0", "--data", data_dir};
  args.insert(args.end(), extra.begin(), extra.end());
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (line.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd pfd{out[0], POLLIN, 0};
    if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[256];
    ssize_t n = ::read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  ::close(out[0]);
  const std::string prefix = "listening on http://127.0.0.1:";
  if (line.rfind(prefix, 0) != 0) {
    *error = "osl-service did not start; its first line was: " + line;
    Stop();
    return false;
  }
  port_ = static_cast<uint16_t>(std::atoi(line.c_str() + prefix.size()));
  return port_ != 0;
}

bool ServiceProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  pid_t done = ::waitpid(pid_, &status, WNOHANG);
  if (done == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

int ServiceProcess::Stop() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return -1;
}

std::string RawExchange(uint16_t port, const std::string& request, int timeout_ms) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "";
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return "";
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  auto left = [&] {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  deadline - std::chrono::steady_clock::now())
                  .count();
    return ms < 0 ? 0 : static_cast<int>(ms);
  };
  size_t sent = 0;
  std::string reply;
  char buffer[65536];
  // Send and receive together, so a server that answers early never deadlocks the test.
  while (left() > 0) {
    pollfd pfd{fd, static_cast<short>(POLLIN | (sent < request.size() ? POLLOUT : 0)), 0};
    if (::poll(&pfd, 1, left()) <= 0) break;
    if (pfd.revents & POLLIN) {
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      reply.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (pfd.revents & POLLOUT) {
      ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) {
        sent = request.size();
      } else {
        sent += static_cast<size_t>(n);
        if (sent == request.size()) ::shutdown(fd, SHUT_WR);
      }
      continue;
    }
    if (pfd.revents & (POLLERR | POLLHUP)) break;
  }
  ::close(fd);
  return reply;
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

std::string PostRequest(const std::string& path, const std::string& content_type,
                        const std::string& body, const std::string& extra_headers) {
  return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + content_type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra_headers +
         "Connection: close\r\n\r\n" + body;
}

std::string UploadBody(const std::string& boundary, const std::string& file_name,
                       const std::string& content) {
  return "\r\n--" + boundary +
         "\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n"
         "Content-Disposition: form-data;  name=\"file\"; filename=\"" +
         file_name + "\"\r\n\r\n" + content + "\r\n--" + boundary + "--";
}

std::string UploadContentType(const std::string& boundary) {
  return "multipart/form-data; boundary=\"" + boundary +
         "\"; type=\"text/xml\"; start=\"<SOAP-ENV:Envelope>\"";
}

HttpReply Upload(uint16_t port, const std::string& session, const std::string& file_name,
                 const std::string& content) {
  const std::string boundary =
      "==A1b2C3d4E5f6G7h8I9j0K1l2M3n4O5p6Q7r8S9t0U1v2W3x4Y5z6+/A1b2C3d4E5f6==";
  std::string body = UploadBody(boundary, file_name, content);
  std::string request =
      "POST /fileUpload.aspx?sessionid=" + session +
      " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
      "\r\nUser-Agent: gSOAP/2.8\r\nContent-Type: " + UploadContentType(boundary) +
      "\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
  const size_t kChunk = 65536;
  char size_line[32];
  for (size_t pos = 0; pos < body.size(); pos += kChunk) {
    size_t n = std::min(kChunk, body.size() - pos);
    std::snprintf(size_line, sizeof size_line, "%zx\r\n", n);
    request += size_line;
    request.append(body, pos, n);
    request += "\r\n";
  }
  request += "0\r\n\r\n";
  return ParseReply(RawExchange(port, request));
}

std::string Sha256Of(const std::string& data) { return Sha256Hex(data); }

}  // namespace osl::refservice::testing
