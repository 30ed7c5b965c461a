#pragma once

#include "Torvane/ui/TrafficHistory.h"

#include <vector>

#include <QWidget>

namespace torvane {

/// A small chart of a tunnel's throughput over the last minute: incoming
/// and outgoing bytes per second as two lines on a common scale, newest at
/// the right edge.
class Sparkline : public QWidget {
    Q_OBJECT

public:
    explicit Sparkline(QWidget* parent = nullptr);

    void setRates(std::vector<TrafficHistory::Rate> rates);
    const std::vector<TrafficHistory::Rate>& rates() const { return m_rates; }

    QSize sizeHint() const override;

    /// The colours of the two lines, for a legend.
    static QColor inColor();
    static QColor outColor();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<TrafficHistory::Rate> m_rates;
};

} // namespace torvane
