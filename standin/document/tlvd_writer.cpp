// Writing .tlvd documents: each object's unknown members, then its known
// members from the values in memory. Optional members are written when the
// document had them or when they differ from their defaults.
#include <cmath>

#include "standin/core/utf8.h"
#include "standin/document/document.h"

namespace standin {

using nlohmann::json;

namespace {

// Whole numbers are written without a fraction, as people write them.
json Num(double value) {
  if (std::floor(value) == value && std::fabs(value) < 9007199254740992.0)
    return json(static_cast<int64_t>(value));
  return json(value);
}

json RectJson(const PMRect& r) {
  return json::array({Num(r.left), Num(r.top), Num(r.right), Num(r.bottom)});
}

json MatrixJson(const PMMatrix& m) {
  return json::array({Num(m.A()), Num(m.B()), Num(m.C()), Num(m.D()), Num(m.Tx()), Num(m.Ty())});
}

bool IsIdentity(const PMMatrix& m) {
  return m.A() == 1 && m.B() == 0 && m.C() == 0 && m.D() == 1 && m.Tx() == 0 && m.Ty() == 0;
}

json CmykJson(const Color& color) {
  return json::array(
      {Num(color.cmyk[0]), Num(color.cmyk[1]), Num(color.cmyk[2]), Num(color.cmyk[3])});
}

json ColorObjectJson(const Color& color, json node) {
  node["model"] = color.kind == ColorInfo::kSpot ? "spot" : "process";
  if (!color.name.empty()) node["name"] = color.name;
  node["cmyk"] = CmykJson(color);
  return node;
}

json ColorUseJson(const ColorUse& use) {
  if (!use.swatch.empty()) return json(use.swatch);
  return ColorObjectJson(use.color, use.extras.is_object() ? use.extras : json::object());
}

const char* const kAlignNames[] = {"left", "center", "right", "justify"};
const char* const kJustificationNames[] = {"top", "center", "bottom", "justify"};

json RunJson(const TextRun& run) {
  json node = run.extras.is_object() ? run.extras : json::object();
  node["length"] = run.length;
  if (run.family) node["font"] = *run.family;
  if (run.style) node["style"] = *run.style;
  if (run.size) node["size"] = Num(*run.size);
  if (run.fill) node["color"] = ColorUseJson(*run.fill);
  if (run.tint) node["tint"] = Num(*run.tint);
  if (run.tracking) node["tracking"] = Num(*run.tracking);
  if (run.leading) node["leading"] = Num(*run.leading);
  if (run.underline) node["underline"] = *run.underline;
  if (run.align) node["align"] = kAlignNames[*run.align];
  if (run.hscale) node["hscale"] = Num(*run.hscale);
  if (run.vscale) node["vscale"] = Num(*run.vscale);
  return node;
}

json StoryJson(const Story& story) {
  json node = story.extras.is_object() ? story.extras : json::object();
  node["text"] = story.text.Utf8();
  if (!story.runs.empty() || node.contains("runs")) {
    json runs = json::array();
    for (const TextRun& run : story.runs) runs.push_back(RunJson(run));
    node["runs"] = std::move(runs);
  }
  return node;
}

class Writer {
 public:
  Writer(const Document& doc, const std::string& relocateTo)
      : doc_(doc), relocate_(!relocateTo.empty() && relocateTo != doc.Folder()) {}

  // A stored path as the written document must name it.
  std::string PathJson(const std::string& stored) const {
    return relocate_ ? doc_.ResolvePath(stored) : stored;
  }

  json ItemJson(const PageItem& item) const {
    json node = item.extras.is_object() ? item.extras : json::object();
    node["uid"] = item.uid;
    node["kind"] = ItemKindName(item.kind);
    node["bounds"] = RectJson(item.bounds);
    if (item.matrixInFile || !IsIdentity(item.matrix)) node["matrix"] = MatrixJson(item.matrix);
    if (item.labelInFile || !item.label.empty()) node["label"] = item.label.GetUTF8String();
    if (item.visibleInFile || !item.visible) node["visible"] = item.visible;
    if (item.opacity) node["opacity"] = Num(*item.opacity);
    if (item.stroke) {
      json stroke = item.stroke->extras.is_object() ? item.stroke->extras : json::object();
      stroke["weight"] = Num(item.stroke->weight);
      if (item.stroke->color) stroke["color"] = ColorUseJson(*item.stroke->color);
      node["stroke"] = std::move(stroke);
    }
    if (!item.image.empty()) node["image"] = PathJson(item.image);
    if (item.story && (item.story->inFile || !item.story->text.empty()))
      node["story"] = StoryJson(*item.story);
    if (item.verticalJustification)
      node["verticalJustification"] = kJustificationNames[*item.verticalJustification];
    if (item.kind == ItemKind::kGroup) {
      json children = json::array();
      for (const auto& child : item.children) children.push_back(ItemJson(*child));
      node["children"] = std::move(children);
    }
    return node;
  }

  json DocumentJson(const WideString& label, const json& extras) const {
    json root = extras.is_object() ? extras : json::object();
    root["format"] = "tlvd";
    root["label"] = label.GetUTF8String();
    if (!doc_.Swatches().empty() || root.contains("swatches")) {
      json swatches = json::array();
      for (const Swatch& swatch : doc_.Swatches())
        swatches.push_back(ColorObjectJson(
            swatch.color, swatch.extras.is_object() ? swatch.extras : json::object()));
      root["swatches"] = std::move(swatches);
    }
    if (!doc_.FontOverrides().empty()) {
      json fonts = json::array();
      for (const FontOverride& font : doc_.FontOverrides()) {
        json node = font.extras.is_object() ? font.extras : json::object();
        node["family"] = font.family;
        node["style"] = font.style;
        json files = json::array();
        for (const std::string& file : font.files) files.push_back(PathJson(file));
        node["files"] = std::move(files);
        fonts.push_back(std::move(node));
      }
      root["fonts"] = std::move(fonts);
    }
    json spreads = json::array();
    for (const auto& spread : doc_.Spreads()) {
      json sn = spread->extras.is_object() ? spread->extras : json::object();
      sn["uid"] = spread->uid;
      json pages = json::array();
      for (const auto& page : spread->pages) {
        json pn = page->extras.is_object() ? page->extras : json::object();
        pn["uid"] = page->uid;
        pn["bounds"] = RectJson(page->bounds);
        if (page->matrixInFile || !IsIdentity(page->matrix))
          pn["matrix"] = MatrixJson(page->matrix);
        json items = json::array();
        for (const auto& item : page->items) items.push_back(ItemJson(*item));
        pn["items"] = std::move(items);
        pages.push_back(std::move(pn));
      }
      sn["pages"] = std::move(pages);
      if (!spread->pasteboard.empty()) {
        json items = json::array();
        for (const auto& item : spread->pasteboard) items.push_back(ItemJson(*item));
        sn["pasteboard"] = std::move(items);
      }
      spreads.push_back(std::move(sn));
    }
    root["spreads"] = std::move(spreads);
    return root;
  }

 private:
  const Document& doc_;
  bool relocate_;
};

}  // namespace

json Document::ToJson(const std::string& relocateTo) const {
  return Writer(*this, relocateTo).DocumentJson(label_, extras_);
}

}  // namespace standin
