#include "service_client/service_calls.h"

#include <cstdio>
#include <cstring>

#include "host/CAlert.h"
#include "osl_soapH.h"
#include "service_client/platform.h"

namespace {

const char* OrText(const char* text, const char* fallback) {
  return text && *text ? text : fallback;
}

// The longest prefix of `text` of at most `limit` bytes that ends on a whole
// UTF-8 character.
std::string CutUtf8(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

PMString Literal(const std::string& utf8) {
  return PMString(utf8, PMString::kDontTranslateDuringCall);
}

// Whether `endpoint` (null: the built-in default) can stand in a request line
// as it is: no blank, no control character.
bool IsSendable(const char* endpoint) {
  if (!endpoint) return true;
  for (const char* c = endpoint; *c; ++c) {
    if (static_cast<unsigned char>(*c) <= ' ' || *c == '\x7f') return false;
  }
  return true;
}

// Runs one generated call on `soap` within the context's call deadline. An
// endpoint that would break the request line fails like an unreachable one,
// before anything is sent.
template <class Call>
int RunCall(struct soap* soap, const char* endpoint, Call call) {
  if (!soap) return SOAP_EOM;
  if (!IsSendable(endpoint)) {
    // The report shows the address as it was given, and nothing of an earlier call.
    std::snprintf(soap->endpoint, sizeof soap->endpoint, "%s", endpoint);
    soap->host[0] = '\0';
    soap->path[0] = '\0';
    return soap_set_sender_error(soap, "Invalid endpoint",
                                 "The service address holds a blank or a control character.",
                                 SOAP_TCP_ERROR);
  }
  OslStartDeadline(soap);
  return OslEndDeadline(soap, call());
}

}  // namespace

// ---- calls ------------------------------------------------------------------------

int CallGetLibraryTemplates(struct soap* soap, const char* endpoint, const char* action,
                            osl_soap::_ns4__getLibraryTemplates* request,
                            osl_soap::_ns4__getLibraryTemplatesResponse& response) {
  return RunCall(soap, endpoint, [&] {
    return osl_soap::soap_call___ns4__getLibraryTemplates(soap, endpoint, action, request,
                                                          response);
  });
}

int CallSetTemplate(struct soap* soap, const char* endpoint, const char* action,
                    osl_soap::_ns2__setTemplate* request,
                    osl_soap::_ns2__setTemplateResponse& response) {
  return RunCall(soap, endpoint, [&] {
    return osl_soap::soap_call___ns5__setTemplate(soap, endpoint, action, request, response);
  });
}

int CallGetFields(struct soap* soap, const char* endpoint, const char* action,
                  osl_soap::_ns2__getFields* request, osl_soap::_ns2__getFieldsResponse& response) {
  return RunCall(soap, endpoint, [&] {
    return osl_soap::soap_call___ns5__getFields(soap, endpoint, action, request, response);
  });
}

int CallSetFields(struct soap* soap, const char* endpoint, const char* action,
                  osl_soap::_ns2__setFields* request, osl_soap::_ns2__setFieldsResponse& response) {
  return RunCall(soap, endpoint, [&] {
    return osl_soap::soap_call___ns5__setFields(soap, endpoint, action, request, response);
  });
}

int CallGetLogicGroups(struct soap* soap, const char* endpoint, const char* action,
                       osl_soap::_ns2__getLogicGroups* request,
                       osl_soap::_ns2__getLogicGroupsResponse& response) {
  return RunCall(soap, endpoint, [&] {
    return osl_soap::soap_call___ns5__getLogicGroups(soap, endpoint, action, request, response);
  });
}

int CallSetLogicGroups(struct soap* soap, const char* endpoint, const char* action,
                       osl_soap::_ns2__setLogicGroups* request,
                       osl_soap::_ns2__setLogicGroupsResponse& response) {
  return RunCall(soap, endpoint, [&] {
    return osl_soap::soap_call___ns5__setLogicGroups(soap, endpoint, action, request, response);
  });
}

int CallSetAssets(struct soap* soap, const char* endpoint, const char* action,
                  osl_soap::_ns2__setAssets* request, osl_soap::_ns2__setAssetsResponse& response) {
  return RunCall(soap, endpoint, [&] {
    return osl_soap::soap_call___ns5__setAssets(soap, endpoint, action, request, response);
  });
}

int CallCommitTemplate(struct soap* soap, const char* endpoint, const char* action,
                       osl_soap::_ns2__commitTemplate* request,
                       osl_soap::_ns2__commitTemplateResponse& response) {
  return RunCall(soap, endpoint, [&] {
    return osl_soap::soap_call___ns5__commitTemplate(soap, endpoint, action, request, response);
  });
}

// ---- fault report -------------------------------------------------------------------

std::string FormatSoapFaultReport(struct soap* soap) {
  if (!soap) return std::string();
  if (!*soap_faultcode(soap)) soap_set_fault(soap);
  const char* code = OrText(*soap_faultcode(soap), "");
  const char* subcode =
      soap->version == 2 ? OrText(soap_fault_subcode(soap), "no subcode") : "no subcode";
  const char* reason = OrText(*soap_faultstring(soap), "[no reason]");
  const char** detailField = soap_faultdetail(soap);
  const char* detail = OrText(detailField ? *detailField : nullptr, "[no detail]");
  const std::string separator(82, '-');

  OslPlatform& platform = OslPlatform::Get();
  std::string logFolder = platform.FaultNoteFolder();
  std::string note;
  if (platform.IsDirectory(logFolder)) {
    if (logFolder.empty() || (logFolder.back() != '/' && logFolder.back() != '\\')) {
      logFolder += '/';
    }
    note = "\n\n**You can view all the log files generated under " + logFolder + " directory**\n";
  }

  const char* version = soap->version ? "SOAP 1." : "Error ";
  const int number = soap->version ? soap->version : soap->error;
  const char* format =
      "\n\t%s%d \n\tfault: %s [%s]\"%s\"\n\tDetail: %s %s \n\tEndpoint: %s \n\tPath: %s "
      "\n\tHost: %s \n\tAction: %s %s %s";
  // The runtime forgets the endpoint and action when a reply arrives; the
  // context's own record of its last request stands in then.
  std::string lastEndpoint, lastAction;
  const bool known = OslLastRequest(soap, &lastEndpoint, &lastAction);
  const char* endpoint = soap->endpoint;
  const char* action = OrText(soap->action, "");
  if (known && !*endpoint) endpoint = lastEndpoint.c_str();
  if (known && !*action) action = lastAction.c_str();
  const int needed = std::snprintf(nullptr, 0, format, version, number, code, subcode, reason,
                                   detail, separator.c_str(), endpoint, soap->path, soap->host,
                                   action, separator.c_str(), note.c_str());
  if (needed < 0) return std::string();
  std::string report(static_cast<size_t>(needed) + 1, '\0');
  std::snprintf(&report[0], report.size(), format, version, number, code, subcode, reason, detail,
                separator.c_str(), endpoint, soap->path, soap->host, action, separator.c_str(),
                note.c_str());
  report.resize(static_cast<size_t>(needed));
  return CutUtf8(report, kOslFaultReportSize - 1);
}

int ReportSoapFault(struct soap* soap) {
  if (!soap) return -1;
  CAlert::ErrorAlert(Literal(FormatSoapFaultReport(soap)));
  return -1;
}

int ReportFailedCall(struct soap* soap, int status) {
  CAlert::ErrorAlert(Literal("error: " + std::to_string(status)));
  return ReportSoapFault(soap);
}

// ---- message helpers ----------------------------------------------------------------

std::string* OslNewString(struct soap* soap, const std::string& utf8) {
  if (!soap) return nullptr;
  std::string* copy = osl_soap::soap_new_std__string(soap);
  if (copy) *copy = utf8;
  return copy;
}

std::string* OslNewString(struct soap* soap, const PMString& text) {
  return OslNewString(soap, text.GetUTF8String());
}

int* OslNewInt(struct soap* soap, int value) {
  if (!soap) return nullptr;
  int* copy = osl_soap::soap_new_int(soap);
  if (copy) *copy = value;
  return copy;
}
