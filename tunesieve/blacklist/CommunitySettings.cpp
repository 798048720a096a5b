#include "CommunitySettings.h"

#include <QUrl>

bool CommunitySettings::useServiceUrl(const QVariant& preferred)
{
    if (preferred.typeId() != QMetaType::QString) {
        return false;
    }
    QString text = preferred.toString();
    while (text.endsWith(u'/')) {
        text.chop(1);
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty() || !url.userInfo().isEmpty() ||
        url.hasQuery() || url.hasFragment()) {
        return false;
    }
    baseUrl = text;
    return true;
}
