#include "StatusItem.h"

#include "MenuText.h"

#include <QCursor>
#include <QFont>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

StatusItem::StatusItem(QObject* parent) : QObject(parent), m_trayIcon(this)
{
    if (!areaOpensMenuOnEveryClick()) {
        connect(&m_trayIcon, &QSystemTrayIcon::activated, this, &StatusItem::activated);
    }
}

void StatusItem::setImage(QIcon image, const QString& themeName)
{
    image.setIsMask(true);
    m_trayIcon.setIcon(imageForArea(image, themeName));
    m_trayIcon.show();
}

void StatusItem::setTitle(const QString& title)
{
    QPixmap pixmap(44, 44);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font = painter.font();
    font.setPixelSize(34);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, title);
    painter.end();
    m_trayIcon.setIcon(QIcon(pixmap));
    m_trayIcon.show();
}

void StatusItem::setToolTip(const QString& toolTip)
{
    if (m_trayIcon.toolTip() != toolTip) {
        m_trayIcon.setToolTip(toolTip);
    }
}

void StatusItem::setMenu(QMenu* menu)
{
    m_menu = menu;
    m_trayIcon.setContextMenu(menu);
    m_menuExported = isMenuExported(menu);
    MenuText::setExported(menu, m_menuExported);
    // Once our own popup of the menu closes, the titles are the exported menu's again.
    connect(menu, &QMenu::aboutToHide, this, [this] { MenuText::setExported(m_menu, m_menuExported); });
}

void StatusItem::showMessage(const QString& title, const QString& body)
{
    m_trayIcon.showMessage(title, body, QSystemTrayIcon::NoIcon);
}

void StatusItem::activated(QSystemTrayIcon::ActivationReason reason)
{
    // The context menu covers the right click on some hosts only; any click opens the same menu,
    // drawn by Qt.
    if (m_menu && (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick ||
                   reason == QSystemTrayIcon::MiddleClick)) {
        MenuText::setExported(m_menu, false);
        m_menu->popup(QCursor::pos());
    }
}
