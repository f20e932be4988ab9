#include "refservice/app/service_app.h"

#include "refservice/accounts/caller_address.h"
#include "refservice/http/multipart_scanner.h"
#include "refservice/uploads/upload_exchange.h"
#include "refservice/uploads/upload_names.h"
#include "text/ascii_case.h"

namespace refservice {

const char kUploadPath[] = "/fileUpload.aspx";

namespace {

using textutil::EqualsNoCase;

std::string ContentTypeFor(const std::string& name) {
  size_t dot = name.find_last_of('.');
  std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (extension == "pdf") return "application/pdf";
  if (extension == "png") return "image/png";
  if (extension == "jpg" || extension == "jpeg") return "image/jpeg";
  if (extension == "tlvd" || extension == "json") return "application/json";
  if (extension == "ttf") return "font/ttf";
  if (extension == "otf") return "font/otf";
  if (extension == "txt") return "text/plain; charset=utf-8";
  return "application/octet-stream";
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

HttpResponse MethodNotAllowed(const char* allowed) {
  HttpResponse response = HttpResponse::Text(405, std::string("use ") + allowed + "\n");
  response.headers.emplace_back("Allow", allowed);
  return response;
}

constexpr const char kIndexText[] =
    "osl-service: reference template service\n"
    "  POST /services/templateMgr.svc    template manager (SOAP 1.1)\n"
    "  POST /services/builddoc.asmx      document builder (SOAP 1.1)\n"
    "  POST /fileUpload.aspx?sessionid=ID  file upload (multipart/form-data)\n"
    "  GET  /files/ID/TOKEN/NAME         an uploaded file\n"
    "  GET  /                            the web pages: sign in, templates, fill forms\n"
    "  POST /api/templates/ID/documents  a document built from a template (PDF)\n"
    "  POST /api/templates/ID/merges     a merge job: records (CSV or JSON) into one PDF\n"
    "  GET  /api/merges/JOB[/file]       a merge job's state, then its PDF\n";

// Collects a SOAP envelope (bounded) and answers it through the dispatcher. With an `injected`
// reply the request is run as an injected SOAP Fault (which changes nothing, but ends the publish
// run the call belongs to) and answered with that reply instead.
class SoapExchange : public HttpExchange {
 public:
  SoapExchange(SoapDispatcher* dispatcher, const XmlLimits* limits, std::string path,
               std::string action, SoapOverride overrideKind, uint64_t maxBody, int delayMs,
               std::string clientAddress, std::optional<HttpResponse> injected = std::nullopt)
      : dispatcher_(dispatcher),
        limits_(limits),
        path_(std::move(path)),
        action_(std::move(action)),
        overrideKind_(overrideKind),
        maxBody_(maxBody),
        delayMs_(delayMs),
        clientAddress_(std::move(clientAddress)),
        injected_(std::move(injected)) {}

  // The body's announced length, so that a large envelope is collected in one buffer rather
  // than copied on every doubling. An announcement above the limit reserves nothing: such a
  // body is refused when it outgrows the limit.
  void ReserveFor(std::optional<uint64_t> contentLength) {
    if (contentLength && *contentLength <= maxBody_) body_.reserve(*contentLength);
  }

  std::optional<HttpResponse> OnBody(std::string_view data) override {
    if (body_.size() + data.size() > maxBody_) {
      return HttpResponse::Text(
          413, "the SOAP request is larger than " + std::to_string(maxBody_) + " bytes\n");
    }
    body_.append(data.data(), data.size());
    return std::nullopt;
  }

  HttpResponse Finish() override {
    HttpResponse response;
    if (std::optional<std::string> problem = CheckXml(body_, *limits_)) {
      response = HttpResponse::Text(500, FaultEnvelope(true, *problem), "text/xml; charset=utf-8");
    } else {
      CallerAddressScope caller(clientAddress_);
      response = dispatcher_->Serve(SoapRequest{path_, action_, body_}, overrideKind_);
    }
    if (injected_) return std::move(*injected_);
    response.delayMs = delayMs_;
    return response;
  }

 private:
  SoapDispatcher* dispatcher_;
  const XmlLimits* limits_;
  std::string path_;
  std::string action_;
  SoapOverride overrideKind_;
  uint64_t maxBody_;
  int delayMs_;
  std::string clientAddress_;
  std::optional<HttpResponse> injected_;
  std::string body_;
};

// The reply that replaces the answer for an injected close, 503 or garbage fault (the garbage
// sent as `garbageType`); none for the other kinds, which change how the request is handled.
std::optional<HttpResponse> InjectedReply(std::optional<FaultKind> fault, const char* garbageType) {
  if (fault == FaultKind::kClose) return HttpResponse::Close();
  if (fault == FaultKind::kHttp503) {
    return HttpResponse::Text(503, "service unavailable (injected fault)\n");
  }
  if (fault == FaultKind::kGarbage) return HttpResponse::Text(200, GarbageBody(), garbageType);
  return std::nullopt;
}

}  // namespace

std::string GarbageBody() {
  std::string body = "\x01\x02\xff\xfe garbage <<<not xml>>> &&& ";
  body.push_back('\0');
  for (int i = 0; i < 64; ++i) body.push_back(static_cast<char>((i * 37 + 11) & 0xFF));
  return body;
}

std::string FaultEnvelope(bool client, std::string_view reason) {
  return std::string(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<SOAP-ENV:Envelope "
             "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
             "<SOAP-ENV:Body><SOAP-ENV:Fault><faultcode>") +
         (client ? "SOAP-ENV:Client" : "SOAP-ENV:Server") +
         "</faultcode>"
         "<faultstring>" +
         XmlEscape(reason) +
         "</faultstring></SOAP-ENV:Fault></SOAP-ENV:Body>"
         "</SOAP-ENV:Envelope>\n";
}

// An injected upload fault: the body is read and thrown away (at most
// `maxBody` bytes), then the fault's reply is sent. A client therefore always
// meets the fault while it waits for the reply, never while it still sends.
class FaultAfterBody : public HttpExchange {
 public:
  FaultAfterBody(HttpResponse fault, uint64_t maxBody) : fault_(std::move(fault)), left_(maxBody) {}
  std::optional<HttpResponse> OnBody(std::string_view data) override {
    if (data.size() > left_) return std::move(fault_);
    left_ -= data.size();
    return std::nullopt;
  }
  HttpResponse Finish() override { return std::move(fault_); }

