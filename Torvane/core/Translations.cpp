#include "Torvane/core/Translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace torvane {
namespace {

/// Installs `name` for the system locale from the first folder that has
/// it; the translator stays with `app`.
void install(QCoreApplication& app, const QString& name, const QStringList& folders) {
    auto* translator = new QTranslator(&app);
    for (const QString& folder : folders) {
        if (translator->load(QLocale::system(), name, QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator);
            return;
        }
    }
    delete translator;
}

} // namespace

void installTranslations(QCoreApplication& app) {
    install(app, QStringLiteral("qtbase"), {QLibraryInfo::path(QLibraryInfo::TranslationsPath)});
    const QString installed = QDir(QCoreApplication::applicationDirPath())
                                  .filePath(QStringLiteral("../share/torvane/translations"));
    install(app, QStringLiteral("torvane"), {installed, QStringLiteral(":/i18n")});
}

} // namespace torvane
