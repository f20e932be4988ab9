// The SOAP runtime context that carries the service client's exchanges: its
// settings, its time limits, its message logs and what it remembers of its
// last request for the fault report.
//
// Every context made here speaks SOAP 1.1 document/literal with UTF-8 strings,
// writes absent nillable members as xsi:nil elements, uses HTTP/1.1 with
// "Connection: close" (one connection per request), no proxy and no HTTP
// authentication (credentials travel in the message body). An https://
// address is reached over TLS with the server verified as tls_client.h says;
// the bytes of the request are the same as over http://. The runtime's
// compression is never offered (no Accept-Encoding line) and a compressed
// reply is refused.
//
// Time limits (OslTimeLimits, read from OslPlatform when the context is made):
// each socket phase has its time-out (calls: 30 s to connect, 60 s per send,
// 120 s of silence while a reply is awaited; uploads: 60 s in every phase),
// and each exchange has an overall deadline (a call: 5 minutes; an upload:
// 2 minutes plus its size at 32 KiB/s). An exchange that exceeds either fails
// with a status and a fault report like any other failure. The silence limit
// holds on every gap of a reply, the wait for its first byte included; a
// reply cut short by it fails with the fault "the service fell silent".
//
// A peer that refuses a request (an HTTP status of 300 or more) and closes
// the connection while the request is still being sent (a server refusing a
// request too large for it): sending stops there and the refusal is read as
// the reply, so its status and text reach the fault report instead of the
// broken connection. Any other early answer leaves the send failure as it is.
//
// Message logs: when the log folder (OslPlatform::LogFolder, "/logs") exists
// at the moment a context is made, everything the context sends is appended
// to SENT.log in that folder and everything it receives to RECV.log. The logs
// hold passwords: they are created readable and writable by their owner only
// (an existing one readable by others is made so), and a log path that is a
// symbolic link, or anything but a regular file of this user, is not written
// (the exchange goes on without that log).
#pragma once

#include <chrono>
#include <string>

#include "service_client/time_limits.h"

struct soap;

// The largest reply a context accepts (bytes); a longer one fails the call.
constexpr unsigned kOslCallMaxReply = 64u << 20;
constexpr unsigned kOslUploadMaxReply = 1u << 20;

// Owner of one SOAP context: made initialised with the settings above (call
// or upload kind), released with everything it allocated (records received,
// copies made with OslNewString, its connection and its log files) when the
// owner goes out of scope.
class OslSoapContext {
 public:
  enum class Kind {
    kCall,    // the eight service operations: Content-Length
    kUpload,  // file upload: chunked output
  };
  explicit OslSoapContext(Kind kind = Kind::kCall);
  ~OslSoapContext();
  OslSoapContext(const OslSoapContext&) = delete;
  OslSoapContext& operator=(const OslSoapContext&) = delete;

  // The context; null only when memory ran out while making it.
  struct soap* get() const {
    return soap_;
  }
  explicit operator bool() const { return soap_ != nullptr; }
  // The limits the context was made with.
  const OslTimeLimits& limits() const { return limits_; }

 private:
  struct soap* soap_;
  OslTimeLimits limits_;
};

// Starts the overall deadline of the exchange about to run on `soap`:
// connecting, sending and receiving fail once `limit` has passed from now.
// Without `limit`, the context's call deadline. Does nothing for a null
// context or one not made by OslSoapContext.
void OslStartDeadline(struct soap* soap);
void OslStartDeadline(struct soap* soap, std::chrono::milliseconds limit);
// Ends the deadline started on `soap`. When the deadline cut the exchange
// short, stores the fault "Time limit exceeded" (server-side fault code,
// detail naming the limit) in the context and returns SOAP_EOF, whatever
// `status` was. When the service sent nothing for the receive time-out while
// a reply was awaited (the reply was cut off there, whatever the runtime made
// of it), stores the fault "the service fell silent" (server-side fault code,
// detail naming the time-out) and returns SOAP_EOF. Otherwise returns
// `status`.
int OslEndDeadline(struct soap* soap, int status);

// The endpoint and SOAPAction of the last request sent on `soap` (the runtime
// forgets them once a reply arrives). False, with both left alone, for a
// context not made by OslSoapContext.
bool OslLastRequest(struct soap* soap, std::string* endpoint, std::string* action);
