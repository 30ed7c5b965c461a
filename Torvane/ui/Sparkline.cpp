#include "Torvane/ui/Sparkline.h"

#include "Torvane/ui/TrafficText.h"

#include <algorithm>

#include <QPainter>
#include <QPainterPath>

namespace torvane {

namespace {

// Fixed hues, so that the two lines read the same in light and dark themes
// and match the legend beside the chart.
const QColor kInColor(0x2e, 0x86, 0xde);
const QColor kOutColor(0xe6, 0x7e, 0x22);

} // namespace

Sparkline::Sparkline(QWidget* parent) : QWidget(parent) {
    setMinimumSize(120, 36);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(tr("Throughput over the last minute"));
}

QSize Sparkline::sizeHint() const {
    return {240, 44};
}

void Sparkline::setRates(std::vector<TrafficHistory::Rate> rates) {
    m_rates = std::move(rates);
    double peak = 0;
    for (const auto& rate : m_rates) {
        peak = std::max({peak, rate.in, rate.out});
    }
    setToolTip(m_rates.empty() ? tr("Collecting samples…")
                               : tr("Peak over the last minute: %1").arg(TrafficText::rate(peak)));
    update();
}

void Sparkline::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1.5, 2.5, -1.5, -2.5);
    QColor frame = palette().color(QPalette::Mid);
    painter.setPen(QPen(frame, 1));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    if (m_rates.empty()) {
        return;
    }
    double peak = 1;
    for (const auto& rate : m_rates) {
        peak = std::max({peak, rate.in, rate.out});
    }
    // The minute ends at the newest sample, so the lines grow in from the
    // right while the first samples arrive.
    const double end = static_cast<double>(m_rates.back().atMs);
    const double span = static_cast<double>(TrafficHistory::kWindowMs);
    const auto point = [&](std::int64_t atMs, double value) {
        const double x = area.right() - (end - static_cast<double>(atMs)) / span * area.width();
        return QPointF(x, area.bottom() - value / peak * area.height());
    };
    for (const bool incoming : {true, false}) {
        QPainterPath path;
        for (std::size_t i = 0; i < m_rates.size(); ++i) {
            const auto& rate = m_rates[i];
            const QPointF at = point(rate.atMs, incoming ? rate.in : rate.out);
            if (i == 0) {
                path.moveTo(at);
            } else {
                path.lineTo(at);
            }
        }
        painter.setPen(QPen(incoming ? kInColor : kOutColor, 1.5));
        if (m_rates.size() == 1) {
            painter.drawPoint(path.currentPosition());
        } else {
            painter.drawPath(path);
        }
    }
}

QColor Sparkline::inColor() {
    return kInColor;
}

QColor Sparkline::outColor() {
    return kOutColor;
}

} // namespace torvane
