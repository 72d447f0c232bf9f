#include "app/closesignals.h"
#include "app/form1.h"
#include "app/platformchoice.h"
#include "app/programicon.h"
#include "app/settingsfile.h"
#include "app/workingfolder.h"
#include "display/form2.h"
#include "net/httpfetch.h"
#include "reminders/form3.h"
#include "reminders/okienko.h"
#include "text/errorbox.h"
#include "text/logging.h"
#include "widgets/look.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QSessionManager>
#include <QStyleFactory>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {

// Reads the command line: --help, --version and a mistake end the program here. Gives the
// --folder given, or nothing.
QString folderOption(const QCoreApplication& app)
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
    options.addOption(folder);
    options.process(app);
    return options.value(folder);
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
        // Ends the program, unless the word was the value of --folder.
        const QCoreApplication textOnly(argc, argv);
        folderOption(textOnly);
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
    const WorkingFolder folder = enterWorkingFolder(folderOption(app), standardDataFolder());
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

    // The four windows, in this order; only the main window is shown.
    Form1 form1;
    Form2 form2;
    Form3 form3;
    Okienko okienko(&form1);
    form1.setDialog(&okienko);
    form1.setWidget(&form2);
    form1.setReminderWindow(&form3);
    form1.keepSettingsIn(SettingsFile::standardPath());
    QObject::connect(&form1, &Form1::closed, &app, &QApplication::quit);

    // Errors are shown the way the framework always has: a box with the message and OK, over
    // the main window while it is shown.
    setErrorBox([&form1](const QString& text) {
        QMessageBox box(QMessageBox::Critical, form1.applicationTitle(), text, QMessageBox::Ok,
                        form1.isVisible() ? &form1 : nullptr);
        box.exec();
    });

    // Being asked to end from outside closes the program as "Koniec" does, except that a file
    // that cannot be saved is logged and does not keep the program running: neither the system
    // nor the session waits for an error box.
    CloseSignals closeSignals;
    QObject::connect(&closeSignals, &CloseSignals::closeRequested, &form1, &Form1::endFromOutside);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form1,
                     [&form1](QSessionManager&) { form1.saveForSessionEnd(); });

    // Shown from the event loop: the first show loads the station files, and an error box it
    // opens must run inside the loop that a request to end from outside quits.
    QTimer::singleShot(0, &form1, &QWidget::show);
    const int status = app.exec();
    return form1.lostChanges() ? 1 : status;
}
