// Publishing the front document as a template of the service: the
// properties dialog, the template record, the copy of the native document,
// the stacking groups, the field records, the proof PDF and the assets, and
// the commit, with a progress bar throughout. The run carries out the plan
// of publish/publish_plan.h, the one its dry run reports: it asks the plan's
// questions in order and sends the plan's groups and field records.
//
// A run that fails stops where it is, after an alert that says why (a
// failed service call: "error: " and the call's status, then the fault
// report); nothing at the service is rolled back. The document keeps the
// template's identifier and password from the moment the service returns
// them; an identifier the service answers that cannot be used leaves the
// document as it was. Every per-run object (progress bar, SOAP context,
// strings, records, assets) is released on every path.
//
// A template of the document's name that is not the document's own (never
// published, or renamed after another template) is replaced only after the
// user answers "Yes"; for a renamed document "No" is the default and leaves
// both templates and the document unchanged. Once the document holds the
// identifier, a keeper renews the service's hold on the template until the
// run ends (publish/lease_keeper.h), so no other publish gets in while this
// one works. Reused field records keep the service's settings; the fonts and
// placed files they name are uploaded all the same, and one warning names
// every document value the service keeps back.
#pragma once

#include <string>

#include "host/IPublishReport.h"
#include "host/PMString.h"

// Runs the publish on the front document; reports everything through
// alerts. A successful run ends with one information alert naming the kind
// of success (more than 100 fields on a page, an updated inactive template,
// an updated template, a new template). Returns true when the document
// received the template identifier and password setTemplate answered (the
// run may have stopped later), false when the run stopped before that.
// Every run also reports its record to the host (host/IPublishReport.h):
// the template's name, the service, its identifier once known, and at the
// end published, updated, or not published with the reason in plain words.
bool PublishTemplate();

// Opens the plug-in's template properties dialog and waits until it is
// closed. False when it cannot be opened (no application or dialog manager).
bool RunTemplateDialog();

// Reports to the host a publish that stopped before PublishTemplate ran
// (the field-name check was declined): the front document's template name,
// the configured service, `fault` and `reason`.
void ReportNotPublished(PublishRecord::Fault fault, const std::string& reason);

// The base name of the files a publish writes and uploads: `docName`
// reduced to the characters a-z, A-Z and 0-9, order kept; "template" when
// no such character is left.
PMString SafeTemplateName(const PMString& docName);
