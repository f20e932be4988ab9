#include "publish/template_choice.h"

TemplateChoice ChooseServerTemplate(const osl_soap::_ns4__getLibraryTemplatesResponse& templates,
                                    const std::string& name, const std::string& boundTo) {
  TemplateChoice choice;
  if (!templates.getLibraryTemplatesResult) return choice;
  for (const osl_soap::docBuilderLibraryTemplate* candidate :
       templates.getLibraryTemplatesResult->libraryTemplate) {
    if (!candidate || !candidate->docName || *candidate->docName != name) continue;
    if (!choice.match) choice.match = candidate;
    if (!boundTo.empty() && candidate->docID == boundTo) {
      choice.match = candidate;
      break;
    }
  }
  if (!choice.match) return choice;
  const bool bound = !boundTo.empty() && choice.match->docID == boundTo;
  choice.asks = !bound;
  choice.boundElsewhere = !bound && !boundTo.empty();
  return choice;
}
