#include "refservice/http/http_daemon.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "refservice/http/request_head_check.h"
#include "refservice/http/url_unescape.h"
#include "text/ascii_case.h"

namespace refservice {
namespace {

using Clock = std::chrono::steady_clock;

// A refused connection may keep sending this long, and this much, before it is closed; reading
// it keeps the kernel from resetting the connection before the client has read the answer.
constexpr auto kLingerTime = std::chrono::milliseconds(1000);
constexpr size_t kLingerBytes = 1 << 20;
// A reply chosen while the body is still arriving (a body over its limit, say) can only go out
// once the body has been read: the rest is read and dropped, up to this much; a longer rest is
// cut off and the connection closed unanswered.
constexpr uint64_t kMaxDroppedBody = uint64_t{256} << 20;
// How often the gate looks at deadlines when nothing else wakes it.
constexpr int kTickMs = 100;

// The client address as HttpRequestHead::clientAddress describes it.
std::string ClientAddressText(const sockaddr* address) {
  if (address == nullptr) return "";
  char text[INET6_ADDRSTRLEN] = {};
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    return inet_ntop(AF_INET, &v4->sin_addr, text, sizeof(text)) ? text : "";
  }
  if (address->sa_family != AF_INET6) return "";
  in6_addr bytes = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
  if (IN6_IS_ADDR_V4MAPPED(&bytes)) {
    return inet_ntop(AF_INET, &bytes.s6_addr[12], text, sizeof(text)) ? text : "";
  }
  std::memset(&bytes.s6_addr[8], 0, 8);
  return inet_ntop(AF_INET6, &bytes, text, sizeof(text)) ? std::string(text) + "/64" : "";
}

// The local end of connection socket `fd` as "HOST:PORT" ("[v6]:PORT"); empty when unknown.
std::string LocalAddressText(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return "";
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    if (inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text) == nullptr) return "";
    return std::string(text) + ":" + std::to_string(ntohs(v4->sin_port));
  }
  if (address.ss_family != AF_INET6) return "";
  const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
  if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
    if (inet_ntop(AF_INET, &v6->sin6_addr.s6_addr[12], text, sizeof text) == nullptr) return "";
    return std::string(text) + ":" + std::to_string(ntohs(v6->sin6_port));
  }
  if (inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text) == nullptr) return "";
  return "[" + std::string(text) + "]:" + std::to_string(ntohs(v6->sin6_port));
}

// Milliseconds on the steady clock, for times kept in atomics.
int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
      .count();
}

// One connection handed to the library, from its start to its close.
struct ConnectionRecord {
  int fd = -1;
  std::string addressKey;  // the client address it is counted under
  Clock::time_point acceptedAt;
  bool cut = false;  // the deadline watch has shut the socket
  // The library has handed over the request head (with TLS the gate never sees it, and the
  // deadline watch closes connections whose head is late).
  std::atomic<bool> headSeen{false};
  std::atomic<int64_t> headAtMs{0};     // when the head was handed over (NowMs)
  std::atomic<uint64_t> bodyBytes{0};   // body bytes read since
  std::atomic<bool> bodyDone{false};    // the whole body is in (or the exchange is over)
  std::atomic<int> requests{0};          // request heads handed over so far
  std::atomic<int64_t> requestStartMs{0};  // when the current request began (NowMs)
  // Kept open after a reply and waiting for the next request: since when, and when the first byte
  // of that request arrived (0: none yet).
  std::atomic<bool> between{false};
  std::atomic<int64_t> idleSinceMs{0};
  std::atomic<int64_t> nextByteMs{0};
  bool watched = false;  // registered with the gate's poll (library threads only)
};

// One request in progress on a connection (the library's per-request context).
struct RequestState {
  std::unique_ptr<HttpExchange> exchange;
  std::optional<HttpResponse> held;   // a reply waiting for its delay to pass
  std::optional<HttpResponse> early;  // a reply waiting for the rest of the body to be dropped
  std::shared_ptr<DeferredReply> deferred;  // a reply being computed elsewhere
  uint64_t dropped = 0;               // bytes of the body dropped so far
  bool keepAlive = false;   // the handler allows another request on the connection
  bool bodyless = false;    // the request declared no body
  bool bodyRead = false;    // the whole body was read (the reply came from Finish)
};

// A connection at the gate: its head has not fully arrived yet, or it was refused and is closing.
struct GateEntry {
  sockaddr_storage address{};
  socklen_t addressLength = 0;
  Clock::time_point acceptedAt;
  Clock::time_point lastActivity;  // when more of the head last arrived
  size_t seen = 0;                 // bytes of the head seen so far
  bool closing = false;            // refused: what the client still sends is read and dropped
  Clock::time_point closeBy;
  size_t drained = 0;
  bool counted = false;    // counted among the open connections (refused ones are not)
  std::string addressKey;  // the client address it is counted under
};

