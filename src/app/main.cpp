#include "app/assembler.h"
#include "app/languagechoice.h"
#include "app/platformchoice.h"
#include "app/programicon.h"
#include "app/settingsfile.h"
#include "app/workingfolder.h"
#include "net/httpfetch.h"
#include "text/logging.h"
#include "widgets/look.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>
#include <QStyleFactory>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct CommandLine {
    QString folder;
    // Given with --xmltv: they replace the kept ones.
    QStringList sources;
};

// Reads the command line: --help, --version and a mistake end the program here.
CommandLine readCommandLine(const QCoreApplication& app)
{
    QCommandLineParser options;
    options.setApplicationDescription(
        QCoreApplication::translate(
            "main",
            "Program telewizyjny na pulpicie: co teraz leci na wybranych stacjach.\n"
            "Pliki (programy.tv, programy_stan.tv, pobrane strony) trzyma w folderze z --folder,\n"
            "w bieżącym, jeśli już są w nim pliki stacji, a poza tym w %1.\n"
            "Ustawienia: %2.")
            .arg(standardDataFolder(), SettingsFile::standardPath()));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption folder(
        QStringLiteral("folder"),
        QCoreApplication::translate("main",
                                    "Folder na pliki programu; utworzony, jeśli go nie ma."),
        QStringLiteral("DIR"));
    const QCommandLineOption xmltv(
        QStringLiteral("xmltv"),
        QCoreApplication::translate(
            "main", "Program XMLTV (plik albo adres http/https, zwykły, gzip lub xz) dla "
                    "własnego portalu programu; można podać kilka razy. Zastępuje "
                    "zapamiętane źródła i zostaje zapamiętany."),
        QStringLiteral("SOURCE"));
    // Read before the command line is (see languageAsked()); here for --help and so that it is
    // no mistake.
    const QCommandLineOption language(
        QStringLiteral("language"),
        QCoreApplication::translate("main",
                                    "Język programu: %1. Bez tego język pulpitu, jeśli jest na "
                                    "niego tłumaczenie, polski w locale C i POSIX, a poza tym "
                                    "angielski.")
            .arg((QStringList{kSourceLanguage} + translatedLanguages(translationsFolder()))
                     .join(QLatin1Char('|'))),
        QStringLiteral("LANG"));
    options.addOptions({folder, xmltv, language});
    options.process(app);
    return {options.value(folder), options.values(xmltv)};
}

// Asking for help or the version needs no display: those are answered before the windowing
// system is opened, so that they work on a machine without one too.
bool asksOnlyForText(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char* word : {"-h", "-?", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], word) == 0)
                return true;
        }
    }
    return false;
}

// The value of --language, wanted before the command line is read: its help speaks it too.
QString languageAsked(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray word(argv[i]);
        if (word == "--language" && i + 1 < argc)
            return QString::fromLocal8Bit(argv[i + 1]);
        if (word.startsWith("--language="))
            return QString::fromLocal8Bit(word.mid(11));
    }
    return {};
}

// Speaks the language asked for, else the user's; a language without a translation ends the
// program, in the user's.
void speakUsersLanguage(QCoreApplication& app, const QString& asked)
{
    const QStringList translated = translatedLanguages(translationsFolder());
    const LanguageEnvironment environment = LanguageEnvironment::current();
    if (asked.isEmpty() || asked == kSourceLanguage || translated.contains(asked)) {
        installTranslations(app, chooseLanguage(asked, environment, translated));
        return;
    }
    installTranslations(app, chooseLanguage(QString(), environment, translated));
    const QString error =
        QCoreApplication::translate("main", "ekranik: nie ma tłumaczenia na język „%1” (są: %2)")
            .arg(asked, (QStringList{kSourceLanguage} + translated).join(QStringLiteral(", ")));
    std::fprintf(stderr, "%s\n", qPrintable(error));
    std::exit(2);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("ekranik"));
    QCoreApplication::setApplicationVersion(QStringLiteral(EKRANIK_VERSION));
    if (asksOnlyForText(argc, argv)) {
        // Ends the program, unless the word was the value of --folder or --xmltv.
        QCoreApplication textOnly(argc, argv);
        speakUsersLanguage(textOnly, languageAsked(argc, argv));
        readCommandLine(textOnly);
    }

    // Chosen before the windowing system is opened: in a Wayland session the desktop widget
    // needs X11 (XWayland) to place itself.
    QByteArrayList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    const PlatformChoice platform = choosePlatform(SessionEnvironment::current(), arguments);
    if (!platform.platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform.platform);

    HttpFetch::globalInit();
    QApplication app(argc, argv);
    speakUsersLanguage(app, languageAsked(argc, argv));
    if (!platform.note.isEmpty())
        qCWarning(lcLog).noquote() << platform.note;
    const CommandLine given = readCommandLine(app);
    // Kept before the working folder is entered: a file named relative to the current folder
    // is kept as the absolute path it names here.
    if (!given.sources.isEmpty())
        SettingsFile(SettingsFile::standardPath()).setSources(given.sources);
    const WorkingFolder folder = enterWorkingFolder(given.folder, standardDataFolder());
    if (!folder.error.isEmpty()) {
        std::fprintf(stderr, "ekranik: %s\n", qPrintable(folder.error));
        return 2;
    }
    qCInfo(lcLog).noquote()
        << QStringLiteral(".mrowka: Pliki w %1 (%2)").arg(folder.path, folder.reason);
    QApplication::setWindowIcon(programIcon());
    // Drawn the same on every desktop; the windows are laid out to the pixel.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // The program lives in the tray: it ends when the main window closes, not when the last
    // visible window goes away.
    QApplication::setQuitOnLastWindowClosed(false);
    installFontFallbacks();

    Assembler program(SettingsFile::standardPath(), {}, programLanguage());
    return program.run();
}
