// The sentences the viewer shows a reader in place of a book it cannot show,
// one per reason, all kept here so that they read alike.
#pragma once

namespace leafbook {

enum class TNotice {
  NoRuntime,       // neither the book nor the machine has a movie runtime
  BrokenRuntime,   // the book's own runtime cannot be mapped
  RuntimeRefused,  // the runtime would not start in the window
  DamagedBook,     // the package fails its checks
  NoMovie,         // the package is fine but has no "book.swf"
  NoBook,          // the viewer carries no package at all
};

// The reader's sentence for notice: what is wrong and what to do.
const char* NoticeText(TNotice notice);

}  // namespace leafbook
