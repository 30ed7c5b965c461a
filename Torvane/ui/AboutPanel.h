#pragma once

#include <QDialog>
#include <QString>

namespace torvane {

/// The About window: the application's name and icon, and the credits of
/// the programs Torvane relies on, with links.
class AboutPanel : public QDialog {
    Q_OBJECT

public:
    /// Where this program's source can be downloaded; shown in the credits
    /// without its scheme.
    static constexpr const char* kSourcePageURL = "https://example.invalid/torvane";
    static constexpr const char* kStrongSwanURL = "https://www.strongswan.org/";
    static constexpr const char* kDnsmasqURL = "https://thekelleys.org.uk/dnsmasq/doc.html";

    explicit AboutPanel(QWidget* parent = nullptr);

    /// The credits as rich text, one run after another; a link run carries
    /// its link only when the address is a valid URL.
    static QString credits();
    /// `credits` with the source page replaced, so that an unusable address
    /// can be tried.
    static QString credits(const QString& sourcePageURL);
};

} // namespace torvane
