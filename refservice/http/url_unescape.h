// Percent-decoding of request addresses and query arguments for the HTTP library. A NUL byte
// can be part of no address or argument, and a decoded one would cut the text short where the
// library hands it on as a C string ("/fill/ID/PASSWORD%00anything" would arrive as
// "/fill/ID/PASSWORD"); so "%00" is left as written and matches nothing.
#pragma once

#include <cstddef>

struct MHD_Connection;

namespace refservice {

// Decodes every "%XX" (two hex digits) of the NUL-terminated `text` in place, except "%00";
// anything else, malformed escapes included, stays as it is. Returns the new length.
size_t PercentDecodeKeepingNul(char* text);

// PercentDecodeKeepingNul with the library's unescape-callback signature.
size_t UnescapeCallback(void* cls, MHD_Connection* connection, char* text);

}  // namespace refservice