const char* ReasonPhrase(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 408:
      return "Request Timeout";
    case 413:
      return "Content Too Large";
    case 431:
      return "Request Header Fields Too Large";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

// A complete reply written by the gate itself, framed like every other reply.
std::string GateReply(int status, const std::string& message) {
  std::string body = message + "\n";
  return "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) +
         (status == 503 ? "\r\nRetry-After: 1" : "") +
         "\r\nConnection: close\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A request head as the library read it, written out again for the head checks (TLS: the gate
// never sees the head itself). Every header line the library kept is there, repeated ones too.
std::string DecryptedHead(const std::string& method, const char* url, const char* version,
                          const std::vector<std::pair<std::string, std::string>>& headers) {
  std::string head = method + " " + (url != nullptr ? url : "") + " " +
                     (version != nullptr ? version : "") + "\r\n";
  for (const auto& [name, value] : headers) head += name + ": " + value + "\r\n";
  return head + "\r\n";
}

}  // namespace

class HttpDaemon::Impl {
 public:
  Impl(HttpDaemonOptions options, HttpHandler* handler)
      : options_(std::move(options)), handler_(handler) {}
  ~Impl();

  bool Listen(std::string* error);
  bool Start(std::string* error);
  uint16_t port() const { return port_; }
  void Shutdown(int graceMs);

 private:
  static MHD_Result OnAccess(void* cls, MHD_Connection* connection, const char* url,
                             const char* method, const char* version, const char* uploadData,
                             size_t* uploadDataSize, void** requestContext);
  static void OnCompleted(void* cls, MHD_Connection* connection, void** requestContext,
                          MHD_RequestTerminationCode code);
  static void OnConnection(void* cls, MHD_Connection* connection, void** socketContext,
                           MHD_ConnectionNotificationCode code);
  static void Log(void* cls, const char* format, va_list arguments);

  MHD_Result Access(MHD_Connection* connection, const char* url, const char* method,
                    const char* version, const char* uploadData, size_t* uploadDataSize,
                    RequestState** state);
  // Sends `reply`, holds it back for its delay, or closes for Kind::kClose.
  MHD_Result Respond(MHD_Connection* connection, RequestState* state, HttpResponse reply);
  MHD_Result Queue(MHD_Connection* connection, RequestState* state, HttpResponse reply);
  // A kept connection has answered its request: watch it for the next one.
  void AwaitNextRequest(ConnectionRecord* record);
  // A byte arrived on a kept connection the library holds; false when `fd` is not one.
  bool NoteKeptActivity(int fd);

  // The gate: accepts connections, waits for their heads, refuses unsound framing, hands the rest
  // to the library; also enforces the exchange deadline and releases held replies.
  void GateLoop();
  void AcceptAll();
  void Inspect(int fd, uint32_t events);
  void Refuse(int fd, int status, const std::string& message);
  void Drop(int fd);
  void Wake();
  void CheckDeadlines(Clock::time_point now);
  // Counts a new connection from `addressKey` when the limits allow it; else the reason why not.
  std::optional<std::string> Admit(const std::string& addressKey);
  // Uncounts a connection from `addressKey`. Caller holds mutex_.
  void ReleaseLocked(const std::string& addressKey);
  void Release(const std::string& addressKey);

  HttpDaemonOptions options_;
  HttpHandler* handler_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  MHD_Daemon* daemon_ = nullptr;

  // Touched by the gate thread only.
  bool tls_ = false;  // HTTPS: the gate never reads the encrypted bytes
  int epollFd_ = -1;
  std::unordered_map<int, GateEntry> gate_;
  std::vector<char> peek_;

  int wakeFd_ = -1;
  std::thread gateThread_;
  std::mutex mutex_;       // guards everything below
  bool draining_ = false;  // stopping: no new connections, held replies go out at once
  bool stopping_ = false;  // the gate thread ends
  std::unordered_set<ConnectionRecord*> connections_;
  // Kept connections watched for their next request, by socket.
  std::unordered_map<int, ConnectionRecord*> kept_;
  // Open connections (at the gate and in the library) in all and per client address; the gate
  // alone enforces the limits, so these counts are the only ones that decide.
  size_t open_ = 0;
  std::unordered_map<std::string, size_t> openByAddress_;
  std::multimap<Clock::time_point, MHD_Connection*> held_;
  // Connections suspended until their deferred reply is there, and those whose reply now is.
  std::unordered_map<MHD_Connection*, std::shared_ptr<DeferredReply>> deferred_;
  std::vector<MHD_Connection*> ready_;
};

HttpDaemon::Impl::~Impl() {
  Shutdown(0);
  if (listenFd_ >= 0) ::close(listenFd_);
}

bool HttpDaemon::Impl::Listen(std::string* error) {
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
    UniqueFd fd(
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol));
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
    listenFd_ = fd.Release();
    break;
  }
  ::freeaddrinfo(found);
  if (listenFd_ < 0) return false;
  error->clear();
  return true;
}

