// Request routing of osl-service: the two SOAP endpoints, the upload page, the GET of uploaded
// files and a short index page, with fault injection applied in front of them.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "refservice/fault_injection.h"
#include "refservice/http.h"
#include "refservice/http_server.h"
#include "refservice/store.h"
#include "refservice/template_manager.h"

namespace refservice {

extern const char kTemplateManagerPath[];  // "/services/templateMgr.svc"
extern const char kDocumentBuilderPath[];  // "/services/builddoc.asmx"
extern const char kUploadPath[];           // "/fileUpload.aspx"
extern const char kFilesPrefix[];          // "/files/"

// What a SOAP request should do besides its normal work.
enum class SoapOverride { kNone, kSoapFault, kZeroId };

// Runs SOAP operations. Implemented over the generated gSOAP server skeletons.
class SoapDispatcher {
 public:
  virtual ~SoapDispatcher() = default;
  // The operation name ("setFields", ...) whose SOAPAction is `action` (without quotes), or an
  // empty text for an unknown action.
  virtual std::string OperationForAction(std::string_view action) const = 0;
  // Answers one SOAP request (HTTP status, headers and envelope, or a SOAP Fault).
  virtual HttpResponse Serve(const HttpRequest& request, SoapOverride overrideKind) = 0;
};

struct ServiceOptions {
  std::string dataDir;                // holds service.db and uploads/
  std::string listenAddress;          // "HOST:PORT", for addresses when Host is unusable
  size_t maxSoapBody = 16u << 20;     // bytes
  size_t maxUploadBody = 256u << 20;  // bytes
  int delayMs = 3000;                 // how long the "delay" fault holds an answer back
};

class ServiceApp : public HttpHandler {
 public:
  // `store` must be open; `faults` and `dispatcher` must outlive the app.
  ServiceApp(ServiceOptions options, Store* store, FaultInjector* faults,
             SoapDispatcher* dispatcher);

  // Sets the "HOST:PORT" used in file addresses when a request's Host header is unusable. Call
  // before serving.
  void SetListenAddress(std::string address) { options_.listenAddress = std::move(address); }

  size_t MaxBodySize(const HttpRequest& head) const override;
  HttpResponse Handle(const HttpRequest& request) override;

  // The address under which an uploaded file is served, e.g.
  // "http://127.0.0.1:8080/files/SESSION/NAME", using `host` ("HOST:PORT").
  static std::string FileAddress(const std::string& host, const std::string& session,
                                 const std::string& name);

 private:
  HttpResponse HandleSoap(const HttpRequest& request);
  HttpResponse HandleUpload(const HttpRequest& request);
  HttpResponse HandleFileGet(const HttpRequest& request);
  // The client-visible "HOST:PORT": the request's Host header when it is a plain host name or
  // address, else the listen address.
  std::string PublicHost(const HttpRequest& request) const;
  void Delay() const;

  ServiceOptions options_;
  Store* store_;
  FaultInjector* faults_;
  SoapDispatcher* dispatcher_;
};

// Bytes that are not XML (nor any other structured text), used by the "garbage" fault.
std::string GarbageBody();

}  // namespace refservice
