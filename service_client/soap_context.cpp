#include "service_client/soap_context.h"

#include <stdsoap2.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "service_client/platform.h"
#include "schema/soap_namespaces.h"
#include "service_client/tls_client.h"
#include "schema/tls_runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kStatePluginId[] = "osl-context-state";

// One message log: appended to while the context lives.
struct LogFile {
  std::string path;  // empty when not logging
  std::FILE* file = nullptr;
  bool refused = false;  // the path could not be opened safely; never retried
};

// What a context made here keeps beside the runtime: the runtime's own
// transport functions it wraps, the endpoint and action of its last request,
// the deadline of the running exchange and the log files.
struct ContextState {
  int (*post)(struct soap*, const char*, const char*, int, const char*, const char*,
              ULONG64) = nullptr;
  SOAP_SOCKET (*open)(struct soap*, const char*, const char*, int) = nullptr;
  int (*send)(struct soap*, const char*, size_t) = nullptr;
  size_t (*receive)(struct soap*, char*, size_t) = nullptr;
  int (*postHeader)(struct soap*, const char*, const char*) = nullptr;
  int (*parseHeader)(struct soap*, const char*, const char*) = nullptr;

  std::string lastEndpoint;
  std::string lastAction;

  // The peer refused the request and stopped reading while it was still
  // being sent: the rest of the request is dropped and the refusal read.
  bool peerRefused = false;

  std::chrono::milliseconds callDeadline{0};
  bool armed = false;    // an exchange with a deadline is running
  bool expired = false;  // the deadline cut it short
  // The service sent nothing for the receive time-out while a reply was
  // awaited, and the exchange was ended there.
  bool silent = false;
  std::chrono::microseconds silence{0};  // the time-out that ran out
  Clock::time_point deadline;
  std::chrono::milliseconds limit{0};

  LogFile sent;
  LogFile received;
};

// What CreateState needs.
struct StateSetup {
  std::string logFolder;  // empty: no logs
  std::chrono::milliseconds callDeadline;
};

ContextState* FindState(struct soap* soap) {
  return soap ? static_cast<ContextState*>(soap_lookup_plugin(soap, kStatePluginId)) : nullptr;
}

// ---- deadline -------------------------------------------------------------------

// Time left before the deadline of the running exchange; zero or less when
// it has passed. Only meaningful while `state->armed`.
std::chrono::microseconds Left(const ContextState& state) {
  return std::chrono::duration_cast<std::chrono::microseconds>(state.deadline - Clock::now());
}

// The runtime's time-out value (seconds when positive, microseconds when
// negative, 0 for none) for the shorter of `timeout` (same encoding) and
// `left` (positive).
int Clamp(int timeout, std::chrono::microseconds left) {
  std::int64_t micros = left.count();
  if (timeout > 0) micros = std::min<std::int64_t>(micros, std::int64_t{timeout} * 1000000);
  if (timeout < 0) micros = std::min<std::int64_t>(micros, -std::int64_t{timeout});
  micros = std::max<std::int64_t>(micros, 1);
  if (micros <= INT_MAX) return static_cast<int>(-micros);
  return static_cast<int>(std::min<std::int64_t>((micros + 999999) / 1000000, INT_MAX));
}

// Runs one transport step with `*timeout` cut to the time left, and marks the
// exchange expired when the step failed because the deadline passed. Returns
// false without running the step when no time is left.
template <class Step>
bool WithinDeadline(ContextState* state, int* timeout, Step step) {
  if (!state->armed) {
    step();
    return true;
  }
  const std::chrono::microseconds left = Left(*state);
  if (left.count() <= 0) {
    state->expired = true;
    return false;
  }
  const int saved = *timeout;
  *timeout = Clamp(saved, left);
  const bool ok = step();
  *timeout = saved;
  if (!ok && Left(*state).count() <= 0) state->expired = true;
  return true;
}

// ---- message logs ---------------------------------------------------------------

// Appends `data` to `log` when logging, opening it on first use.
void Append(LogFile* log, const char* data, size_t size) {
  if (log->path.empty()) return;
  if (!log->file && !log->refused) {
    log->file = OslPlatform::Get().OpenLogForAppend(log->path);
    log->refused = log->file == nullptr;
  }
  if (!log->file || size == 0) return;
  std::fwrite(data, 1, size, log->file);
  std::fflush(log->file);
}

// ---- transport wrappers ---------------------------------------------------------

// The runtime (built with compression for its TLS variant) would offer
// compressed replies in every request; the requests stay as they are without
// it, so that header line is not written.
int PlainPostHeader(struct soap* soap, const char* key, const char* value) {
  ContextState* state = FindState(soap);
  if (!state) return SOAP_PLUGIN_ERROR;
  if (key && soap_tag_cmp(key, "Accept-Encoding") == 0) return SOAP_OK;
  return state->postHeader(soap, key, value);
}

