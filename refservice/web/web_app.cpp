#include "refservice/web/web_app.h"

#include <algorithm>
#include <cctype>

#include "refservice/http/multipart_scanner.h"
#include "refservice/render/cmyk_output.h"
#include "refservice/render/document_renderer.h"
#include "refservice/render/field_values.h"
#include "refservice/common/identifiers.h"
#include "refservice/web/html_text.h"
#include "refservice/web/web_assets.h"
#include "refservice/web/web_pages.h"
#include "text/ascii_case.h"

namespace refservice {

// Collects a request body (at most `max` bytes), then reads it and answers it through `done`.
class WebApp::BodyExchange : public HttpExchange {
 public:
  BodyExchange(WebApp* app, const Route* route, Request request, uint64_t max)
      : app_(app), route_(route), request_(std::move(request)), max_(max) {}
  std::optional<HttpResponse> OnBody(std::string_view data) override {
    if (request_.body.size() + data.size() > max_) {
      return HttpResponse::Text(413, "the request body is larger than " + std::to_string(max_) +
                                         " bytes\n");
    }
    request_.body.append(data);
    return std::nullopt;
  }
  HttpResponse Finish() override {
    if (std::optional<HttpResponse> refused = app_->ReadBody(*route_, &request_)) {
      return std::move(*refused);
    }
    return (app_->*(route_->handler))(request_);
  }

