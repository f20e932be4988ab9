// The test host's alerts: a console host with nobody to answer. Each alert is
// one line on stderr ("error: ", "warning: " or "information: " and the
// message); a modal alert is answered with its default button.
#include <cstdio>

#include "host/CAlert.h"

namespace {

void Show(const char* kind, const PMString& message) {
  std::fprintf(stderr, "%s: %s\n", kind, message.GetUTF8String().c_str());
  std::fflush(stderr);
}

}  // namespace

void CAlert::ErrorAlert(const PMString& message) { Show("error", message); }
void CAlert::WarningAlert(const PMString& message) { Show("warning", message); }
void CAlert::InformationAlert(const PMString& message) { Show("information", message); }

int16 CAlert::ModalAlert(const PMString& message, const PMString&, const PMString&,
                         const PMString&, int16 defaultButton, int16) {
  Show("question", message);
  return defaultButton;
}
