#include "model/tag_map.h"

#include <string_view>

#include "host/ILabel.h"
#include "host/InterfacePtr.h"

namespace {

// Appends `text` to `out`, dropping every occurrence of `sep` (also those
// that dropping creates), in one pass.
void AppendWithout(std::u16string& out, const std::u16string& text, const std::u16string& sep) {
  const size_t base = out.size();
  for (char16_t c : text) {
    out.push_back(c);
    if (out.size() - base >= sep.size() &&
        out.compare(out.size() - sep.size(), sep.size(), sep) == 0) {
      out.resize(out.size() - sep.size());
    }
  }
}

// Drops trailing characters of out[base..] while a suffix of it is a proper
// prefix of `sep` (they would join the separator written after it).
void TrimOverlap(std::u16string& out, size_t base, const std::u16string& sep) {
  bool changed = true;
  while (changed && out.size() > base) {
    changed = false;
    for (size_t k = std::min(sep.size() - 1, out.size() - base); k >= 1; --k) {
      if (out.compare(out.size() - k, k, sep, 0, k) == 0) {
        out.pop_back();
        changed = true;
        break;
      }
    }
  }
}

// Appends the value `text` for a map with separator `sep`.
void AppendValue(std::u16string& out, const std::u16string& text, const std::u16string& sep) {
  const size_t base = out.size();
  AppendWithout(out, text, sep);
  if (!sep.empty()) TrimOverlap(out, base, sep);
}

// Appends the key `text`; returns false (appending nothing) when nothing
// of it is left to write.
bool AppendKey(std::u16string& out, const std::u16string& text, const std::u16string& sep) {
  static const std::u16string kDelimiter = u":::";
  std::u16string key;
  AppendWithout(key, text, sep);
  std::u16string clean;
  AppendWithout(clean, key, kDelimiter);
  while (!clean.empty() && clean.back() == u':') clean.pop_back();
  if (clean.empty()) return false;
  out += clean;
  return true;
}

}  // namespace

TagMap ParseStringMap(const PMString& text, const PMString& separator) {
  TagMap map;
  const std::u16string& s = text.Text();
  const std::u16string& sep = separator.Text();
  if (sep.empty()) return map;
  static const std::u16string kDelimiter = u":::";
  size_t start = 0;
  while (true) {
    const size_t end = s.find(sep, start);
    if (end == std::u16string::npos) break;
    const std::u16string_view segment(s.data() + start, end - start);
    const size_t delim = segment.find(kDelimiter);
    if (delim != std::u16string_view::npos && delim > 0) {
      PMString key(std::u16string(segment.substr(0, delim)));
      PMString value(std::u16string(segment.substr(delim + kDelimiter.size())));
      map[key] = value;
    }
    start = end + sep.size();
  }
  return map;
}

PMString JoinStringMap(const TagMap& map, const PMString& separator) {
  const std::u16string& sep = separator.Text();
  std::u16string out;
  for (const auto& [key, value] : map) {
    if (!AppendKey(out, key.Text(), sep)) continue;
    out += u":::";
    AppendValue(out, value.Text(), sep);
    out += sep;
  }
  return PMString(out);
}

PMString CleanMapValue(const PMString& text, const PMString& separator) {
  std::u16string out;
  AppendValue(out, text.Text(), separator.Text());
  return PMString(out);
}

TagMap ReadStringMap(const UIDRef& ref) {
  InterfacePtr<ILabel> label(ref, IID_ILABEL);
  if (!label) return TagMap();
  const WideString& text = label->GetLabel();
  if (text.empty()) return TagMap();
  return ParseStringMap(PMString(text), PMString(tagkeys::kLabelSeparator));
}

void WriteStringMap(const UIDRef& ref, const TagMap& map) {
  InterfacePtr<ILabel> label(ref, IID_ILABEL);
  if (!label) return;
  label->SetLabel(JoinStringMap(map, PMString(tagkeys::kLabelSeparator)).AsWideString());
}

K2Vector<WideString> GetSelectionLabels(const IPMUnknown* selection) {
  K2Vector<WideString> labels;
  InterfacePtr<ILabelSuite> suite(selection, IID_ILABELSUITE);
  if (suite) suite->GetLabels(labels);
  return labels;
}

bool ReadSelectionStringMap(const IPMUnknown* selection, TagMap* map) {
  const K2Vector<WideString> labels = GetSelectionLabels(selection);
  if (labels.size() != 1) return false;
  *map = ParseStringMap(PMString(labels[0]), PMString(tagkeys::kLabelSeparator));
  return true;
}

bool WriteSelectionStringMap(const IPMUnknown* selection, const TagMap& map) {
  InterfacePtr<ILabelSuite> suite(selection, IID_ILABELSUITE);
  if (!suite) return false;
  suite->SetLabel(JoinStringMap(map, PMString(tagkeys::kLabelSeparator)).AsWideString());
  return true;
}
