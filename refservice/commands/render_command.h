// `osl-service render --data DIR ID --values VALUES.json OUT.pdf`: builds one document from a
// stored template on the command line, prints what was done with each field, and writes OUT.pdf
// whole or not at all.
#pragma once

#include <ostream>
#include <string>

#include "refservice/storage/store_factory.h"

namespace refservice {

// Exit statuses: 0 written; 2 bad input (unknown template, bad values, unreadable data folder,
// a template that cannot be rendered), nothing written; 1 OUT.pdf could not be written.
// `location` names the store and the files folder (--data DIR, or --database URL with --files DIR).
// With `cmyk` the PDF's colours are converted to CMYK (see cmyk_output.h); a failed conversion
// writes nothing and exits 1.
int RenderCommand(const StoreLocation& location, const std::string& id,
                  const std::string& valuesPath, const std::string& outPath, std::ostream& out,
                  std::ostream& err, bool cmyk = false);

}  // namespace refservice
