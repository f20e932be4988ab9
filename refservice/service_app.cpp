#include "refservice/service_app.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "refservice/file_util.h"
#include "refservice/multipart.h"
#include "refservice/sha256.h"

namespace refservice {

const char kTemplateManagerPath[] = "/services/templateMgr.svc";
const char kDocumentBuilderPath[] = "/services/builddoc.asmx";
const char kUploadPath[] = "/fileUpload.aspx";
const char kFilesPrefix[] = "/files/";

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsPlainHost(std::string_view host) {
  if (host.empty() || host.size() > 255) return false;
  for (unsigned char c : host) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
    if (!ok) return false;
  }
  return true;
}

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

// A SOAP 1.1 Fault envelope with a server fault code and `reason`.
std::string FaultEnvelope(const std::string& reason) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\">"
         "<SOAP-ENV:Body><SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode>"
         "<faultstring>" +
         reason +
         "</faultstring></SOAP-ENV:Fault></SOAP-ENV:Body>"
         "</SOAP-ENV:Envelope>\n";
}

constexpr const char kIndexText[] =
    "osl-service: reference template service\n"
    "  POST /services/templateMgr.svc    template manager (SOAP 1.1)\n"
    "  POST /services/builddoc.asmx      document builder (SOAP 1.1)\n"
    "  POST /fileUpload.aspx?sessionid=ID  file upload (multipart/form-data)\n"
    "  GET  /files/ID/NAME               an uploaded file\n";

}  // namespace

std::string GarbageBody() {
  std::string body = "\x01\x02\xff\xfe garbage <<<not xml>>> &&& ";
  body.push_back('\0');
  for (int i = 0; i < 64; ++i) body.push_back(static_cast<char>((i * 37 + 11) & 0xFF));
  return body;
}

ServiceApp::ServiceApp(ServiceOptions options, Store* store, FaultInjector* faults,
                       SoapDispatcher* dispatcher)
    : options_(std::move(options)), store_(store), faults_(faults), dispatcher_(dispatcher) {}

size_t ServiceApp::MaxBodySize(const HttpRequest& head) const {
  if (EqualsNoCase(head.path, kUploadPath)) return options_.maxUploadBody;
  if (EqualsNoCase(head.path, kTemplateManagerPath) ||
      EqualsNoCase(head.path, kDocumentBuilderPath)) {
    return options_.maxSoapBody;
  }
  return 0;
}

void ServiceApp::Delay() const {
  std::this_thread::sleep_for(std::chrono::milliseconds(options_.delayMs));
}

std::string ServiceApp::PublicHost(const HttpRequest& request) const {
  auto host = request.Header("host");
  if (host && IsPlainHost(*host)) return std::string(*host);
  return options_.listenAddress;
}

std::string ServiceApp::FileAddress(const std::string& host, const std::string& session,
                                    const std::string& name) {
  return "http://" + host + kFilesPrefix + session + "/" + name;
}

HttpResponse ServiceApp::Handle(const HttpRequest& request) {
  const std::string& path = request.path;
  bool isSoap =
      EqualsNoCase(path, kTemplateManagerPath) || EqualsNoCase(path, kDocumentBuilderPath);
  bool isUpload = EqualsNoCase(path, kUploadPath);
  if (isSoap || isUpload) {
    if (request.method != "POST") {
      HttpResponse response = HttpResponse::Text(405, "use POST\n");
      response.headers.emplace_back("Allow", "POST");
      return response;
    }
    return isSoap ? HandleSoap(request) : HandleUpload(request);
  }
  if (request.method != "GET" && request.method != "HEAD") {
    HttpResponse response = HttpResponse::Text(405, "use GET\n");
    response.headers.emplace_back("Allow", "GET, HEAD");
    return response;
  }
  if (path == "/") return HttpResponse::Text(200, kIndexText);
  if (path.rfind(kFilesPrefix, 0) == 0) return HandleFileGet(request);
  return HttpResponse::Text(404, "not found\n");
}

