// The dialog manager (on the session boss, also reached through
// IApplication): makes dialogs from the view resources of plug-ins.
#pragma once

#include "IDialog.h"
#include "IPMUnknown.h"
#include "WidgetInterfaceIDs.h"

using RsrcType = uint32;
constexpr RsrcType kViewRsrcType = 0x56494557;  // 'VIEW'

// A locale of the host's resources.
class PMLocaleId {
 public:
  constexpr PMLocaleId() = default;
  constexpr bool operator==(const PMLocaleId&) const { return true; }
};

namespace LocaleSetting {
// The locale the host runs in.
PMLocaleId GetLocale();
}  // namespace LocaleSetting

// Names one resource of one plug-in.
class RsrcSpec {
 public:
  RsrcSpec(const PMLocaleId& locale, PluginID plugin, RsrcType type, RsrcID id,
           bool16 initiallyVisible = true)
      : locale_(locale), plugin_(plugin), type_(type), id_(id), visible_(initiallyVisible) {}
  const PMLocaleId& GetLocale() const { return locale_; }
  PluginID GetPluginID() const { return plugin_; }
  RsrcType GetRsrcType() const { return type_; }
  RsrcID GetRsrcID() const { return id_; }
  bool16 IsInitiallyVisible() const { return visible_; }

 private:
  PMLocaleId locale_;
  PluginID plugin_;
  RsrcType type_;
  RsrcID id_;
  bool16 visible_;
};

class IDialogMgr : public IPMUnknown {
 public:
  enum { kDefaultIID = IID_IDIALOGMGR };
  // A new, closed dialog built from the 'VIEW' resource `spec`. Null when the
  // resource kind is not 'VIEW', or the plug-in has no such view or it is not
  // a dialog. The dialog is owned by the host (see
  // IDialog.h); open it with Open, and Wait for a modal one.
  virtual IDialog* CreateNewDialog(const RsrcSpec& spec,
                                   IDialog::DialogType type = IDialog::kMovableModal) = 0;
  virtual ~IDialogMgr() = default;
};
