#pragma once

class QCoreApplication;

namespace torvane {

/// Shows the app's and Qt's own texts in the user's language (LANGUAGE,
/// LC_ALL, LC_MESSAGES, LANG, as QLocale::system() reads them). The
/// translations come from <prefix>/share/torvane/translations beside the
/// program's bin/ when installed there, otherwise from the copy built into
/// the program. English, the source language, needs none.
void installTranslations(QCoreApplication& app);

} // namespace torvane
