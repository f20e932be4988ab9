// The web side of osl-service: the pages people use (sign-in, the account's templates, one
// template's pages and fields, the fill form with its live preview and PDF download), the fill
// links for end customers, and the document API for programs:
//
//   GET  /                              the account's templates (the sign-in page when signed out)
//   GET  /signin, POST /signin          sign in with an account (e-mail and password)
//   POST /signout
//   GET  /fill/ID/PASSWORD              a fill link: opens only template ID's form
//   GET  /templates/ID                  master pages with every field's rectangle, the field list
//   GET  /templates/ID/pages/N.png      page N of the master PDF as an image (?w=WIDTH)
//   GET  /templates/ID/fill             the form made from the fields, with a live preview
//   POST /templates/ID/preview?page=N   the filled page N as PNG (the form's fields)
//   POST /templates/ID/document         the filled PDF as a download (the form's fields)
//   POST /api/templates/ID/documents    the filled PDF (JSON or multipart values); the report
//                                        in the X-Render-Report header
//   POST /api/templates/ID/documents/report   the report alone, as JSON
//
// Pages and form posts need a session cookie (HttpOnly, SameSite=Strict) and every post its
// session's CSRF token; the API takes HTTP Basic credentials of an account instead (or a
// session with its token in X-CSRF-Token). An account reaches only its own templates, a fill
// session only its one template; anything else is answered as not existing.
#pragma once

#include <memory>
#include <string>

#include "refservice/accounts/accounts.h"
#include "refservice/http/http_message.h"
#include "refservice/http/render_pool.h"
#include "refservice/storage/file_system.h"
#include "refservice/storage/store.h"
#include "refservice/web/web_sessions.h"

namespace refservice {

struct WebOptions {
  std::string dataDir;                // for the uploaded font files
  uint64_t maxRequestBody = 64u << 20;  // form and API bodies, bytes
  RenderPool* renders = nullptr;  // where documents are built; null: on the calling thread
};

class WebApp {
 public:
  // `store`, `fs` and `accounts` must outlive the app.
  WebApp(WebOptions options, Store* store, FileSystem* fs, Accounts* accounts);

  // Whether `path` is one of the web side's addresses.
  static bool Handles(const std::string& path);

  // Like HttpHandler::Begin.
  std::unique_ptr<HttpExchange> Begin(const HttpRequestHead& head, HttpResponse* reply);

 private:
  struct Caller;
  class BodyExchange;

  std::optional<WebSession> SessionOf(const HttpRequestHead& head);
  HttpResponse SignInPage(const std::string& message, int status);
  HttpResponse SignIn(const HttpRequestHead& head, const std::string& body);
  HttpResponse FillLink(const std::string& id, const std::string& password);
  HttpResponse TemplatesPage(const WebSession& session);
  HttpResponse TemplatePage(const WebSession& session, const std::string& id);
  HttpResponse FillPage(const WebSession& session, const std::string& id);
  // Drawn on the render pool, as documents are.
  HttpResponse PageImage(const Caller& caller, const std::string& id, int page, int width);
  HttpResponse PageImageNow(const Caller& caller, const std::string& id, int page, int width);
  // Renders template `id` for `caller` from a request body; `kind` says what to answer.
  enum class Answer { kApiPdf, kApiReport, kPreview, kDownload };
  // Runs on the render pool (the values are read there too: decoding an image is part of the
  // cost); a full pool answers 503 with Retry-After.
  HttpResponse BuildDocument(const Caller& caller, const std::string& id, Answer kind,
                             const HttpRequestHead& head, const std::string& body, int page);
  HttpResponse BuildDocumentNow(const Caller& caller, const std::string& id, Answer kind,
                                const HttpRequestHead& head, const std::string& body, int page);

  WebOptions options_;
  Store* store_;
  FileSystem* fs_;
  Accounts* accounts_;
  WebSessions sessions_;
};

}  // namespace refservice