// Nothing compressed is asked for, so a compressed reply is refused as it
// always was rather than inflated (and its size limit with it).
int PlainParseHeader(struct soap* soap, const char* key, const char* value) {
  ContextState* state = FindState(soap);
  if (!state) return SOAP_PLUGIN_ERROR;
  if (key && value && soap_tag_cmp(key, "Content-Encoding") == 0 &&
      soap_tag_cmp(value, "identity") != 0) {
    return SOAP_ZLIB_ERROR;
  }
  return state->parseHeader(soap, key, value);
}

int RecordingPost(struct soap* soap, const char* endpoint, const char* host, int port,
                  const char* path, const char* action, ULONG64 count) {
  ContextState* state = FindState(soap);
  if (!state) return SOAP_PLUGIN_ERROR;
  state->lastEndpoint = endpoint ? endpoint : "";
  state->lastAction = action ? action : "";
  return state->post(soap, endpoint, host, port, path, action, count);
}

SOAP_SOCKET GuardedOpen(struct soap* soap, const char* endpoint, const char* host, int port) {
  ContextState* state = FindState(soap);
  if (!state) return SOAP_INVALID_SOCKET;
  state->peerRefused = false;
  state->silent = false;
  SOAP_SOCKET socket = SOAP_INVALID_SOCKET;
  if (!OslIsTlsAddress(endpoint)) {
    const bool ran = WithinDeadline(state, &soap->connect_timeout, [&] {
      socket = state->open(soap, endpoint, host, port);
      return soap_valid_socket(socket);
    });
    if (!ran) soap->error = SOAP_TCP_ERROR;
    return socket;
  }
  // https: the runtime connects and runs the handshake in this one step,
  // verifying the server as OslUseTls and OslTlsHandshake set up.
  if (OslUseTls(soap) != SOAP_OK) return SOAP_INVALID_SOCKET;
  const OslNoSigpipe noSigpipe(true);
  OslTlsHandshake handshake(soap, host);
  if (!handshake.ready()) return SOAP_INVALID_SOCKET;
  // The handshake waits for the peer with the send and receive time-outs:
  // all three are cut to the time left.
  bool ran = false;
  WithinDeadline(state, &soap->send_timeout, [&] {
    WithinDeadline(state, &soap->recv_timeout, [&] {
      ran = WithinDeadline(state, &soap->connect_timeout, [&] {
        socket = state->open(soap, endpoint, host, port);
        return soap_valid_socket(socket);
      });
      return ran && soap_valid_socket(socket);
    });
    return ran && soap_valid_socket(socket);
  });
  if (!ran) soap->error = SOAP_TCP_ERROR;
  handshake.Finish(soap_valid_socket(socket));
  return socket;
}

// Whether sending failed because the peer closed the connection after it had
// refused the request: a server refusing a request (too large, say) answers
// at once and closes without reading the rest. Its answer then waits on the
// socket and says more than the broken connection does. Only a refusal (a
// status of 300 or more) counts: a request cut short never succeeds.
bool PeerRefusedAndClosed(struct soap* soap) {
  OslPlatform& platform = OslPlatform::Get();
  if (!platform.IsConnectionClosedError(soap->errnum)) return false;
  if (!soap_valid_socket(soap->socket)) return false;
  char line[12];  // "HTTP/1.1 413"
  const long got = platform.PeekWaiting(static_cast<OslSocket>(soap->socket), line, sizeof line);
  if (got != static_cast<long>(sizeof line) || std::memcmp(line, "HTTP/", 5) != 0 ||
      line[8] != ' ') {
    return false;
  }
  int status = 0;
  for (int i = 9; i < 12; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
    status = status * 10 + (line[i] - '0');
  }
  return status >= 300;
}

int GuardedSend(struct soap* soap, const char* data, size_t size) {
  ContextState* state = FindState(soap);
  if (!state) return SOAP_PLUGIN_ERROR;
  if (state->peerRefused) return SOAP_OK;  // nobody reads it any more
  const OslNoSigpipe noSigpipe(soap->ssl != nullptr);
  int status = SOAP_EOF;
  WithinDeadline(state, &soap->send_timeout, [&] {
    status = state->send(soap, data, size);
    return status == SOAP_OK;
  });
  if (status == SOAP_OK) {
    Append(&state->sent, data, size);
  } else if (PeerRefusedAndClosed(soap)) {
    state->peerRefused = true;
    soap->errnum = 0;
    status = SOAP_OK;
  }
  return status;
}

