#include "MenuText.h"

#include <QAction>
#include <QMenu>

namespace {

const char* const kLiteralTextProperty = "literalText";
const char* const kExportedProperty = "exportedTitles";

QString exportedLiteral(QString text)
{
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text.replace(QLatin1Char('_'), QLatin1String("__"));
    // Qt turns only the first "&" into the mnemonic marker: one put before the title marks its
    // first letter, and every "&" of the text shows as it is.
    return QLatin1Char('&') + text;
}

// The outermost menu that `entry` belongs to: submenus and their entries are its children.
const QMenu* statusMenuOf(const QObject* entry)
{
    const QMenu* outermost = nullptr;
    for (const QObject* object = entry; object; object = object->parent()) {
        if (const auto* menu = qobject_cast<const QMenu*>(object)) {
            outermost = menu;
        }
    }
    return outermost;
}

void showLiteralText(QAction* entry, const QString& text)
{
    const QMenu* menu = statusMenuOf(entry);
    const bool exported = menu && menu->property(kExportedProperty).toBool();
    entry->setText(exported ? exportedLiteral(text) : MenuText::literal(text));
}

} // namespace

namespace MenuText {

QString literal(QString text)
{
    text.replace(QLatin1Char('&'), QLatin1String("&&"));
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return text;
}

void setLiteralText(QAction* entry, const QString& text)
{
    entry->setProperty(kLiteralTextProperty, text);
    showLiteralText(entry, text);
}

void setExported(QMenu* menu, bool exported)
{
    menu->setProperty(kExportedProperty, exported);
    for (QAction* entry : menu->findChildren<QAction*>()) {
        const QVariant text = entry->property(kLiteralTextProperty);
        if (text.isValid()) {
            showLiteralText(entry, text.toString());
        }
    }
}

} // namespace MenuText
