// The seam between the HTTP side and the SOAP side of osl-service: the two SOAP endpoints'
// paths, and the interface that answers one SOAP request whose envelope has been read whole.
#pragma once

#include <string>
#include <string_view>

#include "refservice/http/http_message.h"

namespace refservice {

inline constexpr char kTemplateManagerPath[] = "/services/templateMgr.svc";
inline constexpr char kDocumentBuilderPath[] = "/services/builddoc.asmx";

// What a SOAP request should do besides its normal work.
enum class SoapOverride { kNone, kSoapFault, kZeroId };

struct SoapRequest {
  std::string_view path;    // the endpoint it was sent to
  std::string_view action;  // SOAPAction without quotes, possibly empty
  std::string_view body;    // the envelope
};

// Runs SOAP operations. Implemented over the generated gSOAP server skeletons.
class SoapDispatcher {
 public:
  virtual ~SoapDispatcher() = default;
  // The operation name ("setFields", ...) whose SOAPAction is `action` (without quotes), or an
  // empty text for an unknown action.
  virtual std::string OperationForAction(std::string_view action) const = 0;
  // Answers one SOAP request (HTTP status, headers and envelope, or a SOAP Fault).
  virtual HttpResponse Serve(const SoapRequest& request, SoapOverride overrideKind) = 0;
};

}  // namespace refservice
