// What a preview of the front document shows over its pages: every field's
// rectangle outlined and labelled with its name and control type, the
// members of one stacking group in one colour per group, and the items the
// lint has findings about marked. The host draws the pages and these
// outlines; the overlay only computes them. Field items are left out of the
// page drawing, as the proof PDF leaves them out. The lint's findings are
// reported too, so the preview can list what its markers mean.
#pragma once

#include <cstddef>

#include "host/BaseTypes.h"

// Colours of the overlay (0xRRGGBB).
constexpr uint32 kPreviewFieldColour = 0x1F6FEB;    // fields in no stacking group
constexpr uint32 kPreviewErrorColour = 0xD1242F;    // items with an error finding
constexpr uint32 kPreviewWarningColour = 0xE36209;  // items with warnings only

// The colour of the stacking group at position `index` (0-based, in the
// document's group order); distinct for the first eight groups.
uint32 PreviewGroupColour(std::size_t index);

// Reports the overlay of the front document to the host's tool report
// ("preview": the lint's records, then one outline per field and one marker
// per item with findings). Nothing without a front document.
void ReportPreviewOverlay();
