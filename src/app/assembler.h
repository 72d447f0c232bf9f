#pragma once

#include "app/closesignals.h"
#include "app/form1.h"
#include "app/languagechoice.h"
#include "app/ownportal.h"
#include "app/settingsfile.h"
#include "app/stationfileskeeper.h"
#include "app/traymenu.h"
#include "display/form2.h"
#include "display/publisher.h"
#include "display/widgetlookmodel.h"
#include "net/httpfetch.h"
#include "picker/channelpicker.h"
#include "reminders/form3.h"
#include "reminders/okienko.h"
#include "reminders/remindernotifier.h"
#include "reminders/remindersearch.h"
#include "tray/trayicon.h"
#include "update/channelsloader.h"
#include "update/updateengine.h"

#include <QObject>
#include <QString>

class StationListBox;

// The program, assembled: creates every part, gives each what it needs through its
// constructor, and makes every connection between them, in one place. No part knows another's
// controls; what one part says, another hears only through a connection made here.
class Assembler : public QObject {
    Q_OBJECT
public:
    static inline const QString kHintBeforeActivation = QStringLiteral("ekranik 2oo6 beta o.3");
    static inline const QString kHint = QStringLiteral("ekranik 2oo6 beta o.912");

    // The settings are kept in the file at `settingsPath` (ekranik.conf); the station files are
    // written with `writeStationFile`. `language` is the one the program shows ("pl", "en"),
    // which it asks its portal to answer in too.
    explicit Assembler(const QString& settingsPath,
                       StationFilesKeeper::Writer writeStationFile = {},
                       const QString& language = kSourceLanguage);
    ~Assembler() override;

    // Runs the program until it ends: goes to the background, starts the updates, shows the
    // main window, and shows errors in boxes over it. The exit status says whether changes
    // were lost on the way out.
    int run();
    // The program's title, the caption of its error boxes: the release's, once the station
    // files are in.
    QString applicationTitle() const;

    // The parts, for tests to act as the user and the desktop do.
    Form1& mainWindow() { return m_form1; }
    Form2& widget() { return m_form2; }
    Form3& reminderWindow() { return m_form3; }
    Okienko& dialog() { return m_okienko; }
    TrayIcon& trayIcon() { return m_ico; }
    TrayMenu& trayMenu() { return m_trayMenu; }
    UpdateEngine& engine() { return m_engine; }
    ReminderSearch& reminderSearch() { return m_reminderSearch; }
    StationFilesKeeper& stationFiles() { return m_stationFiles; }
    const WidgetLook& look() const { return m_look.look(); }
    OwnPortal& ownPortal() { return m_ownPortal; }
    ChannelPicker& channelPicker() { return m_picker; }

private:
    void connectParts();
    // Each setting goes the way the user's own choice goes: the frequency through its menu
    // item, so that the engine takes it at the end of the quick first pass as it would a click.
    void restoreSettings();
    // Written whole at the end as well: a change the program did not see as one (the widget
    // moved by the window manager) is kept too.
    void saveSettings();
    // "[ok]": to the tray; during the quick first pass the balloon says the list is coming.
    void hideMainWindow();
    // The folder has no station files. With listings sources set, the demo stations would
    // name channels those listings do not have: the list starts empty.
    void firstStart();
    // Whether the program runs a portal of its own, for the station list as it is now.
    void reconsiderPortal();
    // The program's own portal reads its listings: nothing is fetched meanwhile, and the
    // widget says why it is empty.
    void waitForListings();
    // "Wybierz kanały": the picker over the main window, with the station list as it is and
    // the portal's channels as soon as it has them.
    void openChannelPicker();
    void askForChannels();
    // "Wczytaj": the portal serves these sources from now on.
    void changeSources(const QStringList& sources);
    // OK in the picker: channels become checked stations, and show soon.
    void takePickedChannels(const QList<QByteArray>& addedOrChecked,
                            const QList<QByteArray>& unchecked);

    SettingsFile m_settings;
    WidgetLookModel m_look;
    StationListBox* m_stations; // owned by the main window, which shows it
    HttpFetch m_ht;
    UpdateEngine m_engine;
    Form1 m_form1;
    Form2 m_form2;
    Form3 m_form3;
    Okienko m_okienko;
    TrayMenu m_trayMenu;
    TrayIcon m_ico;
    Publisher m_publisher;
    // Reminders before the start show as desktop notifications where a server answers.
    ReminderNotifier m_notifier;
    ReminderSearch m_reminderSearch;
    StationFilesKeeper m_stationFiles;
    // Ended before the parts it serves are destroyed; its child ends with it.
    OwnPortal m_ownPortal;
    // The picker asks the portal for its channels with a download component of its own.
    HttpFetch m_channelsFetch;
    ChannelsLoader m_channelsLoader;
    ChannelPicker m_picker;
    // The folder had no station files when the program started.
    bool m_firstStart = false;
    CloseSignals m_closeSignals;
};
