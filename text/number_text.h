// Numbers as text for people and reports: the shortest decimal that reads
// back as the same double, independent of the process's locale for the
// digits it writes.
#pragma once

#include <string>

namespace textutil {

// The shortest decimal text of `value` that reads back as the same double:
// whole numbers below 1e15 without a point ("12", "-3"), others with the
// fewest significant digits that round-trip ("0.5", "1e+20"). A NaN or an
// infinity is written as printf writes it ("nan", "inf", "-inf"); callers
// that show those otherwise test for them first.
std::string ShortestDecimal(double value);

}  // namespace textutil
