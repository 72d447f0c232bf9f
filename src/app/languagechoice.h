#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

// The program's own language: its texts are written in Polish, and every other language is a
// translation of them.
inline const QString kSourceLanguage = QStringLiteral("pl");

// What the user's session says about the language of messages, as Qt reads it.
struct LanguageEnvironment {
    // The locale of messages: LC_ALL, else LC_MESSAGES, else LANG (the first one set).
    QString messagesLocale;
    // QLocale::system().uiLanguages(): the user's languages, most wanted first.
    QStringList uiLanguages;

    static LanguageEnvironment current();
};

// The language the program speaks: the one asked for with --language when there is one;
// Polish in the C or POSIX locale (the program's own language) and when the user's first
// language is Polish; else that language when there is a translation for it, else English.
// `translated` names the languages there are translations for ("en", "de", ...).
QString chooseLanguage(const QString& asked, const LanguageEnvironment& environment,
                       const QStringList& translated);

// Where the program's translations (ekranik_LANG.qm) lie: under share/ of the installation it
// was started from, else in the build tree it was built in.
QString translationsFolder();
// The languages with a translation in the folder.
QStringList translatedLanguages(const QString& folder);

// Loads the program's translation into `app` and Qt's own for its dialogs, and makes the
// language the one programLanguage() says.
void installTranslations(QCoreApplication& app, const QString& language);
// The language installTranslations() chose; Polish until then.
QString programLanguage();
