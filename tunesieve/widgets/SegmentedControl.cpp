#include "SegmentedControl.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

SegmentedControl::SegmentedControl(QWidget* parent)
    : QWidget(parent), m_segments(new QButtonGroup(this)), m_layout(new QHBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_segments->setExclusive(true);
    connect(m_segments, &QButtonGroup::idClicked, this, &SegmentedControl::activated);
}

void SegmentedControl::setSegmentCount(int count)
{
    while (m_segments->buttons().size() > count) {
        delete m_segments->button(int(m_segments->buttons().size()) - 1);
    }
    while (m_segments->buttons().size() < count) {
        auto* segment = new QPushButton(this);
        segment->setCheckable(true);
        segment->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        m_segments->addButton(segment, int(m_segments->buttons().size()));
        m_layout->addWidget(segment);
    }
}

void SegmentedControl::setLabel(const QString& label, int segment)
{
    if (QAbstractButton* button = m_segments->button(segment)) {
        button->setText(label);
    }
}

void SegmentedControl::setSelectedSegment(int segment)
{
    if (QAbstractButton* button = m_segments->button(segment)) {
        button->setChecked(true);
    }
}

int SegmentedControl::selectedSegment() const
{
    return m_segments->checkedId();
}
