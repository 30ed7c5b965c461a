#pragma once

#include <string>

#include <QCoreApplication>
#include <QString>

namespace torvane {

/// A sentence of the importer in the user's language, its %1, %2… filled by
/// `values` in one pass, so that a profile name that itself holds "%1" is
/// shown as typed. The source is written as QT_TRANSLATE_NOOP("ProfileImport",
/// "…") where the sentence is made, which is where lupdate collects it.
template <typename... Values> std::string importText(const char* source, const Values&... values) {
    const auto message = QCoreApplication::translate("ProfileImport", source);
    if constexpr (sizeof...(Values) == 0) {
        return message.toStdString();
    } else {
        return message.arg(QString::fromStdString(values)...).toStdString();
    }
}

} // namespace torvane
