#pragma once

#include <QString>

namespace MenuText {

// A menu title that shows `text` whole: Qt would take an "&" as a mnemonic marker and a tab as the
// start of the shortcut column.
QString literal(QString text);

} // namespace MenuText
