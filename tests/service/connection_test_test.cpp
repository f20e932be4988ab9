// The connection check's one-line diagnosis of a failed sign-in: each kind
// of failure the service client reports is named as what a person must fix.
#include <gtest/gtest.h>

#include "service/connection_test.h"
#include "service/service_calls.h"

namespace {

ConnectionTestResult Classify(int status, int http, const std::string& fault) {
  ConnectionTestResult result;
  ClassifyConnectionFailure(status, http, fault, "https://templates.example.org", &result);
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

}  // namespace
