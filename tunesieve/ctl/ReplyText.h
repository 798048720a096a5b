#pragma once

#include <QStringList>
#include <QVariant>

// How tunesieve-ctl writes what the agent sent: plain values, lists one entry a line, a dictionary
// one "key<TAB>value" line a key, records one line each with their fields tab-separated in the
// order given; a list value's entries tab-separated too. Control characters in names (a tab, a line
// break, a terminal's escape) are written as spaces, so that every line stays one entry. In JSON,
// each reply or signal is one compact document on one line, names as they are.
namespace ReplyText {

// What the bus delivered (a QDBusArgument for dictionaries and records) as plain values: texts,
// numbers, lists and maps.
QVariant plain(const QVariant& value);

// The lines for `value`, each ending in a line break; empty for no value.
QByteArray lines(const QVariant& value, const QStringList& fields);
QByteArray json(const QVariant& value);

} // namespace ReplyText
