#include "service_client/fault_summary.h"

#include <cstring>

#include "osl_soapH.h"
#include "text/ascii_case.h"

namespace {

using Fault = PublishRecord::Fault;

// The fault's string and detail, one line, at most `limit` bytes of each.
std::string FaultText(struct soap* soap, bool withDetail) {
  std::string text;
  if (const char* reason = *soap_faultstring(soap)) text = reason;
  if (withDetail) {
    const char** detail = soap_faultdetail(soap);
    if (detail && *detail && **detail) text += (text.empty() ? "" : ": ") + std::string(*detail);
  }
  constexpr size_t kLimit = 200;
  if (text.size() > kLimit) {
    size_t end = kLimit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text = text.substr(0, end) + "...";
  }
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
  return text;
}

bool SpeaksOfCredentials(const std::string& text) {
  const std::string lower = textutil::Lower(text);
  return lower.find("password") != std::string::npos &&
         (lower.find("user") != std::string::npos || lower.find("login") != std::string::npos ||
          lower.find("credential") != std::string::npos);
}

bool SpeaksOfTimeOut(const std::string& text) {
  const std::string lower = textutil::Lower(text);
  return lower.find("timed out") != std::string::npos ||
         lower.find("time limit") != std::string::npos ||
         lower.find("timeout") != std::string::npos ||
         lower.find("fell silent") != std::string::npos;  // the receive limit on a reply's gaps
}

}  // namespace

std::string ServiceAddress(const std::string& endpoint) {
  const size_t scheme = endpoint.find("://");
  if (scheme == std::string::npos) return endpoint;
  const size_t path = endpoint.find('/', scheme + 3);
  return path == std::string::npos ? endpoint : endpoint.substr(0, path);
}

OslFaultSummary SummarizeFailedCall(struct soap* soap, int status, const std::string& endpoint) {
  OslFaultSummary summary;
  if (!soap || status == SOAP_EOM) {
    summary.kind = Fault::kLocal;
    summary.text = "this machine ran out of memory for the exchange with the service";
    return summary;
  }
  if (!*soap_faultcode(soap)) soap_set_fault(soap);
  const std::string fault = FaultText(soap, /*withDetail=*/false);
  const std::string full = FaultText(soap, /*withDetail=*/true);
  const std::string address = ServiceAddress(endpoint);

  if (status == SOAP_SSL_ERROR) {
    summary.kind = Fault::kTls;
    // The fault string names the host and the reason (a certificate that failed verification,
    // a handshake that broke off); the detail says where trust comes from.
    summary.text = "the secure (TLS) connection to " + address + " failed" +
                   (fault.empty() ? "" : " (" + fault + ")");
  } else if ((status == SOAP_EOF || status == SOAP_TCP_ERROR) && SpeaksOfTimeOut(full)) {
    summary.kind = Fault::kTimeout;
    summary.text = "the service at " + address + " took too long to answer";
  } else if (status == SOAP_TCP_ERROR) {
    summary.kind = Fault::kNoService;
    summary.text = "no service at " + address + (full.empty() ? "" : " (" + full + ")");
  } else if (status == SOAP_EOF) {
    summary.kind = Fault::kTransfer;
    summary.text = "the service at " + address + " closed the connection without a complete answer";
  } else if (status == 401 || status == 403) {
    summary.kind = Fault::kCredentials;
    summary.httpStatus = status;
    summary.text = "wrong user or password";
  } else if (status >= 100 && status < 600) {
    summary.kind = Fault::kHttpStatus;
    summary.httpStatus = status;
    summary.text = "the service answered HTTP " + std::to_string(status) +
                   (fault.empty() ? "" : " (" + fault + ")");
  } else if (soap_soap_error_check(status)) {
    if (SpeaksOfCredentials(full)) {
      summary.kind = Fault::kCredentials;
      summary.text = "wrong user or password";
    } else {
      summary.kind = Fault::kServiceRefused;
      summary.text =
          "the service refused the request: " + (fault.empty() ? "no reason given" : fault);
    }
  } else if (soap_xml_error_check(status)) {
    summary.kind = Fault::kTransfer;
    summary.text = "the service's answer could not be read (" +
                   (fault.empty() ? "malformed reply" : fault) + ")";
  } else {
    summary.kind = Fault::kTransfer;
    summary.text = "the exchange with the service failed (error " + std::to_string(status) +
                   (fault.empty() ? "" : ": " + fault) + ")";
  }
  return summary;
}

bool TemplateBusyRefusal(struct soap* soap, int status, std::string* line) {
  if (!soap || (status != SOAP_FAULT && status != SOAP_SVR_FAULT && status != SOAP_CLI_FAULT)) {
    return false;
  }
  const char* reason = *soap_faultstring(soap);
  if (!reason || !std::strstr(reason, " is being published by another run")) return false;
  // The service's sentence whole, on one line and bounded.
  constexpr size_t kLimit = 400;
  size_t size = std::strlen(reason);
  if (size > kLimit) {
    size = kLimit;
    while (size > 0 && (static_cast<unsigned char>(reason[size]) & 0xC0) == 0x80) --size;
  }
  std::string text(reason, size);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  if (line) *line = text;
  return true;
}
