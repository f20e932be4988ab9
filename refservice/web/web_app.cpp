#include "refservice/web/web_app.h"

#include <algorithm>
#include <cctype>
#include <functional>

#include "refservice/http/form_data.h"
#include "refservice/http/multipart_scanner.h"
#include "refservice/render/document_renderer.h"
#include "refservice/render/field_values.h"
#include "refservice/render/template_bundle.h"
#include "refservice/storage/file_util.h"
#include "refservice/web/html_text.h"
#include "refservice/web/web_pages.h"

namespace refservice {

// Who is asking: an account (its own templates), or a fill session (its one template).
struct WebApp::Caller {
  int userId = -1;
  std::string templateId;  // lower case; a fill session's template
  std::string csrf;        // the session's token; empty for HTTP Basic callers
};

// Collects a request body (at most `max` bytes), then answers it through `done`.
class WebApp::BodyExchange : public HttpExchange {
 public:
  BodyExchange(uint64_t max, std::function<HttpResponse(const std::string&)> done)
      : max_(max), done_(std::move(done)) {}
  std::optional<HttpResponse> OnBody(std::string_view data) override {
    if (body_.size() + data.size() > max_) {
      return HttpResponse::Text(413, "the request body is larger than " + std::to_string(max_) +
                                         " bytes\n");
    }
    body_.append(data);
    return std::nullopt;
  }
  HttpResponse Finish() override { return done_(body_); }

