#pragma once

// Qt ends the process when its platform cannot open the display, yet skipping needs none (a music
// box without a screen, an SSH session, a user service started before the desktop, a display that
// has gone or refuses us). Called before QApplication exists and before any other thread: when no
// display can be opened and the user chose no Qt platform (QT_QPA_PLATFORM), the agent runs on Qt's
// offscreen platform, without its tray, and says so in one line on standard error. Where a display
// is opened, nothing changes.
void chooseOffscreenWithoutDisplay();

// Whether a display can be opened now, told without Qt; the platform's backend knows how.
bool displayReachable();
