#include "ui/stored_text.h"

#include <string>

#include "host/CAlert.h"
#include "model/tag_map.h"

namespace {

// Replaces the first "^N" in `text` with `value`.
void Fill(std::string* text, const char* marker, const std::string& value) {
  const size_t at = text->find(marker);
  if (at != std::string::npos) text->replace(at, std::char_traits<char>::length(marker), value);
}

std::string Quoted(const PMString& text) { return "\"" + text.GetUTF8String() + "\""; }

}  // namespace

PMString StoredLabelValue(const PMString& typed) {
  PMString stored = CleanMapValue(typed, PMString(tagkeys::kLabelSeparator));
  stored.SetTranslatable(false);
  return stored;
}

std::vector<PMString> RemovedRuns(const PMString& typed, const PMString& stored) {
  const std::u16string& from = typed.Text();
  const std::u16string& kept = stored.Text();
  std::vector<PMString> runs;
  std::u16string run;
  size_t k = 0;
  for (char16_t c : from) {
    if (k < kept.size() && kept[k] == c) {
      ++k;
      if (!run.empty()) runs.emplace_back(run);
      run.clear();
    } else {
      run.push_back(c);
    }
  }
  if (!run.empty()) runs.emplace_back(run);
  for (PMString& r : runs) r.SetTranslatable(false);
  return runs;
}

PMString StoreTypedText(const char* whatKey, const PMString& typed) {
  const PMString stored = StoredLabelValue(typed);
  if (stored == typed) return stored;
  PMString what(whatKey);
  what.Translate();
  PMString message("0x199e00kSeparatorRemovedKey");
  message.Translate();
  std::string removed;
  for (const PMString& run : RemovedRuns(typed, stored)) {
    if (!removed.empty()) removed += ", ";
    removed += Quoted(run);
  }
  std::string text = message.GetUTF8String();
  Fill(&text, "^1", what.GetUTF8String());
  Fill(&text, "^2", Quoted(typed));
  Fill(&text, "^3", Quoted(stored));
  Fill(&text, "^4", removed);
  CAlert::WarningAlert(PMString(text, PMString::kDontTranslateDuringCall));
  return stored;
}
