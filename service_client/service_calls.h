// Calls of the template service over HTTP: the eight call operations and the
// fault report shown after a failed call. The SOAP context that carries them,
// with its settings, time limits and message logs, is OslSoapContext
// (service_client/soap_context.h). A call sends Content-Length (no chunking).
#pragma once

#include <string>

#include "service_client/messages.h"
#include "service_client/soap_context.h"

// The eight operations. Each sends `request` to `endpoint` (null selects the
// built-in default, a service on this machine) with SOAPAction `action` (null
// selects the operation's own: ns4 URI + "getLibraryTemplates", or ns4 URI +
// "ItemplateMgr/" + the operation name) and fills `response`.
// Returns 0 on success. Otherwise the runtime's error: a SOAP Fault, an HTTP
// status, a connection, time-out or parse error; the context then holds the
// fault details for ReportSoapFault. An endpoint holding a blank or a control
// character fails with SOAP_TCP_ERROR before anything is sent. A call that
// does not end within the
// context's call deadline fails with SOAP_EOF and the fault "Time limit
// exceeded". A null `soap` returns SOAP_EOM.
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

// What follows a failed call: an error alert "error: " + `status` in decimal,
// then ReportSoapFault. Returns -1.
int ReportFailedCall(struct soap* soap, int status);
