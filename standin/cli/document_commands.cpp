// `osl items` and `osl script`: what the host shows of a document and how a
// script reaches plug-ins. `osl items` shows each field as the plug-in reads
// it (its name, control type and that type's display text).
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>
#include <string>

#include "host/InterfacePtr.h"
#include "host/Scripting.h"
#include "standin/app/host.h"
#include "standin/cli/cli_context.h"
#include "standin/cli/designer_commands.h"
#include "standin/cli/plugin_scripting.h"
#include "standin/core/terminal_text.h"
#include "standin/pdf/font_faces.h"
#include "standin/pdf/text_layout.h"
#include "standin/scripting/script_request.h"

namespace osl_cli {

namespace {

// "  field: NAME, control type CODE on a KIND frame (MEANING)" for a field,
// "" for other items.
std::string FieldSummary(const standin::PageItem& item, const ItemField& field) {
  if (field.name.empty()) return std::string();
  const std::string& meaning = field.controlTypeName;
  return "  field: " + field.name + ", control type " +
         (field.controlType.empty() ? "(none)" : field.controlType) + " on a " +
         standin::ItemKindName(item.kind) + " frame (" +
         (meaning.empty() ? std::string("no control type of this kind of frame") : meaning) + ")";
}

void PrintItem(standin::Host& host, const ScriptNames& names, standin::Document& doc,
               const standin::PageItem& item, int depth, standin::FontFaces& faces) {
  const PMRect box = PageBox(item);
  const std::string page = item.page ? std::to_string(item.page->number) : "-";
  std::printf("%*suid %-5u %-8s page %-3s [%.3f %.3f %.3f %.3f]", depth * 2 + 4, "", item.uid,
              standin::ItemKindName(item.kind), page.c_str(), box.left, box.top, box.right,
              box.bottom);
  const double angle = item.InnerToSpread().RotationAngle();
  if (std::fabs(angle) > 1e-8) std::printf(" rotated %.2f", angle);
  if (!item.visible) std::printf(" hidden");
  // Text that does not fit its frame is not printed: say so.
  if (item.kind == standin::ItemKind::kTextFrame && standin::LayOutStory(item, faces).overset)
    std::printf(" overset");
  const std::string label = item.label.GetUTF8String();
  // Labels are document text: shown escaped, like everything a document holds.
  const std::string shown = standin::EscapeForTerminal(
      (label.empty() ? "-" : label) + FieldSummary(item, ReadItemField(host, names, doc, item)));
  std::printf("  tag: %s\n", shown.c_str());
  for (const auto& child : item.children) PrintItem(host, names, doc, *child, depth + 1, faces);
}

int ListItems(CliContext& context, const std::string& path) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(path, &status);
  if (!doc) return status;
  const std::string docLabel = doc->Label().GetUTF8String();
  standin::FontFaces faces(context.host()->Fonts(), doc);
  ScriptNames names;
  FindScriptNames(context.host()->PlugIns(), &names);
  std::printf("document %s  tag: %s\n",
              standin::EscapeForTerminal(doc->Name().GetUTF8String()).c_str(),
              standin::EscapeForTerminal(docLabel.empty() ? "-" : docLabel).c_str());
  for (const auto& spread : doc->Spreads()) {
    std::printf("spread uid %u\n", spread->uid);
    for (const auto& page : spread->pages) {
      std::printf("  page %d uid %u  %.3f x %.3f pt\n", page->number, page->uid,
                  page->bounds.Width(), page->bounds.Height());
      for (const auto& item : page->items) PrintItem(*context.host(), names, *doc, *item, 0, faces);
    }
    if (!spread->pasteboard.empty()) std::printf("  pasteboard\n");
    for (const auto& item : spread->pasteboard)
      PrintItem(*context.host(), names, *doc, *item, 0, faces);
  }
  return context.FinishDocument(doc);
}

int RunScript(CliContext& context, const std::string& path, const std::string* callText) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(path, &status);
  if (!doc) return status;
  ScriptNames names;
  standin::Host& host = *context.host();
  if (!FindScriptNames(host.PlugIns(), &names)) {
    return context.UsageError("no plug-in offers scripting");
  }
  InterfacePtr<IScriptProvider> provider(&host.GetSession().PlugInBoss(names.providerBoss),
                                         IID_ISCRIPTPROVIDER);
  if (!provider) return context.UsageError("the scripting provider could not be created");
  IScript* script = standin::ScriptObjectOf(doc->DocumentBoss());
  ErrorCode result = kSuccess;
  if (callText) {
    standin::ScriptRequest request(standin::ScriptRequest::Kind::kMethod);
    ScriptData text;
    text.SetPMString(PMString(*callText, PMString::kDontTranslateDuringCall));
    request.SetParameter(names.parameter, text);
    result = provider->HandleMethod(names.method, &request, script);
  } else {
    standin::ScriptRequest request(standin::ScriptRequest::Kind::kPropertyGet);
    result = provider->AccessProperty(names.property, &request, script);
    if (result == kSuccess) {
      for (const auto& returned : request.ReturnData()) {
        PMString value;
        if (returned.element == names.property && returned.data.GetPMString(value) == kSuccess)
          std::printf("%s\n", value.GetUTF8String().c_str());
      }
    }
  }
  const int finish = context.FinishDocument(doc);
  if (result != kSuccess) {
    std::fprintf(stderr, "osl: the script request failed with code %d\n", result);
    return kExitErrorAlert;
  }
  return finish;
}

}  // namespace

PMRect PageBox(const standin::PageItem& item) {
  PMMatrix toPage = item.InnerToSpread();
  if (item.page) {
    PMMatrix pageInverse = item.page->matrix;
    pageInverse.Invert();
    toPage = toPage.Then(pageInverse);
  }
  const PMRect& b = item.bounds;
  PMRect box(std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
             std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest());
  for (const PMPoint& corner : {b.LeftTop(), b.RightTop(), b.LeftBottom(), b.RightBottom()}) {
    const PMPoint p = toPage.Transform(corner);
    box.left = std::min(box.left, p.x);
    box.top = std::min(box.top, p.y);
    box.right = std::max(box.right, p.x);
    box.bottom = std::max(box.bottom, p.y);
  }
  return box;
}

void AddDocumentCommands(CLI::App& app, CliContext& context, int* exitStatus) {
  // The parsed arguments live as long as the commands' callbacks.
  struct Arguments {
    std::string itemsPath, scriptPath, callText;
  };
  auto args = std::make_shared<Arguments>();

  auto* items = app.add_subcommand("items",
                                   "List spreads, pages and page items (uid, kind, "
                                   "page, bounds on the page, field tag)");
  items->add_option("DOC", args->itemsPath, "a .tlvd document")->required();
  auto* json = items->add_flag("--json", "one JSON document on stdout (schema 1)");
  items->callback([&context, exitStatus, args, json] {
    *exitStatus =
        *json ? RunItemsJson(context, args->itemsPath) : ListItems(context, args->itemsPath);
  });

  auto* script = app.add_subcommand("script",
                                    "Call the plug-in's scripting method or read its "
                                    "scripting property");
  script->add_option("DOC", args->scriptPath, "a .tlvd document")->required();
  auto* call = script->add_option("--call", args->callText, "call the method with this text");
  auto* get = script->add_flag("--get", "read the property");
  call->excludes(get);
  script->callback([&context, exitStatus, call, get, args] {
    if (!*call && !*get) {
      *exitStatus = context.UsageError("script: give --call TEXT or --get");
      return;
    }
    *exitStatus = RunScript(context, args->scriptPath, *call ? &args->callText : nullptr);
  });
}

}  // namespace osl_cli
