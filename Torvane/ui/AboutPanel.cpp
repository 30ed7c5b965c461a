#include "Torvane/ui/AboutPanel.h"

#include "Torvane/ui/StatusIcons.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

namespace torvane {

namespace {

QString plainRun(const QString& text) {
    return text.toHtmlEscaped();
}

QString linkRun(const QString& text, const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) {
        return plainRun(text);
    }
    return QStringLiteral("<a href=\"%1\">%2</a>")
        .arg(QString::fromUtf8(url.toEncoded()).toHtmlEscaped(), text.toHtmlEscaped());
}

/// The address as a reader would type it: without "https://".
QString withoutScheme(const QString& address) {
    const qsizetype separator = address.indexOf(QStringLiteral("://"));
    return separator < 0 ? address : address.mid(separator + 3);
}

} // namespace

QString AboutPanel::versionText() {
    return tr("Version %1").arg(QStringLiteral(TORVANE_VERSION));
}

QString AboutPanel::credits() {
    return credits(QString::fromLatin1(kSourcePageURL));
}

QString AboutPanel::credits(const QString& sourcePageURL) {
    // One sentence for translators; the links go in after escaping.
    return plainRun(tr("Torvane bundles %1 and %2, both licensed under the GNU General Public "
                       "License v2, and OpenSSL, licensed under the Apache License 2.0."))
               .arg(linkRun(QStringLiteral("strongSwan"), QString::fromLatin1(kStrongSwanURL)),
                    linkRun(QStringLiteral("dnsmasq"), QString::fromLatin1(kDnsmasqURL))) +
           QStringLiteral("<br><br>") + plainRun(QStringLiteral(" ")) +
           linkRun(withoutScheme(sourcePageURL), sourcePageURL) + plainRun(QStringLiteral("."));
}

AboutPanel::AboutPanel(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Torvane"));
    auto* layout = new QVBoxLayout(this);

    auto* iconLabel = new QLabel(this);
    setWindowIcon(StatusIcons::named("torvane"));
    iconLabel->setPixmap(StatusIcons::named("torvane").pixmap(64, 64));
    iconLabel->setAlignment(Qt::AlignHCenter);
    layout->addWidget(iconLabel);

    auto* nameLabel = new QLabel(QStringLiteral("Torvane"), this);
    QFont nameFont = nameLabel->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.4);
    nameLabel->setFont(nameFont);
    nameLabel->setAlignment(Qt::AlignHCenter);
    layout->addWidget(nameLabel);

    auto* versionLabel = new QLabel(versionText(), this);
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    versionLabel->setAlignment(Qt::AlignHCenter);
    versionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(versionLabel);

    auto* creditsLabel = new QLabel(credits(), this);
    creditsLabel->setObjectName(QStringLiteral("creditsLabel"));
    creditsLabel->setAccessibleName(tr("Credits"));
    // The credits are small print: a little under the body text, whatever
    // size the desktop uses for that.
    QFont creditsFont = creditsLabel->font();
    creditsFont.setPointSizeF(creditsFont.pointSizeF() * 0.9);
    creditsLabel->setFont(creditsFont);
    creditsLabel->setTextFormat(Qt::RichText);
    creditsLabel->setWordWrap(true);
    creditsLabel->setAlignment(Qt::AlignHCenter);
    creditsLabel->setOpenExternalLinks(true);
    creditsLabel->setTextInteractionFlags(Qt::TextBrowserInteraction);
    creditsLabel->setMinimumWidth(340);
    layout->addWidget(creditsLabel);

    auto* licenceLabel = new QLabel(
        QStringLiteral("<a href=\"%1\">%2</a>")
            .arg(QString::fromLatin1(kLicenceURL).toHtmlEscaped(), tr("Licence").toHtmlEscaped()),
        this);
    licenceLabel->setObjectName(QStringLiteral("licenceLabel"));
    licenceLabel->setTextFormat(Qt::RichText);
    licenceLabel->setAlignment(Qt::AlignHCenter);
    licenceLabel->setOpenExternalLinks(true);
    licenceLabel->setFont(creditsFont);
    layout->addWidget(licenceLabel);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

} // namespace torvane
