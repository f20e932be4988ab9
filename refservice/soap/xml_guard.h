// A linear pre-scan of a SOAP request before the XML parser sees it (and so before any
// authentication): it bounds the work one request can cause and refuses characters that XML
// forbids, so that they are never stored, and never silently cut, by the parser.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace refservice {

struct XmlLimits {
  size_t maxDepth = 64;          // element nesting
  size_t maxAttributes = 32;     // attributes of one element, namespace declarations included
  size_t maxNamespaces = 64;     // namespace declarations in the whole message
  size_t maxElements = 1000000;  // elements in the whole message
};

// Checks `xml` against `limits` and the characters XML allows. Returns nothing when the message
// may go to the parser, otherwise a reason fit for a SOAP Fault. Refused: a character outside
// XML's Char production, written as bytes or as a character reference (&#0;, &#1;, &#xFFFE;,
// a lone surrogate such as &#xD800;); bytes that are not UTF-8; a named entity other than the
// five XML predefines; a document type declaration; and anything beyond the limits. Looks at
// every byte once; markup it cannot make sense of is left to the parser to refuse.
std::optional<std::string> CheckXml(std::string_view xml, const XmlLimits& limits);

}  // namespace refservice
