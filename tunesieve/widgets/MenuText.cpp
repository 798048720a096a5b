#include "MenuText.h"

namespace MenuText {

QString literal(QString text)
{
    text.replace(QLatin1Char('&'), QLatin1String("&&"));
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return text;
}

} // namespace MenuText
