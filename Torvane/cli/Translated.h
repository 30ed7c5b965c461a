#pragma once

#include <string>

#include <QCoreApplication>
#include <QString>

namespace torvane::cli {

/// A translated message (`tr(…)` in Torvanectl, QCoreApplication::translate
/// ("torvanectl", …) elsewhere) as the text torvanectl prints, with %1, %2…
/// filled by `values` in one pass, so a profile name that itself holds "%1"
/// is printed as typed.
template <typename... Values> std::string fill(const QString& message, const Values&... values) {
    if constexpr (sizeof...(Values) == 0) {
        return message.toStdString();
    } else {
        return message.arg(QString::fromStdString(values)...).toStdString();
    }
}

} // namespace torvane::cli
