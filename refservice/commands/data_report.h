// What a data folder (or a PostgreSQL database) holds, printed for people: the read-only `list` and `show` commands of
// osl-service. Both open the database read-only and read one consistent snapshot, so they are
// safe while the service runs and writes.
#pragma once

#include <ostream>
#include <string>

#include "refservice/storage/store_factory.h"

namespace refservice {

// Exit statuses of the commands.
constexpr int kReportOk = 0;
constexpr int kReportReadFailed = 1;  // the database could not be read to the end
constexpr int kReportUsage = 2;       // unknown identifier, missing or invalid data folder

// Prints one line per template of every user to `out`, ordered by owner, then name, then
// identifier (byte order; absent names first):
//   OWNER TAB NAME TAB ID TAB active|inactive TAB committed|uncommitted TAB fields=N TAB groups=N
//   TAB assets=N
// Texts go through textutil::PrintableText. Returns an exit status; messages go to `err`.
int ListTemplates(const StoreLocation& location, std::ostream& out, std::ostream& err);

// Prints the template whose identifier is `id` (any letter case): its record, logic groups, fields
// and assets, in the format README.md describes. Returns an exit status; an unknown identifier is
// kReportUsage with a message on `err`.
int ShowTemplate(const StoreLocation& location, const std::string& id, std::ostream& out,
                 std::ostream& err);

}  // namespace refservice
