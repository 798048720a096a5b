#include "Window.h"

#include <QScreen>
#include <QVBoxLayout>

Window::Window(const QSize& contentSize, const QString& title)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    resize(contentSize);
    setWindowTitle(title);
    setAttribute(Qt::WA_QuitOnClose, false);
    center();
}

void Window::setContentView(QWidget* view)
{
    delete m_contentView;
    m_contentView = view;
    layout()->addWidget(view);
}

void Window::center()
{
    if (const QScreen* screen = this->screen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void Window::bringToFront()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}
