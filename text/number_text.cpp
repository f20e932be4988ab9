#include "text/number_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace textutil {

std::string ShortestDecimal(double value) {
  char buffer[40];
  if (std::trunc(value) == value && std::fabs(value) < 1e15) {
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
  }
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

}  // namespace textutil
