#pragma once

#include "Torvane/ui/TrafficHistory.h"
#include "shared/VPNTunnelStatus.h"

#include <QGroupBox>

class QFormLayout;
class QLabel;

namespace torvane {

class Sparkline;

/// What charon reports of the selected profile's connected tunnel: the
/// negotiated algorithms, how long it is up and when it is rekeyed, the
/// endpoints and traffic selectors, the counters and a chart of the last
/// minute's throughput. Hidden unless the tunnel is connected and the daemon
/// sent these details.
class TunnelDetailsView : public QGroupBox {
    Q_OBJECT

public:
    explicit TunnelDetailsView(QWidget* parent = nullptr);

    /// Shows `tunnel` (null: nothing to show) with its throughput history.
    void showTunnel(const VPNTunnelStatus* tunnel, std::vector<TrafficHistory::Rate> rates);

    /// Every row as "Label: value", one per line, for tests and for copying.
    QString text() const;
    Sparkline* sparkline() const { return m_sparkline; }

private:
    QLabel* addRow(const QString& label);

    QFormLayout* m_form;
    QLabel* m_ike;
    QLabel* m_esp;
    QLabel* m_established;
    QLabel* m_rekey;
    QLabel* m_local;
    QLabel* m_remote;
    QLabel* m_selectors;
    QLabel* m_received;
    QLabel* m_sent;
    QLabel* m_rate;
    Sparkline* m_sparkline;
};

} // namespace torvane
