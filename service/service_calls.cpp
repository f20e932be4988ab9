#include "service/service_calls.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "host/CAlert.h"
#include "osl_soapH.h"
#include "service/platform.h"
#include "service/soap_namespaces.h"

namespace {

// ---- per-context state --------------------------------------------------------

const char kStatePluginId[] = "osl-context-state";

// One message log: appended to while the context lives.
struct LogFile {
  std::string path;  // empty when not logging
  std::FILE* file = nullptr;
  bool refused = false;  // the path could not be opened safely; never retried
};

// What a context made here keeps beside the runtime: the endpoint and action
// of its last request (the runtime forgets them once a reply arrives) and,
// when logging, the log files.
struct ContextState {
  std::string lastEndpoint;
  std::string lastAction;
  int (*post)(struct soap*, const char*, const char*, int, const char*, const char*,
              ULONG64) = nullptr;
  LogFile sent;
  LogFile received;
  int (*send)(struct soap*, const char*, size_t) = nullptr;
  size_t (*receive)(struct soap*, char*, size_t) = nullptr;
};

ContextState* FindState(struct soap* soap) {
  return static_cast<ContextState*>(soap_lookup_plugin(soap, kStatePluginId));
}

int RecordingPost(struct soap* soap, const char* endpoint, const char* host, int port,
                  const char* path, const char* action, ULONG64 count) {
  ContextState* state = FindState(soap);
  if (!state) return SOAP_PLUGIN_ERROR;
  state->lastEndpoint = endpoint ? endpoint : "";
  state->lastAction = action ? action : "";
  return state->post(soap, endpoint, host, port, path, action, count);
}

// Opens the log at `path` for appending. The logs hold passwords: the file is
// created readable and writable by its owner only, a symbolic link at `path`
// is not followed, and anything but a regular file of this user (a FIFO, a
// device, another user's file) is refused. An existing file readable by
// others is made owner-only. Null when refused.
std::FILE* OpenLog(const std::string& path) {
  const int fd =
      open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
      ((info.st_mode & 077) != 0 && fchmod(fd, 0600) != 0)) {
    close(fd);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "ab");
  if (!file) close(fd);
  return file;
}

// Appends `data` to `log`, opened on first use.
void Append(LogFile* log, const char* data, size_t size) {
  if (!log->file && !log->refused) {
    log->file = OpenLog(log->path);
    log->refused = log->file == nullptr;
  }
  if (!log->file || size == 0) return;
  std::fwrite(data, 1, size, log->file);
  std::fflush(log->file);
}

int LoggingSend(struct soap* soap, const char* data, size_t size) {
  ContextState* state = FindState(soap);
  if (!state) return SOAP_PLUGIN_ERROR;
  const int status = state->send(soap, data, size);
  if (status == SOAP_OK) Append(&state->sent, data, size);
  return status;
}

size_t LoggingReceive(struct soap* soap, char* data, size_t size) {
  ContextState* state = FindState(soap);
  if (!state) return 0;
  const size_t got = state->receive(soap, data, size);
  Append(&state->received, data, got);
  return got;
}

void DeleteState(struct soap*, struct soap_plugin* plugin) {
  auto* state = static_cast<ContextState*>(plugin->data);
  if (state->sent.file) std::fclose(state->sent.file);
  if (state->received.file) std::fclose(state->received.file);
  delete state;
}

// `logFolder`: the folder to log into, or empty for no logs.
int CreateState(struct soap* soap, struct soap_plugin* plugin, void* logFolder) {
  auto* state = new (std::nothrow) ContextState;
  if (!state) return SOAP_EOM;
  state->post = soap->fpost;
  soap->fpost = RecordingPost;
  const std::string& folder = *static_cast<const std::string*>(logFolder);
  if (!folder.empty()) {
    state->sent.path = folder + "/SENT.log";
    state->received.path = folder + "/RECV.log";
    state->send = soap->fsend;
    state->receive = soap->frecv;
    soap->fsend = LoggingSend;
    soap->frecv = LoggingReceive;
  }
  plugin->id = kStatePluginId;
  plugin->data = state;
  plugin->fcopy = nullptr;  // contexts made here are never copied
  plugin->fdelete = DeleteState;
  return SOAP_OK;
}

// ---- fault report -------------------------------------------------------------

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

}  // namespace

// ---- context --------------------------------------------------------------------

