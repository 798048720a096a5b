#pragma once

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

class QMenu;

// The agent's item in the status area (the tray on Linux, the menu bar on macOS). It shows an
// image or a short title and opens its menu when clicked with any button. Where the desktop has
// no tray yet, the item waits and appears once one comes up.
class StatusItem : public QObject
{
    Q_OBJECT

public:
    explicit StatusItem(QObject* parent = nullptr);

    // A template image: drawn as a mask that follows the colours of the bar.
    void setImage(QIcon image);
    // A tray item has no text of its own, so the title is drawn into its icon.
    void setTitle(const QString& title);
    void setMenu(QMenu* menu);

    QIcon icon() const { return m_trayIcon.icon(); }
    // Where the item is on the screen; invalid until a tray shows it.
    QRect geometry() const { return m_trayIcon.geometry(); }
    QMenu* menu() const { return m_menu; }

private:
    // Whether the status area itself opens the menu on every click (macOS's menu bar), so that no
    // menu of ours must follow a click. Each OS answers in its platform backends.
    static bool areaOpensMenuOnEveryClick();
    void activated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon m_trayIcon;
    QMenu* m_menu = nullptr;
};
