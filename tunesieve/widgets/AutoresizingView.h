#pragma once

#include <QPointer>
#include <QRectF>
#include <QWidget>
#include <vector>

// A plain view that places its subviews by frames whose origin is its bottom-left corner (y upwards) and keeps
// them in place by their autoresizing masks when it is resized: the springs and struts of a desktop toolkit,
// which Qt's layouts do not offer. This is the one place where such frames become Qt geometry.
class AutoresizingView : public QWidget
{
public:
    enum Flag
    {
        MinXMargin = 1,
        WidthSizable = 2,
        MaxXMargin = 4,
        MinYMargin = 8,
        HeightSizable = 16,
        MaxYMargin = 32,
    };
    Q_DECLARE_FLAGS(Mask, Flag)

    using QWidget::QWidget;

    // Adds `view` above the subviews added before it, at `frame` in this view's current size. A view hidden
    // before it is added stays hidden.
    void addSubview(QWidget* view, const QRectF& frame, Mask mask);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Subview
    {
        QPointer<QWidget> view;
        QRectF frame;
        QSizeF sizeWhenAdded;
        Mask mask;
    };

    void place(const Subview& subview);

    std::vector<Subview> m_subviews;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(AutoresizingView::Mask)
