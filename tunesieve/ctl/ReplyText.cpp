#include "ReplyText.h"

#include <QDBusArgument>
#include <QJsonArray>
#include <QJsonDocument>

namespace ReplyText {

namespace {

QString cell(const QVariant& value)
{
    if (value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList) {
        QStringList cells;
        for (const QVariant& entry : value.toList()) {
            cells << cell(entry);
        }
        return cells.join('\t');
    }
    QString text = value.toString();
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control) {
            c = ' ';
        }
    }
    return text;
}

} // namespace

QVariant plain(const QVariant& value)
{
    if (value.typeId() != qMetaTypeId<QDBusArgument>()) {
        return value;
    }
    const auto argument = value.value<QDBusArgument>();
    if (argument.currentType() == QDBusArgument::MapType) {
        QVariantMap map;
        argument.beginMap();
        while (!argument.atEnd()) {
            QString key;
            QVariant entry;
            argument.beginMapEntry();
            argument >> key >> entry;
            argument.endMapEntry();
            map.insert(key, plain(entry));
        }
        argument.endMap();
        return map;
    }
    if (argument.currentType() == QDBusArgument::ArrayType) {
        QVariantList list;
        argument.beginArray();
        while (!argument.atEnd()) {
            list << plain(argument.asVariant());
        }
        argument.endArray();
        return list;
    }
    return plain(argument.asVariant());
}

QByteArray lines(const QVariant& value, const QStringList& fields)
{
    QStringList lines;
    if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        for (auto entry = map.cbegin(); entry != map.cend(); ++entry) {
            lines << entry.key() + '\t' + cell(entry.value());
        }
    } else if (value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList) {
        for (const QVariant& entry : value.toList()) {
            QStringList cells;
            for (const QString& field : fields) {
                cells << cell(entry.toMap().value(field));
            }
            lines << (fields.isEmpty() ? cell(entry) : cells.join('\t'));
        }
    } else if (value.isValid()) {
        lines << cell(value);
    }
    return lines.isEmpty() ? QByteArray() : (lines.join('\n') + '\n').toUtf8();
}

QByteArray json(const QVariant& value)
{
    if (!value.isValid()) {
        return QByteArray();
    }
    // A document holds an object or an array: a lone value goes out of its array again.
    const QByteArray array = QJsonDocument(QJsonArray{QJsonValue::fromVariant(value)}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2) + '\n';
}

} // namespace ReplyText
