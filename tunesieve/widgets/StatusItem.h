#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

class QMenu;

// The agent's item in the status area (the tray on Linux, the menu bar on macOS). It shows an
// image or a short title and a tooltip, and opens its menu when clicked with any button. Where the
// desktop has no tray yet, the item waits and appears once one comes up.
class StatusItem : public QObject
{
    Q_OBJECT

public:
    explicit StatusItem(QObject* parent = nullptr);

    // A template image: drawn as a mask that follows the colours of the bar. Where the status area
    // looks icons up by name and the desktop's icon theme holds `themeName` (installed with the
    // agent), the item is given by that name too, so that the area draws it in its own colours;
    // `image`, in every size it has, is for the others.
    void setImage(QIcon image, const QString& themeName);
    // A tray item has no text of its own, so the title is drawn into its icon.
    void setTitle(const QString& title);
    // Sends the tooltip to the status area only when it changes.
    void setToolTip(const QString& toolTip);
    void setMenu(QMenu* menu);
    // A notification from the agent itself: on macOS, under its own name and icon.
    void showMessage(const QString& title, const QString& body);

    QIcon icon() const { return m_trayIcon.icon(); }
    QString toolTip() const { return m_trayIcon.toolTip(); }
    // Where the item is on the screen; invalid until a tray shows it.
    QRect geometry() const { return m_trayIcon.geometry(); }
    QMenu* menu() const { return m_menu; }

private:
    // Whether the status area itself opens the menu on every click (macOS's menu bar), so that no
    // menu of ours must follow a click. Each OS answers in its platform backends, as for the two below.
    static bool areaOpensMenuOnEveryClick();
    // What the status area is given for `image`: on Linux each of its images pixel for pixel, named
    // `themeName` where the theme has it.
    static QIcon imageForArea(const QIcon& image, const QString& themeName);
    // Whether the status area shows `menu` from what Qt exports of it over com.canonical.dbusmenu,
    // rather than Qt (or the OS) drawing it.
    static bool isMenuExported(QMenu* menu);
    void activated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon m_trayIcon;
    QMenu* m_menu = nullptr;
    bool m_menuExported = false;
};
