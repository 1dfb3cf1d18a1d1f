// Why the book turned out damaged, for the log. The package tells it on
// whichever thread read the bad block, and may tell it before the log is
// on: the book's runtime is read before the command line is. What comes
// before is kept until the main window turns the log on.
#pragma once

namespace leafbook {

// Takes the package's reports from now on.
void WatchPackageDamage();
// Logs what was reported so far, and every later report as it comes.
void LogPackageDamage();

}  // namespace leafbook
