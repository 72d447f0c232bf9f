#include "app/assembler.h"
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
        QStringLiteral(
            "Program telewizyjny na pulpicie: co teraz leci na wybranych stacjach.\n"
            "Pliki (programy.tv, programy_stan.tv, pobrane strony) trzyma w folderze z --folder,\n"
            "w bieżącym, jeśli już są w nim pliki stacji, a poza tym w %1.\n"
            "Ustawienia: %2.")
            .arg(standardDataFolder(), SettingsFile::standardPath()));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption folder(
        QStringLiteral("folder"),
        QStringLiteral("Folder na pliki programu; utworzony, jeśli go nie ma."),
        QStringLiteral("DIR"));
    const QCommandLineOption xmltv(
        QStringLiteral("xmltv"),
        QStringLiteral("Program XMLTV (plik albo adres http/https, zwykły, gzip lub xz) dla "
                       "własnego portalu programu; można podać kilka razy. Zastępuje "
                       "zapamiętane źródła i zostaje zapamiętany."),
        QStringLiteral("SOURCE"));
    options.addOptions({folder, xmltv});
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

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("ekranik"));
    QCoreApplication::setApplicationVersion(QStringLiteral(EKRANIK_VERSION));
    if (asksOnlyForText(argc, argv)) {
        // Ends the program, unless the word was the value of --folder or --xmltv.
        const QCoreApplication textOnly(argc, argv);
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

    Assembler program(SettingsFile::standardPath());
    return program.run();
}
