#include "HttpAnswer.h"

#include <QJsonDocument>
#include <QJsonObject>

HttpAnswer HttpAnswer::refusal(unsigned status, const std::string& reason)
{
    const QJsonObject object{{QLatin1String("success"), false},
                             {QLatin1String("error"), QString::fromStdString(reason)}};
    return json(status, QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
}
