// Observer of the field panel: follows the active selection to show the
// selected item's field name, prompt text and control type, and writes the
// panel's edits back into the item's field tag.
#pragma once

#include "host/ActiveSelectionObserver.h"

class COslSelectionObserver : public ActiveSelectionObserver {
 public:
  explicit COslSelectionObserver(IPMUnknown* boss);
  ~COslSelectionObserver() override;
};