 private:
  WebApp* app_;
  const Route* route_;
  Request request_;
  uint64_t max_;
};

namespace {

constexpr char kSessionCookie[] = "osl_session";
constexpr char kSignInCookie[] = "osl_signin";
constexpr size_t kMaxFormParts = 2000;
constexpr uint64_t kSmallFormBytes = 64 * 1024;
constexpr size_t kMaxReportHeaderBytes = 16 * 1024;
constexpr char kTokenRefusal[] = "the form's CSRF token is missing or wrong; reload the page";

using textutil::Lower;

// Headers every page carries: no caching, no sniffing, no framing, scripts only from here.
void PageHeaders(HttpResponse* response) {
  response->headers.emplace_back("Cache-Control", "no-store");
  response->headers.emplace_back("X-Content-Type-Options", "nosniff");
  response->headers.emplace_back("X-Frame-Options", "DENY");
  response->headers.emplace_back("Referrer-Policy", "no-referrer");
  response->headers.emplace_back(
      "Content-Security-Policy",
      "default-src 'self'; img-src 'self' blob:; style-src 'self' 'unsafe-inline'; "
      "script-src 'self'; frame-ancestors 'none'; form-action 'self'; base-uri 'none'");
}

HttpResponse Html(int status, std::string body) {
  HttpResponse response = HttpResponse::Text(status, std::move(body), "text/html; charset=utf-8");
  PageHeaders(&response);
  return response;
}

HttpResponse Redirect(const std::string& location) {
  HttpResponse response = HttpResponse::Text(303, "see " + location + "\n");
  response.headers.emplace_back("Location", location);
  PageHeaders(&response);
  return response;
}

HttpResponse Plain(int status, const std::string& text) {
  HttpResponse response = HttpResponse::Text(status, text + "\n");
  PageHeaders(&response);
  return response;
}

HttpResponse Png(std::string png) {
  HttpResponse response = HttpResponse::Text(200, std::move(png), "image/png");
  PageHeaders(&response);
  return response;
}

HttpResponse NotFoundPage(const std::string& id) {
  return Html(404, MessageHtml("Not found", "Template " + id + " does not exist."));
}

bool Base64Decode(std::string_view text, std::string* out) {
  static const std::string kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  out->clear();
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    size_t value = kAlphabet.find(c);
    if (value == std::string::npos) return false;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out->push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return true;
}

// The answer to a program whose HTTP Basic credentials did not sign in.
HttpResponse SignInRefusal(const SignInResult& result) {
  if (result.status == SignInResult::Status::kThrottled) {
    HttpResponse response = Plain(429, TooManyFailuresText(result.retryAfterSeconds));
    response.headers.emplace_back("Retry-After", std::to_string(result.retryAfterSeconds));
    return response;
  }
  if (result.status == SignInResult::Status::kStoreFailure) {
    return Plain(503, "the service cannot read its accounts; try again later");
  }
  HttpResponse response = Plain(401, "Invalid user name or password.");
  response.headers.emplace_back("WWW-Authenticate", "Basic realm=\"osl-service\"");
  return response;
}

// A template name reduced to a safe download file name.
std::string DownloadName(const TemplateBundle& bundle) {
  std::string name;
  for (char c : bundle.record.name.value_or("document")) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') name.push_back(c);
  }
  return (name.empty() ? std::string("document") : name) + ".pdf";
}

// `text` with every line break (CR LF, CR or LF) written as LF, as a form sends it back.
std::string OneLineBreak(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// A refusal of one form input: the message names the field by its label, and X-Field-Input
// names the input, so the page can show it there.
HttpResponse FieldRefusal(const RenderField& field, size_t index, std::string message) {
  const std::string internal = "field \"" + field.name + "\"";
  const std::string shown = "\"" + FieldLabel(field) + "\"";
  for (size_t at = message.find(internal); at != std::string::npos;
       at = message.find(internal, at + shown.size())) {
    message.replace(at, internal.size(), shown);
  }
  HttpResponse response = Plain(400, message);
  response.headers.emplace_back("X-Field-Input", "field-" + std::to_string(index));
  return response;
}

}  // namespace

WebApp::WebApp(WebOptions options, Store* store, FileSystem* fs, Accounts* accounts)
    : options_(std::move(options)),
      store_(store),
      fs_(fs),
      accounts_(accounts),
      merges_(MergeJobOptions{options_.dataDir + "/incoming/merges-" + RandomHex(6)}, fs) {}

const std::vector<WebApp::Route>& WebApp::Routes() {
  using C = RouteCaller;
  using T = RouteToken;
  using B = RouteBody;
  static const std::vector<Route> kRoutes = {
      {"GET", "/", C::kAnyone, T::kNone, B::kNone, false, &WebApp::Home},
      {"GET", "/signin", C::kAnyone, T::kNone, B::kNone, false, &WebApp::SignInForm},
      {"POST", "/signin", C::kAnyone, T::kSignInCookie, B::kSmallForm, false, &WebApp::SignIn},
      {"POST", "/signout", C::kSession, T::kSession, B::kSmallForm, false, &WebApp::SignOut},
      {"GET", "/assets/*", C::kAnyone, T::kNone, B::kNone, false, &WebApp::Asset},
      {"GET", "/fill/*/*", C::kAnyone, T::kNone, B::kNone, false, &WebApp::FillLink},
      {"GET", "/templates/*", C::kAccount, T::kNone, B::kNone, true, &WebApp::TemplatePage},
      {"GET", "/templates/*/fill", C::kTemplateUser, T::kNone, B::kNone, true, &WebApp::FillPage},
      {"GET", "/templates/*/pages/*", C::kTemplateUser, T::kNone, B::kNone, false,
       &WebApp::PageImage},
      {"POST", "/templates/*/preview", C::kTemplateUser, T::kSession, B::kValues, false,
       &WebApp::Preview},
      {"POST", "/templates/*/images", C::kTemplateUser, T::kSession, B::kValues, false,
       &WebApp::KeepImage},
      {"POST", "/templates/*/report", C::kTemplateUser, T::kSession, B::kValues, false,
       &WebApp::PageReport},
      {"POST", "/templates/*/document", C::kTemplateUser, T::kSession, B::kValues, false,
       &WebApp::Download},
      {"POST", "/api/templates/*/documents", C::kProgram, T::kNone, B::kValues, false,
       &WebApp::ApiDocument},
      {"POST", "/api/templates/*/documents/report", C::kProgram, T::kNone, B::kValues, false,
       &WebApp::ApiReport},
      {"POST", "/api/templates/*/merges", C::kProgram, T::kNone, B::kRecords, false,
       &WebApp::ApiStartMerge},
      {"GET", "/api/merges/*", C::kProgram, T::kNone, B::kNone, false, &WebApp::ApiMergeState},
      {"GET", "/api/merges/*/file", C::kProgram, T::kNone, B::kNone, false,
       &WebApp::ApiMergeFile},
  };
  return kRoutes;
}

bool WebApp::Handles(const std::string& path) {
  return path == "/" || path == "/signin" || path == "/signout" || path.rfind("/fill/", 0) == 0 ||
         path.rfind("/templates/", 0) == 0 || path.rfind("/api/", 0) == 0 ||
         path.rfind("/assets/", 0) == 0;
}

std::string WebApp::Cookie(const std::string& name, const std::string& value,
                           const std::string& attributes) const {
  return name + "=" + value + "; " + attributes + "; HttpOnly; SameSite=Strict" +
         (options_.secureCookies ? "; Secure" : "");
}

std::unique_ptr<HttpExchange> WebApp::Begin(const HttpRequestHead& head, HttpResponse* reply) {
  const bool get = head.method == "GET" || head.method == "HEAD";
  Request request;
  request.segments = PathSegments(head.path);
  const Route* route = nullptr;
  std::string allow;
  for (const Route& candidate : Routes()) {
    if (!PathMatches(candidate.path, request.segments)) continue;
    std::string method = candidate.method;
    if (allow.find(method) == std::string::npos) {
      allow += (allow.empty() ? "" : ", ") + (method == "GET" ? std::string("GET, HEAD") : method);
    }
    if ((method == "GET" && get) || method == head.method) route = &candidate;
  }
  if (route == nullptr) {
    *reply = Plain(allow.empty() ? 404 : 405, allow.empty() ? "not found" : "method not allowed");
    if (!allow.empty()) reply->headers.emplace_back("Allow", allow);
    return nullptr;
  }
  request.head = head;
  request.session =
      sessions_.Find(CookieValue(std::string(head.Header("cookie").value_or("")), kSessionCookie));
  if (std::optional<HttpResponse> refused = Admit(*route, &request)) {
    *reply = std::move(*refused);
    return nullptr;
  }
  if (route->body == RouteBody::kNone) {
    *reply = (this->*(route->handler))(request);
    return nullptr;
  }
  const uint64_t max =
      route->body == RouteBody::kSmallForm ? kSmallFormBytes : options_.maxRequestBody;
  return std::make_unique<BodyExchange>(this, route, std::move(request), max);
}

std::optional<HttpResponse> WebApp::Admit(const Route& route, Request* request) {
  const std::optional<WebSession>& session = request->session;
  switch (route.caller) {
    case RouteCaller::kAnyone:
      return std::nullopt;
    case RouteCaller::kProgram: {
      std::string authorization(request->head.Header("authorization").value_or(""));
      if (authorization.size() > 6 && Lower(authorization.substr(0, 6)) == "basic ") {
        std::string decoded;
        size_t colon = std::string::npos;
        if (Base64Decode(authorization.substr(6), &decoded)) colon = decoded.find(':');
        SignInResult user;
        if (colon != std::string::npos) {
          user = accounts_->SignIn(decoded.substr(0, colon), decoded.substr(colon + 1),
                                   request->head.clientAddress);
        }
        if (!user.ok()) return SignInRefusal(user);
        request->caller.userId = user.userId;
        request->session.reset();
        break;
      }
      if (session && request->head.Header("x-csrf-token").value_or("") == session->csrf) {
        request->caller = Caller{session->userId, session->templateId};
        break;
      }
      HttpResponse response =
          Plain(401, "credentials required: HTTP Basic with an account's e-mail and password");
      response.headers.emplace_back("WWW-Authenticate", "Basic realm=\"osl-service\"");
      return response;
    }
    case RouteCaller::kSession:
    case RouteCaller::kAccount:
    case RouteCaller::kTemplateUser:
      if (!session) {
        if (route.page) return Redirect("/signin");
        return Plain(403, "sign in first");
      }
      request->caller = Caller{session->userId, session->templateId};
      if (route.caller == RouteCaller::kAccount && session->userId < 0) {
        return Html(404, MessageHtml("Not found", "This page is not open to a fill link."));
      }
      break;
  }
  // A fill session reaches its one template; every other template is as if it did not exist.
  if (request->caller.userId < 0 && request->segments.size() >= 2 &&
      (request->segments[0] == "templates" || request->segments[0] == "api")) {
    const std::string& id = request->segments[0] == "api" ? request->segments[2]
                                                          : request->segments[1];
    if (Lower(id) != request->caller.templateId) {
      return route.page ? NotFoundPage(id) : Plain(404, "template " + id + " does not exist");
    }
  }
  return std::nullopt;
}

std::optional<HttpResponse> WebApp::ReadBody(const Route& route, Request* request) {
  const std::string contentType = Lower(std::string(request->head.Header("content-type").value_or("")));
  std::string error;
  bool parsed = false;
  if (route.body == RouteBody::kSmallForm) {
    parsed = ParseUrlEncodedForm(request->body, 16, &request->parts, &error);
  } else if (route.body == RouteBody::kRecords) {
    parsed = true;  // the merge reads the records itself, as CSV or JSON
  } else if (contentType.rfind("application/json", 0) == 0) {
    request->json = true;
    parsed = true;
  } else {
    std::string boundary;
    if (MultipartBoundary(std::string(request->head.Header("content-type").value_or("")),
                          &boundary)) {
      parsed = ParseMultipartForm(request->body, boundary, kMaxFormParts, &request->parts, &error);
    } else {
      error = "send the values as application/json or multipart/form-data";
    }
  }
  std::string token;
  std::string expected;
  if (route.token == RouteToken::kSession) {
    token = std::string(request->head.Header("x-csrf-token").value_or(""));
    if (const FormPart* field = FindPart(request->parts, "_csrf")) token = field->content;
    if (request->session) expected = request->session->csrf;
  } else if (route.token == RouteToken::kSignInCookie) {
    if (const FormPart* field = FindPart(request->parts, "_csrf")) token = field->content;
    expected = CookieValue(std::string(request->head.Header("cookie").value_or("")), kSignInCookie);
  }
  if (route.token != RouteToken::kNone && (expected.empty() || token != expected)) {
    return Plain(403, kTokenRefusal);
  }
  if (!parsed) return Plain(400, error);
  return std::nullopt;
}

std::optional<HttpResponse> WebApp::LoadBundle(const Caller& caller, const std::string& id,
                                               TemplateBundle* bundle) {
  std::string error;
  BundleStatus status =
      LoadTemplateBundle(store_, fs_, options_.dataDir, id, caller.userId, bundle, &error);
  if (status == BundleStatus::kNotFound) return Plain(404, error);
  if (status != BundleStatus::kOk) return Plain(500, error);
  return std::nullopt;
}

bool WebApp::Render(const TemplateBundle& bundle, const FieldValues& values, bool preview,
                    RenderResult* result, std::string* error, bool exactInks) {
  RenderOptions options;
  options.preview = preview;
  options.exactInks = exactInks;
  return RenderDocument(bundle, fs_, values, options, result, error);
}

HttpResponse WebApp::Home(Request& request) {
  const std::optional<WebSession>& session = request.session;
  if (request.segments.size() == 1 && session && session->userId >= 0) {
    std::vector<TemplateSummary> all;
    if (!store_->ListAllTemplates(&all)) return Plain(500, "cannot read the templates");
    std::vector<TemplateRow> rows;
    for (TemplateSummary& summary : all) {
      if (summary.data.userId != session->userId) continue;
      TemplateRow row;
      row.lastCommit = store_->LastCommitTime(summary.row);
      row.summary = std::move(summary);
      rows.push_back(std::move(row));
    }
    return Html(200, TemplatesHtml(session->email, session->csrf, rows));
  }
  if (session && session->userId < 0) {
    return Redirect("/templates/" + UrlSegment(session->templateId) + "/fill");
  }
  return SignInPage("", 200);
}

HttpResponse WebApp::SignInForm(Request&) { return SignInPage("", 200); }

HttpResponse WebApp::SignInPage(const std::string& message, int status) {
  std::string token = RandomHex(16);
  HttpResponse response = Html(status, SignInHtml(token, message));
  response.headers.emplace_back("Set-Cookie", Cookie(kSignInCookie, token, "Path=/signin"));
  return response;
}

HttpResponse WebApp::SignIn(Request& request) {
  const FormPart* email = FindPart(request.parts, "email");
  const FormPart* password = FindPart(request.parts, "password");
  std::string address = email ? email->content : "";
  SignInResult user;
  if (email && password) {
    user = accounts_->SignIn(email->content, password->content, request.head.clientAddress);
  }
  if (user.status == SignInResult::Status::kThrottled) {
    HttpResponse response = SignInPage(TooManyFailuresText(user.retryAfterSeconds) + ".", 429);
    response.headers.emplace_back("Retry-After", std::to_string(user.retryAfterSeconds));
    return response;
  }
  if (user.status == SignInResult::Status::kStoreFailure) {
    return SignInPage("The service cannot read its accounts; try again later.", 503);
  }
  if (!user.ok()) {
    // Each failure in a row for an address doubles the wait before the answer.
    int delay = sessions_.SignInFailed(address);
    HttpResponse response = SignInPage("Wrong e-mail or password.", 403);
    response.delayMs = delay;
    return response;
  }
  sessions_.SignInSucceeded(address);
  if (request.session) sessions_.Remove(request.session->id);
  WebSession session = sessions_.CreateAccount(user.userId, address);
  HttpResponse response = Redirect("/");
  response.headers.emplace_back("Set-Cookie", Cookie(kSessionCookie, session.id, "Path=/"));
  return response;
}

HttpResponse WebApp::SignOut(Request& request) {
  sessions_.Remove(request.session->id);
  images_.DropSession(request.session->id);
  HttpResponse response = Redirect("/signin");
  response.headers.emplace_back("Set-Cookie", Cookie(kSessionCookie, "", "Path=/; Max-Age=0"));
  return response;
}

HttpResponse WebApp::Asset(Request& request) {
  const std::string& name = request.segments[1];
  HttpResponse response = Plain(404, "not found");
  if (name == "fill.js" || name == "open.js") {
    response = HttpResponse::Text(200, name == "fill.js" ? kFillScript : kOpenScript,
                                  "text/javascript; charset=utf-8");
  } else if (name == "style.css") {
    response = HttpResponse::Text(200, kStyleSheet, "text/css; charset=utf-8");
  }
  response.headers.emplace_back("X-Content-Type-Options", "nosniff");
  return response;
}

HttpResponse WebApp::FillLink(Request& request) {
  const std::string& id = request.segments[1];
  const std::string& password = request.segments[2];
  int64_t row = 0;
  std::optional<TemplateData> found = store_->FindTemplate(id, &row);
  // An unknown template and a wrong password get the same answer.
  if (!found || Lower(password) != Lower(found->docPassword) || !found->isActive) {
    return Html(404, MessageHtml("Not found", "This fill link does not open any template."));
  }
  const std::optional<WebSession>& current = request.session;
  if (current && current->userId >= 0 && request.head.QueryValue("replace").value_or("") != "1") {
    // An operator opening a customer's link would lose their own session: ask first.
    return Html(200, FillLinkConfirmHtml(current->email,
                                         "/fill/" + UrlSegment(id) + "/" + UrlSegment(password) +
                                             "?replace=1"));
  }
  if (current) {
    sessions_.Remove(current->id);
    images_.DropSession(current->id);
  }
  WebSession session = sessions_.CreateFill(found->docId);
  HttpResponse response =
      Html(200, FillLinkHtml("/templates/" + UrlSegment(found->docId) + "/fill"));
  response.headers.emplace_back("Set-Cookie", Cookie(kSessionCookie, session.id, "Path=/"));
  return response;
}

HttpResponse WebApp::TemplatePage(Request& request) {
  const std::string& id = request.segments[1];
  TemplateBundle bundle;
  if (std::optional<HttpResponse> failed = LoadBundle(request.caller, id, &bundle)) {
    return failed->status == 404 ? NotFoundPage(id) : std::move(*failed);
  }
  std::vector<std::pair<double, double>> sizes;
  std::string error;
  if (!bundle.masterPdf.empty() && !PdfPageSizes(bundle.masterPdf, &sizes, &error)) sizes.clear();
  return Html(200, TemplateHtml(request.session->email, request.session->csrf, bundle, sizes));
}

HttpResponse WebApp::FillPage(Request& request) {
  const std::string& id = request.segments[1];
  TemplateBundle bundle;
  if (std::optional<HttpResponse> failed = LoadBundle(request.caller, id, &bundle)) {
    return failed->status == 404 ? NotFoundPage(id) : std::move(*failed);
  }
  std::vector<std::pair<double, double>> sizes;
  std::string error;
  if (!bundle.masterPdf.empty()) PdfPageSizes(bundle.masterPdf, &sizes, &error);
  return Html(200, FillHtml(request.session->email, request.session->csrf, bundle,
                            std::max<int>(1, static_cast<int>(sizes.size()))));
}

HttpResponse WebApp::PageImage(Request& request) { return OnRenderPool(&WebApp::PageImageNow, request); }

HttpResponse WebApp::PageImageNow(Request& request) {
  const std::string& file = request.segments[3];
  std::optional<int> page;
  if (file.size() > 4 && file.compare(file.size() - 4, 4, ".png") == 0) {
    page = PageNumberOf(std::string_view(file).substr(0, file.size() - 4));
  }
  if (!page) return Plain(404, "not found");
  int width = 800;
  if (std::optional<std::string_view> w = request.head.QueryValue("w")) {
    std::optional<int> given = PageNumberOf(*w);
    if (!given) return Plain(400, "w must be a width in pixels");
    width = *given;
  }
  TemplateBundle bundle;
  if (std::optional<HttpResponse> failed = LoadBundle(request.caller, request.segments[1], &bundle)) {
    return std::move(*failed);
  }
  if (bundle.masterPdf.empty()) return Plain(404, "the template has no master PDF");
  std::string error;
  std::string png;
  if (request.head.QueryValue("samples").value_or("") == "1") {
    // The page as a customer first sees it: every field with its sample.
    RenderResult result;
    if (!Render(bundle, FieldValues(), false, &result, &error)) return Plain(422, error);
    if (!PageImagePng(result.pdf, *page, width, &png, &error)) return Plain(404, error);
    return Png(std::move(png));
  }
  if (!PageImagePng(bundle.masterPdf, *page, width, &png, &error)) return Plain(404, error);
  return Png(std::move(png));
}

HttpResponse WebApp::KeepImage(Request& request) { return OnRenderPool(&WebApp::KeepImageNow, request); }

HttpResponse WebApp::KeepImageNow(Request& request) {
  TemplateBundle bundle;
  if (std::optional<HttpResponse> failed = LoadBundle(request.caller, request.segments[1], &bundle)) {
    return std::move(*failed);
  }
  const FormPart* file = nullptr;
  size_t index = 0;
  for (const FormPart& part : request.parts) {
    if (part.name == "_csrf") continue;
    const int number = part.name.rfind("field-", 0) == 0
                           ? PageNumberOf(std::string_view(part.name).substr(6)).value_or(0)
                           : 0;
    if (file != nullptr || !part.isFile || number < 1 ||
        static_cast<size_t>(number) > bundle.fields.size() ||
        !bundle.fields[static_cast<size_t>(number - 1)].IsImage()) {
      return Plain(400, "send one image file, as the form's image field names it");
    }
    file = &part;
    index = static_cast<size_t>(number - 1);
  }
  if (file == nullptr) return Plain(400, "send one image file, as the form's image field names it");
  const RenderField& field = bundle.fields[index];
  FieldValues checked;
  std::string error;
  HeldImage image;
  if (file->content.empty()) {
    return FieldRefusal(field, index + 1, "the file for field \"" + field.name + "\" is empty");
  }
  if (!AddFieldValue(bundle, field.name, "", file->content, true, &checked, &error) ||
      !PreviewCopy(file->content, WebImages::kPreviewSide, &image.preview, &error)) {
    return FieldRefusal(field, index + 1, error);
  }
  image.original = file->content;
  std::string token =
      images_.Keep(request.session->id, Lower(request.segments[1]), field.name, std::move(image));
  if (token.empty()) {
    return FieldRefusal(field, index + 1,
                        "the image for field \"" + field.name + "\" is too large to keep");
  }
  HttpResponse response = HttpResponse::Text(200, "{\"token\":\"" + token + "\"}\n",
                                             "application/json; charset=utf-8");
  PageHeaders(&response);
  return response;
}

HttpResponse WebApp::Preview(Request& request) { return BuildDocument(request, Answer::kPreview); }
HttpResponse WebApp::PageReport(Request& request) {
  return BuildDocument(request, Answer::kPageReport);
}
HttpResponse WebApp::Download(Request& request) { return BuildDocument(request, Answer::kDownload); }
HttpResponse WebApp::ApiDocument(Request& request) { return BuildDocument(request, Answer::kApiPdf); }
HttpResponse WebApp::ApiReport(Request& request) { return BuildDocument(request, Answer::kApiReport); }

HttpResponse WebApp::ApiStartMerge(Request& request) {
  TemplateBundle bundle;
  if (std::optional<HttpResponse> failed = LoadBundle(request.caller, request.segments[2], &bundle)) {
    return std::move(*failed);
  }
  return merges_.Start(request.caller.userId, std::move(bundle), request.head,
                       std::move(request.body));
}
HttpResponse WebApp::ApiMergeState(Request& request) {
  return merges_.State(request.caller.userId, request.segments[2]);
}
HttpResponse WebApp::ApiMergeFile(Request& request) {
  return merges_.File(request.caller.userId, request.segments[2]);
}

HttpResponse WebApp::BuildDocument(Request& request, Answer kind) {
  if (options_.renders == nullptr) return BuildDocumentNow(request, kind);
  return options_.renders->Run(
      [this, request, kind]() mutable { return BuildDocumentNow(request, kind); });
}

HttpResponse WebApp::OnRenderPool(Handler handler, Request& request) {
  if (options_.renders == nullptr) return (this->*handler)(request);
  return options_.renders->Run(
      [this, handler, request]() mutable { return (this->*handler)(request); });
}

HttpResponse WebApp::BuildDocumentNow(Request& request, Answer kind) {
  const bool fromPage = kind == Answer::kPreview || kind == Answer::kDownload ||
                        kind == Answer::kPageReport;
  const std::string& id = request.segments[0] == "api" ? request.segments[2] : request.segments[1];
  int page = 1;
  if (kind == Answer::kPreview) {
    if (std::optional<std::string_view> given = request.head.QueryValue("page")) {
      std::optional<int> number = PageNumberOf(*given);
      if (!number) return Plain(400, "page must be a page number, from 1");
      page = *number;
    }
  }
  TemplateBundle bundle;
  if (std::optional<HttpResponse> failed = LoadBundle(request.caller, id, &bundle)) {
    return std::move(*failed);
  }

  std::string error;
  FieldValues values;
  if (request.json) {
    if (!ParseFieldValues(request.body, bundle, nullptr, &values, &error)) return Plain(400, error);
  } else {
    if (const FormPart* all = FindPart(request.parts, "values")) {
      if (!all->isFile && bundle.Field("values") == nullptr &&
          !ParseFieldValues(all->content, bundle, nullptr, &values, &error)) {
        return Plain(400, error);
      }
    }
    // "No image" (or "empty"): the field is left empty, whatever else was sent for it.
    std::vector<bool> cleared(bundle.fields.size(), false);
    if (fromPage) {
      for (const FormPart& part : request.parts) {
        if (part.name.rfind("clear-", 0) != 0) continue;
        std::optional<int> number = PageNumberOf(std::string_view(part.name).substr(6));
        if (!number || static_cast<size_t>(*number) > bundle.fields.size()) {
          return Plain(400, "the form names a field the template lacks");
        }
        cleared[static_cast<size_t>(*number - 1)] = true;
        values[bundle.fields[static_cast<size_t>(*number - 1)].name] = FieldValue();
      }
    }
    for (const FormPart& part : request.parts) {
      if (part.name == "_csrf" || (part.name == "values" && bundle.Field("values") == nullptr)) {
        continue;
      }
      std::string name = part.name;
      int index = -1;
      // The page's form names its inputs by position, so any field name survives the trip.
      if (fromPage && (name.rfind("field-", 0) == 0 || name.rfind("clear-", 0) == 0)) {
        std::optional<int> number = PageNumberOf(std::string_view(name).substr(6));
        index = number ? *number - 1 : -1;
        if (index < 0 || static_cast<size_t>(index) >= bundle.fields.size()) {
          return Plain(400, "the form names a field the template lacks");
        }
        const RenderField& field = bundle.fields[static_cast<size_t>(index)];
        if (cleared[static_cast<size_t>(index)]) continue;
        name = field.name;
        // An untouched sample stays the template's default, line breaks and all.
        if (!part.isFile && field.hasDefault && !field.IsImage() &&
            OneLineBreak(part.content) == OneLineBreak(field.defaultValue)) {
          continue;
        }
      }
      // A photo sent before, named by its token: already checked when it was kept.
      if (fromPage && part.name.rfind("image-", 0) == 0) {
        std::optional<int> number = PageNumberOf(std::string_view(part.name).substr(6));
        if (!number || static_cast<size_t>(*number) > bundle.fields.size()) {
          return Plain(400, "the form names a field the template lacks");
        }
        const size_t at = static_cast<size_t>(*number - 1);
        const RenderField& field = bundle.fields[at];
        if (cleared[at] || part.content.empty()) continue;
        std::shared_ptr<const HeldImage> held =
            images_.Find(part.content, request.session->id, Lower(id), field.name);
        if (!held) {
          return FieldRefusal(field, at + 1,
                              "the photo for field \"" + field.name +
                                  "\" is no longer held by the service; choose it again");
        }
        values[field.name].image = kind == Answer::kPreview ? held->preview : held->original;
        continue;
      }
      // A file input left empty sends a nameless, empty file: the field keeps its default.
      if (part.isFile && part.fileName.empty() && part.content.empty()) continue;
      if (!AddFieldValue(bundle, name, part.isFile ? "" : part.content,
                         part.isFile ? part.content : "", part.isFile, &values, &error)) {
        if (index >= 0) {
          return FieldRefusal(bundle.fields[static_cast<size_t>(index)],
                              static_cast<size_t>(index) + 1, error);
        }
        return Plain(400, error);
      }
    }
  }

  // ?colour=cmyk: the PDF for print, every colour in CMYK, the fields' in their exact inks.
  bool cmyk = false;
  if (kind == Answer::kApiPdf) {
    const std::optional<std::string_view> colour = request.head.QueryValue("colour");
    if (colour && *colour != "cmyk" && *colour != "rgb") {
      return Plain(400, "colour must be cmyk or rgb");
    }
    cmyk = colour && *colour == "cmyk";
  }
  RenderResult result;
  if (!Render(bundle, values, kind == Answer::kPreview, &result, &error, cmyk)) {
    return Plain(422, error);
  }

  if (kind == Answer::kApiReport || kind == Answer::kPageReport) {
    return HttpResponse::Text(200, ReportJson(result) + "\n", "application/json; charset=utf-8");
  }
  std::string report = ReportJson(result, true);
  // A header line stays small; a larger report is what the report address answers.
  std::pair<std::string, std::string> reportHeader =
      report.size() <= kMaxReportHeaderBytes
          ? std::make_pair(std::string("X-Render-Report"), report)
          : std::make_pair(std::string("X-Render-Report-Omitted"),
                           std::string("larger than 16 KiB; POST the same values to ") +
                               (fromPage ? ".../report" : ".../documents/report"));
  if (kind == Answer::kPreview) {
    std::string png;
    if (!PageImagePng(result.pdf, page, 800, &png, &error)) return Plain(400, error);
    HttpResponse response = Png(std::move(png));
    response.headers.push_back(reportHeader);
    return response;
  }
  if (cmyk) {
    std::string converted;
    if (!ConvertPdfToCmyk(result.pdf, result.inks, &converted, &error)) return Plain(500, error);
    result.pdf = std::move(converted);
  }
  HttpResponse response = HttpResponse::Text(200, std::move(result.pdf), "application/pdf");
  response.headers.push_back(reportHeader);
  response.headers.emplace_back("Content-Disposition",
                                std::string(kind == Answer::kDownload ? "attachment" : "inline") +
                                    "; filename=\"" + DownloadName(bundle) + "\"");
  response.headers.emplace_back("Cache-Control", "no-store");
  return response;
}

}  // namespace refservice
