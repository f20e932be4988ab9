// A failed service call in plain words: which kind of failure it was and one
// short sentence a designer can act on. The full fault report
// (FormatSoapFaultReport) stays the place for the details; this is the
// summary that goes under it.
#pragma once

#include <string>

#include "host/IPublishReport.h"

struct OslFaultSummary {
  PublishRecord::Fault kind = PublishRecord::Fault::kTransfer;
  int httpStatus = 0;  // set for kHttpStatus (and kCredentials from 401/403)
  std::string text;    // UTF-8, no line break, no final full stop
};

// Summarises the failure `status` of the last call on `soap` (its fault
// code, string and detail as the runtime left them). `endpoint` is the
// address the call went to; its scheme, host and port name the service in
// "no service at ..." (the whole endpoint when it has no "://"). A null
// `soap` gives a local failure.
//
// Kinds: a refused user name or password (an HTTP 401 or 403, or a fault
// whose text speaks of the user name or password); nothing answering at
// the address; a time limit (the context's deadline or a socket time-out);
// TLS; an HTTP status other than 200; any other fault the service sent; the
// exchange breaking off or an answer that could not be read.
OslFaultSummary SummarizeFailedCall(struct soap* soap, int status, const std::string& endpoint);

// "scheme://host[:port]" of `endpoint`: everything before the first "/"
// after "://"; the whole text when it has no "://".
std::string ServiceAddress(const std::string& endpoint);

// True when the failure `status` of the last call on `soap` is the service
// refusing a template that another publish run holds (a SOAP Fault whose
// text says the template "is being published by another run"): a conflict
// that passes, not a fault to report in detail. `line` gets the fault's text
// as one line (the service's words, which say when to try again).
bool TemplateBusyRefusal(struct soap* soap, int status, std::string* line);
