// Text from a document, a request or a store on its way to one printed line:
// nothing in it may break the line, the columns, or the order in which a
// terminal shows what follows.
#pragma once

#include <string>
#include <string_view>

namespace textutil {

// Appends byte `c` as \xHH (two upper-case hexadecimal digits).
void AppendByteEscape(std::string& out, unsigned char c);

// `text` with its control bytes and backslashes escaped (\t \n \r \\ and \xHH), and its C1
// controls, line and paragraph separators and bidirectional formatting characters (U+061C,
// U+200E, U+200F, U+202A-U+202E, U+2066-U+2069) as \uHHHH, so that one value always stays on one
// line and in one tab-separated column and cannot reorder what is printed after it. Bytes that
// are not UTF-8 pass as they are.
std::string PrintableText(std::string_view text);

}  // namespace textutil
