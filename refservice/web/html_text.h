// Text placed into HTML pages. Every text that came from a document, a template record or a
// request goes through HtmlEscape before it reaches a page, in element content and in quoted
// attribute values alike.
#pragma once

#include <string>
#include <string_view>

namespace refservice {

// `text` with & < > " ' written as character references, and bytes that are not UTF-8 (and the
// control characters other than tab and line feed) as U+FFFD, so no text can open markup or end
// an attribute.
std::string HtmlEscape(std::string_view text);

// `text` percent-encoded for one path segment of an address (only A-Z a-z 0-9 - . _ ~ stay).
std::string UrlSegment(std::string_view text);

}  // namespace refservice
