// The connection check's one-line diagnosis of a failed sign-in: each kind
// of failure the service client reports is named as what a person must fix.
#include <gtest/gtest.h>

#include "service_client/connection_test.h"
#include "service_client/service_calls.h"

namespace {

ConnectionTestResult Classify(int status, int http, const std::string& fault,
                              const std::string& server = "https://templates.example.org") {
  ConnectionTestResult result;
  ClassifyConnectionFailure(status, http, fault, server, &result);
  return result;
}

TEST(ConnectionCheck, EachFailureIsNamedForWhatIsWrong) {
  struct Case {
    int status;
    int http;
    const char* fault;
    const char* problem;
    const char* says;
  };
  const Case cases[] = {
      {SOAP_TCP_ERROR, 0, "connection refused", "no-service", "no service answers at"},
      {SOAP_FAULT, 500, "Invalid user name or password.", "credentials", "user name or password"},
      {SOAP_SSL_ERROR, 0, "SSL_ERROR_SSL certificate verify failed", "tls", "secure connection"},
      {SOAP_EOF, 0, "Time limit exceeded", "timeout", "did not answer in time"},
      {404, 404, "HTTP Error", "http", "HTTP status 404"},
      {503, 0, "", "http", "HTTP status 503"},
      {SOAP_FAULT, 500, "Template store unavailable", "fault", "refused the call"},
      {SOAP_SYNTAX_ERROR, 200, "", "protocol", "could not be read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.problem);
    const ConnectionTestResult result = Classify(c.status, c.http, c.fault);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(c.problem, result.problem);
    EXPECT_NE(std::string::npos, result.message.find(c.says)) << result.message;
    EXPECT_EQ(std::string::npos, result.message.find('\n')) << "one line";
  }
}

// What a person needs to get further: a plain http:// address that meets silence or an
// unreadable answer may be a TLS port; an unverified certificate may come from an authority of
// one's own, which SSL_CERT_FILE names. Neither hint where it cannot help.
TEST(ConnectionCheck, HintsSayWhatToChange) {
  struct Case {
    int status;
    const char* fault;
    const char* server;
    const char* hint;
    bool given;
  };
  const Case cases[] = {
      {SOAP_EOF, "Time limit exceeded", "http://127.0.0.1:8443", "use an https:// address", true},
      {SOAP_SYNTAX_ERROR, "", "http://127.0.0.1:8443", "use an https:// address", true},
      {SOAP_EOF, "Time limit exceeded", "https://127.0.0.1:8443", "use an https:// address", false},
      {SOAP_SSL_ERROR, "the server certificate of x failed verification: self-signed certificate",
       "https://x", "set SSL_CERT_FILE", true},
      {SOAP_SSL_ERROR, "the TLS handshake with x failed: protocol version", "https://x",
       "SSL_CERT_FILE", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.server) + " " + c.fault);
    const ConnectionTestResult result = Classify(c.status, 0, c.fault, c.server);
    EXPECT_EQ(c.given, result.message.find(c.hint) != std::string::npos) << result.message;
    EXPECT_EQ(std::string::npos, result.message.find('\n')) << "one line";
  }
}

}  // namespace
