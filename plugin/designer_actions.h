// The menu actions of the designer tools, after the plug-in's publishing
// and dialog actions: the lint, the dry run of a publish, the preview
// overlay and the connection check. Each reports what it finds through the
// host's tool report (IToolReport); the host shows it.
#pragma once

#include "host/BaseTypes.h"

// Runs `action` when it is one of the designer tools' actions and returns
// true; returns false, having done nothing, for any other action.
bool RunDesignerToolAction(ActionID action);
