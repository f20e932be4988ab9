// The menu actions that publish: the about action (check, publish, then the
// about alert), publish and publish again (check, then publish), publish as
// a new template, and the state of the publish-as-new item.
#pragma once

#include "host/CActionComponent.h"

// Runs `action` when it is one of the publishing actions (0x199E00 to
// 0x199E04, 0x199E08; 0x199E01 and 0x199E02 do nothing) and returns true;
// returns false, having done nothing, for any other action.
bool RunPublishAction(ActionID action);

// Enables the publish-as-new entry of `list` when the front document has
// been published before (its template identifier is set); leaves every
// other entry, and that one otherwise, as the host supplied it.
void UpdatePublishActionStates(IActionStateList* list);
