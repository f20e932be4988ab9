// `osl check` (the lint) and `osl preview`: the plug-in's check and preview
// actions run on the document; the command shows the findings they report
// and draws the outlines they ask for. Neither changes the document: it is
// never saved back.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "standin/app/host.h"
#include "standin/app/page_preview.h"
#include "standin/cli/designer_commands.h"
#include "standin/core/terminal_text.h"

namespace osl_cli {

namespace {

// Runs the plug-in's action `action` on the open document and checks that
// it reported as `tool`. False after printing why.
bool RunTool(CliContext& context, const char* action, const char* tool) {
  standin::Host& host = *context.host();
  host.Reports().Begin("");
  std::string error;
  if (host.GetMenu().Run(action, &error) != standin::Menu::Outcome::kRan) {
    std::cerr << "osl: " << error << std::endl;
    return false;
  }
  if (host.Reports().Tool() != tool) {
    std::cerr << "osl: the plug-in reported no " << tool << " (is it too old for this command?)"
              << std::endl;
    return false;
  }
  return true;
}

struct Counts {
  int errors = 0;
  int warnings = 0;
};

Counts CountFindings(const standin::ToolReports& reports) {
  Counts counts;
  for (const auto& record : reports.Records()) {
    if (record.kind != "finding") continue;
    (record.Get("severity") == "error" ? counts.errors : counts.warnings)++;
  }
  return counts;
}

void PrintFindingLines(const standin::ToolReports& reports) {
  for (const auto& record : reports.Records()) {
    if (record.kind == "finding") {
      std::printf("%s\n", standin::EscapeForTerminal(record.line).c_str());
    }
  }
}

struct CheckOptions {
  std::string path;
  bool strict = false;
  bool json = false;
};

int RunCheck(CliContext& context, const CheckOptions& options) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(options.path, &status);
  if (!doc) return status;
  if (!RunTool(context, kCheckAction, "check")) return kExitErrorAlert;
  const standin::ToolReports& reports = context.host()->Reports();
  const Counts counts = CountFindings(reports);
  status = counts.errors > 0 || (options.strict && counts.warnings > 0) ? kExitErrorAlert : kExitOk;
  if (options.json) {
    PrintJson({{"schema", kJsonSchema},
               {"command", "check"},
               {"document", options.path},
               {"strict", options.strict},
               {"findings", ReportRecordsJson(reports, "finding")},
               {"errors", counts.errors},
               {"warnings", counts.warnings},
               {"exit", status}});
    return status;
  }
  PrintFindingLines(reports);
  if (counts.errors == 0 && counts.warnings == 0) {
    std::printf("no findings: the document is ready to publish\n");
  } else {
    std::printf("%d error%s, %d warning%s%s\n", counts.errors, counts.errors == 1 ? "" : "s",
                counts.warnings, counts.warnings == 1 ? "" : "s",
                counts.errors > 0 ? "" : (options.strict ? " (--strict: warnings fail)" : ""));
  }
  return status;
}

struct PreviewOptions {
  std::string path, out;
  int page = 1;
  double dpi = 96;
};

int RunPreview(CliContext& context, const PreviewOptions& options) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(options.path, &status);
  if (!doc) return status;
  if (!RunTool(context, kPreviewAction, "preview")) return kExitErrorAlert;
  standin::Host& host = *context.host();
  const standin::ToolReports& reports = host.Reports();
  std::string error, warnings;
  if (!standin::WritePagePreview(*doc, options.page, options.dpi, reports.Shapes(), host.Fonts(),
                                 host.Files().Get(), options.out, &error, &warnings)) {
    return context.UsageError("preview: " + error);
  }
  size_t start = 0;
  while (start < warnings.size()) {
    size_t end = warnings.find('\n', start);
    if (end == std::string::npos) end = warnings.size();
    if (end > start) std::cerr << "osl: " << warnings.substr(start, end - start) << std::endl;
    start = end + 1;
  }
  int fields = 0, markers = 0;
  for (const auto& shape : reports.Shapes()) {
    if (shape.pageNumber != options.page) continue;
    (shape.style == ToolOutline::kMarker ? markers : fields)++;
  }
  int width = 0, height = 0;
  const standin::Page& page = *doc->Pages()[static_cast<size_t>(options.page) - 1];
  standin::PreviewPixelSize(page.bounds.Width(), page.bounds.Height(), options.dpi, &width,
                            &height);
  std::printf("page %d of %s: %d x %d pixels, %d field%s outlined, %d item%s marked -> %s\n",
              options.page, standin::EscapeForTerminal(options.path).c_str(), width, height,
              fields, fields == 1 ? "" : "s", markers, markers == 1 ? "" : "s",
              standin::EscapeForTerminal(options.out).c_str());
  PrintFindingLines(reports);
  return context.FinishStatus();
}

}  // namespace

void AddDesignerCommands(CLI::App& app, CliContext& context, int* exitStatus) {
  auto check = std::make_shared<CheckOptions>();
  auto* checkCommand = app.add_subcommand(
      "check", "Lint the document: what to fix before publishing (nothing is published)");
  checkCommand->add_option("DOC", check->path, "a .tlvd document")->required();
  checkCommand->add_flag("--strict", check->strict, "warnings fail the check too (exit 1)");
  checkCommand->add_flag("--json", check->json, "one JSON document on stdout (schema 1)");
  checkCommand->callback(
      [&context, exitStatus, check] { *exitStatus = RunCheck(context, *check); });

  auto preview = std::make_shared<PreviewOptions>();
  auto* previewCommand = app.add_subcommand(
      "preview", "Draw a page with every field outlined and labelled, as a PNG picture");
  previewCommand->add_option("DOC", preview->path, "a .tlvd document")->required();
  previewCommand->add_option("OUT", preview->out, "the PNG file to write")->required();
  previewCommand->add_option("--page", preview->page, "the page (1-based; default 1)")
      ->check(CLI::Range(1, 1 << 20));
  previewCommand
      ->add_option("--dpi", preview->dpi, "resolution in dots per inch (default 96)")
      ->check(CLI::Range(standin::kMinPreviewDpi, standin::kMaxPreviewDpi));
  previewCommand->callback(
      [&context, exitStatus, preview] { *exitStatus = RunPreview(context, *preview); });
}

}  // namespace osl_cli
