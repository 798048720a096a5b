#include "NamedIconEngine.h"

void NamedIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state)
{
    m_images.paint(painter, rect, Qt::AlignCenter, mode, state);
}

QPixmap NamedIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    // Exactly `size`: what the engine draws for the screen's pixel ratio is Qt's business.
    return m_images.pixmap(size, 1.0, mode, state);
}

QSize NamedIconEngine::actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    return m_images.actualSize(size, mode, state);
}

QList<QSize> NamedIconEngine::availableSizes(QIcon::Mode mode, QIcon::State state)
{
    return m_images.availableSizes(mode, state);
}
