#pragma once

#include <QWidget>

class QButtonGroup;
class QHBoxLayout;

// A row of segments of which exactly one is selected, like the segmented control of a desktop toolkit.
class SegmentedControl : public QWidget
{
    Q_OBJECT

public:
    explicit SegmentedControl(QWidget* parent = nullptr);

    // Adds or removes segments at the end; a new segment has no label.
    void setSegmentCount(int count);
    void setLabel(const QString& label, int segment);
    void setSelectedSegment(int segment);
    // The selected segment, or -1 before one is selected.
    int selectedSegment() const;

signals:
    // The user chose a segment; it is selected by then. Selecting one in code does not emit this.
    void activated();

private:
    QButtonGroup* m_segments;
    QHBoxLayout* m_layout;
};