bool HttpDaemon::Impl::Start(std::string* error) {
  if (listenFd_ < 0) {
    *error = "the server does not listen yet";
    return false;
  }
  unsigned int flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_ALLOW_SUSPEND_RESUME |
                       MHD_USE_NO_LISTEN_SOCKET | MHD_USE_ERROR_LOG;
  tls_ = !options_.tlsCertificatePem.empty() || !options_.tlsKeyPem.empty();
  if (tls_ && (options_.tlsCertificatePem.empty() || options_.tlsKeyPem.empty())) {
    *error = "HTTPS needs both a certificate and its key";
    return false;
  }
  std::vector<MHD_OptionItem> tlsOptions;
  if (tls_) {
    flags |= MHD_USE_TLS;
    tlsOptions.push_back(
        {MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(options_.tlsKeyPem.c_str())});
    tlsOptions.push_back(
        {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(options_.tlsCertificatePem.c_str())});
  }
  tlsOptions.push_back({MHD_OPTION_UNESCAPE_CALLBACK,
                        reinterpret_cast<intptr_t>(&UnescapeCallback), nullptr});
  tlsOptions.push_back({MHD_OPTION_END, 0, nullptr});
  daemon_ = MHD_start_daemon(
      flags, 0, nullptr, nullptr, &Impl::OnAccess, this, MHD_OPTION_EXTERNAL_LOGGER, &Impl::Log,
      this, MHD_OPTION_THREAD_POOL_SIZE, static_cast<unsigned int>(std::max(1, options_.threads)),
      // The library splits its limit over its threads and enforces each share on its own,
      // after the hand-over: each share is the whole limit, so only the gate's count decides.
      MHD_OPTION_CONNECTION_LIMIT,
      static_cast<unsigned int>(std::max(1, options_.maxConnections) *
                                std::max(1, options_.threads) + std::max(1, options_.threads)),
      MHD_OPTION_CONNECTION_TIMEOUT,
      static_cast<unsigned int>(std::max(1, options_.idleTimeoutSeconds)),
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, options_.connectionMemory, MHD_OPTION_NOTIFY_COMPLETED,
      &Impl::OnCompleted, this, MHD_OPTION_NOTIFY_CONNECTION, &Impl::OnConnection, this,
      MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, MHD_OPTION_ARRAY, tlsOptions.data(), MHD_OPTION_END);
  if (daemon_ == nullptr) {
    *error = std::string(tls_ ? "cannot start the HTTPS server (the TLS library refused the "
                                "certificate or key) on "
                              : "cannot start the HTTP server on ") +
             options_.host + ":" + std::to_string(port_);
    return false;
  }
  epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  epoll_event listenEvent{};
  listenEvent.events = EPOLLIN;
  listenEvent.data.fd = listenFd_;
  epoll_event wakeEvent{};
  wakeEvent.events = EPOLLIN;
  wakeEvent.data.fd = wakeFd_;
  if (epollFd_ < 0 || wakeFd_ < 0 ||
      ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &listenEvent) != 0 ||
      ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &wakeEvent) != 0) {
    *error = std::string("cannot watch the listening socket: ") + std::strerror(errno);
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    return false;
  }
  peek_.resize(options_.maxHeadBytes + 1);
  gateThread_ = std::thread([this] { GateLoop(); });
  return true;
}

void HttpDaemon::Impl::Wake() {
  uint64_t one = 1;
  ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
  (void)ignored;
}

