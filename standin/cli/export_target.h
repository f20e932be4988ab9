// Where `osl export-pdf` may write: a PDF replaces what its output path
// names, so that path must not name something a user would lose by it.
#pragma once

#include <string>

namespace osl_cli {

// Empty when `out` may receive the export of the document at `document`:
// nothing exists there yet (a dangling symbolic link included: the export
// makes its target), or a regular file other than the document does.
// Otherwise the reason, one clause: `out` is the document itself (also
// through another path, a symbolic link or a hard link), or names something
// that is not a regular file (a folder, a device node, a FIFO, a socket),
// which an export must never replace.
std::string RefuseExportTarget(const std::string& document, const std::string& out);

}  // namespace osl_cli
