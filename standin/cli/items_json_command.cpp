// `osl items DOC --json`: the document's spreads, pages and page items as
// one JSON document (the same facts `osl items` prints as text).
#include <algorithm>
#include <limits>

#include "standin/app/host.h"
#include "standin/cli/designer_commands.h"
#include "standin/pdf/font_faces.h"
#include "standin/pdf/text_layout.h"

namespace osl_cli {

namespace {

nlohmann::json ItemJson(const standin::PageItem& item, standin::FontFaces& faces) {
  const PMRect box = PageBox(item);
  nlohmann::json object = {{"uid", item.uid},
                           {"kind", standin::ItemKindName(item.kind)},
                           {"page", item.page ? nlohmann::json(item.page->number) : nullptr},
                           {"bounds", {box.left, box.top, box.right, box.bottom}},
                           {"rotation", item.InnerToSpread().RotationAngle()},
                           {"hidden", !item.visible},
                           {"label", item.label.GetUTF8String()}};
  if (item.kind == standin::ItemKind::kTextFrame)
    object["overset"] = standin::LayOutStory(item, faces).overset;
  if (!item.children.empty()) {
    nlohmann::json children = nlohmann::json::array();
    for (const auto& child : item.children) children.push_back(ItemJson(*child, faces));
    object["children"] = children;
  }
  return object;
}

}  // namespace

int RunItemsJson(CliContext& context, const std::string& path) {
  int status = kExitOk;
  standin::Document* doc = context.OpenDocument(path, &status);
  if (!doc) return status;
  standin::FontFaces faces(context.host()->Fonts(), doc);
  nlohmann::json spreads = nlohmann::json::array();
  for (const auto& spread : doc->Spreads()) {
    nlohmann::json pages = nlohmann::json::array();
    for (const auto& page : spread->pages) {
      nlohmann::json items = nlohmann::json::array();
      for (const auto& item : page->items) items.push_back(ItemJson(*item, faces));
      pages.push_back({{"number", page->number},
                       {"uid", page->uid},
                       {"width", page->bounds.Width()},
                       {"height", page->bounds.Height()},
                       {"items", items}});
    }
    nlohmann::json pasteboard = nlohmann::json::array();
    for (const auto& item : spread->pasteboard) pasteboard.push_back(ItemJson(*item, faces));
    spreads.push_back({{"uid", spread->uid}, {"pages", pages}, {"pasteboard", pasteboard}});
  }
  PrintJson({{"schema", kJsonSchema},
             {"command", "items"},
             {"document", path},
             {"name", doc->Name().GetUTF8String()},
             {"label", doc->Label().GetUTF8String()},
             {"spreads", spreads}});
  return context.FinishDocument(doc);
}

}  // namespace osl_cli
