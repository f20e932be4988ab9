// Reading .tlvd documents: every known member is checked (kind, range,
// finite numbers) and turned into the typed model; every unknown member is
// kept, once, in its object's `extras`.
#include <cmath>
#include <functional>
#include <set>

#include "host/ITextModel.h"
#include "standin/core/file_system.h"
#include "standin/core/utf8.h"
#include "standin/document/bounded_json.h"
#include "standin/document/document.h"
#include "standin/document/geometry.h"

namespace standin {

using nlohmann::json;

namespace {

// Largest magnitude of a coordinate or size in points; larger values cannot
// be shown and are refused.
constexpr double kMaxCoordinate = 1e7;

// The members of one object: known ones are read from it, and what is left
// becomes the object's extras.
class Members {
 public:
  Members(json& object, std::string where) : object_(object), where_(std::move(where)) {}

  const std::string& where() const { return where_; }
  void SetWhere(std::string where) { where_ = std::move(where); }
  // The member `key`, or null when absent; remembered as known.
  json* Find(const char* key) {
    known_.insert(key);
    auto it = object_.find(key);
    return it == object_.end() ? nullptr : &*it;
  }
  // The object without its known members (moved out of the JSON).
  json TakeExtras() {
    for (const auto& key : known_) object_.erase(key);
    json extras = json::object();
    for (auto it = object_.begin(); it != object_.end(); ++it) extras[it.key()] = std::move(*it);
    object_ = nullptr;
    return extras;
  }

