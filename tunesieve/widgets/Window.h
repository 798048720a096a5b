#pragma once

#include <QWidget>

// A top-level window of the agent with one content view that always fills it. It opens in the middle
// of its screen, and closing it never ends the agent, whatever the application's own setting.
class Window : public QWidget
{
public:
    Window(const QSize& contentSize, const QString& title);

    QWidget* contentView() const { return m_contentView; }
    // The window takes `view` over; the content view it had before is deleted.
    void setContentView(QWidget* view);
    // Puts the window in the middle of the available area of its screen.
    void center();
    // Shows the window, restored if it was minimised, in front of the others and with the focus.
    void bringToFront();

private:
    QWidget* m_contentView = nullptr;
};
