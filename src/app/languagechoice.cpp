#include "app/languagechoice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#if !defined(EKRANIK_TRANSLATIONS_FROM_BINDIR) || !defined(EKRANIK_TRANSLATIONS_BUILD_DIR)
#error "EKRANIK_TRANSLATIONS_FROM_BINDIR and EKRANIK_TRANSLATIONS_BUILD_DIR must be defined"
#endif

namespace {

QString g_language = kSourceLanguage;

// "pl_PL.UTF-8@euro" and "pl-PL" are both Polish: the language is what comes before the
// territory, the code set and the modifier.
QString languageOf(const QString& locale)
{
    return locale.section(QLatin1Char('.'), 0, 0)
        .section(QLatin1Char('@'), 0, 0)
        .section(QLatin1Char('_'), 0, 0)
        .section(QLatin1Char('-'), 0, 0)
        .toLower();
}

} // namespace

LanguageEnvironment LanguageEnvironment::current()
{
    QString messages;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        messages = qEnvironmentVariable(name);
        if (!messages.isEmpty())
            break;
    }
    return {messages, QLocale::system().uiLanguages()};
}

QString chooseLanguage(const QString& asked, const LanguageEnvironment& environment,
                       const QStringList& translated)
{
    if (!asked.isEmpty())
        return asked;
    // Nothing set is the C locale too.
    const QString messages = environment.messagesLocale.section(QLatin1Char('.'), 0, 0);
    if (messages.isEmpty() || messages == QLatin1String("C") || messages == QLatin1String("POSIX"))
        return kSourceLanguage;
    const QString first = languageOf(environment.uiLanguages.value(0));
    if (first == kSourceLanguage || translated.contains(first))
        return first;
    return QStringLiteral("en");
}

QString translationsFolder()
{
    const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                              QStringLiteral("/" EKRANIK_TRANSLATIONS_FROM_BINDIR));
    if (QFileInfo(installed).isDir())
        return installed;
    return QStringLiteral(EKRANIK_TRANSLATIONS_BUILD_DIR);
}

QStringList translatedLanguages(const QString& folder)
{
    QStringList languages;
    for (const QString& file :
         QDir(folder).entryList({QStringLiteral("ekranik_*.qm")}, QDir::Files, QDir::Name))
        languages << file.mid(8, file.size() - 8 - 3);
    return languages;
}

void installTranslations(QCoreApplication& app, const QString& language)
{
    g_language = language;
    // The file chooser and the standard buttons speak it too, Polish included.
    auto* qt = new QTranslator(&app);
    if (qt->load(QStringLiteral("qtbase_") + language,
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    if (language == kSourceLanguage)
        return;
    auto* own = new QTranslator(&app);
    if (own->load(QStringLiteral("ekranik_") + language, translationsFolder()))
        QCoreApplication::installTranslator(own);
}

QString programLanguage()
{
    return g_language;
}
