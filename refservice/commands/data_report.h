// What a data folder (or a PostgreSQL database) holds, printed for people: the read-only `list` and `show` commands of
// osl-service. Both open the database read-only and read one consistent snapshot, so they are
// safe while the service runs and writes.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

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
// Texts go through PrintableText. Returns an exit status; messages go to `err`.
int ListTemplates(const StoreLocation& location, std::ostream& out, std::ostream& err);

// Prints the template whose identifier is `id` (any letter case): its record, logic groups, fields
// and assets, in the format README.md describes. Returns an exit status; an unknown identifier is
// kReportUsage with a message on `err`.
int ShowTemplate(const StoreLocation& location, const std::string& id, std::ostream& out,
                 std::ostream& err);

// `text` with its control bytes and backslashes escaped (\t \n \r \\ and \xHH), and its C1
// controls, line and paragraph separators and bidirectional formatting characters (U+061C,
// U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) as \uHHHH, so that one value always stays on one
// line and in one tab-separated column and cannot reorder what is printed after it.
std::string PrintableText(std::string_view text);

}  // namespace refservice
