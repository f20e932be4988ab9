#include "refservice/web/web_pages.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "refservice/web/html_text.h"

namespace refservice {
namespace {

std::string Head(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
         "<title>" + HtmlEscape(title) + " - osl-service</title>"
         "<link rel=\"stylesheet\" href=\"/assets/style.css\"></head><body>\n";
}

std::string TopBar(const std::string& email, const std::string& csrf) {
  std::string html = "<header><a class=\"home\" href=\"/\">osl-service</a>";
  if (!email.empty()) {
    html += "<span class=\"who\">" + HtmlEscape(email) + "</span>"
            "<form method=\"post\" action=\"/signout\" class=\"inline\">"
            "<input type=\"hidden\" name=\"_csrf\" value=\"" + HtmlEscape(csrf) + "\">"
            "<button type=\"submit\">Sign out</button></form>";
  }
  return html + "</header>\n<main>\n";
}

const char kTail[] = "</main></body></html>\n";

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string GroupText(const TemplateBundle& bundle, const RenderField& field) {
  if (field.logicGroupId == 0) return "";
  for (const RenderGroup& group : bundle.groups) {
    if (group.id == field.logicGroupId) {
      return group.name + (group.moveDown ? " (moveDown)" : " (moveUp)");
    }
  }
  return "unknown group " + std::to_string(field.logicGroupId);
}

std::string TemplateTitle(const TemplateBundle& bundle) {
  return bundle.record.name.value_or("(no name)");
}

}  // namespace

std::string ControlTypeName(int controlType) {
  static const char* const kNames[] = {"textBox",        "textArea",       "richText",
                                       "dropDown",       "stdImageUpload", "advImageUpload",
                                       "imagePicker",    "nonprint"};
  if (controlType < 0 || controlType > 7) return "type " + std::to_string(controlType);
  return kNames[controlType];
}

std::vector<size_t> FormFields(const TemplateBundle& bundle) {
  std::vector<size_t> order;
  for (size_t i = 0; i < bundle.fields.size(); ++i) {
    const RenderField& field = bundle.fields[i];
    if (field.controlType != 7 && !field.nonPrinting) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const RenderField& x = bundle.fields[a];
    const RenderField& y = bundle.fields[b];
    if (x.pageNumber != y.pageNumber) return x.pageNumber < y.pageNumber;
    if (x.y2 != y.y2) return x.y2 > y.y2;
    return x.x1 < y.x1;
  });
  return order;
}

std::string SignInHtml(const std::string& csrf, const std::string& message) {
  std::string html = Head("Sign in") + TopBar("", "") + "<h1>Sign in</h1>\n";
  if (!message.empty()) html += "<p class=\"error\" id=\"message\">" + HtmlEscape(message) + "</p>\n";
  html += "<form method=\"post\" action=\"/signin\" id=\"signin\">"
          "<input type=\"hidden\" name=\"_csrf\" value=\"" + HtmlEscape(csrf) + "\">"
          "<label>E-mail <input type=\"email\" name=\"email\" autocomplete=\"username\" required></label>"
          "<label>Password <input type=\"password\" name=\"password\" "
          "autocomplete=\"current-password\" required></label>"
          "<button type=\"submit\">Sign in</button></form>\n"
          "<p class=\"hint\">End customers open a template's form with its fill link.</p>\n";
  return html + kTail;
}

