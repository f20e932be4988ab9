#include "service_client/connection_test.h"

#include "service_client/plugin_data.h"
#include "service_client/service_calls.h"
#include "text/ascii_case.h"

namespace {

bool Contains(const std::string& text, const char* what) {
  return text.find(what) != std::string::npos;
}

}  // namespace

void ClassifyConnectionFailure(int status, int httpStatus, const std::string& fault,
                               const std::string& server, ConnectionTestResult* result) {
  const std::string lower = textutil::Lower(fault);
  const bool plainHttp = textutil::Lower(server).rfind("http://", 0) == 0;
  // A service that speaks TLS at the port waits silently for a handshake
  // that a plain-HTTP client never starts.
  const std::string tlsPortHint =
      plainHttp ? "; if the service speaks TLS at that port, use an https:// address" : "";
  result->ok = false;
  result->status = status;
  result->httpStatus = httpStatus >= 100 && httpStatus < 600 ? httpStatus : 0;
  if (Contains(lower, "time limit") || Contains(lower, "timed out") ||
      Contains(lower, "timeout")) {
    result->problem = "timeout";
    result->message = "the service at " + server + " did not answer in time" + tlsPortHint;
  } else if (status == SOAP_SSL_ERROR || Contains(lower, "ssl") || Contains(lower, "tls") ||
             Contains(lower, "certificate")) {
    result->problem = "tls";
    result->message = "the secure connection to " + server + " failed: " +
                      (fault.empty() ? std::string("TLS error") : fault);
    if (Contains(lower, "verif") || Contains(lower, "self-signed") || Contains(lower, "issuer") ||
        Contains(lower, "certificate")) {
      result->message +=
          "; if the service's certificate comes from your own certificate authority, set "
          "SSL_CERT_FILE to that authority's certificate (a PEM file)";
    }
  } else if (status == SOAP_TCP_ERROR) {
    result->problem = "no-service";
    result->message = "no service answers at " + server +
                      (fault.empty() ? std::string() : " (" + fault + ")");
  } else if ((status == SOAP_FAULT || status == SOAP_CLI_FAULT || status == SOAP_SVR_FAULT) &&
             (Contains(lower, "password") || Contains(lower, "user") ||
              Contains(lower, "credential") || Contains(lower, "authent"))) {
    result->problem = "credentials";
    result->message = "the service refused the user name or password: " + fault;
  } else if (status == SOAP_FAULT || status == SOAP_CLI_FAULT || status == SOAP_SVR_FAULT) {
    // A SOAP Fault arrives with HTTP status 500: the service answered.
    result->problem = "fault";
    result->message = "the service refused the call: " + fault;
  } else if (httpStatus >= 300 || (status >= 100 && status < 600)) {
    result->problem = "http";
    result->message = "the server at " + server + " answered with HTTP status " +
                      std::to_string(httpStatus >= 300 ? httpStatus : status) +
                      "; is this the template service's address?";
  } else {
    result->problem = "protocol";
    result->message = "the answer from " + server + " could not be read (error " +
                      std::to_string(status) + (fault.empty() ? "" : ": " + fault) + ")" +
                      tlsPortHint;
  }
}

ConnectionTestResult TestServiceConnection() {
  ConnectionTestResult result;
  OslPlugInData& data = GetOslPlugInData();
  if (!data.IsConfigured()) {
    result.problem = "not-configured";
    result.message = "no service is configured (osl prefs --server URL --user U --password P)";
    return result;
  }
  result.server = data.server.GetUTF8String();
  result.user = data.user.GetUTF8String();
  OslSoapContext context;
  if (!context) {
    result.problem = "protocol";
    result.message = "out of memory";
    result.status = SOAP_EOM;
    return result;
  }
  const std::string user = data.user.GetPlatformString();
  const std::string password = data.password.GetPlatformString();
  const std::string endpoint = data.documentEndpoint.GetPlatformString();
  osl_soap::_ns4__getLibraryTemplates request;
  request.email = const_cast<std::string*>(&user);
  request.password = const_cast<std::string*>(&password);
  osl_soap::_ns4__getLibraryTemplatesResponse response;
  const int status =
      CallGetLibraryTemplates(context.get(), endpoint.c_str(), nullptr, &request, response);
  if (status != 0) {
    struct soap* soap = context.get();
    if (!*soap_faultcode(soap)) soap_set_fault(soap);
    const char* fault = *soap_faultstring(soap);
    ClassifyConnectionFailure(status, soap->status, fault ? fault : "", result.server, &result);
    return result;
  }
  result.ok = true;
  result.templates = response.getLibraryTemplatesResult
                         ? static_cast<int>(response.getLibraryTemplatesResult->libraryTemplate.size())
                         : 0;
  result.message = "signed in to " + result.server + " as " + result.user + ": the account has " +
                   std::to_string(result.templates) +
                   (result.templates == 1 ? " template" : " templates");
  return result;
}
