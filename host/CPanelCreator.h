// Base of panel creators. Its answers come from the view resources the
// creator's plug-in registered: the panel view bound to the creator's boss
// class gives the resource identifier and the services; a derived creator
// overrides GetPanelRsrcID to name its resource explicitly.
#pragma once

#include "CPMUnknown.h"
#include "IPanelCreator.h"

class CPanelCreator : public CPMUnknown<IPanelCreator> {
 public:
  explicit CPanelCreator(IPMUnknown* boss) : CPMUnknown(boss) {}
  ~CPanelCreator() override;

  // Builds view GetPanelViewRsrcID() and shows it when AutoShowPanel().
  IControlView* CreatePanel() override;
  IControlView* CreatePanelForDialog(IPanelControlData* parent) override;
  // The services of the panel view bound to the boss class (none when no
  // view is bound to it).
  void GetServiceIDs(K2Vector<ServiceID>& serviceIDs) const override;
  // The resource of the panel view bound to the boss class, 0 when none.
  RsrcID GetPanelRsrcID() const override;
  // False: panels are shown when the host or the user asks for them.
  bool16 AutoShowPanel() const override { return 0; }
  // GetPanelRsrcID().
  RsrcID GetPanelViewRsrcID() const override;
};
