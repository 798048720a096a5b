#pragma once

#include <QString>

class QAction;
class QMenu;

// Menu titles that show names whole. A menu reaches the screen in one of two ways: drawn by Qt (or
// by macOS), where "&" marks a mnemonic and a tab starts the shortcut column, or exported to a tray
// host over com.canonical.dbusmenu, where "_" marks the mnemonic and Qt turns the first "&" of a
// title into it.
namespace MenuText {

// A title that shows `text` whole where Qt draws the menu.
QString literal(QString text);

// Gives `entry`, an entry of a status menu or of one of its submenus, the title `text`, shown whole
// in the way that menu reaches the screen now (see setExported).
void setLiteralText(QAction* entry, const QString& text);
// Whether `menu`, a status menu, is now read by a tray host over com.canonical.dbusmenu rather than
// drawn; the titles set with setLiteralText in it and its submenus follow.
void setExported(QMenu* menu, bool exported);

} // namespace MenuText