 private:
  HttpResponse fault_;
  uint64_t left_;
};

std::optional<uint64_t> ContentLength(const HttpRequestHead& head) {
  std::optional<std::string_view> value = head.Header("content-length");
  if (!value || value->empty() || value->size() > 18) return std::nullopt;
  uint64_t length = 0;
  for (char c : *value) {
    if (c < '0' || c > '9') return std::nullopt;
    length = length * 10 + static_cast<uint64_t>(c - '0');
  }
  return length;
}

ServiceApp::ServiceApp(ServiceOptions options, Store* store, FileSystem* fs, UploadQuota* quota,
                       FaultInjector* faults, SoapDispatcher* dispatcher, Accounts* accounts)
    : options_(std::move(options)),
      store_(store),
      fs_(fs),
      quota_(quota),
      faults_(faults),
      dispatcher_(dispatcher),
      web_(std::make_unique<WebApp>(
          WebOptions{options_.dataDir, options_.maxUploadBody, options_.tls, options_.renders},
          store, fs, accounts)) {}

bool NormalizePublicUrl(std::string* url) {
  std::string text = *url;
  if (!text.empty() && text.back() == '/') text.pop_back();
  size_t schemeEnd = text.find("://");
  if (schemeEnd == std::string::npos) return false;
  const std::string scheme = textutil::Lower(text.substr(0, schemeEnd));
  if (scheme != "http" && scheme != "https") return false;
  std::string_view rest = std::string_view(text).substr(schemeEnd + 3);
  std::string_view host = rest;
  std::string_view port;
  if (!rest.empty() && rest.front() == '[') {
    size_t close = rest.find(']');
    if (close == std::string_view::npos || close < 3) return false;
    host = rest.substr(0, close + 1);
    for (char c : host.substr(1, host.size() - 2)) {
      bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                c == ':' || c == '.';
      if (!ok) return false;
    }
    if (close + 1 < rest.size()) {
      if (rest[close + 1] != ':') return false;
      port = rest.substr(close + 2);
      if (port.empty()) return false;
    }
  } else {
    size_t colon = rest.find(':');
    if (colon != std::string_view::npos) {
      host = rest.substr(0, colon);
      port = rest.substr(colon + 1);
      if (port.empty()) return false;
    }
    if (host.empty() || host.size() > 253) return false;
    for (char c : host) {
      bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '.' || c == '-';
      if (!ok) return false;
    }
  }
  if (port.size() > 5) return false;
  unsigned value = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (!port.empty() && (value == 0 || value > 65535)) return false;
  *url = scheme + "://" + std::string(rest);
  return true;
}

std::string ServiceApp::PublicOrigin(const HttpRequestHead& head) const {
  if (!options_.publicUrl.empty()) return options_.publicUrl;
  const std::string scheme = options_.tls ? "https://" : "http://";
  const std::string& listen = options_.listenAddress;
  const bool everyAddress = listen.rfind("0.0.0.0:", 0) == 0 || listen.rfind("[::]:", 0) == 0;
  if (everyAddress && !head.localAddress.empty()) return scheme + head.localAddress;
  return scheme + listen;
}

std::unique_ptr<HttpExchange> ServiceApp::Begin(const HttpRequestHead& head, HttpResponse* reply) {
  const std::string& path = head.path;
  bool isSoap =
      EqualsNoCase(path, kTemplateManagerPath) || EqualsNoCase(path, kDocumentBuilderPath);
  bool isUpload = EqualsNoCase(path, kUploadPath);
  if (isSoap || isUpload) {
    if (head.method != "POST") {
      *reply = MethodNotAllowed("POST");
      return nullptr;
    }
    return isSoap ? BeginSoap(head, reply) : BeginUpload(head, reply);
  }
  if (WebApp::Handles(path)) return web_->Begin(head, reply);
  if (head.method != "GET" && head.method != "HEAD") {
    *reply = MethodNotAllowed("GET, HEAD");
    return nullptr;
  }
  if (path == "/index.txt") {
    *reply = HttpResponse::Text(200, kIndexText);
  } else if (path.rfind(kFilesPrefix, 0) == 0) {
    *reply = FileGet(head);
  } else {
    *reply = HttpResponse::Text(404, "not found\n");
  }
  return nullptr;
}

std::unique_ptr<HttpExchange> ServiceApp::BeginSoap(const HttpRequestHead& head,
                                                    HttpResponse* reply) {
  std::string action(head.Header("soapaction").value_or(""));
  if (action.size() >= 2 && action.front() == '"' && action.back() == '"') {
    action = action.substr(1, action.size() - 2);
  }
  std::optional<uint64_t> length = ContentLength(head);
  if (length && *length > options_.maxSoapBody) {
    *reply = HttpResponse::Text(413, "the SOAP request is larger than " +
                                         std::to_string(options_.maxSoapBody) + " bytes\n");
    return nullptr;
  }
  std::string operation = dispatcher_->OperationForAction(action);
  std::optional<FaultKind> fault;
  if (!operation.empty()) fault = faults_->Next(operation);
  // A reply that replaces the answer still runs the call as a SOAP Fault, so that it changes
  // nothing but ends the publish run it belongs to.
  std::optional<HttpResponse> injected = InjectedReply(fault, "text/xml; charset=utf-8");
  SoapOverride overrideKind = SoapOverride::kNone;
  if (injected || fault == FaultKind::kSoapFault) overrideKind = SoapOverride::kSoapFault;
  if (fault == FaultKind::kZeroId) overrideKind = SoapOverride::kZeroId;
  const int delayMs = fault == FaultKind::kDelay ? options_.delayMs : 0;
  auto exchange = std::make_unique<SoapExchange>(dispatcher_, &options_.xmlLimits, head.path,
                                                 action, overrideKind, options_.maxSoapBody,
                                                 delayMs, head.clientAddress, std::move(injected));
  exchange->ReserveFor(length);
  return exchange;
}

std::unique_ptr<HttpExchange> ServiceApp::BeginUpload(const HttpRequestHead& head,
                                                      HttpResponse* reply) {
  std::optional<FaultKind> fault = faults_->Next("upload");
  std::optional<HttpResponse> injected = InjectedReply(fault, "application/octet-stream");
  if (fault == FaultKind::kSoapFault) {
    injected = HttpResponse::Text(500, FaultEnvelope(false, "Injected fault for upload."),
                                  "text/xml; charset=utf-8");
  }
  if (injected) {
    return std::make_unique<FaultAfterBody>(std::move(*injected), options_.maxUploadBody);
  }
  std::optional<std::string_view> session = head.QueryValue("sessionid");
  if (!session || !IsValidSessionId(*session)) {
    *reply = HttpResponse::Text(400, "missing or invalid sessionid (letters, digits and \"-\")\n");
    return nullptr;
  }
  std::string boundary;
  if (!MultipartBoundary(head.Header("content-type").value_or(""), &boundary)) {
    *reply =
        HttpResponse::Text(400, "upload rejected: expected multipart/form-data with a boundary\n");
    return nullptr;
  }
  std::optional<uint64_t> length = ContentLength(head);
  if (length && *length > options_.maxUploadBody) {
    *reply = HttpResponse::Text(413, "upload rejected: the request body is larger than " +
                                         std::to_string(options_.maxUploadBody) + " bytes\n");
    return nullptr;
  }
  UploadRequest request;
  request.session = std::string(*session);
  request.boundary = std::move(boundary);
  request.publicOrigin = PublicOrigin(head);
  request.maxBody = options_.maxUploadBody;
  request.delayMs = fault == FaultKind::kDelay ? options_.delayMs : 0;
  request.crashBeforeRecord = fault == FaultKind::kCrash;
  request.incomingFolder = options_.incomingFolder;
  request.instance = options_.instance;
  return std::make_unique<UploadExchange>(std::move(request), store_, fs_, quota_);
}

HttpResponse ServiceApp::FileGet(const HttpRequestHead& head) {
  // /files/SESSION/TOKEN/NAME; /files/SESSION/NAME for files stored before addresses had tokens.
  std::string_view rest = std::string_view(head.path).substr(sizeof(kFilesPrefix) - 1);
  std::vector<std::string_view> parts;
  while (!rest.empty() && parts.size() < 4) {
    size_t slash = rest.find('/');
    parts.push_back(rest.substr(0, slash));
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  }
  bool valid = rest.empty() && (parts.size() == 2 || parts.size() == 3) &&
               IsValidSessionId(parts.front()) && IsCleanFileName(parts.back()) &&
               (parts.size() == 2 || IsUploadToken(parts[1]));
  if (!valid) return HttpResponse::Text(404, "not found\n");
  std::string path = kUploadsFolder;
  for (std::string_view part : parts) path += "/" + std::string(part);
  uint64_t size = 0;
  std::string error;
  UniqueFd fd = fs_->OpenForRead(path, &size, &error);
  if (!fd.valid()) return HttpResponse::Text(404, "not found\n");
  HttpResponse response;
  response.status = 200;
  response.headers.emplace_back("Content-Type", ContentTypeFor(std::string(parts.back())));
  response.file = std::move(fd);
  response.fileSize = size;
  return response;
}

}  // namespace refservice
