// The pointer's shape as the X server shows it: what a person sees, whichever window set it.
#pragma once

namespace korvan::testing {

// An id of the cursor shown now: the same while the same cursor shows, another for another
// cursor. 0 when the display cannot tell.
unsigned long ShownCursor();

}  // namespace korvan::testing
