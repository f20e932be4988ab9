// The lint: what a designer should know about a document before publishing
// it, as a list of findings. Each finding names a rule by a stable code, a
// severity, the page item and page it concerns (0 for the document as a
// whole), the field name and one line each for what is wrong and how to fix
// it. The lint reads the document only: it changes no tag, no geometry and
// no file.
#pragma once

#include <string>
#include <vector>

#include "host/IDocument.h"
#include "host/PMString.h"

enum class LintSeverity { kError, kWarning };

// The rules, each with its code ("OSL001" ...), short name and severity.
enum class LintRule {
  kDuplicateName,          // OSL001 error: two fields share a name
  kNameDiffersInCaseOnly,  // OSL002 warning: names equal up to letter case
  kFieldInUntaggedGroup,   // OSL003 error: tagged item inside an untagged group
  kFieldInFieldGroup,      // OSL004 warning: tagged item inside a group tagged as a whole
  kUnknownStackingGroup,   // OSL005 error: the field names a group the document lacks
  kBadDependency,          // OSL006 error: "Dependson" names no field, or the field itself
  kEmptyStackingGroup,     // OSL007 warning: a stacking group without members
  kOffPage,                // OSL008 warning: a field reaches outside its page
  kOverlap,                // OSL009 warning: two fields overlap on a page
  kTooManyFields,          // OSL010 warning: more than 100 fields on one page
  kMissingFile,            // OSL011 error: a placed file is missing or unreadable
  kMissingFont,            // OSL012 warning: a font is missing or substituted
  kProtectedFont,          // OSL013 warning: a field's font may not be handed out
  kFontCollection,         // OSL014 warning: a field's font is a collection
  kNoFillColour,           // OSL015 warning: a text field's fill colour cannot be read
  kOversetText,            // OSL016 warning: a field's sample text does not fit
  kNoTemplateName,         // OSL017 warning: the template has no name yet
  kUnusableTemplateName,   // OSL018 error: the name has no letter or digit
  kBarcodeAsText,          // OSL019 warning: the client type turns barcodes into text boxes
  kMirrored,               // OSL020 warning: a field is mirrored; filled, it prints turned
  kSkewed,                 // OSL021 warning: a field is skewed; filled, it prints upright
  kHiddenField,            // OSL022 warning: a hidden item is tagged as a field
  kMixedTextStyles,        // OSL023 warning: a text field's text has more than one style
  kItemAboveField,         // OSL024 warning: an untagged item lies above a field
  kStrokeOnTextField,      // OSL025 warning: a text field's frame has a stroke
  kTextGroupAsImageField,  // OSL026 warning: a tagged group of text frames (an image field)
  kUnsupportedTextAttribute,  // OSL027 warning: justified text (a record has no justify)
};

const char* LintRuleCode(LintRule rule);
const char* LintRuleName(LintRule rule);
LintSeverity LintRuleSeverity(LintRule rule);

struct LintFinding {
  LintRule rule;
  UID uid = kInvalidUID;  // the page item; kInvalidUID for the document
  int32 pageNumber = 0;   // 1-based; 0 when the finding has no page
  PMString fieldName;     // empty when the finding concerns no field
  std::string message;    // one line: what is wrong
  std::string fix;        // one line: how to fix it
};

// Every finding about `document`, in page order (document-level findings
// first, then the items of each page in the order a publish visits them).
// No findings for a null document.
std::vector<LintFinding> LintDocument(IDocument* document);

// Hands `findings` to the host's tool report (kind "finding", values code,
// rule, severity, uid, page, field, message, fix) and ends with one record
// of kind "summary" (errors, warnings).
class ToolReporter;
void ReportLintFindings(const std::vector<LintFinding>& findings, ToolReporter& reporter);

// "error OSL001 uid 12 page 1 field "Name": message; fix: ..."
std::string LintFindingLine(const LintFinding& finding);
