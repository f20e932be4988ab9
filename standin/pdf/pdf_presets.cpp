#include "standin/pdf/pdf_presets.h"

#include "host/IPDFExport.h"

namespace standin {

namespace {

// Settings seen through IPDFExportPrefs: a preset's, the session's current
// ones, or a command's own copy.
class ExportPrefs : public CPMUnknown<IPDFExportPrefs> {
 public:
  ExportPrefs(IPMUnknown* boss, PdfSettings* settings) : CPMUnknown(boss), settings_(settings) {}
  void CopyPrefs(const IPDFExportPrefs* other) override {
    if (!other) return;
    const auto* prefs = dynamic_cast<const ExportPrefs*>(other);
    if (prefs) {
      *settings_ = *prefs->settings_;
    } else {
      settings_->presetName = other->GetPresetName().GetUTF8String();
    }
  }
  PMString GetPresetName() const override {
    return PMString(settings_->presetName, PMString::kDontTranslateDuringCall);
  }
  const PdfSettings& Settings() const { return *settings_; }

 private:
  PdfSettings* settings_;
};

// The same, owning its settings (a command's data).
class OwnedExportPrefs : public ExportPrefs {
 public:
  explicit OwnedExportPrefs(IPMUnknown* boss) : ExportPrefs(boss, &own_) {}

 private:
  PdfSettings own_;
};

class StyleListMgr : public CPMUnknown<IPDFExptStyleListMgr> {
 public:
  StyleListMgr(IPMUnknown* boss, PdfPresets* presets) : CPMUnknown(boss), presets_(presets) {}
  int32 GetNumStyles() const override { return static_cast<int32>(presets_->Count()); }
  ErrorCode GetNthStyleName(int32 index, PMString* name) const override {
    const PdfSettings* settings = index < 0 ? nullptr : presets_->At(static_cast<size_t>(index));
    if (!settings) return kFailure;
    if (name) *name = PMString(settings->presetName, PMString::kDontTranslateDuringCall);
    return kSuccess;
  }
  IPDFExportPrefs* QueryNthStyle(int32 index) const override {
    if (index < 0) return nullptr;
    return presets_->QueryPrefs(static_cast<size_t>(index));
  }

 private:
  PdfPresets* presets_;
};

// Makes the command's settings the session's current ones.
class SetPdfPrefsCommand : public Command {
 public:
  SetPdfPrefsCommand(IPMUnknown* boss, PdfPresets* presets) : Command(boss), presets_(presets) {}
  ErrorCode Do() override {
    IPMUnknown* data = boss_->QueryInterface(IID_IPDFEXPORTPREFS);
    if (!data) return kFailure;
    data->Release();
    const auto* prefs = dynamic_cast<const ExportPrefs*>(static_cast<IPDFExportPrefs*>(data));
    if (!prefs) return kFailure;
    presets_->SetCurrent(prefs->Settings());
    return kSuccess;
  }

 private:
  PdfPresets* presets_;
};

}  // namespace

PdfPresets::PdfPresets() { Add(kDefaultPresetName); }

PdfPresets::~PdfPresets() = default;

const PdfSettings* PdfPresets::At(size_t index) const {
  return index < presets_.size() ? &presets_[index]->settings : nullptr;
}

IPDFExportPrefs* PdfPresets::QueryPrefs(size_t index) const {
  if (index >= presets_.size()) return nullptr;
  return static_cast<IPDFExportPrefs*>(presets_[index]->boss->QueryInterface(IID_IPDFEXPORTPREFS));
}

bool PdfPresets::Add(const std::string& name) {
  if (name.empty()) return false;
  for (const auto& preset : presets_) {
    if (preset->settings.presetName == name) return false;
  }
  auto preset = std::make_unique<Preset>();
  preset->settings.presetName = name;
  preset->boss = std::make_unique<Boss>("kPDFExportStyleBoss");
  preset->boss->AddNew<ExportPrefs>(IID_IPDFEXPORTPREFS, &preset->settings);
  presets_.push_back(std::move(preset));
  return true;
}

bool PdfPresets::Remove(const std::string& name) {
  for (auto it = presets_.begin(); it != presets_.end(); ++it) {
    if ((*it)->settings.presetName == name) {
      presets_.erase(it);
      return true;
    }
  }
  return false;
}

bool PdfPresets::Rename(const std::string& from, const std::string& to) {
  if (to.empty()) return false;
  Preset* found = nullptr;
  for (const auto& preset : presets_) {
    if (preset->settings.presetName == to) return false;
    if (preset->settings.presetName == from) found = preset.get();
  }
  if (!found) return false;
  found->settings.presetName = to;
  return true;
}

void PdfPresets::Install(Boss& session, CommandRegistry& commands) {
  session.AddNew<StyleListMgr>(IID_IPDFEXPTSTYLELISTMGR, this);
  session.AddNew<ExportPrefs>(IID_IPDFEXPORTPREFS, &current_);
  commands.Register(kSetPDFExportPrefsCmdBoss, [this](CommandBoss& boss) {
    boss.AddNew<SetPdfPrefsCommand>(IID_ICOMMAND, this);
    boss.AddNew<OwnedExportPrefs>(IID_IPDFEXPORTPREFS);
  });
}

}  // namespace standin
