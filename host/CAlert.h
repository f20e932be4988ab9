// Modal alerts. Each returns when the user has answered. Button captions are
// shown as given; the message is translated when it is translatable.
#pragma once

#include "PMString.h"

class CAlert {
 public:
  // One-button alerts (caption "OK").
  static void ErrorAlert(const PMString& message);
  static void WarningAlert(const PMString& message);
  static void InformationAlert(const PMString& message);
  // Shows `message` with up to three buttons (empty captions are not shown).
  // Returns the 1-based number of the pressed button; `defaultButton` is the
  // one pressed when the user just confirms or no answer can be had.
  static int16 ModalAlert(const PMString& message, const PMString& button1, const PMString& button2,
                          const PMString& button3, int16 defaultButton, int16 iconCode);
};