 private:
  json& object_;
  std::string where_;
  std::set<std::string> known_;
};

bool Fail(std::string* error, const std::string& where, const std::string& what) {
  *error = where + ": " + what;
  return false;
}

std::nullptr_t FailNull(std::string* error, const std::string& where, const std::string& what) {
  Fail(error, where, what);
  return nullptr;
}

// A number as a person writes it: whole numbers without a fraction.
std::string NumberText(double value) {
  if (std::floor(value) == value && std::fabs(value) < 1e15)
    return std::to_string(static_cast<long long>(value));
  return json(value).dump();
}

bool IsFinite(const json& value) { return value.is_number() && std::isfinite(value.get<double>()); }

// A number in [lo, hi]; absent members leave *out alone.
bool ReadNumber(Members& m, const char* key, double lo, double hi, std::optional<double>* out,
                std::string* error) {
  json* v = m.Find(key);
  if (!v) return true;
  if (!IsFinite(*v))
    return Fail(error, m.where(), std::string("\"") + key + "\" must be a finite number");
  const double value = v->get<double>();
  if (value < lo || value > hi) {
    return Fail(error, m.where(),
                std::string("\"") + key + "\" " + NumberText(value) + " is out of range (" +
                    NumberText(lo) + " to " + NumberText(hi) + ")");
  }
  *out = value;
  return true;
}

bool ReadString(Members& m, const char* key, std::optional<std::string>* out, std::string* error,
                bool nonEmpty = false) {
  json* v = m.Find(key);
  if (!v) return true;
  if (!v->is_string())
    return Fail(error, m.where(), std::string("\"") + key + "\" must be a string");
  if (nonEmpty && v->get_ref<const std::string&>().empty())
    return Fail(error, m.where(), std::string("\"") + key + "\" must not be empty");
  *out = v->get<std::string>();
  return true;
}

bool ReadBool(Members& m, const char* key, std::optional<bool>* out, std::string* error) {
  json* v = m.Find(key);
  if (!v) return true;
  if (!v->is_boolean())
    return Fail(error, m.where(), std::string("\"") + key + "\" must be true or false");
  *out = v->get<bool>();
  return true;
}

// One of `names`; *out is its index.
bool ReadChoice(Members& m, const char* key, const std::vector<const char*>& names,
                std::optional<int32>* out, std::string* error) {
  json* v = m.Find(key);
  if (!v) return true;
  std::string expected;
  for (size_t i = 0; i < names.size(); ++i) {
    if (v->is_string() && *v == names[i]) {
      *out = static_cast<int32>(i);
      return true;
    }
    expected += (i ? (i + 1 == names.size() ? " or " : ", ") : "") + std::string(names[i]);
  }
  return Fail(error, m.where(),
              std::string("unknown \"") + key + "\" " + v->dump() + " (expected " + expected + ")");
}

bool ReadRect(Members& m, const char* key, PMRect* rect, std::string* error) {
  json* v = m.Find(key);
  if (!v) return Fail(error, m.where(), std::string("missing \"") + key + "\"");
  if (!v->is_array() || v->size() != 4)
    return Fail(error, m.where(),
                std::string("\"") + key + "\" must be [left, top, right, bottom]");
  double c[4];
  for (size_t i = 0; i < 4; ++i) {
    if (!IsFinite((*v)[i]))
      return Fail(error, m.where(), std::string("\"") + key + "\" must hold four finite numbers");
    c[i] = (*v)[i].get<double>();
    if (std::fabs(c[i]) > kMaxCoordinate)
      return Fail(error, m.where(), std::string("\"") + key + "\" lies beyond 1e7 points");
  }
  if (c[2] < c[0] || c[3] < c[1])
    return Fail(error, m.where(), std::string("\"") + key + "\" has right < left or bottom < top");
  *rect = PMRect(c[0], c[1], c[2], c[3]);
  return true;
}

bool ReadMatrix(Members& m, PMMatrix* matrix, bool* inFile, std::string* error) {
  json* v = m.Find("matrix");
  *inFile = v != nullptr;
  if (!v) {
    *matrix = PMMatrix();
    return true;
  }
  if (!v->is_array() || v->size() != 6)
    return Fail(error, m.where(), "\"matrix\" must be [a, b, c, d, tx, ty]");
  double e[6];
  for (size_t i = 0; i < 6; ++i) {
    if (!IsFinite((*v)[i]))
      return Fail(error, m.where(), "\"matrix\" must hold six finite numbers");
    e[i] = (*v)[i].get<double>();
  }
  *matrix = PMMatrix(e[0], e[1], e[2], e[3], e[4], e[5]);
  if (!IsUsableMatrix(*matrix)) return Fail(error, m.where(), "\"matrix\" cannot be inverted");
  return true;
}

// A whole number of at least 0 (written signed or unsigned).
bool IsCount(const json& value) {
  return value.is_number_unsigned() || (value.is_number_integer() && value.get<int64_t>() >= 0);
}

bool ReadUID(Members& m, UID* uid, std::string* error) {
  json* v = m.Find("uid");
  if (!v || !IsCount(*v)) return Fail(error, m.where(), "\"uid\" must be a positive integer");
  const auto value = v->get<uint64_t>();
  if (value < 2 || value > 0x7FFFFFFF) {
    return Fail(error, m.where(),
                "\"uid\" " + std::to_string(value) + " is out of range (2 to 2147483647)");
  }
  *uid = static_cast<UID>(value);
  return true;
}

// A string member kept whole (NUL characters included).
bool ReadText(Members& m, const char* key, std::string* out, bool* inFile, std::string* error) {
  json* v = m.Find(key);
  if (inFile) *inFile = v != nullptr;
  if (!v) return true;
  if (!v->is_string())
    return Fail(error, m.where(), std::string("\"") + key + "\" must be a string");
  *out = v->get<std::string>();
  return true;
}

bool ReadCmyk(const json& v, double cmyk[4], const std::string& where, std::string* error) {
  if (!v.is_array() || v.size() != 4)
    return Fail(error, where, "\"cmyk\" must be [cyan, magenta, yellow, black]");
  for (size_t i = 0; i < 4; ++i) {
    if (!IsFinite(v[i]) || v[i].get<double>() < 0 || v[i].get<double>() > 100)
      return Fail(error, where, "\"cmyk\" must hold four numbers from 0 to 100");
    cmyk[i] = v[i].get<double>();
  }
  return true;
}

// "model", "cmyk" and (for spot colours, required) "name" of a colour object.
bool ReadColorObject(Members& m, Color* color, bool nameRequired, std::string* error) {
  std::optional<int32> model;
  if (!ReadChoice(m, "model", {"process", "spot"}, &model, error)) return false;
  color->kind = model.value_or(0) == 1 ? ColorInfo::kSpot : ColorInfo::kProcess;
  std::optional<std::string> name;
  if (!ReadString(m, "name", &name, error)) return false;
  color->name = name.value_or("");
  if ((nameRequired || color->kind == ColorInfo::kSpot) && color->name.empty())
    return Fail(error, m.where(),
                nameRequired ? "a swatch needs a \"name\"" : "a spot colour needs a \"name\"");
  json* cmyk = m.Find("cmyk");
  if (!cmyk) return Fail(error, m.where(), "missing \"cmyk\"");
  return ReadCmyk(*cmyk, color->cmyk, m.where(), error);
}

}  // namespace

class TlvdReader {
 public:
  TlvdReader(Document& doc, std::string* error) : doc_(doc), error_(error) {}