std::string TemplatesHtml(const std::string& email, const std::string& csrf,
                          const std::vector<TemplateRow>& rows) {
  std::string html = Head("Templates") + TopBar(email, csrf) + "<h1>Templates</h1>\n";
  if (rows.empty()) {
    return html + "<p>No templates yet: publish a document from the layout application.</p>" + kTail;
  }
  html += "<table class=\"templates\"><thead><tr><th></th><th>Name</th><th>Pages</th>"
          "<th>Fields</th><th>Groups</th><th>Last commit</th><th>Fill link</th></tr></thead><tbody>\n";
  for (const TemplateRow& row : rows) {
    const TemplateData& data = row.summary.data;
    const std::string id = HtmlEscape(data.docId);
    const std::string base = "/templates/" + UrlSegment(data.docId);
    html += "<tr><td><img class=\"thumb\" alt=\"page 1\" src=\"" + HtmlEscape(base) +
            "/pages/1.png?w=120&amp;samples=1\"></td>"
            "<td><a href=\"" + HtmlEscape(base) + "\">" + HtmlEscape(data.name.value_or("(no name)")) +
            "</a><div class=\"id\">" + id + "</div></td>"
            "<td>" + std::to_string(data.pageCount) + "</td>"
            "<td>" + std::to_string(row.summary.fieldCount) + "</td>"
            "<td>" + std::to_string(row.summary.groupCount) + "</td>"
            "<td>" + (row.lastCommit.empty() ? std::string("never") : HtmlEscape(row.lastCommit) + " UTC") +
            "</td><td><a href=\"" + HtmlEscape(base) + "/fill\">Fill in</a> &middot; "
            "<a class=\"filllink\" href=\"/fill/" + HtmlEscape(UrlSegment(data.docId)) + "/" +
            HtmlEscape(UrlSegment(data.docPassword)) + "\">fill link</a></td></tr>\n";
  }
  return html + "</tbody></table>\n" + kTail;
}

std::string TemplateHtml(const std::string& email, const std::string& csrf,
                         const TemplateBundle& bundle,
                         const std::vector<std::pair<double, double>>& pageSizes) {
  const std::string base = "/templates/" + UrlSegment(bundle.record.docId);
  std::string html = Head(TemplateTitle(bundle)) + TopBar(email, csrf) + "<h1>" +
                     HtmlEscape(TemplateTitle(bundle)) + "</h1>\n<p><a href=\"" +
                     HtmlEscape(base) + "/fill\">Fill in this template</a></p>\n"
                     "<div class=\"columns\"><div class=\"pages\">\n";
  for (size_t p = 0; p < pageSizes.size(); ++p) {
    const double width = pageSizes[p].first;
    const double height = pageSizes[p].second;
    html += "<figure class=\"page\"><div class=\"sheet\"><img alt=\"page " + std::to_string(p + 1) +
            "\" src=\"" + HtmlEscape(base) + "/pages/" + std::to_string(p + 1) + ".png?w=800\">";
    for (const RenderField& field : bundle.fields) {
      if (field.pageNumber != static_cast<int>(p + 1) || !field.hasRect || width <= 0 ||
          height <= 0) {
        continue;
      }
      html += "<div class=\"field\" style=\"left:" + Number(field.x1 / width * 100) +
              "%;top:" + Number((height - field.y2) / height * 100) +
              "%;width:" + Number(field.Width() / width * 100) +
              "%;height:" + Number(field.Height() / height * 100) + "%\"><span>" +
              HtmlEscape(field.name) + " &middot; " + ControlTypeName(field.controlType);
      std::string group = GroupText(bundle, field);
      if (!group.empty()) html += " &middot; " + HtmlEscape(group);
      html += "</span></div>";
    }
    html += "</div><figcaption>Page " + std::to_string(p + 1) + "</figcaption></figure>\n";
  }
  html += "</div><div class=\"fieldlist\"><h2>Fields</h2><table><thead><tr><th>Name</th>"
          "<th>Type</th><th>Page</th><th>Stacking group</th><th>Depends on</th></tr></thead><tbody>\n";
  for (const RenderField& field : bundle.fields) {
    html += "<tr><td class=\"name\">" + HtmlEscape(field.name) + "</td><td>" +
            ControlTypeName(field.controlType) + (field.barCode == 1 ? " (QR code)" : "") +
            "</td><td>" + std::to_string(field.pageNumber) + "</td><td>" +
            HtmlEscape(GroupText(bundle, field)) + "</td><td>" + HtmlEscape(field.dependsOn) +
            "</td></tr>\n";
  }
  return html + "</tbody></table></div></div>\n" + kTail;
}

