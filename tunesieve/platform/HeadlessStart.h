#pragma once

// Qt ends the process when its platform cannot reach the display, yet skipping needs none (a music
// box without a screen, an SSH session, a user service started before the desktop). Called before
// QApplication exists: when no display can be reached and the user chose no Qt platform
// (QT_QPA_PLATFORM), the agent runs on Qt's offscreen platform, without its tray, and says so in
// one line on standard error. Where a display is reached, nothing changes.
void chooseOffscreenWithoutDisplay();

// Whether a display can be reached now, told without Qt; the platform's backend knows how.
bool displayReachable();
