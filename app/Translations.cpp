#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace quandrel {

void installTranslations(QCoreApplication& app)
{
    // The first of the user's languages (LANGUAGE, then LC_ALL, LC_MESSAGES and LANG) that
    // Quandrel speaks; Qt's own texts follow in that same language, so that a dialog's buttons
    // never speak another one than its text.
    auto* own = new QTranslator(&app);
    if (!own->load(QLocale(), QStringLiteral("quandrel"), QStringLiteral("_"), QStringLiteral(":/i18n"))) {
        delete own;
        return;
    }
    QCoreApplication::installTranslator(own);
    auto* qt = new QTranslator(&app);
    if (qt->load(QLocale(own->language()), QStringLiteral("qtbase"), QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
}

} // namespace quandrel
