#include "app/closesignals.h"
#include "app/form1.h"
#include "app/programicon.h"
#include "display/form2.h"
#include "net/httpfetch.h"
#include "reminders/form3.h"
#include "reminders/okienko.h"
#include "text/errorbox.h"
#include "widgets/look.h"

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <QStyleFactory>
#include <QTimer>

int main(int argc, char* argv[])
{
    HttpFetch::globalInit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ekranik"));
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