namespace {

// Text for a form input: every line break as LF, and a leading line feed so that a text
// starting with one keeps it (HTML drops the first line feed of a textarea).
std::string TextAreaContent(const std::string& text) {
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lines.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      lines.push_back(text[i]);
    }
  }
  return "\n" + HtmlEscape(lines);
}

std::string Quote(const std::string& text) { return "\xE2\x80\x9C" + text + "\xE2\x80\x9D"; }

// What ties field `field` to others, in words: the field it depends on, the fields that depend
// on it, the stacking group it belongs to. Empty when nothing does.
std::string RuleText(const TemplateBundle& bundle, const std::vector<size_t>& shown,
                     const RenderField& field) {
  std::string text;
  if (!field.dependsOn.empty()) {
    const RenderField* on = bundle.Field(field.dependsOn);
    const std::string name = Quote(on != nullptr ? FieldLabel(*on) : field.dependsOn);
    text += "Printed only when " + name + " is filled in: emptying " + name +
            " leaves this out too. ";
  }
  std::string dependents;
  for (size_t i : shown) {
    const RenderField& other = bundle.fields[i];
    if (other.dependsOn == field.name && &other != &field) {
      dependents += (dependents.empty() ? "" : ", ") + Quote(FieldLabel(other));
    }
  }
  if (!dependents.empty()) text += "Emptying this also leaves out " + dependents + ". ";
  if (field.logicGroupId != 0) {
    for (const RenderGroup& group : bundle.groups) {
      if (group.id != field.logicGroupId) continue;
      text += "Part of the block " + Quote(group.name) + ": when a field of it is empty, the " +
              "others move " + (group.moveDown ? "down" : "up") + " to close the gap.";
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::string FieldLabel(const RenderField& field) {
  return field.promptText.empty() ? field.name : field.promptText;
}

std::string FillHtml(const std::string& email, const std::string& csrf,
                     const TemplateBundle& bundle, int pageCount) {
  const std::string base = "/templates/" + UrlSegment(bundle.record.docId);
  std::string html = Head(TemplateTitle(bundle)) + TopBar(email, csrf) + "<h1>" +
                     HtmlEscape(TemplateTitle(bundle)) + "</h1>\n<div class=\"fill-layout\">"
                     "<form id=\"fill\" method=\"post\" enctype=\"multipart/form-data\" action=\"" +
                     HtmlEscape(base) + "/document\" data-preview=\"" + HtmlEscape(base) +
                     "/preview\" data-report=\"" + HtmlEscape(base) + "/report\" data-images=\"" +
                     HtmlEscape(base) + "/images\" data-csrf=\"" +
                     HtmlEscape(csrf) + "\">"
                     "<input type=\"hidden\" name=\"_csrf\" value=\"" + HtmlEscape(csrf) + "\">\n"
                     "<p class=\"error\" id=\"form-error\" role=\"alert\" hidden></p>\n";
  const std::vector<size_t> shown = FormFields(bundle);
  bool anySample = false;
  for (size_t i : shown) anySample |= bundle.fields[i].hasDefault && !bundle.fields[i].defaultValue.empty();
  if (anySample) {
    html += "<p class=\"hint\" id=\"sample-note\">Fields marked <span class=\"sample-tag\">sample"
            "</span> hold the designer's sample: it prints as shown unless you change it or empty "
            "the field (for a picture: choose your own, or tick " + Quote("No image") + ").</p>\n";
  }
  for (size_t i : shown) {
    const RenderField& field = bundle.fields[i];
    const std::string n = std::to_string(i + 1);
    const std::string name = "field-" + n;
    const bool sample = field.hasDefault && !field.defaultValue.empty();
    const std::string rule = RuleText(bundle, shown, field);
    std::string describedBy = "error-" + n + " outcome-" + n;
    if (sample) describedBy += " sample-note";
    if (!rule.empty()) describedBy += " rule-" + n;
    html += "<div class=\"field\" data-field=\"" + HtmlEscape(field.name) + "\" data-page=\"" +
            std::to_string(field.pageNumber) + "\" data-label=\"" + HtmlEscape(FieldLabel(field)) +
            "\"><label for=\"in-" + n + "\">" + HtmlEscape(FieldLabel(field)) + "</label>";
    if (sample) {
      html += " <span class=\"sample-tag\" id=\"tag-" + n + "\" title=\"the designer's sample\">"
              "sample</span>";
    }
    const std::string common = " id=\"in-" + n + "\" name=\"" + name +
                               "\" aria-describedby=\"" + describedBy + "\"";
    if (field.IsImage()) {
      html += "<input type=\"file\" accept=\"image/png,image/jpeg\"" + common + ">"
              "<input type=\"hidden\" name=\"image-" + n + "\" value=\"\">"
              "<label class=\"choice\"><input type=\"checkbox\" name=\"clear-" + n +
              "\" value=\"1\"> No image</label>";
    } else {
      const bool lines = field.controlType == 1 || field.controlType == 2 ||
                         field.defaultValue.find_first_of("\r\n") != std::string::npos;
      if (lines) {
        html += "<textarea" + common + " rows=\"4\"" + (sample ? " class=\"sample\"" : "") + ">" +
                TextAreaContent(field.defaultValue) + "</textarea>";
      } else {
        html += "<input type=\"text\"" + common + (sample ? " class=\"sample\"" : "") +
                " value=\"" + HtmlEscape(field.defaultValue) + "\">";
      }
    }
    if (!rule.empty()) html += "<p class=\"rule\" id=\"rule-" + n + "\">" + HtmlEscape(rule) + "</p>";
    html += "<p class=\"error\" id=\"error-" + n + "\" hidden></p>"
            "<p class=\"outcome\" id=\"outcome-" + n + "\" hidden></p></div>\n";
  }
  html += "</form>\n<div class=\"preview\">";
  if (pageCount > 1) {
    html += "<label>Page <select id=\"preview-page\">";
    for (int p = 1; p <= pageCount; ++p) {
      html += "<option value=\"" + std::to_string(p) + "\">" + std::to_string(p) + "</option>";
    }
    html += "</select></label>";
  }
  html += "<img id=\"preview\" alt=\"preview of the filled page\" src=\"" + HtmlEscape(base) +
          "/pages/1.png?w=800\"><p id=\"preview-status\" role=\"status\"></p></div>\n"
          "<div class=\"actions\"><div id=\"confirm\" role=\"alertdialog\" "
          "aria-labelledby=\"confirm-text\" hidden><p id=\"confirm-text\"></p><ul "
          "id=\"confirm-list\"></ul><button type=\"button\" id=\"confirm-download\">Download "
          "anyway</button> <button type=\"button\" id=\"confirm-cancel\">Go back</button></div>"
          "<button type=\"submit\" form=\"fill\" id=\"download\">Download PDF</button></div>"
          "</div>\n<script src=\"/assets/fill.js\"></script>\n";
  return html + kTail;
}

std::string FillLinkConfirmHtml(const std::string& email, const std::string& replaceAddress) {
  return Head("Open a fill link") + TopBar("", "") +
         "<h1>Open this fill link?</h1><p id=\"message\">You are signed in as " +
         HtmlEscape(email) + ". Opening this fill link signs you out here: this browser then "
         "reaches only the link's form, as a customer would.</p><p><a id=\"open-anyway\" href=\"" +
         HtmlEscape(replaceAddress) + "\">Sign out and open the form</a> &middot; "
         "<a href=\"/\">Back to your templates</a></p>" + kTail;
}

std::string MessageHtml(const std::string& title, const std::string& message) {
  return Head(title) + TopBar("", "") + "<h1>" + HtmlEscape(title) + "</h1><p id=\"message\">" +
         HtmlEscape(message) + "</p><p><a href=\"/\">Start page</a></p>" + kTail;
}

std::string FillLinkHtml(const std::string& formAddress) {
  return Head("Opening the form") + TopBar("", "") +
         "<p><a id=\"open\" href=\"" + HtmlEscape(formAddress) +
         "\">Open the form</a></p><script src=\"/assets/open.js\"></script>" + kTail;
}

}  // namespace refservice
