// Documents made in the tests: page items in the stand-in's .tlvd form.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace osltest {

// A field tag ("controlType:::C|||fieldName:::N|||..."), extra entries
// appended as given (already in "key:::value|||" form).
inline std::string FieldTag(const std::string& name, const std::string& controlType = "0",
                            const std::string& extra = "") {
  return "controlType:::" + controlType + "|||fieldName:::" + name + "|||" + extra;
}

// A text frame at (x, y) of w x h points with one run of `text`.
inline nlohmann::json TextFrame(unsigned uid, double x, double y, double w, double h,
                                const std::string& text, const std::string& label = "",
                                const std::string& font = "DejaVu Sans",
                                const std::string& style = "Book") {
  nlohmann::json run = {
      {"length", text.size()}, {"font", font},    {"style", style}, {"size", 10},
      {"color", "Black"},      {"tint", 100},     {"tracking", 0},  {"leading", 12},
      {"underline", false},    {"align", "left"}, {"hscale", 100},  {"vscale", 100}};
  nlohmann::json item = {{"uid", uid},
                         {"kind", "text"},
                         {"bounds", {0, 0, w, h}},
                         {"matrix", {1, 0, 0, 1, x, y}},
                         {"story", {{"text", text}, {"runs", nlohmann::json::array({run})}}}};
  if (!label.empty()) item["label"] = label;
  return item;
}

// A graphic frame at (x, y) of w x h points, with `image` placed when given.
inline nlohmann::json GraphicFrame(unsigned uid, double x, double y, double w, double h,
                                   const std::string& label = "", const std::string& image = "") {
  nlohmann::json item = {
      {"uid", uid}, {"kind", "graphic"}, {"bounds", {0, 0, w, h}}, {"matrix", {1, 0, 0, 1, x, y}}};
  if (!label.empty()) item["label"] = label;
  if (!image.empty()) item["image"] = image;
  return item;
}

// `items` as a list: a braced list of one item arrives as that item.
inline nlohmann::json ItemList(const nlohmann::json& items) {
  return items.is_array() ? items : nlohmann::json::array({items});
}

// A document of one page (`width` x `height`) holding `items`, with the
// document label `label`.
inline nlohmann::json OnePage(const std::string& label, const nlohmann::json& items,
                              double width = 300, double height = 200) {
  nlohmann::json page = {
      {"uid", 3u}, {"bounds", {0, 0, width, height}}, {"items", ItemList(items)}};
  nlohmann::json spread = {{"uid", 2u}, {"pages", nlohmann::json::array({page})}};
  return {{"format", "tlvd"},
          {"version", 1},
          {"label", label},
          {"swatches", nlohmann::json::array(
                           {{{"name", "Black"}, {"model", "process"}, {"cmyk", {0, 0, 0, 100}}}})},
          {"spreads", nlohmann::json::array({spread})}};
}

}  // namespace osltest
