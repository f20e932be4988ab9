// Text on its way to a terminal: nothing a document, a plug-in or a server
// wrote may move the cursor or change the terminal.
#pragma once

#include <string>

namespace standin {

// `text` with every control character shown escaped: \r, \xHH below U+0080,
// \uHHHH above it (C1 controls, U+2028, U+2029, and the bidirectional
// formatting characters U+061C, U+200E, U+200F, U+202A-U+202E and
// U+2066-U+2069, which would reorder the line), and each byte that is not
// UTF-8 as \xHH. Tabs stay; a line feed stays too, followed by `indent`,
// unless `indent` is null, in which case it is shown as \x0a.
std::string EscapeForTerminal(const std::string& text, const char* indent = nullptr);

}  // namespace standin
