#pragma once

#include <QWidget>

// A top-level window with one content view that always fills it.
class Window : public QWidget
{
public:
    explicit Window(const QSize& contentSize);

    QWidget* contentView() const { return m_contentView; }
    // The window takes `view` over; the content view it had before is deleted.
    void setContentView(QWidget* view);
    // Puts the window in the middle of the available area of its screen.
    void center();

private:
    QWidget* m_contentView = nullptr;
};