  bool Read(json& root) {
    if (!root.is_object()) return Fail(error_, "document", "a document must be a JSON object");
    Members m(root, "document");
    json* format = m.Find("format");
    if (!format || *format != "tlvd") {
      *error_ = "missing \"format\": \"tlvd\"";
      return false;
    }
    std::string label;
    if (!ReadText(m, "label", &label, nullptr, error_)) return false;
    doc_.label_ = WideString(Utf8ToUtf16(label));
    if (!ReadSwatches(m) || !ReadFonts(m)) return false;
    json* spreads = m.Find("spreads");
    if (!spreads || !spreads->is_array()) {
      *error_ = "\"spreads\" must be an array";
      return false;
    }
    for (size_t s = 0; s < spreads->size(); ++s) {
      if (!ReadSpread((*spreads)[s], "spread " + std::to_string(s + 1))) return false;
    }
    doc_.extras_ = m.TakeExtras();
    doc_.nextUID_ = maxUID_ + 1;
    return true;
  }

 private:
  bool Claim(UID uid, const std::string& where) {
    if (!uids_.insert(uid).second)
      return Fail(error_, where, "uid " + std::to_string(uid) + " is used twice");
    maxUID_ = std::max(maxUID_, uid);
    return true;
  }

  bool ReadSwatches(Members& root) {
    json* list = root.Find("swatches");
    if (!list) return true;
    if (!list->is_array()) return Fail(error_, "document", "\"swatches\" must be an array");
    for (size_t i = 0; i < list->size(); ++i) {
      json& node = (*list)[i];
      const std::string where = "swatch " + std::to_string(i + 1);
      if (!node.is_object()) return Fail(error_, where, "must be an object");
      Members m(node, where);
      Swatch swatch;
      if (!ReadColorObject(m, &swatch.color, true, error_)) return false;
      for (const Swatch& other : doc_.swatches_) {
        if (other.color.name == swatch.color.name)
          return Fail(error_, where, "the name \"" + swatch.color.name + "\" is used twice");
      }
      swatch.extras = m.TakeExtras();
      doc_.swatches_.push_back(std::move(swatch));
    }
    return true;
  }

  bool ReadFonts(Members& root) {
    json* list = root.Find("fonts");
    if (!list) return true;
    if (!list->is_array()) return Fail(error_, "document", "\"fonts\" must be an array");
    for (size_t i = 0; i < list->size(); ++i) {
      json& node = (*list)[i];
      const std::string where = "font " + std::to_string(i + 1);
      if (!node.is_object()) return Fail(error_, where, "must be an object");
      Members m(node, where);
      std::optional<std::string> family, style;
      if (!ReadString(m, "family", &family, error_, true) ||
          !ReadString(m, "style", &style, error_, true))
        return false;
      if (!family || !style) return Fail(error_, where, "needs a \"family\" and a \"style\"");
      FontOverride font;
      font.family = *family;
      font.style = *style;
      if (doc_.FindFontOverride(font.family, font.style))
        return Fail(error_, where, font.family + " " + font.style + " is overridden twice");
      json* files = m.Find("files");
      if (!files || !files->is_array())
        return Fail(error_, where, "\"files\" must be an array of paths (empty: a protected font)");
      for (const json& file : *files) {
        if (!file.is_string() || file.get_ref<const std::string&>().empty() ||
            file.get_ref<const std::string&>().find('\0') != std::string::npos)
          return Fail(error_, where, "\"files\" must hold non-empty paths");
        font.files.push_back(file.get<std::string>());
      }
      font.extras = m.TakeExtras();
      doc_.fonts_.push_back(std::move(font));
    }
    return true;
  }