// The runtime's time-out value `timeout` (seconds when positive,
// microseconds when negative) as a duration; zero for none.
std::chrono::microseconds TimeOut(int timeout) {
  if (timeout > 0) return std::chrono::seconds(timeout);
  return std::chrono::microseconds(-static_cast<std::int64_t>(timeout));
}

// Waits until the service sends something on the connection (or closes it),
// for no longer than the receive time-out allows silence and the running
// exchange's deadline allows time. Every gap of a reply is waited for here,
// the one before its first byte included, so the silence limit holds on each
// of them whatever the runtime's own waiting does. False, with the exchange
// marked silent or expired, when the wait ran out.
bool AwaitService(struct soap* soap, ContextState* state) {
  if (!soap_valid_socket(soap->socket)) return true;  // the runtime reports it
  // Bytes of a TLS record already decrypted (or read) wait in the connection,
  // not on the socket: the service has sent them.
  if (OslTlsHasPending(soap)) return true;
  const std::chrono::microseconds silence = TimeOut(soap->recv_timeout);
  const Clock::time_point quiet = Clock::now() + silence;
  for (;;) {
    const Clock::time_point now = Clock::now();
    bool deadlineFirst = false;
    std::chrono::microseconds wait = std::chrono::microseconds::max();
    if (silence.count() > 0) wait = std::chrono::duration_cast<std::chrono::microseconds>(quiet - now);
    if (state->armed) {
      const std::chrono::microseconds left = Left(*state);
      if (left <= wait) {
        wait = left;
        deadlineFirst = true;
      }
    }
    int timeoutMs = -1;  // no limit at all: wait as long as it takes
    if (wait != std::chrono::microseconds::max()) {
      if (wait.count() <= 0) {
        if (deadlineFirst) {
          state->expired = true;
        } else {
          state->silent = true;
          state->silence = silence;
        }
        soap->errnum = 0;
        return false;
      }
      timeoutMs = static_cast<int>(
          std::min<std::int64_t>((wait.count() + 999) / 1000, std::int64_t{INT_MAX}));
    }
    const int got =
        OslPlatform::Get().WaitReadable(static_cast<OslSocket>(soap->socket), timeoutMs);
    if (got > 0) return true;
    if (got == -2) return true;  // the runtime's read reports it
  }
}

size_t GuardedReceive(struct soap* soap, char* data, size_t size) {
  ContextState* state = FindState(soap);
  if (!state) return 0;
  // A reply cut off by the silence stays cut off: the runtime may ask for
  // more after the end it was given, and must not wait for it again.
  if (state->silent || !AwaitService(soap, state)) {
    soap->errnum = 0;
    return 0;
  }
  size_t got = 0;
  const OslNoSigpipe noSigpipe(soap->ssl != nullptr);  // a read may answer the peer
  WithinDeadline(state, &soap->recv_timeout, [&] {
    got = state->receive(soap, data, size);
    return got > 0;
  });
  Append(&state->received, data, got);
  return got;
}

// The runtime's own way to end a connection. It is the same function for
// every context, and kept outside the context's state because the runtime
// may end a connection after the state has been deleted.
std::atomic<int (*)(struct soap*)> gRuntimeClose{nullptr};

// Ends the connection; the TLS library says goodbye to the peer on it.
int GuardedClose(struct soap* soap) {
  int (*close)(struct soap*) = gRuntimeClose.load();
  if (!close) return SOAP_OK;
  const OslNoSigpipe noSigpipe(soap->ssl != nullptr);
  return close(soap);
}

void DeleteState(struct soap*, struct soap_plugin* plugin) {
  auto* state = static_cast<ContextState*>(plugin->data);
  if (state->sent.file) std::fclose(state->sent.file);
  if (state->received.file) std::fclose(state->received.file);
  delete state;
}

int CreateState(struct soap* soap, struct soap_plugin* plugin, void* arg) {
  auto* state = new (std::nothrow) ContextState;
  if (!state) return SOAP_EOM;
  const auto& setup = *static_cast<const StateSetup*>(arg);
  state->callDeadline = setup.callDeadline;
  if (!setup.logFolder.empty()) {
    state->sent.path = setup.logFolder + "/SENT.log";
    state->received.path = setup.logFolder + "/RECV.log";
  }
  state->post = soap->fpost;
  state->open = soap->fopen;
  state->send = soap->fsend;
  state->receive = soap->frecv;
  state->postHeader = soap->fposthdr;
  state->parseHeader = soap->fparsehdr;
  if (soap->fclose && soap->fclose != GuardedClose) gRuntimeClose.store(soap->fclose);
  soap->fpost = RecordingPost;
  soap->fopen = GuardedOpen;
  soap->fsend = GuardedSend;
  soap->frecv = GuardedReceive;
  soap->fposthdr = PlainPostHeader;
  soap->fparsehdr = PlainParseHeader;
  if (gRuntimeClose.load() == soap->fclose) soap->fclose = GuardedClose;
  plugin->id = kStatePluginId;
  plugin->data = state;
  plugin->fcopy = nullptr;  // contexts made here are never copied
  plugin->fdelete = DeleteState;
  return SOAP_OK;
}

}  // namespace

