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
            "/pages/1.png?w=120\"></td>"
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

std::string FillHtml(const std::string& email, const std::string& csrf,
                     const TemplateBundle& bundle, int pageCount) {
  const std::string base = "/templates/" + UrlSegment(bundle.record.docId);
  std::string html = Head(TemplateTitle(bundle)) + TopBar(email, csrf) + "<h1>" +
                     HtmlEscape(TemplateTitle(bundle)) + "</h1>\n<div class=\"columns\">"
                     "<form id=\"fill\" method=\"post\" enctype=\"multipart/form-data\" action=\"" +
                     HtmlEscape(base) + "/document\" data-preview=\"" + HtmlEscape(base) +
                     "/preview\" data-csrf=\"" + HtmlEscape(csrf) + "\">"
                     "<input type=\"hidden\" name=\"_csrf\" value=\"" + HtmlEscape(csrf) + "\">\n";
  for (size_t i : FormFields(bundle)) {
    const RenderField& field = bundle.fields[i];
    const std::string name = "field-" + std::to_string(i);
    const std::string label = field.promptText.empty() ? field.name : field.promptText;
    html += "<label class=\"field\" data-field=\"" + HtmlEscape(field.name) + "\"><span>" +
            HtmlEscape(label) + "</span>";
    if (field.IsImage()) {
      html += "<input type=\"file\" accept=\"image/png,image/jpeg\" name=\"" + name + "\">";
    } else if (field.controlType == 1 || field.controlType == 2) {
      html += "<textarea name=\"" + name + "\" rows=\"4\">" + HtmlEscape(field.defaultValue) +
              "</textarea>";
    } else {
      html += "<input type=\"text\" name=\"" + name + "\" value=\"" +
              HtmlEscape(field.defaultValue) + "\">";
    }
    html += "</label>\n";
  }
  html += "<button type=\"submit\" id=\"download\">Download PDF</button></form>\n"
          "<div class=\"preview\">";
  if (pageCount > 1) {
    html += "<label>Page <select id=\"preview-page\">";
    for (int p = 1; p <= pageCount; ++p) {
      html += "<option value=\"" + std::to_string(p) + "\">" + std::to_string(p) + "</option>";
    }
    html += "</select></label>";
  }
  html += "<img id=\"preview\" alt=\"preview of the filled page\" src=\"" + HtmlEscape(base) +
          "/pages/1.png?w=800\"><p id=\"preview-status\" role=\"status\"></p></div></div>\n"
          "<script src=\"/assets/fill.js\"></script>\n";
  return html + kTail;
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

const char kFillScript[] = R"js((function () {
  'use strict';
  var form = document.getElementById('fill');
  if (!form) return;
  var image = document.getElementById('preview');
  var status = document.getElementById('preview-status');
  var page = document.getElementById('preview-page');
  var timer = null, sequence = 0, lastUrl = null;
  function refresh() {
    var mine = ++sequence;
    var address = form.dataset.preview + '?page=' + encodeURIComponent(page ? page.value : '1');
    status.textContent = 'Updating the preview...';
    fetch(address, {method: 'POST', body: new FormData(form), credentials: 'same-origin',
                    headers: {'X-CSRF-Token': form.dataset.csrf}})
      .then(function (answer) {
        if (!answer.ok) return answer.text().then(function (text) { throw new Error(text); });
        return answer.blob();
      })
      .then(function (blob) {
        if (mine !== sequence) return;
        var url = URL.createObjectURL(blob);
        image.src = url;
        if (lastUrl) URL.revokeObjectURL(lastUrl);
        lastUrl = url;
        image.dataset.version = String(mine);
        status.textContent = 'Preview up to date.';
      })
      .catch(function (failure) {
        if (mine === sequence) status.textContent = 'No preview: ' + failure.message;
      });
  }
  function later() { clearTimeout(timer); timer = setTimeout(refresh, 300); }
  form.addEventListener('input', later);
  form.addEventListener('change', later);
  if (page) page.addEventListener('change', refresh);
  refresh();
})();
)js";

const char kOpenScript[] =
    "(function () { var link = document.getElementById('open'); "
    "if (link) location.replace(link.href); })();\n";

const char kStyleSheet[] = R"css(body { font-family: sans-serif; margin: 0; color: #222; }
header { background: #234; color: #fff; padding: 8px 16px; display: flex; gap: 16px; align-items: center; }
header a { color: #fff; text-decoration: none; font-weight: bold; }
header .who { margin-left: auto; }
main { padding: 16px; }
form.inline { display: inline; }
label { display: block; margin: 8px 0; }
label span { display: block; font-size: 90%; color: #555; }
input[type=text], input[type=email], input[type=password], textarea { width: 100%; max-width: 28em; box-sizing: border-box; }
.error { color: #a00; }
table { border-collapse: collapse; }
td, th { border-bottom: 1px solid #ddd; padding: 4px 8px; text-align: left; vertical-align: top; }
.thumb { width: 120px; border: 1px solid #ccc; }
.id { font-size: 75%; color: #777; }
.columns { display: flex; gap: 24px; align-items: flex-start; flex-wrap: wrap; }
.pages { flex: 2; min-width: 320px; }
.fieldlist { flex: 1; }
.sheet { position: relative; border: 1px solid #999; display: inline-block; width: 100%; max-width: 800px; }
.sheet img { width: 100%; display: block; }
.sheet .field { position: absolute; border: 1px solid #d22; background: rgba(220, 40, 40, 0.08); box-sizing: border-box; overflow: hidden; }
.sheet .field span { font-size: 10px; background: rgba(255, 255, 255, 0.85); color: #a00; white-space: nowrap; }
#fill { flex: 1; min-width: 260px; }
.preview { flex: 2; min-width: 320px; }
.preview img { max-width: 100%; border: 1px solid #999; }
)css";

}  // namespace refservice
