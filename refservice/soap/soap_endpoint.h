// The SOAP side of osl-service: runs the generated gSOAP server skeletons of the template
// service schema on an envelope that the HTTP layer has already read, and implements the eight
// operations on top of TemplateManager.
#pragma once

#include <string>
#include <string_view>

#include "refservice/http/http_message.h"
#include "refservice/soap/soap_dispatcher.h"
#include "refservice/templates/template_manager.h"

namespace refservice {

// The SOAPAction of an operation: the document-builder namespace URI followed by
// "getLibraryTemplates" or "ItemplateMgr/<operation>". Empty for an unknown name.
std::string SoapActionFor(std::string_view operation);

class GsoapDispatcher : public SoapDispatcher {
 public:
  // `manager` must outlive the dispatcher. The parser refuses elements nested deeper than
  // `maxDepth`.
  explicit GsoapDispatcher(TemplateManager* manager, unsigned maxDepth = 64)
      : manager_(manager), maxDepth_(maxDepth) {}

  std::string OperationForAction(std::string_view action) const override;

  // Parses the envelope with a fresh gSOAP context (UTF-8 strings, nil for absent members),
  // dispatches on the body's request element, and answers "200 OK" with the response envelope or
  // "500" with a SOAP Fault: SOAP-ENV:Client for bad credentials, unknown templates, invalid
  // values, a SOAPAction that names another operation or an operation sent to the wrong endpoint;
  // SOAP-ENV:Server for injected faults and storage failures.
  HttpResponse Serve(const SoapRequest& request, SoapOverride overrideKind) override;

 private:
  TemplateManager* manager_;
  unsigned maxDepth_;
};

}  // namespace refservice
