// The reader's sentences for books that cannot be shown.
#include "app/Notices.h"

namespace leafbook {

// Written for a reader who knows nothing of packages or runtimes: the words
// name the book, its player and the publisher only.
const char* NoticeText(TNotice notice) {
  switch (notice) {
    case TNotice::NoRuntime:
      return "This book cannot be shown because the player it needs is neither in the book "
             "nor on this computer; ask the publisher for a copy that includes its player.";
    case TNotice::BrokenRuntime:
      return "This book cannot be shown because the player inside it is damaged or made for "
             "another kind of computer; ask the publisher for a new copy.";
    case TNotice::RuntimeRefused:
      return "This book cannot be shown because its player would not start; close this "
             "window and open the book again, and if that does not help, ask the publisher "
             "for a new copy.";
    case TNotice::DamagedBook:
      return "This book cannot be shown because its file is damaged; copy or download it "
             "again, or ask the publisher for a new copy.";
    case TNotice::NoMovie:
      return "This book cannot be shown because its pages are missing from it; ask the "
             "publisher for a new copy.";
    case TNotice::NoBook:
      return "This viewer has no book in it; open the book file you were given instead, or "
             "ask the publisher for a new copy.";
  }
  return "";
}

}  // namespace leafbook
