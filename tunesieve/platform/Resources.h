#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Data files that ship with the application, such as the status icon.
namespace Resources {

// The path of the resource `name`.`type` in the first of the platform's resource folders that has
// it, or none.
std::optional<QString> pathForResource(const QString& name, const QString& type);

// The folders searched, in order, for this platform's installation layout.
QStringList resourceFolders();

std::optional<QString> findInFolders(const QStringList& folders, const QString& fileName);

} // namespace Resources