void HttpDaemon::Impl::Shutdown(int graceMs) {
  if (daemon_ == nullptr) return;
  std::vector<MHD_Connection*> release;
  {
    // No new connections; replies held back go out now rather than after their delay.
    std::lock_guard<std::mutex> lock(mutex_);
    draining_ = true;
    for (auto& [due, connection] : held_) release.push_back(connection);
    held_.clear();
  }
  // Resumed outside the lock: the library takes locks of its own.
  for (MHD_Connection* connection : release) MHD_resume_connection(connection);
  Wake();
  auto deadline = Clock::now() + std::chrono::milliseconds(graceMs);
  // Replies still being computed this close to the end are given up: their clients get a
  // "try again" answer rather than a closed connection.
  auto giveUpAt = deadline - std::chrono::milliseconds(std::min(250, graceMs / 4));
  bool givenUp = false;
  for (;;) {
    std::vector<std::shared_ptr<DeferredReply>> waiting;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // A connection with no request head yet (over TLS the library holds those too) has no
      // exchange in progress: it is closed at once rather than waited for.
      for (ConnectionRecord* record : connections_) {
        if (!record->cut && !record->headSeen.load()) {
          ::shutdown(record->fd, SHUT_RDWR);
          record->cut = true;
        }
      }
      if (connections_.empty()) break;
      if (!givenUp && Clock::now() >= giveUpAt) {
        for (auto& [connection, deferred] : deferred_) waiting.push_back(deferred);
        givenUp = true;
      }
    }
    for (auto& deferred : waiting) {
      HttpResponse reply = HttpResponse::Text(503, "the service is stopping; try again\n");
      reply.headers.emplace_back("Retry-After", "5");
      deferred->Abandon(std::move(reply));
    }
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  Wake();
  if (gateThread_.joinable()) gateThread_.join();
  // The library stops only with no connection suspended: every one still waiting for a reply
  // is resumed (and closed with the rest).
  std::vector<MHD_Connection*> suspended;
  std::vector<std::shared_ptr<DeferredReply>> late;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    suspended = std::move(ready_);
    ready_.clear();
    for (auto& [connection, deferred] : deferred_) {
      suspended.push_back(connection);
      late.push_back(deferred);
    }
    deferred_.clear();
  }
  for (auto& deferred : late) deferred->Abandon(HttpResponse::Close());
  for (MHD_Connection* connection : suspended) MHD_resume_connection(connection);
  // The library joins its threads. Should one of them never return, the stop still ends in
  // time: the threads are left to the process's exit rather than waited for without end.
  auto stopped = std::make_shared<std::promise<void>>();
  std::future<void> done = stopped->get_future();
  std::thread stopper([daemon = daemon_, stopped] {
    MHD_stop_daemon(daemon);
    stopped->set_value();
  });
  if (done.wait_until(std::max(deadline, Clock::now()) + std::chrono::seconds(1)) ==
      std::future_status::ready) {
    stopper.join();
  } else {
    std::fprintf(stderr, "osl-service: http: the server's threads did not stop in time\n");
    stopper.detach();
  }
  daemon_ = nullptr;
  for (auto& [fd, entry] : gate_) ::close(fd);
  gate_.clear();
  if (epollFd_ >= 0) ::close(epollFd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
  epollFd_ = wakeFd_ = -1;
}

void HttpDaemon::Impl::GateLoop() {
  epoll_event events[64];
  bool listening = true;
  for (;;) {
    int timeout = kTickMs;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
      if (draining_ && listening) {
        ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, listenFd_, nullptr);
        ::close(listenFd_);
        listenFd_ = -1;
        listening = false;
        std::vector<int> waiting;
        for (auto& [fd, entry] : gate_) waiting.push_back(fd);
        for (int fd : waiting) Drop(fd);
      }
      if (!held_.empty()) {
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(held_.begin()->first -
                                                                          Clock::now());
        timeout = std::clamp(static_cast<int>(wait.count()) + 1, 0, kTickMs);
      }
    }
    int count = ::epoll_wait(epollFd_, events, 64, timeout);
    for (int i = 0; i < count; ++i) {
      int fd = events[i].data.fd;
      if (fd == wakeFd_) {
        uint64_t value = 0;
        ssize_t ignored = ::read(wakeFd_, &value, sizeof value);
        (void)ignored;
      } else if (fd == listenFd_) {
        AcceptAll();
      } else if (!NoteKeptActivity(fd)) {
        Inspect(fd, events[i].events);
      }
    }
    CheckDeadlines(Clock::now());
  }
}

void HttpDaemon::Impl::AcceptAll() {
  for (;;) {
    GateEntry entry;
    entry.addressLength = sizeof entry.address;
    int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&entry.address), &entry.addressLength,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // nothing more to accept now (or out of descriptors: try next round)
    entry.acceptedAt = entry.lastActivity = Clock::now();
    entry.addressKey = ClientAddressText(reinterpret_cast<const sockaddr*>(&entry.address));
    std::optional<std::string> refusal = Admit(entry.addressKey);
    entry.counted = !refusal;
    if (tls_) {
      // Nothing readable arrives in the clear: a connection over a limit is closed at once (a
      // plain text answer would mean nothing to a TLS client), the others go to the library,
      // which runs the handshake; the head is checked once decrypted (Access).
      if (refusal) {
        ::close(fd);
        continue;
      }
      if (MHD_add_connection(daemon_, fd, reinterpret_cast<const sockaddr*>(&entry.address),
                             entry.addressLength) != MHD_YES) {
        Release(entry.addressKey);  // the library has closed it
      }
      continue;
    }
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
    event.data.fd = fd;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &event) != 0) {
      if (entry.counted) Release(entry.addressKey);
      ::close(fd);
      continue;
    }
    gate_.emplace(fd, entry);
    if (refusal) Refuse(fd, 503, *refusal);
  }
}

