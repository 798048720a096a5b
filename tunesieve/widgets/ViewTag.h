#pragma once

class QWidget;

// Integer tags on views, by which a view is found again in a view tree. A view without a tag has tag 0.
namespace ViewTag {

void setTag(QWidget* view, int tag);
int tag(const QWidget* view);

// The nearest view with `tag`: `root` itself, else one of its direct children, else a deeper descendant, searched
// level by level; or none. So a view deep inside a table never shadows a direct child with the same tag.
QWidget* viewWithTag(QWidget* root, int tag);

} // namespace ViewTag