HttpResponse ServiceApp::HandleSoap(const HttpRequest& request) {
  std::string action(request.Header("soapaction").value_or(""));
  if (action.size() >= 2 && action.front() == '"' && action.back() == '"') {
    action = action.substr(1, action.size() - 2);
  }
  std::string operation = dispatcher_->OperationForAction(action);
  std::optional<FaultKind> fault;
  if (!operation.empty()) fault = faults_->Next(operation);
  SoapOverride overrideKind = SoapOverride::kNone;
  if (fault) {
    switch (*fault) {
      case FaultKind::kClose:
        return HttpResponse::Close();
      case FaultKind::kHttp503:
        return HttpResponse::Text(503, "service unavailable (injected fault)\n");
      case FaultKind::kGarbage:
        return HttpResponse::Text(200, GarbageBody(), "text/xml; charset=utf-8");
      case FaultKind::kDelay:
        Delay();
        break;
      case FaultKind::kSoapFault:
        overrideKind = SoapOverride::kSoapFault;
        break;
      case FaultKind::kZeroId:
        overrideKind = SoapOverride::kZeroId;
        break;
    }
  }
  return dispatcher_->Serve(request, overrideKind);
}

HttpResponse ServiceApp::HandleUpload(const HttpRequest& request) {
  std::optional<FaultKind> fault = faults_->Next("upload");
  if (fault) {
    switch (*fault) {
      case FaultKind::kClose:
        return HttpResponse::Close();
      case FaultKind::kHttp503:
        return HttpResponse::Text(503, "service unavailable (injected fault)\n");
      case FaultKind::kGarbage:
        return HttpResponse::Text(200, GarbageBody(), "application/octet-stream");
      case FaultKind::kSoapFault:
        return HttpResponse::Text(500, FaultEnvelope("Injected fault for upload."),
                                  "text/xml; charset=utf-8");
      case FaultKind::kDelay:
        Delay();
        break;
      case FaultKind::kZeroId:
        break;
    }
  }
  std::optional<std::string> session = QueryParameter(request.query, "sessionid");
  if (!session || !IsValidSessionId(*session)) {
    return HttpResponse::Text(400, "missing or invalid sessionid (letters, digits and \"-\")\n");
  }
  UploadedPart part;
  std::string error;
  std::string contentType(request.Header("content-type").value_or(""));
  if (!ParseUpload(contentType, request.body, &part, &error)) {
    return HttpResponse::Text(400, "upload rejected: " + error + "\n");
  }
  std::string name = CleanFileName(part.fileName);
  std::string folder = options_.dataDir + "/uploads/" + *session;
  if (!MakeDirectories(folder, &error) ||
      !AtomicWriteFile(folder + "/" + name, part.content, &error)) {
    return HttpResponse::Text(500, "upload not stored: " + error + "\n");
  }
  store_->RecordUpload(UploadData{*session, name, part.content.size(), Sha256Hex(part.content)});
  return HttpResponse::Text(200, FileAddress(PublicHost(request), *session, name));
}

HttpResponse ServiceApp::HandleFileGet(const HttpRequest& request) {
  std::string_view rest = std::string_view(request.path).substr(sizeof(kFilesPrefix) - 1);
  size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return HttpResponse::Text(404, "not found\n");
  std::optional<std::string> session = PercentDecode(rest.substr(0, slash), false);
  std::optional<std::string> name = PercentDecode(rest.substr(slash + 1), false);
  if (!session || !name || !IsValidSessionId(*session) || !IsCleanFileName(*name)) {
    return HttpResponse::Text(404, "not found\n");
  }
  std::string path = options_.dataDir + "/uploads/" + *session + "/" + *name;
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info;
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    return HttpResponse::Text(404, "not found\n");
  }
  HttpResponse response;
  response.status = 200;
  response.headers.emplace_back("Content-Type", ContentTypeFor(*name));
  response.file = std::move(fd);
  response.fileSize = static_cast<uint64_t>(info.st_size);
  return response;
}

}  // namespace refservice