OslSoapContext::OslSoapContext(Kind kind)
    : soap_(kind == Kind::kCall ? soap_new1(SOAP_C_UTFSTRING) : soap_new2(0, SOAP_IO_CHUNK)) {
  if (!soap_) return;
  soap_set_namespaces(soap_, OslSoapNamespaces());
  if (kind == Kind::kCall) {
    soap_set_version(soap_, 1);
    soap_set_imode(soap_, SOAP_XML_NIL);
    soap_set_omode(soap_, SOAP_XML_NIL);
    soap_->connect_timeout = kOslCallConnectTimeout;
    soap_->send_timeout = kOslCallSendTimeout;
    soap_->recv_timeout = kOslCallReceiveTimeout;
    soap_->recv_maxlength = kOslCallMaxReply;
  } else {
    soap_->connect_timeout = kOslUploadTimeout;
    soap_->send_timeout = kOslUploadTimeout;
    soap_->recv_timeout = kOslUploadTimeout;
    soap_->accept_timeout = kOslUploadTimeout;
    soap_->recv_maxlength = kOslUploadMaxReply;
  }
  OslPlatform& platform = OslPlatform::Get();
  std::string logFolder = platform.LogFolder();
  if (platform.IsDirectory(logFolder)) {
    while (logFolder.size() > 1 && logFolder.back() == '/') logFolder.pop_back();
  } else {
    logFolder.clear();
  }
  (void)soap_register_plugin_arg(soap_, CreateState, &logFolder);
}

OslSoapContext::~OslSoapContext() {
  if (!soap_) return;
  soap_destroy(soap_);
  soap_end(soap_);
  soap_free(soap_);
}

// ---- calls ------------------------------------------------------------------------

int CallGetLibraryTemplates(struct soap* soap, const char* endpoint, const char* action,
                            osl_soap::_ns4__getLibraryTemplates* request,
                            osl_soap::_ns4__getLibraryTemplatesResponse& response) {
  if (!soap) return SOAP_EOM;
  return osl_soap::soap_call___ns4__getLibraryTemplates(soap, endpoint, action, request, response);
}

int CallSetTemplate(struct soap* soap, const char* endpoint, const char* action,
                    osl_soap::_ns2__setTemplate* request,
                    osl_soap::_ns2__setTemplateResponse& response) {
  if (!soap) return SOAP_EOM;
  return osl_soap::soap_call___ns5__setTemplate(soap, endpoint, action, request, response);
}

int CallGetFields(struct soap* soap, const char* endpoint, const char* action,
                  osl_soap::_ns2__getFields* request, osl_soap::_ns2__getFieldsResponse& response) {
  if (!soap) return SOAP_EOM;
  return osl_soap::soap_call___ns5__getFields(soap, endpoint, action, request, response);
}

int CallSetFields(struct soap* soap, const char* endpoint, const char* action,
                  osl_soap::_ns2__setFields* request, osl_soap::_ns2__setFieldsResponse& response) {
  if (!soap) return SOAP_EOM;
  return osl_soap::soap_call___ns5__setFields(soap, endpoint, action, request, response);
}

int CallGetLogicGroups(struct soap* soap, const char* endpoint, const char* action,
                       osl_soap::_ns2__getLogicGroups* request,
                       osl_soap::_ns2__getLogicGroupsResponse& response) {
  if (!soap) return SOAP_EOM;
  return osl_soap::soap_call___ns5__getLogicGroups(soap, endpoint, action, request, response);
}

int CallSetLogicGroups(struct soap* soap, const char* endpoint, const char* action,
                       osl_soap::_ns2__setLogicGroups* request,
                       osl_soap::_ns2__setLogicGroupsResponse& response) {
  if (!soap) return SOAP_EOM;
  return osl_soap::soap_call___ns5__setLogicGroups(soap, endpoint, action, request, response);
}

int CallSetAssets(struct soap* soap, const char* endpoint, const char* action,
                  osl_soap::_ns2__setAssets* request, osl_soap::_ns2__setAssetsResponse& response) {
  if (!soap) return SOAP_EOM;
  return osl_soap::soap_call___ns5__setAssets(soap, endpoint, action, request, response);
}

int CallCommitTemplate(struct soap* soap, const char* endpoint, const char* action,
                       osl_soap::_ns2__commitTemplate* request,
                       osl_soap::_ns2__commitTemplateResponse& response) {
  if (!soap) return SOAP_EOM;
  return osl_soap::soap_call___ns5__commitTemplate(soap, endpoint, action, request, response);
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
  std::string logFolder = platform.LogFolder();
  std::string note;
  if (platform.IsDirectory(logFolder)) {
    if (logFolder.empty() || logFolder.back() != '/') logFolder += '/';
    note = "\n\n**You can view all the log files generated under " + logFolder + " directory**\n";
  }

  const char* version = soap->version ? "SOAP 1." : "Error ";
  const int number = soap->version ? soap->version : soap->error;
  const char* format =
      "\n\t%s%d \n\tfault: %s [%s]\"%s\"\n\tDetail: %s %s \n\tEndpoint: %s \n\tPath: %s "
      "\n\tHost: %s \n\tAction: %s %s %s";
  // The runtime forgets the endpoint and action when a reply arrives; the
  // context's own record of its last request stands in then.
  const ContextState* state = FindState(soap);
  const char* endpoint = soap->endpoint;
  const char* action = OrText(soap->action, "");
  if (state && !*endpoint) endpoint = state->lastEndpoint.c_str();
  if (state && !*action) action = state->lastAction.c_str();
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
