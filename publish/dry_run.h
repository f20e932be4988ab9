// The dry run of a publish: everything a publish of the front document
// would do, worked out without changing anything. It opens the template
// properties dialog as the publish does, makes only the service's
// read-only calls (getLibraryTemplates, getFields, getLogicGroups), runs the
// field extraction in memory with an uploader that only measures the files,
// and reports the publish's own plan (publish/publish_plan.h) through the
// host's tool report ("dry-run"):
//   - "question": one per question the publish would ask, in its order
//     ("repeated-field-names", "replace-template");
//   - "template": created or updated (which one), and whether the publish
//     would ask a question first ("asks");
//   - "field": added, changed or deleted, and "member" records for every
//     member of a changed field (old and new value);
//   - "kept": every member of a reused field whose document value the
//     publish keeps back (the service's value stays), with how to send it;
//   - "group": stacking groups added, changed or kept;
//   - "asset": the files a publish would upload, with their sizes;
//   - the lint's "finding" records and "summary".
// Nothing is uploaded or set at the service; the document's tags are left
// as they were (the extraction's barcode rewrite is undone).
#pragma once

// Runs the dry run on the front document. Failures are reported as a
// publish reports them (alerts); returns true when the dry run reached its
// end.
bool DryRunPublish();