void HttpDaemon::Impl::Inspect(int fd, uint32_t events) {
  auto found = gate_.find(fd);
  if (found == gate_.end()) return;
  GateEntry& entry = found->second;
  if (entry.closing) {
    for (;;) {
      ssize_t n = ::recv(fd, peek_.data(), peek_.size(), 0);
      if (n > 0) {
        entry.drained += static_cast<size_t>(n);
        if (entry.drained < kLingerBytes) continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
      return Drop(fd);
    }
  }
  ssize_t n = ::recv(fd, peek_.data(), peek_.size(), MSG_PEEK);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) return Drop(fd);
  if (static_cast<size_t>(n) > entry.seen) {
    entry.seen = static_cast<size_t>(n);
    entry.lastActivity = Clock::now();
  }
  HeadCheck check = CheckRequestHead(std::string_view(peek_.data(), static_cast<size_t>(n)),
                                     options_.maxHeadBytes);
  switch (check.verdict) {
    case HeadCheck::Verdict::kIncomplete:
      if ((events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0) {
        // The client has stopped sending: the head will never be complete.
        return Refuse(fd, 400, "the request ended before its head was complete");
      }
      return;
    case HeadCheck::Verdict::kRefuse:
      return Refuse(fd, check.status, check.message);
    case HeadCheck::Verdict::kAccept:
      break;
  }
  ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
  GateEntry accepted = entry;
  gate_.erase(found);
  // The library owns the socket from here on, also when it refuses it (then it closes it); the
  // count goes with it and ends when the library reports the close.
  if (MHD_add_connection(daemon_, fd, reinterpret_cast<const sockaddr*>(&accepted.address),
                         accepted.addressLength) != MHD_YES) {
    if (accepted.counted) Release(accepted.addressKey);
  }
}

void HttpDaemon::Impl::Refuse(int fd, int status, const std::string& message) {
  auto found = gate_.find(fd);
  if (found == gate_.end()) return;
  std::string reply = GateReply(status, message);
  // The reply is small; a socket that cannot take it at once gets what it takes.
  ssize_t sent = ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  (void)sent;
  ::shutdown(fd, SHUT_WR);
  if (found->second.counted) {
    // A refused connection lingers only to let its answer be read: it no longer counts.
    Release(found->second.addressKey);
    found->second.counted = false;
  }
  found->second.closing = true;
  found->second.closeBy = Clock::now() + kLingerTime;
  Inspect(fd, 0);  // drops what already arrived
}

void HttpDaemon::Impl::Drop(int fd) {
  ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
  ::close(fd);
  auto found = gate_.find(fd);
  if (found == gate_.end()) return;
  if (found->second.counted) Release(found->second.addressKey);
  gate_.erase(found);
}

std::optional<std::string> HttpDaemon::Impl::Admit(const std::string& addressKey) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_ + 1 > static_cast<size_t>(std::max(1, options_.maxConnections))) {
    return std::string("the service is busy, try again");
  }
  size_t& fromAddress = openByAddress_[addressKey];
  if (options_.maxConnectionsPerAddress > 0 && !addressKey.empty() &&
      fromAddress + 1 > static_cast<size_t>(options_.maxConnectionsPerAddress)) {
    if (fromAddress == 0) openByAddress_.erase(addressKey);
    return std::string("too many connections from your address; try again");
  }
  ++fromAddress;
  ++open_;
  return std::nullopt;
}

void HttpDaemon::Impl::ReleaseLocked(const std::string& addressKey) {
  if (open_ > 0) --open_;
  auto found = openByAddress_.find(addressKey);
  if (found == openByAddress_.end()) return;
  if (--found->second == 0) openByAddress_.erase(found);
}

void HttpDaemon::Impl::Release(const std::string& addressKey) {
  std::lock_guard<std::mutex> lock(mutex_);
  ReleaseLocked(addressKey);
}

