#pragma once

#include <QIcon>
#include <QIconEngine>

// An icon drawn from the images of another, that answers to the name of an icon of the desktop's
// theme: a tray host looks the name up and draws the theme's icon, and takes the images when it
// does not.
class NamedIconEngine : public QIconEngine
{
public:
    NamedIconEngine(QIcon images, QString name) : m_images(std::move(images)), m_name(std::move(name)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QString iconName() override { return m_name; }
    bool isNull() override { return m_images.isNull(); }
    QString key() const override { return QStringLiteral("NamedIconEngine"); }
    QIconEngine* clone() const override { return new NamedIconEngine(m_images, m_name); }

private:
    const QIcon m_images;
    const QString m_name;
};
