// The screen review's entry point.
#include "tradutor/screen_review.h"

namespace navelo {

void ScreenReviewEntry(Console& /*console*/, Keyboard& /*keyboard*/, Speech& speech) {
  speech.LongTone();
}

}  // namespace navelo
