#include "Torvane/ui/TunnelDetailsView.h"

#include "Torvane/ui/Sparkline.h"
#include "Torvane/ui/TrafficText.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QTextDocument>
#include <QVBoxLayout>

namespace torvane {

namespace {

QString joined(const std::vector<std::string>& texts) {
    QStringList list;
    for (const auto& text : texts) {
        list << QString::fromStdString(text);
    }
    return list.join(QStringLiteral(", "));
}

QString orDash(const std::string& text) {
    return text.empty() ? QStringLiteral("—") : QString::fromStdString(text);
}

} // namespace

TunnelDetailsView::TunnelDetailsView(QWidget* parent)
    : QGroupBox(tr("Connection Details"), parent), m_form(new QFormLayout) {
    setObjectName(QStringLiteral("tunnelDetails"));
    m_form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    m_form->setVerticalSpacing(2);
    m_ike = addRow(tr("IKE"));
    m_esp = addRow(tr("ESP"));
    m_established = addRow(tr("Connected for"));
    m_rekey = addRow(tr("Next rekey"));
    m_local = addRow(tr("Local address"));
    m_remote = addRow(tr("Remote address"));
    m_selectors = addRow(tr("Traffic selectors"));
    m_received = addRow(tr("Received"));
    m_sent = addRow(tr("Sent"));

    // Two columns: the facts at the left, the throughput at the right.
    auto* chart = new QVBoxLayout;
    auto* title = new QLabel(tr("Throughput, last minute"), this);
    title->setForegroundRole(QPalette::PlaceholderText);
    chart->addWidget(title);
    m_sparkline = new Sparkline(this);
    m_sparkline->setFixedWidth(220);
    chart->addWidget(m_sparkline);
    m_rate = new QLabel(this);
    m_rate->setObjectName(QStringLiteral("currentRate"));
    m_rate->setTextFormat(Qt::RichText);
    chart->addWidget(m_rate);
    chart->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(m_form, 1);
    layout->addLayout(chart, 0);
    hide();
}

QLabel* TunnelDetailsView::addRow(const QString& label) {
    auto* value = new QLabel(this);
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_form->addRow(label, value);
    return value;
}

void TunnelDetailsView::showTunnel(const VPNTunnelStatus* tunnel,
                                   std::vector<TrafficHistory::Rate> rates) {
    if (tunnel == nullptr || tunnel->state != VPNConnState::connected || !tunnel->tunnelSA) {
        hide();
        m_sparkline->setRates({});
        return;
    }
    const VPNSaDetails& sa = *tunnel->tunnelSA;
    m_ike->setText(orDash(sa.ikeProposal));
    m_esp->setText(orDash(sa.espProposal));
    m_established->setText(TrafficText::duration(sa.establishedSeconds));
    const auto rekeyIn = [](const std::optional<std::int64_t>& seconds) {
        return seconds ? tr("in %1").arg(TrafficText::duration(*seconds)) : tr("not scheduled");
    };
    m_rekey->setText(
        tr("IKE %1, ESP %2").arg(rekeyIn(sa.ikeRekeySeconds), rekeyIn(sa.espRekeySeconds)));
    m_local->setText(orDash(sa.localAddress));
    m_remote->setText(orDash(sa.remoteAddress));
    m_selectors->setText(sa.localTrafficSelectors.empty() && sa.remoteTrafficSelectors.empty()
                             ? QStringLiteral("—")
                             : tr("%1 ⇄ %2").arg(joined(sa.localTrafficSelectors),
                                                 joined(sa.remoteTrafficSelectors)));
    const QLocale locale;
    m_received->setText(
        tr("↓ %1 (%2 packets)").arg(TrafficText::bytes(sa.bytesIn), locale.toString(sa.packetsIn)));
    m_sent->setText(tr("↑ %1 (%2 packets)")
                        .arg(TrafficText::bytes(sa.bytesOut), locale.toString(sa.packetsOut)));
    if (rates.empty()) {
        m_rate->setText(tr("Measuring…"));
    } else {
        // The legend doubles as the current rate, in the lines' colours.
        m_rate->setText(
            QStringLiteral("<span style=\"color:%1\">%2</span>&nbsp;&nbsp;"
                           "<span style=\"color:%3\">%4</span>")
                .arg(Sparkline::inColor().name(),
                     tr("↓ %1").arg(TrafficText::rate(rates.back().in)).toHtmlEscaped(),
                     Sparkline::outColor().name(),
                     tr("↑ %1").arg(TrafficText::rate(rates.back().out)).toHtmlEscaped()));
    }
    m_sparkline->setRates(std::move(rates));
    show();
}

QString TunnelDetailsView::text() const {
    QStringList lines;
    for (int row = 0; row < m_form->rowCount(); ++row) {
        const auto* label =
            qobject_cast<QLabel*>(m_form->itemAt(row, QFormLayout::LabelRole)->widget());
        const auto* value =
            qobject_cast<QLabel*>(m_form->itemAt(row, QFormLayout::FieldRole)->widget());
        if (label != nullptr && value != nullptr) {
            lines << label->text() + QStringLiteral(": ") + value->text();
        }
    }
    QTextDocument plain;
    plain.setHtml(m_rate->text());
    lines << tr("Throughput") + QStringLiteral(": ") +
                 plain.toPlainText().replace(QChar::Nbsp, QLatin1Char(' '));
    return lines.join(QLatin1Char('\n'));
}

} // namespace torvane