// ---- context --------------------------------------------------------------------

// The TLS runtime is readied before the first context is made (making one
// readies it too, but not safely on several threads at once).
OslSoapContext::OslSoapContext(Kind kind)
    : soap_((OslInitTlsRuntime(), kind == Kind::kCall ? soap_new1(SOAP_C_UTFSTRING)
                                                      : soap_new2(0, SOAP_IO_CHUNK))) {
  if (!soap_) return;
  OslPlatform& platform = OslPlatform::Get();
  limits_ = platform.TimeLimits();
  soap_set_namespaces(soap_, OslSoapNamespaces());
  // A peer that closes the connection while we send must end the call with
  // an error, never raise SIGPIPE in the host's process (which would end
  // the designer's application).
  soap_->socket_flags = platform.SocketFlags();
  // The system sizes the socket buffers and grows them with the connection;
  // fixed 64 KiB buffers would let only 64 KiB travel at a time and make a
  // large upload or request wait on every read of the peer.
  soap_->sndbuf = 0;
  soap_->rcvbuf = 0;
  if (kind == Kind::kCall) {
    soap_set_version(soap_, 1);
    soap_set_imode(soap_, SOAP_XML_NIL);
    soap_set_omode(soap_, SOAP_XML_NIL);
    soap_->connect_timeout = limits_.callConnect;
    soap_->send_timeout = limits_.callSend;
    soap_->recv_timeout = limits_.callReceive;
    soap_->recv_maxlength = kOslCallMaxReply;
  } else {
    soap_->connect_timeout = limits_.upload;
    soap_->send_timeout = limits_.upload;
    soap_->recv_timeout = limits_.upload;
    soap_->accept_timeout = limits_.upload;
    soap_->recv_maxlength = kOslUploadMaxReply;
  }
  StateSetup setup{platform.LogFolder(), limits_.callDeadline};
  if (platform.IsDirectory(setup.logFolder)) {
    while (setup.logFolder.size() > 1 && setup.logFolder.back() == '/') setup.logFolder.pop_back();
  } else {
    setup.logFolder.clear();
  }
  (void)soap_register_plugin_arg(soap_, CreateState, &setup);
}

OslSoapContext::~OslSoapContext() {
  if (!soap_) return;
  soap_destroy(soap_);
  soap_end(soap_);
  soap_free(soap_);
}

void OslStartDeadline(struct soap* soap) {
  if (ContextState* state = FindState(soap)) OslStartDeadline(soap, state->callDeadline);
}

void OslStartDeadline(struct soap* soap, std::chrono::milliseconds limit) {
  ContextState* state = FindState(soap);
  if (!state) return;
  state->armed = true;
  state->expired = false;
  state->silent = false;
  state->limit = limit;
  state->deadline = Clock::now() + limit;
}

int OslEndDeadline(struct soap* soap, int status) {
  ContextState* state = FindState(soap);
  if (!state || !state->armed) return status;
  state->armed = false;
  char detail[160];
  // A reply cut off by the silence fails for that reason, even when the
  // runtime took the cut for the reply's end: the service never ended it.
  const bool silent = state->silent;
  state->silent = false;
  if (!state->expired && silent) {
    const double seconds = static_cast<double>(state->silence.count()) / 1e6;
    std::snprintf(detail, sizeof detail, "No byte of the service's reply arrived for %g second%s.",
                  seconds, seconds == 1.0 ? "" : "s");
    return soap_set_receiver_error(soap, "the service fell silent", soap_strdup(soap, detail),
                                   SOAP_EOF);
  }
  if (!state->expired) return status;
  std::snprintf(detail, sizeof detail,
                "The exchange with the service did not end within its limit of %.1f seconds.",
                static_cast<double>(state->limit.count()) / 1000.0);
  return soap_set_receiver_error(soap, "Time limit exceeded", soap_strdup(soap, detail), SOAP_EOF);
}

bool OslLastRequest(struct soap* soap, std::string* endpoint, std::string* action) {
  const ContextState* state = FindState(soap);
  if (!state) return false;
  *endpoint = state->lastEndpoint;
  *action = state->lastAction;
  return true;
}
