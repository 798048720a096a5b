#include "AutoresizingView.h"

#include <algorithm>

namespace {

struct Span
{
    double origin;
    double length;
};

// Spreads the change of the parent's length over the flexible parts of one axis (the margin below, the length,
// the margin above), in proportion to what each part measured when the view was added; evenly when they all
// measured nothing. With no flexible part the span keeps its distance from the low edge.
Span resized(Span span, double parentBefore, double parentNow, bool lowFlexible, bool lengthFlexible, bool highFlexible)
{
    const double parts[3] = {span.origin, span.length, parentBefore - span.origin - span.length};
    const bool flexible[3] = {lowFlexible, lengthFlexible, highFlexible};
    double flexibleTotal = 0;
    int flexibleCount = 0;
    for (int i = 0; i < 3; ++i) {
        if (flexible[i]) {
            flexibleTotal += std::max(0.0, parts[i]);
            ++flexibleCount;
        }
    }
    if (flexibleCount == 0) {
        return span;
    }
    const double change = parentNow - parentBefore;
    const auto share = [&](int i) {
        if (!flexible[i]) {
            return 0.0;
        }
        return flexibleTotal > 0 ? change * std::max(0.0, parts[i]) / flexibleTotal : change / flexibleCount;
    };
    return {span.origin + share(0), std::max(0.0, span.length + share(1))};
}

} // namespace

void AutoresizingView::addSubview(QWidget* view, const QRectF& frame, Mask mask)
{
    const bool hidden = view->isHidden() && view->testAttribute(Qt::WA_WState_ExplicitShowHide);
    view->setParent(this);
    view->setHidden(hidden);
    m_subviews.push_back({view, frame, size(), mask});
    place(m_subviews.back());
}

void AutoresizingView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Views deleted since they were added are forgotten here.
    m_subviews.erase(std::remove_if(m_subviews.begin(), m_subviews.end(),
                                    [](const Subview& subview) { return subview.view.isNull(); }),
                     m_subviews.end());
    for (const Subview& subview : m_subviews) {
        place(subview);
    }
}

void AutoresizingView::place(const Subview& subview)
{
    const QSizeF now = size();
    const Span x = resized({subview.frame.x(), subview.frame.width()}, subview.sizeWhenAdded.width(), now.width(),
                           subview.mask & MinXMargin, subview.mask & WidthSizable, subview.mask & MaxXMargin);
    const Span y = resized({subview.frame.y(), subview.frame.height()}, subview.sizeWhenAdded.height(), now.height(),
                           subview.mask & MinYMargin, subview.mask & HeightSizable, subview.mask & MaxYMargin);
    // Frames count y upwards from the bottom edge; Qt counts it downwards from the top edge.
    const QRectF geometry(x.origin, now.height() - y.origin - y.length, x.length, y.length);
    subview.view->setGeometry(geometry.toRect());
}
