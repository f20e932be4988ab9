#include "plugin/designer_actions.h"

#include "host/ILayout.h"
#include "host/Utils.h"
#include "plugin_base/osl_id.h"
#include "publish/dry_run.h"
#include "publish/lint.h"
#include "publish/preview_overlay.h"
#include "publish/tool_report_writer.h"
#include "service_client/connection_test.h"

namespace {

void RunCheck() {
  Utils<ILayoutUIUtils> layout;
  IDocument* document = layout ? layout->GetFrontDocument() : nullptr;
  if (!document) return;
  ToolReporter reporter("check");
  ReportLintFindings(LintDocument(document), reporter);
}

void RunConnectionTest() {
  ToolReporter reporter("connection");
  const ConnectionTestResult result = TestServiceConnection();
  ReportRecord record;
  record.Flag("ok", result.ok)
      .Text("problem", result.problem)
      .Text("server", result.server)
      .Text("user", result.user)
      .Integer("templates", result.templates)
      .Integer("status", result.status)
      .Integer("httpStatus", result.httpStatus)
      .Text("message", result.message);
  reporter.Add("connection", record, result.message);
}

}  // namespace

bool RunDesignerToolAction(ActionID action) {
  switch (action) {
    case kOslCheckActionID:
      RunCheck();
      return true;
    case kOslDryRunActionID:
      DryRunPublish();
      return true;
    case kOslPreviewActionID:
      ReportPreviewOverlay();
      return true;
    case kOslConnectionTestActionID:
      RunConnectionTest();
      return true;
    default:
      return false;
  }
}
