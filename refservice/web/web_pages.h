// The HTML of the web pages, made on the server from stored data. Every stored or requested text
// is escaped (HtmlEscape); scripts and styles come from /assets/, so the pages work under a
// Content-Security-Policy that allows no inline script.
#pragma once

#include <string>
#include <vector>

#include "refservice/render/template_bundle.h"
#include "refservice/storage/store.h"

namespace refservice {

// One row of the template list.
struct TemplateRow {
  TemplateSummary summary;
  std::string lastCommit;  // "YYYY-MM-DD HH:MM:SS" UTC, or "" when never committed
};

// `csrf` goes into the hidden field of the form; `message` (may be empty) is shown above it.
std::string SignInHtml(const std::string& csrf, const std::string& message);
std::string TemplatesHtml(const std::string& email, const std::string& csrf,
                          const std::vector<TemplateRow>& rows);
// `pageSizes` holds width and height (points) of each master page.
std::string TemplateHtml(const std::string& email, const std::string& csrf,
                         const TemplateBundle& bundle,
                         const std::vector<std::pair<double, double>>& pageSizes);
// `email` empty for a fill link's session.
std::string FillHtml(const std::string& email, const std::string& csrf,
                     const TemplateBundle& bundle, int pageCount);
// A page that only says `message` (escaped), with a link back to the start.
std::string MessageHtml(const std::string& title, const std::string& message);
// The fill link's page: moves on to the form from this site, so the strict cookie goes along.
std::string FillLinkHtml(const std::string& formAddress);

// The control type's name ("textBox", ...).
std::string ControlTypeName(int controlType);

// The fill form's field order: fields that take a value, by page, then from the top down, then
// from the left; indexes into bundle.fields.
std::vector<size_t> FormFields(const TemplateBundle& bundle);

// /assets/fill.js, /assets/open.js and /assets/style.css.
extern const char kFillScript[];
extern const char kOpenScript[];
extern const char kStyleSheet[];

}  // namespace refservice