  bool ReadSpread(json& node, const std::string& where) {
    if (!node.is_object()) return Fail(error_, where, "must be an object");
    Members m(node, where);
    auto spread = std::make_unique<Spread>();
    if (!ReadUID(m, &spread->uid, error_) || !Claim(spread->uid, where)) return false;
    json* pages = m.Find("pages");
    if (!pages || !pages->is_array()) return Fail(error_, where, "\"pages\" must be an array");
    for (size_t p = 0; p < pages->size(); ++p) {
      auto page = ReadPage((*pages)[p], spread.get(), where + " page " + std::to_string(p + 1));
      if (!page) return false;
      spread->pages.push_back(std::move(page));
    }
    if (json* pasteboard = m.Find("pasteboard")) {
      if (!pasteboard->is_array()) return Fail(error_, where, "\"pasteboard\" must be an array");
      for (json& in : *pasteboard) {
        auto item =
            ReadItem(in, spread.get(), nullptr, nullptr, PMMatrix(), where + " pasteboard item");
        if (!item) return false;
        spread->pasteboard.push_back(std::move(item));
      }
    }
    spread->extras = m.TakeExtras();
    doc_.spreadsByUID_[spread->uid] = spread.get();
    doc_.spreads_.push_back(std::move(spread));
    return true;
  }

  std::unique_ptr<Page> ReadPage(json& node, Spread* spread, const std::string& where) {
    if (!node.is_object()) return FailNull(error_, where, "must be an object");
    Members m(node, where);
    auto page = std::make_unique<Page>();
    page->spread = spread;
    page->number = static_cast<int>(doc_.pageOrder_.size()) + 1;
    if (!ReadUID(m, &page->uid, error_) || !Claim(page->uid, where) ||
        !ReadRect(m, "bounds", &page->bounds, error_) ||
        !ReadMatrix(m, &page->matrix, &page->matrixInFile, error_))
      return nullptr;
    doc_.pages_[page->uid] = page.get();
    doc_.pageOrder_.push_back(page.get());
    if (json* items = m.Find("items")) {
      if (!items->is_array()) return FailNull(error_, where, "\"items\" must be an array");
      for (json& in : *items) {
        auto item = ReadItem(in, spread, page.get(), nullptr, PMMatrix(),
                             "page " + std::to_string(page->number) + " item");
        if (!item) return nullptr;
        page->items.push_back(std::move(item));
      }
    }
    page->extras = m.TakeExtras();
    return page;
  }

  // `parentToSpread` is the parent group's inner-to-spread matrix (the
  // identity for top-level items).
  std::unique_ptr<PageItem> ReadItem(json& node, Spread* spread, Page* page, PageItem* parent,
                                     const PMMatrix& parentToSpread, std::string where) {
    if (!node.is_object()) return FailNull(error_, where, "must be an object");
    auto item = std::make_unique<PageItem>();
    item->spread = spread;
    item->page = page;
    item->parent = parent;
    item->depth = parent ? parent->depth + 1 : 0;
    Members m(node, where);
    if (!ReadUID(m, &item->uid, error_)) return nullptr;
    where += " " + std::to_string(item->uid);
    m.SetWhere(where);
    if (!Claim(item->uid, where)) return nullptr;
    std::optional<int32> kind;
    if (!ReadChoice(m, "kind", {"text", "graphic", "group", "guide", "other"}, &kind, error_))
      return nullptr;
    if (!kind) return FailNull(error_, where, "missing \"kind\"");
    item->kind = static_cast<ItemKind>(*kind);
    if (!ReadRect(m, "bounds", &item->bounds, error_) ||
        !ReadMatrix(m, &item->matrix, &item->matrixInFile, error_))
      return nullptr;
    const PMMatrix toSpread = item->matrix.Then(parentToSpread);
    if (!IsUsableMatrix(toSpread) || !IsUsableBox(item->bounds, toSpread))
      return FailNull(error_, where,
                      "the item's matrix combined with its groups' cannot be shown (not finite or "
                      "not invertible)");
    std::string label;
    if (!ReadText(m, "label", &label, &item->labelInFile, error_)) return nullptr;
    item->label = WideString(Utf8ToUtf16(label));
    std::optional<bool> visible;
    if (!ReadBool(m, "visible", &visible, error_)) return nullptr;
    item->visibleInFile = visible.has_value();
    item->visible = visible.value_or(true);
    if (!ReadNumber(m, "opacity", 0, 100, &item->opacity, error_) || !ReadStroke(m, item.get()) ||
        !ReadImage(m, item.get()) || !ReadStory(m, item.get()))
      return nullptr;
    std::optional<int32> justification;
    if (!ReadChoice(m, "verticalJustification", {"top", "center", "bottom", "justify"},
                    &justification, error_))
      return nullptr;
    if (justification && item->kind != ItemKind::kTextFrame)
      return FailNull(error_, where, "only a text frame has a \"verticalJustification\"");
    item->verticalJustification = justification;
    doc_.items_[item->uid] = item.get();
    if (json* children = m.Find("children")) {
      if (item->kind != ItemKind::kGroup || !children->is_array())
        return FailNull(error_, where, "only a group has \"children\", as an array");
      if (item->depth + 1 > Document::kMaxGroupDepth && !children->empty())
        return FailNull(
            error_, where,
            "groups nested deeper than " + std::to_string(Document::kMaxGroupDepth) + " levels");
      for (json& cn : *children) {
        auto child = ReadItem(cn, spread, page, item.get(), toSpread,
                              page ? "page " + std::to_string(page->number) + " item"
                                   : std::string("pasteboard item"));
        if (!child) return nullptr;
        item->children.push_back(std::move(child));
      }
    }
    item->extras = m.TakeExtras();
    return item;
  }

