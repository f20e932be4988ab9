// PDF export settings: the session's presets (named sets of settings, in
// list order) and its current settings, which the set-export-settings
// command replaces and the export uses.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/IPDFExport.h"
#include "standin/core/boss.h"
#include "standin/core/commands.h"

namespace standin {

// One set of PDF export settings.
struct PdfSettings {
  // The preset the settings came from (empty when none); written into the
  // PDF's subject so that a reader can tell which settings made it.
  std::string presetName;
};

class PdfPresets {
 public:
  // The name of the preset a fresh host has.
  static constexpr const char* kDefaultPresetName = "ostrel";

  // A fresh list holds one preset, kDefaultPresetName; the current settings
  // are empty (no preset applied yet).
  PdfPresets();
  ~PdfPresets();
  PdfPresets(const PdfPresets&) = delete;
  PdfPresets& operator=(const PdfPresets&) = delete;

  size_t Count() const { return presets_.size(); }
  // The settings of preset `index`, or null outside the list.
  const PdfSettings* At(size_t index) const;
  // The settings of preset `index` as the host shows them, with a
  // reference added; null outside the list.
  IPDFExportPrefs* QueryPrefs(size_t index) const;
  // Adds a preset at the end of the list. False when the name is empty or
  // a preset of that name exists already (compared exactly).
  bool Add(const std::string& name);
  // False when no preset has that name.
  bool Remove(const std::string& name);
  // False when no preset is named `from` or `to` is empty or taken.
  bool Rename(const std::string& from, const std::string& to);

  const PdfSettings& Current() const { return current_; }
  void SetCurrent(const PdfSettings& settings) { current_ = settings; }

  // Adds IPDFExptStyleListMgr and IPDFExportPrefs (the current settings)
  // to the session boss, and the set-export-settings command
  // (kSetPDFExportPrefsCmdBoss) to `commands`. This object must outlive
  // both.
  void Install(Boss& session, CommandRegistry& commands);

 private:
  struct Preset {
    PdfSettings settings;
    std::unique_ptr<Boss> boss;  // carries IPDFExportPrefs over `settings`
  };
  std::vector<std::unique_ptr<Preset>> presets_;
  PdfSettings current_;
};

}  // namespace standin
