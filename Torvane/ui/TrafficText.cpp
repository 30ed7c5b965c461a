#include "Torvane/ui/TrafficText.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <QCoreApplication>
#include <QLocale>

namespace torvane::TrafficText {

namespace {

/// For texts marked with QT_TRANSLATE_NOOP.
QString translated(const char* text) {
    return QCoreApplication::translate("TrafficText", text);
}

} // namespace

QString bytes(std::int64_t count) {
    if (count < 1000) {
        return QCoreApplication::translate("TrafficText", "%1 B")
            .arg(std::max<std::int64_t>(count, 0));
    }
    static const std::array<const char*, 5> units = {
        QT_TRANSLATE_NOOP("TrafficText", "%1 kB"), QT_TRANSLATE_NOOP("TrafficText", "%1 MB"),
        QT_TRANSLATE_NOOP("TrafficText", "%1 GB"), QT_TRANSLATE_NOOP("TrafficText", "%1 TB"),
        QT_TRANSLATE_NOOP("TrafficText", "%1 PB")};
    double value = static_cast<double>(count);
    std::size_t unit = 0;
    value /= 1000.0;
    while (value >= 999.5 && unit + 1 < units.size()) {
        value /= 1000.0;
        ++unit;
    }
    // Rounded first, so that 9.96 MB reads "10 MB" rather than "10.0 MB".
    const double tenths = std::round(value * 10.0) / 10.0;
    const int decimals = tenths < 10.0 ? 1 : 0;
    return translated(units[unit]).arg(QLocale().toString(tenths, 'f', decimals));
}

QString rate(double bytesPerSecond) {
    return QCoreApplication::translate("TrafficText", "%1/s")
        .arg(bytes(static_cast<std::int64_t>(std::llround(bytesPerSecond))));
}

QString duration(std::int64_t seconds) {
    seconds = std::max<std::int64_t>(seconds, 0);
    const std::int64_t days = seconds / 86400;
    const std::int64_t hours = seconds / 3600 % 24;
    const std::int64_t minutes = seconds / 60 % 60;
    const std::int64_t rest = seconds % 60;
    const auto twoDigits = [](std::int64_t value) {
        return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
    };
    if (days > 0) {
        return QCoreApplication::translate("TrafficText", "%1 d %2 h")
            .arg(days)
            .arg(twoDigits(hours));
    }
    if (hours > 0) {
        return QCoreApplication::translate("TrafficText", "%1 h %2 min")
            .arg(hours)
            .arg(twoDigits(minutes));
    }
    if (minutes > 0) {
        return QCoreApplication::translate("TrafficText", "%1 min %2 s").arg(minutes).arg(rest);
    }
    return QCoreApplication::translate("TrafficText", "%1 s").arg(rest);
}

QString inOut(std::int64_t bytesIn, std::int64_t bytesOut) {
    return QCoreApplication::translate("TrafficText", "↓ %1 ↑ %2")
        .arg(bytes(bytesIn), bytes(bytesOut));
}

QString tunnelLine(const VPNTunnelStatus& tunnel) {
    if (tunnel.state != VPNConnState::connected || !tunnel.tunnelSA) {
        return {};
    }
    return QStringLiteral("%1 %2").arg(QString::fromStdString(tunnel.profileName),
                                       inOut(tunnel.tunnelSA->bytesIn, tunnel.tunnelSA->bytesOut));
}

} // namespace torvane::TrafficText
