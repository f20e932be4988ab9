// One stand-in host for the whole fuzzing process, with its alerts kept
// quiet: the plug-in's code that reaches its host needs a current one.
#pragma once

#include "standin/app/host.h"

namespace osltest {

inline standin::Host& FuzzHost() {
  static standin::Host* host = [] {
    auto* made = new standin::Host();
    made->AlertLog().SetEcho(false);
    return made;
  }();
  return *host;
}

}  // namespace osltest
