#include "ViewTag.h"

#include <QQueue>
#include <QVariant>
#include <QWidget>

namespace ViewTag {

namespace {
const char* const tagProperty = "tunesieveViewTag";
}

void setTag(QWidget* view, int tag)
{
    view->setProperty(tagProperty, tag);
}

int tag(const QWidget* view)
{
    return view->property(tagProperty).toInt();
}

QWidget* viewWithTag(QWidget* root, int tag)
{
    QQueue<QWidget*> level;
    level.enqueue(root);
    while (!level.isEmpty()) {
        QWidget* view = level.dequeue();
        if (ViewTag::tag(view) == tag) {
            return view;
        }
        for (QWidget* child : view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            level.enqueue(child);
        }
    }
    return nullptr;
}

} // namespace ViewTag
