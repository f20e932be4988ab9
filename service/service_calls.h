// Calls of the template service over HTTP: the SOAP context that carries them,
// the eight call operations, the fault report shown after a failed call and
// the raw message logs.
//
// Every context made here speaks SOAP 1.1 document/literal with UTF-8 strings,
// writes absent nillable members as xsi:nil elements, uses HTTP/1.1 with
// "Connection: close" (one connection per request), sends Content-Length, no
// proxy and no HTTP authentication (credentials travel in the message body).
//
// Time-outs of a call context: connecting may take kOslCallConnectTimeout
// seconds, each send kOslCallSendTimeout seconds, and the service may stay
// silent for kOslCallReceiveTimeout seconds while a reply is awaited; past
// that the call fails with a time-out status that the fault report shows like
// any other failure. The upload context waits 60 seconds in every phase.
//
// Message logs: when the log folder (OslPlatform::LogFolder, "/logs") exists
// at the moment a context is made, everything the context sends is appended
// to SENT.log in that folder and everything it receives to RECV.log. The logs
// hold passwords: they are created readable and writable by their owner only
// (an existing one readable by others is made so), and a log path that is a
// symbolic link, or anything but a regular file of this user, is not written
// (the call goes on without that log).
#pragma once

#include <string>

#include "service/messages.h"

constexpr int kOslCallConnectTimeout = 30;   // seconds
constexpr int kOslCallSendTimeout = 60;      // seconds
constexpr int kOslCallReceiveTimeout = 120;  // seconds of silence
constexpr int kOslUploadTimeout = 60;        // seconds, connect, send, receive and accept
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
    kCall,    // the eight service operations: Content-Length, plain TCP
    kUpload,  // file upload: chunked output, 60-second time-outs
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

 private:
  struct soap* soap_;
};

// The eight operations. Each sends `request` to `endpoint` (null selects the
// built-in default, a service on this machine) with SOAPAction `action` (null
// selects the operation's own: ns4 URI + "getLibraryTemplates", or ns4 URI +
// "ItemplateMgr/" + the operation name) and fills `response`.
// Returns 0 on success. Otherwise the runtime's error: a SOAP Fault, an HTTP
// status, a connection, time-out or parse error; the context then holds the
// fault details for ReportSoapFault. A null `soap` returns SOAP_EOM.
int CallGetLibraryTemplates(struct soap* soap, const char* endpoint, const char* action,
                            osl_soap::_ns4__getLibraryTemplates* request,
                            osl_soap::_ns4__getLibraryTemplatesResponse& response);
int CallSetTemplate(struct soap* soap, const char* endpoint, const char* action,
                    osl_soap::_ns2__setTemplate* request,
                    osl_soap::_ns2__setTemplateResponse& response);
int CallGetFields(struct soap* soap, const char* endpoint, const char* action,
                  osl_soap::_ns2__getFields* request, osl_soap::_ns2__getFieldsResponse& response);
int CallSetFields(struct soap* soap, const char* endpoint, const char* action,
                  osl_soap::_ns2__setFields* request, osl_soap::_ns2__setFieldsResponse& response);
int CallGetLogicGroups(struct soap* soap, const char* endpoint, const char* action,
                       osl_soap::_ns2__getLogicGroups* request,
                       osl_soap::_ns2__getLogicGroupsResponse& response);
int CallSetLogicGroups(struct soap* soap, const char* endpoint, const char* action,
                       osl_soap::_ns2__setLogicGroups* request,
                       osl_soap::_ns2__setLogicGroupsResponse& response);
int CallSetAssets(struct soap* soap, const char* endpoint, const char* action,
                  osl_soap::_ns2__setAssets* request, osl_soap::_ns2__setAssetsResponse& response);
int CallCommitTemplate(struct soap* soap, const char* endpoint, const char* action,
                       osl_soap::_ns2__commitTemplate* request,
                       osl_soap::_ns2__commitTemplateResponse& response);

// The fault report buffer: a report is at most kOslFaultReportSize - 1 bytes.
constexpr size_t kOslFaultReportSize = 16384;

// The text of the fault report of the context's last error (UTF-8). When the
// context has no fault code yet, the runtime derives code and reason from the
// error status first. A report longer than the buffer is cut at the last whole
// UTF-8 character that fits. Empty for a null context.
std::string FormatSoapFaultReport(struct soap* soap);

// Shows FormatSoapFaultReport as a host error alert and returns -1. For a
// null context shows nothing and returns -1.
int ReportSoapFault(struct soap* soap);