  // A colour member: a swatch's name or an inline colour object.
  bool ReadColorUse(Members& m, const char* key, std::optional<ColorUse>* out) {
    json* v = m.Find(key);
    if (!v) return true;
    ColorUse use;
    if (v->is_string()) {
      use.swatch = v->get<std::string>();
      const Swatch* swatch = nullptr;
      for (const Swatch& s : doc_.swatches_) {
        if (s.color.name == use.swatch) swatch = &s;
      }
      if (!swatch)
        return Fail(error_, m.where(),
                    std::string("\"") + key + "\" names no swatch (\"" + use.swatch + "\")");
      use.color = swatch->color;
    } else if (v->is_object()) {
      Members cm(*v, m.where() + " \"" + key + "\"");
      if (!ReadColorObject(cm, &use.color, false, error_)) return false;
      use.extras = cm.TakeExtras();
    } else {
      return Fail(error_, m.where(),
                  std::string("\"") + key + "\" must be a swatch name or a colour object");
    }
    *out = std::move(use);
    return true;
  }

  bool ReadStroke(Members& m, PageItem* item) {
    json* v = m.Find("stroke");
    if (!v) return true;
    if (!v->is_object()) return Fail(error_, m.where(), "\"stroke\" must be an object");
    Members sm(*v, m.where() + " stroke");
    Stroke stroke;
    std::optional<double> weight;
    if (!ReadNumber(sm, "weight", 0, 1000, &weight, error_) ||
        !ReadColorUse(sm, "color", &stroke.color))
      return false;
    if (!weight) return Fail(error_, sm.where(), "missing \"weight\"");
    stroke.weight = *weight;
    stroke.extras = sm.TakeExtras();
    item->stroke = std::move(stroke);
    return true;
  }

  bool ReadImage(Members& m, PageItem* item) {
    json* v = m.Find("image");
    if (!v) return true;
    if (item->kind != ItemKind::kGraphicFrame)
      return Fail(error_, m.where(), "only a graphic frame holds an \"image\"");
    if (!v->is_string() || v->get_ref<const std::string&>().empty() ||
        v->get_ref<const std::string&>().find('\0') != std::string::npos)
      return Fail(error_, m.where(), "\"image\" must be a non-empty path");
    item->image = v->get<std::string>();
    return true;
  }

  bool ReadStory(Members& m, PageItem* item) {
    json* v = m.Find("story");
    if (item->kind != ItemKind::kTextFrame) {
      if (v) return Fail(error_, m.where(), "only a text frame has a \"story\"");
      return true;
    }
    item->story = std::make_unique<Story>();
    Story& story = *item->story;
    if (!v) return true;
    story.inFile = true;
    if (!v->is_object()) return Fail(error_, m.where(), "\"story\" must be an object");
    Members sm(*v, m.where() + " story");
    if (json* text = sm.Find("text")) {
      if (!text->is_string()) return Fail(error_, sm.where(), "\"text\" must be a string");
      if (!IsValidUtf8(text->get_ref<const std::string&>()))
        return Fail(error_, sm.where(), "\"text\" is not valid UTF-8");
      // The document's JSON is thrown away after reading: take the text
      // from it rather than copy it.
      story.text = StoryText(std::move(text->get_ref<std::string&>()));
    }
    if (story.text.size() > 0x7FFFFFF0u) return Fail(error_, sm.where(), "\"text\" is too long");
    const auto textLength = static_cast<int64_t>(story.text.size());
    if (json* runs = sm.Find("runs")) {
      if (!runs->is_array()) return Fail(error_, sm.where(), "\"runs\" must be an array");
      int64_t covered = 0;
      for (size_t r = 0; r < runs->size(); ++r) {
        TextRun run;
        run.start = static_cast<int32>(covered);
        if (!ReadRun((*runs)[r], &run, sm.where() + " run " + std::to_string(r + 1),
                     textLength + 1 - covered))
          return false;
        covered += run.length;
        story.runs.push_back(std::move(run));
      }
      if (covered < textLength) {
        return Fail(error_, sm.where(),
                    "the runs cover " + std::to_string(covered) + " characters but the text has " +
                        std::to_string(textLength));
      }
    }
    story.extras = sm.TakeExtras();
    return true;
  }

