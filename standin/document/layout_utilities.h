// The layout utilities a host offers on its session (UtilsBoss::QueryUtils):
// reference points of items and the transform and visibility commands.
#pragma once

#include "standin/core/boss.h"

namespace standin {

// Adds ILayoutUtils and ITransformFacade to the session boss. They work on
// the documents the UIDLists they are given belong to.
void AddLayoutUtilities(Boss& session);

}  // namespace standin
