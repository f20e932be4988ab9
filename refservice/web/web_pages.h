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
// The fill form. Each field's input is named "field-N" (N: the field's 1-based position in
// bundle.fields), an image field also has a "clear-N" box ("No image"); samples are marked as
// such, and what ties fields together (dependencies, stacking groups) is said beside them.
// `email` empty for a fill link's session.
std::string FillHtml(const std::string& email, const std::string& csrf,
                     const TemplateBundle& bundle, int pageCount);
// A page that only says `message` (escaped), with a link back to the start.
std::string MessageHtml(const std::string& title, const std::string& message);
// Asked of a signed-in account opening a fill link: go on (`replaceAddress`) and end the
// account's session here, or go back.
std::string FillLinkConfirmHtml(const std::string& email, const std::string& replaceAddress);
// The fill link's page: moves on to the form from this site, so the strict cookie goes along.
std::string FillLinkHtml(const std::string& formAddress);

// The control type's name ("textBox", ...).
std::string ControlTypeName(int controlType);

// The fill form's field order: fields that take a value, by page, then from the top down, then
// from the left; indexes into bundle.fields.
std::vector<size_t> FormFields(const TemplateBundle& bundle);

// What the form calls a field: its prompt text, or its name when it has none.
std::string FieldLabel(const RenderField& field);

}  // namespace refservice