void HttpDaemon::Impl::CheckDeadlines(Clock::time_point now) {
  std::vector<int> late;
  std::vector<int> silent;
  std::vector<int> expired;
  for (auto& [fd, entry] : gate_) {
    if (entry.closing) {
      if (now >= entry.closeBy) expired.push_back(fd);
    } else if (now - entry.acceptedAt > std::chrono::milliseconds(options_.headTimeoutMs)) {
      late.push_back(fd);
    } else if (now - entry.lastActivity > std::chrono::seconds(options_.idleTimeoutSeconds)) {
      silent.push_back(fd);
    }
  }
  for (int fd : expired) Drop(fd);
  for (int fd : late) Refuse(fd, 408, "the request head did not arrive in time");
  for (int fd : silent) Refuse(fd, 408, "the client sent nothing for too long");

  std::vector<MHD_Connection*> due;
  std::unique_lock<std::mutex> lock(mutex_);
  const int64_t nowMs = NowMs();
  for (ConnectionRecord* record : connections_) {
    if (!record->cut && record->between.load()) {
      // Between requests: the next head has its whole deadline from its first byte; a
      // connection that sends nothing is closed after the keep-alive time.
      const int64_t firstByte = record->nextByteMs.load();
      if (firstByte != 0 ? nowMs - firstByte > options_.headTimeoutMs
                         : nowMs - record->idleSinceMs.load() > options_.keepAliveMs) {
        ::shutdown(record->fd, SHUT_RDWR);
        record->cut = true;
      }
      continue;
    }
    if (tls_ && !record->cut && !record->headSeen.load() && record->requests.load() == 0 &&
        now - record->acceptedAt > std::chrono::milliseconds(options_.headTimeoutMs)) {
      // The handshake and the head did not arrive in time.
      ::shutdown(record->fd, SHUT_RDWR);
      record->cut = true;
      continue;
    }
    if (!record->cut && record->headSeen.load() && !record->bodyDone.load() &&
        options_.minBodyBytesPerSecond > 0) {
      // The body must keep up an average rate once its grace is over: a body trickled in to
      // hold the connection is cut, and a declared length sets how long the body may take.
      const int64_t sinceHead = NowMs() - record->headAtMs.load() - options_.bodyGraceMs;
      if (sinceHead > 0 &&
          static_cast<double>(record->bodyBytes.load()) <
              static_cast<double>(options_.minBodyBytesPerSecond) * sinceHead / 1000.0) {
        ::shutdown(record->fd, SHUT_RDWR);
        record->cut = true;
        continue;
      }
    }
    if (record->cut || nowMs - record->requestStartMs.load() <= options_.requestTimeoutMs) {
      continue;
    }
    // The library sees the connection end and closes it; the record (and its descriptor) stays
    // until the library reports the close, which takes this lock.
    ::shutdown(record->fd, SHUT_RDWR);
    record->cut = true;
  }
  while (!held_.empty() && held_.begin()->first <= now) {
    due.push_back(held_.begin()->second);
    held_.erase(held_.begin());
  }
  due.insert(due.end(), ready_.begin(), ready_.end());
  ready_.clear();
  lock.unlock();
  for (MHD_Connection* connection : due) MHD_resume_connection(connection);
}

void HttpDaemon::Impl::OnConnection(void* cls, MHD_Connection* connection, void** socketContext,
                                    MHD_ConnectionNotificationCode code) {
  auto* self = static_cast<Impl*>(cls);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    auto* record = new ConnectionRecord;
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    record->fd = info != nullptr ? info->connect_fd : -1;
    const MHD_ConnectionInfo* client =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    record->addressKey = client != nullptr ? ClientAddressText(client->client_addr) : "";
    record->acceptedAt = Clock::now();
    record->requestStartMs.store(NowMs());
    *socketContext = record;
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->connections_.insert(record);
    return;
  }
  auto* record = static_cast<ConnectionRecord*>(*socketContext);
  if (record == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->connections_.erase(record);
    self->ReleaseLocked(record->addressKey);
    if (record->watched) {
      self->kept_.erase(record->fd);
      if (self->epollFd_ >= 0) ::epoll_ctl(self->epollFd_, EPOLL_CTL_DEL, record->fd, nullptr);
    }
  }
  delete record;
  *socketContext = nullptr;
}

void HttpDaemon::Impl::OnCompleted(void* cls, MHD_Connection* connection, void** requestContext,
                                   MHD_RequestTerminationCode code) {
  auto* self = static_cast<Impl*>(cls);
  auto* state = static_cast<RequestState*>(*requestContext);
  const bool mayContinue = state != nullptr && state->keepAlive &&
                           code == MHD_REQUEST_TERMINATED_COMPLETED_OK;
  delete state;
  *requestContext = nullptr;
  if (!mayContinue) return;
  if (const MHD_ConnectionInfo* info =
          MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT)) {
    if (info->socket_context != nullptr) {
      self->AwaitNextRequest(static_cast<ConnectionRecord*>(info->socket_context));
    }
  }
}

void HttpDaemon::Impl::AwaitNextRequest(ConnectionRecord* record) {
  record->headSeen.store(false);
  record->bodyDone.store(false);
  record->bodyBytes.store(0);
  record->nextByteMs.store(0);
  record->idleSinceMs.store(NowMs());
  record->between.store(true);
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopping_ || epollFd_ < 0 || record->fd < 0) return;
  // One wake-up when the next request's first byte arrives (at once when it already has and
  // the library has not read it yet).
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP | EPOLLONESHOT;
  event.data.fd = record->fd;
  if (::epoll_ctl(epollFd_, record->watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, record->fd,
                  &event) == 0) {
    record->watched = true;
    kept_[record->fd] = record;
  }
}

