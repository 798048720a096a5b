#include "StatusItem.h"

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

void StatusItem::setImage(QIcon image)
{
    image.setIsMask(true);
    m_trayIcon.setIcon(image);
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
    m_trayIcon.setToolTip(title);
    m_trayIcon.show();
}

void StatusItem::setMenu(QMenu* menu)
{
    m_menu = menu;
    m_trayIcon.setContextMenu(menu);
}

void StatusItem::activated(QSystemTrayIcon::ActivationReason reason)
{
    // The context menu covers the right click on some hosts only; any click opens the same menu.
    if (m_menu && (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick ||
                   reason == QSystemTrayIcon::MiddleClick)) {
        m_menu->popup(QCursor::pos());
    }
}