 private:
  uint64_t max_;
  std::function<HttpResponse(const std::string&)> done_;
  std::string body_;
};

namespace {

constexpr char kSessionCookie[] = "osl_session";
constexpr char kSignInCookie[] = "osl_signin";
constexpr size_t kMaxFormParts = 2000;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

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

std::string SessionCookie(const std::string& value) {
  return std::string(kSessionCookie) + "=" + value + "; Path=/; HttpOnly; SameSite=Strict";
}

// Splits "/a/b/c" into {"a", "b", "c"}.
std::vector<std::string> Segments(const std::string& path) {
  std::vector<std::string> parts;
  size_t at = 1;
  while (at <= path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    parts.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  return parts;
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

int IntOr(std::optional<std::string_view> text, int fallback) {
  if (!text || text->empty() || text->size() > 6) return fallback;
  int value = 0;
  for (char c : *text) {
    if (c < '0' || c > '9') return fallback;
    value = value * 10 + (c - '0');
  }
  return value;
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

}  // namespace

WebApp::WebApp(WebOptions options, Store* store, FileSystem* fs, Accounts* accounts)
    : options_(std::move(options)), store_(store), fs_(fs), accounts_(accounts) {}

bool WebApp::Handles(const std::string& path) {
  return path == "/" || path == "/signin" || path == "/signout" || path.rfind("/fill/", 0) == 0 ||
         path.rfind("/templates/", 0) == 0 || path.rfind("/api/", 0) == 0 ||
         path.rfind("/assets/", 0) == 0;
}

std::optional<WebSession> WebApp::SessionOf(const HttpRequestHead& head) {
  std::string cookies(head.Header("cookie").value_or(""));
  return sessions_.Find(CookieValue(cookies, kSessionCookie));
}

std::unique_ptr<HttpExchange> WebApp::Begin(const HttpRequestHead& head, HttpResponse* reply) {
  const std::string& path = head.path;
  const bool get = head.method == "GET" || head.method == "HEAD";
  const bool post = head.method == "POST";
  auto notAllowed = [&](const char* allow) {
    *reply = Plain(405, "method not allowed");
    reply->headers.emplace_back("Allow", allow);
    return nullptr;
  };

  if (path.rfind("/assets/", 0) == 0) {
    if (!get) return notAllowed("GET, HEAD");
    if (path == "/assets/fill.js" || path == "/assets/open.js") {
      *reply = HttpResponse::Text(200, path == "/assets/fill.js" ? kFillScript : kOpenScript,
                                  "text/javascript; charset=utf-8");
    } else if (path == "/assets/style.css") {
      *reply = HttpResponse::Text(200, kStyleSheet, "text/css; charset=utf-8");
    } else {
      *reply = Plain(404, "not found");
    }
    reply->headers.emplace_back("X-Content-Type-Options", "nosniff");
    return nullptr;
  }

  std::optional<WebSession> session = SessionOf(head);
  if (path == "/" || path == "/signin") {
    if (post && path == "/signin") {
      HttpRequestHead copy = head;
      return std::make_unique<BodyExchange>(64 * 1024, [this, copy](const std::string& body) {
        return SignIn(copy, body);
      });
    }
    if (!get) return notAllowed(path == "/" ? "GET, HEAD" : "GET, HEAD, POST");
    if (session && session->userId >= 0 && path == "/") {
      *reply = TemplatesPage(*session);
    } else if (session && session->userId < 0 && path == "/") {
      *reply = Redirect("/templates/" + UrlSegment(session->templateId) + "/fill");
    } else {
      *reply = SignInPage("", 200);
    }
    return nullptr;
  }
  if (path == "/signout") {
    if (!post) return notAllowed("POST");
    std::optional<WebSession> current = session;
    return std::make_unique<BodyExchange>(64 * 1024, [this, current](const std::string& body) {
      std::vector<FormPart> parts;
      std::string error;
      const FormPart* token = nullptr;
      if (ParseUrlEncodedForm(body, 16, &parts, &error)) token = FindPart(parts, "_csrf");
      if (!current || token == nullptr || token->content != current->csrf) {
        return Plain(403, "the form's CSRF token is missing or wrong; reload the page");
      }
      sessions_.Remove(current->id);
      HttpResponse response = Redirect("/signin");
      response.headers.emplace_back("Set-Cookie", std::string(kSessionCookie) +
                                                      "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
      return response;
    });
  }

  std::vector<std::string> parts = Segments(path);
  if (parts.size() == 3 && parts[0] == "fill") {
    if (!get) return notAllowed("GET, HEAD");
    *reply = FillLink(parts[1], parts[2]);
    return nullptr;
  }

  // The API: HTTP Basic credentials of an account, or a session with its token in a header.
  if (parts.size() >= 4 && parts[0] == "api" && parts[1] == "templates" && parts[3] == "documents" &&
      (parts.size() == 4 || (parts.size() == 5 && parts[4] == "report"))) {
    if (!post) return notAllowed("POST");
    Caller caller;
    std::string authorization(head.Header("authorization").value_or(""));
    if (authorization.size() > 6 && Lower(authorization.substr(0, 6)) == "basic ") {
      std::string decoded;
      size_t colon = std::string::npos;
      if (Base64Decode(authorization.substr(6), &decoded)) colon = decoded.find(':');
      SignInResult user;
      if (colon != std::string::npos) {
        user = accounts_->SignIn(decoded.substr(0, colon), decoded.substr(colon + 1),
                                 head.clientAddress);
      }
      if (!user.ok()) {
        *reply = SignInRefusal(user);
        return nullptr;
      }
      caller.userId = user.userId;
    } else if (session && head.Header("x-csrf-token").value_or("") == session->csrf) {
      caller.userId = session->userId;
      caller.templateId = session->templateId;
    } else {
      *reply = Plain(401, "credentials required: HTTP Basic with an account's e-mail and password");
      reply->headers.emplace_back("WWW-Authenticate", "Basic realm=\"osl-service\"");
      return nullptr;
    }
    Answer kind = parts.size() == 5 ? Answer::kApiReport : Answer::kApiPdf;
    HttpRequestHead copy = head;
    std::string id = parts[2];
    return std::make_unique<BodyExchange>(
        options_.maxRequestBody, [this, caller, id, kind, copy](const std::string& body) {
          return BuildDocument(caller, id, kind, copy, body, 1);
        });
  }

  if (parts.size() >= 2 && parts[0] == "templates") {
    const std::string id = parts[1];
    if (!session) {
      if (get && parts.size() == 2) {
        *reply = Redirect("/signin");
      } else {
        *reply = Plain(403, "sign in first");
      }
      return nullptr;
    }
    Caller caller{session->userId, session->templateId, session->csrf};
    if (parts.size() == 2) {
      if (!get) return notAllowed("GET, HEAD");
      *reply = session->userId >= 0
                   ? TemplatePage(*session, id)
                   : Html(404, MessageHtml("Not found", "This page is not open to a fill link."));
      return nullptr;
    }
    if (parts.size() == 3 && parts[2] == "fill") {
      if (!get) return notAllowed("GET, HEAD");
      *reply = FillPage(*session, id);
      return nullptr;
    }
    if (parts.size() == 4 && parts[2] == "pages" && parts[3].size() > 4 &&
        parts[3].compare(parts[3].size() - 4, 4, ".png") == 0) {
      if (!get) return notAllowed("GET, HEAD");
      int page = IntOr(std::string_view(parts[3]).substr(0, parts[3].size() - 4), 0);
      *reply = PageImage(caller, id, page, IntOr(head.QueryValue("w"), 800));
      return nullptr;
    }
    if (parts.size() == 3 && (parts[2] == "preview" || parts[2] == "document")) {
      if (!post) return notAllowed("POST");
      Answer kind = parts[2] == "preview" ? Answer::kPreview : Answer::kDownload;
      int page = IntOr(head.QueryValue("page"), 1);
      HttpRequestHead copy = head;
      return std::make_unique<BodyExchange>(
          options_.maxRequestBody, [this, caller, id, kind, copy, page](const std::string& body) {
            return BuildDocument(caller, id, kind, copy, body, page);
          });
    }
  }
  *reply = Plain(404, "not found");
  return nullptr;
}

HttpResponse WebApp::SignInPage(const std::string& message, int status) {
  std::string token = RandomHex(16);
  HttpResponse response = Html(status, SignInHtml(token, message));
  response.headers.emplace_back("Set-Cookie", std::string(kSignInCookie) + "=" + token +
                                                  "; Path=/signin; HttpOnly; SameSite=Strict");
  return response;
}

HttpResponse WebApp::SignIn(const HttpRequestHead& head, const std::string& body) {
  std::vector<FormPart> parts;
  std::string error;
  if (!ParseUrlEncodedForm(body, 16, &parts, &error)) return Plain(400, error);
  const FormPart* token = FindPart(parts, "_csrf");
  std::string expected = CookieValue(std::string(head.Header("cookie").value_or("")), kSignInCookie);
  if (token == nullptr || expected.empty() || token->content != expected) {
    return Plain(403, "the form's CSRF token is missing or wrong; reload the page");
  }
  const FormPart* email = FindPart(parts, "email");
  const FormPart* password = FindPart(parts, "password");
  std::string address = email ? email->content : "";
  SignInResult user;
  if (email && password) {
    user = accounts_->SignIn(email->content, password->content, head.clientAddress);
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
  WebSession session = sessions_.CreateAccount(user.userId, address);
  HttpResponse response = Redirect("/");
  response.headers.emplace_back("Set-Cookie", SessionCookie(session.id));
  return response;
}

HttpResponse WebApp::FillLink(const std::string& id, const std::string& password) {
  int64_t row = 0;
  std::optional<TemplateData> found = store_->FindTemplate(id, &row);
  // An unknown template and a wrong password get the same answer.
  if (!found || Lower(password) != Lower(found->docPassword) || !found->isActive) {
    return Html(404, MessageHtml("Not found", "This fill link does not open any template."));
  }
  WebSession session = sessions_.CreateFill(found->docId);
  HttpResponse response =
      Html(200, FillLinkHtml("/templates/" + UrlSegment(found->docId) + "/fill"));
  response.headers.emplace_back("Set-Cookie", SessionCookie(session.id));
  return response;
}

HttpResponse WebApp::TemplatesPage(const WebSession& session) {
  std::vector<TemplateSummary> all;
  if (!store_->ListAllTemplates(&all)) return Plain(500, "cannot read the templates");
  std::vector<TemplateRow> rows;
  for (TemplateSummary& summary : all) {
    if (summary.data.userId != session.userId) continue;
    TemplateRow row;
    row.lastCommit = store_->LastCommitTime(summary.row);
    row.summary = std::move(summary);
    rows.push_back(std::move(row));
  }
  return Html(200, TemplatesHtml(session.email, session.csrf, rows));
}

namespace {

HttpResponse NotFoundPage(const std::string& id) {
  return Html(404, MessageHtml("Not found", "Template " + id + " does not exist."));
}

}  // namespace

HttpResponse WebApp::TemplatePage(const WebSession& session, const std::string& id) {
  TemplateBundle bundle;
  std::string error;
  BundleStatus status = LoadTemplateBundle(store_, fs_, options_.dataDir, id, session.userId,
                                           &bundle, &error);
  if (status == BundleStatus::kNotFound) return NotFoundPage(id);
  if (status != BundleStatus::kOk) return Plain(500, error);
  std::vector<std::pair<double, double>> sizes;
  if (!bundle.masterPdf.empty() && !PdfPageSizes(bundle.masterPdf, &sizes, &error)) sizes.clear();
  return Html(200, TemplateHtml(session.email, session.csrf, bundle, sizes));
}

HttpResponse WebApp::FillPage(const WebSession& session, const std::string& id) {
  if (session.userId < 0 && Lower(id) != session.templateId) return NotFoundPage(id);
  TemplateBundle bundle;
  std::string error;
  BundleStatus status = LoadTemplateBundle(store_, fs_, options_.dataDir, id, session.userId,
                                           &bundle, &error);
  if (status == BundleStatus::kNotFound) return NotFoundPage(id);
  if (status != BundleStatus::kOk) return Plain(500, error);
  std::vector<std::pair<double, double>> sizes;
  if (!bundle.masterPdf.empty()) PdfPageSizes(bundle.masterPdf, &sizes, &error);
  return Html(200, FillHtml(session.email, session.csrf, bundle,
                            std::max<int>(1, static_cast<int>(sizes.size()))));
}

HttpResponse WebApp::PageImage(const Caller& caller, const std::string& id, int page, int width) {
  if (options_.renders == nullptr) return PageImageNow(caller, id, page, width);
  return options_.renders->Run(
      [this, caller, id, page, width] { return PageImageNow(caller, id, page, width); });
}

HttpResponse WebApp::PageImageNow(const Caller& caller, const std::string& id, int page,
                                  int width) {
  if (caller.userId < 0 && Lower(id) != caller.templateId) return Plain(404, "not found");
  TemplateBundle bundle;
  std::string error;
  BundleStatus status =
      LoadTemplateBundle(store_, fs_, options_.dataDir, id, caller.userId, &bundle, &error);
  if (status == BundleStatus::kNotFound) return Plain(404, error);
  if (status != BundleStatus::kOk) return Plain(500, error);
  if (bundle.masterPdf.empty()) return Plain(404, "the template has no master PDF");
  std::string png;
  if (!PageImagePng(bundle.masterPdf, page, width, &png, &error)) return Plain(404, error);
  HttpResponse response = HttpResponse::Text(200, std::move(png), "image/png");
  PageHeaders(&response);
  return response;
}

HttpResponse WebApp::BuildDocument(const Caller& caller, const std::string& id, Answer kind,
                                   const HttpRequestHead& head, const std::string& body,
                                   int page) {
  if (options_.renders == nullptr) return BuildDocumentNow(caller, id, kind, head, body, page);
  return options_.renders->Run([this, caller, id, kind, head, body, page] {
    return BuildDocumentNow(caller, id, kind, head, body, page);
  });
}

HttpResponse WebApp::BuildDocumentNow(const Caller& caller, const std::string& id, Answer kind,
                                      const HttpRequestHead& head, const std::string& body,
                                      int page) {
  const bool fromPage = kind == Answer::kPreview || kind == Answer::kDownload;
  if (caller.userId < 0 && Lower(id) != caller.templateId) {
    return Plain(404, "template " + id + " does not exist");
  }
  std::string contentType(head.Header("content-type").value_or(""));
  std::vector<FormPart> parts;
  std::string error;
  std::string boundary;
  bool json = Lower(contentType).rfind("application/json", 0) == 0;
  if (!json) {
    bool parsed = MultipartBoundary(contentType, &boundary)
                      ? ParseMultipartForm(body, boundary, kMaxFormParts, &parts, &error)
                  : Lower(contentType).rfind("application/x-www-form-urlencoded", 0) == 0
                      ? ParseUrlEncodedForm(body, kMaxFormParts, &parts, &error)
                      : (error = "send the values as application/json or multipart/form-data",
                         false);
    if (!parsed) return Plain(400, error);
  }
  if (fromPage) {
    // The form's token, in a field or (from the page's script) in a header.
    std::string token(head.Header("x-csrf-token").value_or(""));
    if (const FormPart* field = FindPart(parts, "_csrf")) token = field->content;
    if (caller.csrf.empty() || token != caller.csrf) {
      return Plain(403, "the form's CSRF token is missing or wrong; reload the page");
    }
  }

  TemplateBundle bundle;
  BundleStatus status =
      LoadTemplateBundle(store_, fs_, options_.dataDir, id, caller.userId, &bundle, &error);
  if (status == BundleStatus::kNotFound) return Plain(404, error);
  if (status != BundleStatus::kOk) return Plain(500, error);

  FieldValues values;
  if (json) {
    if (!ParseFieldValues(body, bundle, nullptr, &values, &error)) return Plain(400, error);
  } else {
    if (const FormPart* all = FindPart(parts, "values")) {
      if (!all->isFile && bundle.Field("values") == nullptr &&
          !ParseFieldValues(all->content, bundle, nullptr, &values, &error)) {
        return Plain(400, error);
      }
    }
    for (const FormPart& part : parts) {
      if (part.name == "_csrf" || (part.name == "values" && bundle.Field("values") == nullptr)) {
        continue;
      }
      std::string name = part.name;
      // The page's form names its inputs by position, so any field name survives the trip.
      if (fromPage && name.rfind("field-", 0) == 0) {
        int index = IntOr(std::string_view(name).substr(6), -1);
        if (index < 0 || static_cast<size_t>(index) >= bundle.fields.size()) {
          return Plain(400, "the form names a field the template lacks");
        }
        name = bundle.fields[static_cast<size_t>(index)].name;
      }
      // A file input left empty sends a nameless, empty file: the field keeps its default.
      if (part.isFile && part.fileName.empty() && part.content.empty()) continue;
      if (!AddFieldValue(bundle, name, part.isFile ? "" : part.content,
                         part.isFile ? part.content : "", part.isFile, &values, &error)) {
        return Plain(400, error);
      }
    }
  }

  RenderOptions options;
  options.preview = kind == Answer::kPreview;
  RenderResult result;
  if (!RenderDocument(bundle, fs_, values, options, &result, &error)) return Plain(422, error);

  if (kind == Answer::kApiReport) {
    return HttpResponse::Text(200, ReportJson(result) + "\n", "application/json; charset=utf-8");
  }
  if (kind == Answer::kPreview) {
    std::string png;
    if (!PageImagePng(result.pdf, page, 800, &png, &error)) return Plain(400, error);
    HttpResponse response = HttpResponse::Text(200, std::move(png), "image/png");
    PageHeaders(&response);
    return response;
  }
  HttpResponse response = HttpResponse::Text(200, std::move(result.pdf), "application/pdf");
  std::string report = ReportJson(result, true);
  // A header line stays small; a larger report is what the report address answers.
  if (report.size() <= 16 * 1024) {
    response.headers.emplace_back("X-Render-Report", report);
  } else {
    response.headers.emplace_back("X-Render-Report-Omitted",
                                  "larger than 16 KiB; POST the same values to .../documents/report");
  }
  response.headers.emplace_back("Content-Disposition",
                                std::string(kind == Answer::kDownload ? "attachment" : "inline") +
                                    "; filename=\"" + DownloadName(bundle) + "\"");
  response.headers.emplace_back("Cache-Control", "no-store");
  return response;
}

}  // namespace refservice