  // `room` is how many characters (the end-of-story character included)
  // are left for this run.
  bool ReadRun(json& node, TextRun* run, const std::string& where, int64_t room) {
    if (!node.is_object()) return Fail(error_, where, "must be an object");
    Members m(node, where);
    json* length = m.Find("length");
    if (!length || !IsCount(*length) || length->get<uint64_t>() == 0)
      return Fail(error_, where, "\"length\" must be a positive integer");
    if (length->get<uint64_t>() > static_cast<uint64_t>(room))
      return Fail(error_, where, "\"length\" reaches past the end of the text");
    run->length = static_cast<int32>(length->get<uint64_t>());
    if (!ReadString(m, "font", &run->family, error_, true) ||
        !ReadString(m, "style", &run->style, error_, true) ||
        !ReadNumber(m, "size", 0.1, 10000, &run->size, error_) ||
        !ReadColorUse(m, "color", &run->fill) ||
        !ReadNumber(m, "tracking", -10, 100, &run->tracking, error_) ||
        !ReadNumber(m, "leading", -1, 10000, &run->leading, error_) ||
        !ReadBool(m, "underline", &run->underline, error_) ||
        !ReadChoice(m, "align", {"left", "center", "right", "justify"}, &run->align, error_) ||
        !ReadNumber(m, "hscale", 1, 1000, &run->hscale, error_) ||
        !ReadNumber(m, "vscale", 1, 1000, &run->vscale, error_))
      return false;
    std::optional<double> tint;
    if (!ReadNumber(m, "tint", -1, 100, &tint, error_)) return false;
    if (tint && *tint < 0 && *tint != -1)
      return Fail(error_, where, "\"tint\" must be -1 (none) or from 0 to 100");
    run->tint = tint;
    run->extras = m.TakeExtras();
    return true;
  }

  Document& doc_;
  std::string* error_;
  std::set<UID> uids_;
  UID maxUID_ = Document::kDocumentUID;
};

std::unique_ptr<Document> Document::Load(const std::string& path, FileSystem& files,
                                         std::string* error) {
  std::string text;
  if (!files.ReadFile(path, &text, error, kMaxDocumentBytes)) return nullptr;
  json parsed;
  if (!ParseBoundedJson(text, kMaxJsonDepth, &parsed, error)) {
    *error = path + ": not a .tlvd document: " + *error;
    return nullptr;
  }
  text = std::string();
  auto doc = FromJson(std::move(parsed), path, error);
  if (!doc) *error = path + ": " + *error;
  return doc;
}

std::unique_ptr<Document> Document::FromJson(const json& json, const std::string& path,
                                             std::string* error) {
  if (JsonDeeperThan(json, kMaxJsonDepth)) {
    *error = "JSON nested deeper than " + std::to_string(kMaxJsonDepth) + " levels";
    return nullptr;
  }
  nlohmann::json copy = json;
  return FromJson(std::move(copy), path, error);
}

std::unique_ptr<Document> Document::FromJson(json&& json, const std::string& path,
                                             std::string* error) {
  if (JsonDeeperThan(json, kMaxJsonDepth)) {
    *error = "JSON nested deeper than " + std::to_string(kMaxJsonDepth) + " levels";
    return nullptr;
  }
  std::unique_ptr<Document> doc(new Document());
  doc->SetPath(path);
  nlohmann::json root = std::move(json);
  TlvdReader reader(*doc, error);
  if (!reader.Read(root)) return nullptr;
  doc->BuildBosses();
  return doc;
}

}  // namespace standin
