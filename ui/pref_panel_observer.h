// Observer of the plug-in's preferences panel (server, user, password). The
// host's preferences dialog owns OK and Cancel; the panel reacts to no change
// of its own, so the observer only takes part in attaching and detaching.
#pragma once

#include "host/CDialogObserver.h"

class COslPrefPanelObserver : public CDialogObserver {
 public:
  explicit COslPrefPanelObserver(IPMUnknown* boss);
  // Nothing: no change of the panel needs an answer.
  void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol,
              void* changedBy) override;
  // The dialog observer's own attach and detach.
  void AutoAttach() override;
  void AutoDetach() override;
  ~COslPrefPanelObserver() override;
};
