#include "shared/VPNAuthMethod.h"

#include <set>
#include <string>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTranslator>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {

struct Entry {
    QString context;
    QString source;
    QString translation;
    bool unfinished = false;
};

std::vector<Entry> entries(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    std::vector<Entry> found;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            found.push_back({context, {}, {}, false});
        } else if (xml.name() == u"source") {
            found.back().source = xml.readElementText();
        } else if (xml.name() == u"translation") {
            found.back().unfinished = !xml.attributes().value(QStringLiteral("type")).isEmpty();
            found.back().translation = xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return found;
}

std::set<std::string> placeholders(const QString& text) {
    std::set<std::string> found;
    static const QRegularExpression marker(QStringLiteral("%\\d+"));
    for (const auto& match : marker.globalMatch(text)) {
        found.insert(match.captured().toStdString());
    }
    return found;
}

// Every text of the German file is translated, keeps the %1… the code fills
// in, and is what the translation built into the app core returns.
TEST(Translations, GermanIsCompleteAndBuiltIn) {
    QTranslator german;
    ASSERT_TRUE(german.load(QStringLiteral(":/i18n/torvane_de.qm")));
    EXPECT_EQ(german.language(), QStringLiteral("de_DE"));

    // shared/ has no Qt: the editor marks the method names for it.
    for (const auto method : torvane::kAllAuthMethods) {
        EXPECT_FALSE(
            german.translate("VPNAuthMethod", std::string(label(method)).c_str()).isEmpty())
            << label(method);
    }

    const auto all = entries(QStringLiteral(TORVANE_TRANSLATIONS_DIR "/torvane_de.ts"));
    ASSERT_GT(all.size(), 200u);
    for (const auto& entry : all) {
        SCOPED_TRACE(entry.context.toStdString() + ": " + entry.source.toStdString());
        EXPECT_FALSE(entry.unfinished);
        EXPECT_FALSE(entry.translation.isEmpty());
        EXPECT_EQ(placeholders(entry.translation), placeholders(entry.source));
        EXPECT_EQ(
            german.translate(entry.context.toUtf8().constData(), entry.source.toUtf8().constData()),
            entry.translation);
    }
}

// torvanectl picks its language from the environment as a desktop session
// sets it, with or without the locale generated on the machine.
TEST(Translations, TorvanectlSpeaksTheUsersLanguage) {
    auto errorOutput = [](const QStringList& environment) {
        QProcess process;
        // The rest of the environment stays (the sanitizers' options).
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            env.remove(QString::fromLatin1(name));
        }
        for (const auto& pair : environment) {
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        }
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TORVANECTL_PATH), {QStringLiteral("frobnicate")});
        EXPECT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitCode(), 2);
        return QString::fromUtf8(process.readAllStandardError());
    };
    const QString german = QStringLiteral("torvanectl: unbekannter Befehl „frobnicate“\n"
                                          "„torvanectl --help“ zeigt die Verwendung.\n");
    EXPECT_EQ(errorOutput({QStringLiteral("LANG=de_DE.UTF-8")}), german);
    EXPECT_EQ(errorOutput({QStringLiteral("LANG=C.UTF-8"), QStringLiteral("LANGUAGE=de")}), german);
    EXPECT_EQ(errorOutput({QStringLiteral("LANG=C.UTF-8")}),
              QStringLiteral("torvanectl: unknown command 'frobnicate'\n"
                             "Run 'torvanectl --help' for usage.\n"));
}

} // namespace
