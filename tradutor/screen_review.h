// The entry point of the screen review, which the line editor and the selection menu open with
// Alt+Ctrl+F9.
#pragma once

#include "console/console.h"
#include "tradutor/speech.h"

namespace navelo {

// Reviews the screen by ear until the user leaves it. Until the review is built, the long tone
// tells the user that there is nothing here yet.
void ScreenReviewEntry(Console& console, Keyboard& keyboard, Speech& speech);

}  // namespace navelo
