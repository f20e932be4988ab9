// The web side of osl-service: the pages people use (sign-in, the account's templates, one
// template's pages and fields, the fill form with its live preview and PDF download), the fill
// links for end customers, and the document API for programs:
//
//   GET  /                              the account's templates (the sign-in page when signed out)
//   GET  /signin, POST /signin          sign in with an account (e-mail and password)
//   POST /signout
//   GET  /fill/ID/PASSWORD              a fill link: opens only template ID's form
//   GET  /templates/ID                  master pages with every field's rectangle, the field list
//   GET  /templates/ID/pages/N.png      page N of the master PDF as an image (?w=WIDTH; with
//                                        ?samples=1 filled with the fields' samples)
//   GET  /templates/ID/fill             the form made from the fields, with a live preview
//   POST /templates/ID/preview?page=N   the filled page N as PNG (the form's fields); the report
//                                        in the X-Render-Report header
//   POST /templates/ID/images           a photo for one image field, kept for the session;
//                                        answers its token, which later posts send as image-N
//   POST /templates/ID/report           the report of the form's fields, as JSON
//   POST /templates/ID/document         the filled PDF as a download (the form's fields)
//   POST /api/templates/ID/documents    the filled PDF (JSON or multipart values); the report
//                                        in the X-Render-Report header; ?colour=cmyk: in CMYK
//   POST /api/templates/ID/documents/report   the report alone, as JSON
//   POST /api/templates/ID/merges       a merge job: records (CSV or JSON) into one PDF; its
//   GET  /api/merges/JOB[/file]          state, then its file (see merge_routes.h)
//
// Every address is one row of a route table that states its method, who may call it and which
// token it needs; the caller is identified and the token checked once, before the handler runs.
// Pages and form posts need a session cookie (HttpOnly, SameSite=Strict, Secure over TLS) and
// every post its session's CSRF token; the API takes HTTP Basic credentials of an account
// instead (or a session with its token in X-CSRF-Token). An account reaches only its own
// templates, a fill session only its one template; anything else is answered as not existing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "refservice/accounts/accounts.h"
#include "refservice/http/form_data.h"
#include "refservice/http/http_message.h"
#include "refservice/http/render_pool.h"
#include "refservice/render/document_renderer.h"
#include "refservice/render/template_bundle.h"
#include "refservice/storage/file_system.h"
#include "refservice/storage/store.h"
#include "refservice/web/merge_routes.h"
#include "refservice/web/web_images.h"
#include "refservice/web/web_routes.h"
#include "refservice/web/web_sessions.h"

namespace refservice {

struct WebOptions {
  std::string dataDir;                // for the uploaded font files
  uint64_t maxRequestBody = 64u << 20;  // form and API bodies, bytes
  bool secureCookies = false;           // served over TLS: cookies carry Secure
  RenderPool* renders = nullptr;        // where documents are built; null: on the calling thread
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
  // Who is asking: an account (its own templates), or a fill session (its one template).
  struct Caller {
    int userId = -1;
    std::string templateId;  // lower case; a fill session's template
  };
  // One request as a handler sees it, once the caller is known and the token checked.
  struct Request {
    HttpRequestHead head;
    std::vector<std::string> segments;
    std::optional<WebSession> session;
    Caller caller;
    std::string body;
    std::vector<FormPart> parts;  // a form body, parsed
    bool json = false;            // the body is a JSON object of values
  };
  using Handler = HttpResponse (WebApp::*)(Request&);
  struct Route {
    const char* method;  // "GET" (HEAD too) or "POST"
    const char* path;    // see PathMatches
    RouteCaller caller;
    RouteToken token;
    RouteBody body;
    bool page;  // an HTML page: a caller who is not signed in is sent to the sign-in page
    Handler handler;
  };
  class BodyExchange;
  static const std::vector<Route>& Routes();

  // Identifies the caller for `route`; an answer when the caller may not call it.
  std::optional<HttpResponse> Admit(const Route& route, Request* request);
  // Reads the body for `route` into `request` and checks its token; an answer when it fails.
  std::optional<HttpResponse> ReadBody(const Route& route, Request* request);
  // Template `id` for `caller`; an answer (404, 500) when it cannot be had.
  std::optional<HttpResponse> LoadBundle(const Caller& caller, const std::string& id,
                                         TemplateBundle* bundle);
  // Every render of the web side goes through here.
  bool Render(const TemplateBundle& bundle, const FieldValues& values, bool preview,
              RenderResult* result, std::string* error, bool exactInks = false);
  std::string Cookie(const std::string& name, const std::string& value,
                     const std::string& attributes) const;

  HttpResponse Home(Request& request);
  HttpResponse SignInForm(Request& request);
  HttpResponse SignIn(Request& request);
  HttpResponse SignOut(Request& request);
  HttpResponse Asset(Request& request);
  HttpResponse FillLink(Request& request);
  HttpResponse TemplatePage(Request& request);
  HttpResponse FillPage(Request& request);
  HttpResponse PageImage(Request& request);
  HttpResponse Preview(Request& request);
  HttpResponse PageReport(Request& request);
  HttpResponse KeepImage(Request& request);
  HttpResponse ApiStartMerge(Request& request);
  HttpResponse ApiMergeState(Request& request);
  HttpResponse ApiMergeFile(Request& request);
  HttpResponse Download(Request& request);
  HttpResponse ApiDocument(Request& request);
  HttpResponse ApiReport(Request& request);

  HttpResponse SignInPage(const std::string& message, int status);
  // What a render request asks for.
  enum class Answer { kApiPdf, kApiReport, kPreview, kPageReport, kDownload };
  // Documents, page images and kept photos are made on the render pool (reading the values and
  // decoding an image are part of the cost); a full pool answers 503 with Retry-After.
  HttpResponse BuildDocument(Request& request, Answer kind);
  HttpResponse BuildDocumentNow(Request& request, Answer kind);
  HttpResponse PageImageNow(Request& request);
  HttpResponse KeepImageNow(Request& request);
  // Runs `handler` with a copy of `request` on the render pool (on this thread without one).
  HttpResponse OnRenderPool(Handler handler, Request& request);

  WebOptions options_;
  Store* store_;
  FileSystem* fs_;
  Accounts* accounts_;
  WebSessions sessions_;
  WebImages images_;
  MergeRoutes merges_;  // its jobs end before the store and files they read
};

}  // namespace refservice