bool HttpDaemon::Impl::NoteKeptActivity(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = kept_.find(fd);
  if (found == kept_.end()) return false;
  ConnectionRecord* record = found->second;
  int64_t none = 0;
  if (record->between.load()) record->nextByteMs.compare_exchange_strong(none, NowMs());
  return true;
}

void HttpDaemon::Impl::Log(void* cls, const char* format, va_list arguments) {
  char line[512];
  std::vsnprintf(line, sizeof line, format, arguments);
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::fprintf(stderr, "osl-service: http: %s\n", text.c_str());
}

MHD_Result HttpDaemon::Impl::OnAccess(void* cls, MHD_Connection* connection, const char* url,
                                      const char* method, const char* version,
                                      const char* uploadData, size_t* uploadDataSize,
                                      void** requestContext) {
  auto* self = static_cast<Impl*>(cls);
  auto** state = reinterpret_cast<RequestState**>(requestContext);
  return self->Access(connection, url, method, version, uploadData, uploadDataSize, state);
}

MHD_Result HttpDaemon::Impl::Access(MHD_Connection* connection, const char* url, const char* method,
                                    const char* version, const char* uploadData,
                                    size_t* uploadDataSize, RequestState** state) {
  ConnectionRecord* record = nullptr;
  if (const MHD_ConnectionInfo* info =
          MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT)) {
    record = static_cast<ConnectionRecord*>(info->socket_context);
  }
  bool laterRequest = false;  // not the first request of its connection
  if (record != nullptr) {
    if (*state == nullptr) {
      const int64_t now = NowMs();
      laterRequest = record->requests.fetch_add(1) > 0;
      if (laterRequest) {
        const int64_t firstByte = record->nextByteMs.load();
        record->requestStartMs.store(firstByte != 0 ? firstByte : record->idleSinceMs.load());
        record->bodyBytes.store(0);
        record->bodyDone.store(false);
      }
      record->between.store(false);
      record->headAtMs.store(now);
      record->headSeen.store(true);
    } else if (*uploadDataSize > 0) {
      record->bodyBytes.fetch_add(*uploadDataSize);
    } else {
      record->bodyDone.store(true);  // the body is in; what follows is the answer
    }
  }
  if (*state == nullptr) {
    *state = new RequestState;
    HttpRequestHead head;
    head.method = method != nullptr ? method : "";
    head.path = url != nullptr ? url : "";
    auto collect = [](void* cls, MHD_ValueKind kind, const char* key,
                      const char* value) -> MHD_Result {
      auto* list = static_cast<std::vector<std::pair<std::string, std::string>>*>(cls);
      list->emplace_back(key != nullptr ? key : "", value != nullptr ? value : "");
      return MHD_YES;
    };
    MHD_get_connection_values(connection, MHD_HEADER_KIND, collect, &head.headers);
    if (tls_ || laterRequest) {
      // The gate's checks, on the head as the library decrypted and read it (or, on a kept
      // connection, read it without the gate).
      HeadCheck check = CheckRequestHead(DecryptedHead(head.method, url, version, head.headers),
                                         options_.maxHeadBytes);
      if (check.verdict != HeadCheck::Verdict::kAccept) {
        if (check.verdict == HeadCheck::Verdict::kIncomplete) {
          check.status = 400;
          check.message = "the request head could not be read";
        }
        return Respond(connection, *state,
                       HttpResponse::Text(check.status, check.message + "\n"));
      }
    }
    for (auto& header : head.headers) header.first = textutil::Lower(std::move(header.first));
    {
      const std::optional<std::string_view> length = head.Header("content-length");
      (*state)->bodyless = !head.Header("transfer-encoding") && (!length || *length == "0");
    }
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, collect, &head.query);
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (info != nullptr) head.clientAddress = ClientAddressText(info->client_addr);
    const MHD_ConnectionInfo* socket =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (socket != nullptr) head.localAddress = LocalAddressText(socket->connect_fd);
    HttpResponse reply;
    (*state)->exchange = handler_->Begin(head, &reply);
    if (!(*state)->exchange) {
      if (reply.keepAlive && (*state)->bodyless && reply.kind == HttpResponse::Kind::kNormal &&
          options_.keepAliveMs > 0) {
        // The library keeps a connection open only for a reply queued once the request is
        // whole: this one goes out on the next call, which comes at once.
        (*state)->early = std::move(reply);
        return MHD_YES;
      }
      return Respond(connection, *state, std::move(reply));
    }
    return MHD_YES;
  }
  RequestState* current = *state;
  if (current->deferred) {
    HttpResponse reply = current->deferred->Take();
    current->deferred.reset();
    return Respond(connection, current, std::move(reply));
  }
  if (current->held) {
    // Resumed after the delay: send what was held back.
    HttpResponse reply = std::move(*current->held);
    current->held.reset();
    return Queue(connection, current, std::move(reply));
  }
  if (current->early) {
    if (*uploadDataSize > 0) {
      current->dropped += *uploadDataSize;
      *uploadDataSize = 0;
      return current->dropped <= kMaxDroppedBody ? MHD_YES : MHD_NO;
    }
    HttpResponse reply = std::move(*current->early);
    current->early.reset();
    return Respond(connection, current, std::move(reply));
  }
  if (!current->exchange) return MHD_NO;
  if (*uploadDataSize > 0) {
    std::optional<HttpResponse> early =
        current->exchange->OnBody(std::string_view(uploadData, *uploadDataSize));
    *uploadDataSize = 0;
    if (early) {
      current->exchange.reset();
      if (early->kind == HttpResponse::Kind::kClose) return MHD_NO;
      current->early = std::move(*early);
    }
    return MHD_YES;
  }
  HttpResponse reply = current->exchange->Finish();
  current->exchange.reset();
  current->bodyRead = true;
  return Respond(connection, current, std::move(reply));
}

