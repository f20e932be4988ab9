// The content streams of a PDF in qpdf's QDF form (`qpdf --qdf`: every object on its own lines,
// streams decoded, each page's content streams announced by a "%% Contents for page N" comment),
// rewritten one by one. `fix-qdf` then makes the file a valid PDF again (stream lengths and the
// cross-reference table).
#pragma once

#include <functional>
#include <string>

namespace refservice {

// `qdf` with the data of every content stream (a page's contents, a form XObject or a tiling
// pattern) that carries no filter replaced by `rewrite(data)`; every other byte is kept. A stream's
// data runs from the line after "stream" to the line "endstream", as fix-qdf reads it. False with
// `error` set when the file is not in QDF form or a stream does not end. Linear in the size of
// `qdf` (plus what `rewrite` costs).
bool RewriteQdfContentStreams(const std::string& qdf,
                              const std::function<std::string(const std::string&)>& rewrite,
                              std::string* out, std::string* error);

}  // namespace refservice
