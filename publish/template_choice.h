// Which of the service's templates a publish of the document changes, and
// whether it must ask first. The publish and its dry run both decide with
// this one rule, so that the dry run predicts exactly what the publish does.
#pragma once

#include <string>

#include "service_client/messages.h"

struct TemplateChoice {
  // The template of the document's name that the publish updates; null when
  // the service holds none (the publish creates a new template).
  const osl_soap::docBuilderLibraryTemplate* match = nullptr;
  // The publish asks "replace it?" before it changes `match`: the document
  // is not bound to that template (it holds no identifier, or the
  // identifier of another template, as after a rename).
  bool asks = false;
  // The document is bound to another template than `match`. Declining, or
  // nobody answering, must then leave the document, its own template and
  // `match` exactly as they are.
  bool boundElsewhere = false;
};

// Looks among `templates` (the getLibraryTemplates answer, in its order) for
// the ones named `name` byte for byte. Among several, the one whose identifier
// is `boundTo` (the document's identifier) is the match, else the first.
TemplateChoice ChooseServerTemplate(const osl_soap::_ns4__getLibraryTemplatesResponse& templates,
                                    const std::string& name, const std::string& boundTo);