MHD_Result HttpDaemon::Impl::Respond(MHD_Connection* connection, RequestState* state,
                                     HttpResponse reply) {
  // An answer is chosen: no more body is awaited (its rate no longer matters).
  if (const MHD_ConnectionInfo* info =
          MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT)) {
    if (info->socket_context != nullptr) {
      static_cast<ConnectionRecord*>(info->socket_context)->bodyDone.store(true);
    }
  }
  if (reply.kind == HttpResponse::Kind::kClose) return MHD_NO;
  if (reply.keepAlive) state->keepAlive = true;
  if (reply.kind == HttpResponse::Kind::kDeferred) {
    if (!reply.deferred) return MHD_NO;
    state->deferred = reply.deferred;
    MHD_suspend_connection(connection);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      deferred_.emplace(connection, reply.deferred);
    }
    // Runs on the thread that gives the reply (this one, when it is already there): the gate
    // resumes the connection, and the library calls Access again, which sends it.
    reply.deferred->OnReady([this, connection] {
      std::lock_guard<std::mutex> lock(mutex_);
      if (deferred_.erase(connection) == 0 || stopping_) return;
      ready_.push_back(connection);
      Wake();
    });
    return MHD_YES;
  }
  if (reply.delayMs > 0) {
    auto due = Clock::now() + std::chrono::milliseconds(reply.delayMs);
    reply.delayMs = 0;
    state->held = std::move(reply);
    MHD_suspend_connection(connection);
    bool resumeNow = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      resumeNow = draining_;
      if (!draining_) held_.emplace(due, connection);
    }
    if (resumeNow) MHD_resume_connection(connection);
    Wake();
    return MHD_YES;
  }
  return Queue(connection, state, std::move(reply));
}

MHD_Result HttpDaemon::Impl::Queue(MHD_Connection* connection, RequestState* state,
                                   HttpResponse reply) {
  MHD_Response* response = nullptr;
  if (reply.file.valid()) {
    response = MHD_create_response_from_fd64(reply.fileSize, reply.file.get());
    if (response != nullptr) reply.file.Release();  // the response owns it now
  } else {
    response = MHD_create_response_from_buffer(reply.body.size(), reply.body.data(),
                                               MHD_RESPMEM_MUST_COPY);
  }
  if (response == nullptr) return MHD_NO;
  for (const auto& [name, value] : reply.headers) {
    MHD_add_response_header(response, name.c_str(), value.c_str());
  }
  bool keep = options_.keepAliveMs > 0 && (state->keepAlive || reply.keepAlive) &&
              (state->bodyless || state->bodyRead);
  if (keep) {
    std::lock_guard<std::mutex> lock(mutex_);
    keep = !draining_;
  }
  state->keepAlive = keep;
  if (!keep) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
  MHD_Result queued =
      MHD_queue_response(connection, static_cast<unsigned int>(reply.status), response);
  MHD_destroy_response(response);
  return queued;
}

HttpDaemon::HttpDaemon(HttpDaemonOptions options, HttpHandler* handler)
    : impl_(std::make_unique<Impl>(std::move(options), handler)) {}

HttpDaemon::~HttpDaemon() = default;

bool HttpDaemon::Listen(std::string* error) { return impl_->Listen(error); }

bool HttpDaemon::Start(std::string* error) { return impl_->Start(error); }

uint16_t HttpDaemon::port() const { return impl_->port(); }

void HttpDaemon::Stop(int graceMs) { impl_->Shutdown(graceMs); }

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

}  // namespace refservice
