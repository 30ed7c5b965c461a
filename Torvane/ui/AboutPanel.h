#pragma once

#include <QDialog>
#include <QString>

namespace torvane {

/// The About window: the application's icon, name and version, and the
/// credits of the programs Torvane relies on, with links.
class AboutPanel : public QDialog {
    Q_OBJECT

public:
    /// This program's documentation as the package installs it, which says
    /// where its source comes from; shown in the credits without its scheme.
    static constexpr const char* kSourcePageURL = "file:///usr/share/doc/torvane/README.md";
    /// The terms Torvane is distributed under, as the package installs them.
    static constexpr const char* kLicenceURL = "file:///usr/share/doc/torvane/copyright";
    static constexpr const char* kStrongSwanURL = "https://www.strongswan.org/";
    static constexpr const char* kDnsmasqURL = "https://thekelleys.org.uk/dnsmasq/doc.html";

    explicit AboutPanel(QWidget* parent = nullptr);

    /// "Version 0.1.1": the version this program was built as.
    static QString versionText();

    /// The credits as rich text, one run after another; a link run carries
    /// its link only when the address is a valid URL.
    static QString credits();
    /// `credits` with the source page replaced, so that an unusable address
    /// can be tried.
    static QString credits(const QString& sourcePageURL);
};

} // namespace torvane
