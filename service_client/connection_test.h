// The connection check of the settings: sign in to the configured service
// with one read-only call (the list of the account's templates) and say in
// one line what is wrong when it fails, or how many templates the account
// has.
#pragma once

#include <string>

struct ConnectionTestResult {
  bool ok = false;
  // Why it failed, as a stable word: "not-configured", "no-service",
  // "credentials", "tls", "timeout", "http", "fault", "protocol"; empty
  // when ok.
  std::string problem;
  std::string message;  // one line for a person
  std::string server;   // the configured server address
  std::string user;     // the configured user
  int templates = 0;    // the account's templates, when ok
  int status = 0;       // the call's status (0 when it succeeded); no HTTP status
  int httpStatus = 0;   // the HTTP status the server answered with, 0 when none came
};

// Loads the settings and makes the call. Shows no alert.
ConnectionTestResult TestServiceConnection();

// The problem word and one-line message for a failed call that ended with
// `status`, HTTP status `httpStatus` (0 when none came) and fault text
// `fault` (may be empty), made against `server`.
void ClassifyConnectionFailure(int status, int httpStatus, const std::string& fault,
                               const std::string& server, ConnectionTestResult* result);
