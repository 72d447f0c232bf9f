#include "app/assembler.h"

#include "app/idlepriority.h"
#include "app/keptbroadcasts.h"
#include "app/portalprobe.h"
#include "app/programicon.h"
#include "stations/defaultstations.h"
#include "stations/pickedchannels.h"
#include "text/errorbox.h"
#include "widgets/stationlistbox.h"
#include "widgets/windowdragger.h"

#include <QApplication>
#include <QDBusConnection>
#include <QMessageBox>
#include <QSessionManager>
#include <QTimer>

Assembler::Assembler(const QString& settingsPath, StationFilesKeeper::Writer writeStationFile,
                     const QString& language)
    : m_settings(settingsPath), m_look(m_settings.widgetLook()), m_stations(new StationListBox),
      m_engine(m_stations->model(), &m_ht), m_form1(m_stations, m_engine.nowPlaying(), &m_look),
      m_form2(m_look.look()), m_okienko(&m_form1), m_ico(&m_form1), m_publisher(&m_form2, &m_ico),
      m_notifier(QDBusConnection::sessionBus()),
      m_reminderSearch(
          &m_engine.parser(), &m_form3, &m_notifier,
          [this] { return keptBroadcasts(m_stations->stations(), m_stations->checkMarks()); }),
      m_stationFiles(&m_form1, m_stations, &m_engine, std::move(writeStationFile)),
      m_channelsLoader(&m_channelsFetch, language), m_picker(&m_form1)
{
    m_ico.setObjectName(QStringLiteral("ico"));
    m_ico.setIcon(programIcon());
    m_ico.setHint(kHintBeforeActivation);
    m_ico.setPopupMenu(&m_trayMenu);
    m_ico.setLeftPopup(true); // the menu opens on the left button too
    m_ico.setIconVisible(true);
    m_ownPortal.setSources(m_settings.sources());
    m_picker.setDemoListings(OwnPortal::demoListings());
    // The portal's channels come from this machine: an answer takes it a moment.
    m_channelsFetch.setDeadline(std::chrono::seconds(10));
    connectParts();
    restoreSettings();
}

Assembler::~Assembler() = default;

void Assembler::connectParts()
{
    // What the update engine reports, where it shows.
    connect(&m_engine, &UpdateEngine::logged, &m_form1, &Form1::appendLog);
    connect(&m_engine, &UpdateEngine::pobranoChanged, &m_trayMenu, &TrayMenu::showPobrano);
    connect(&m_engine, &UpdateEngine::aktChanged, &m_trayMenu, &TrayMenu::showAkt);
    connect(&m_engine, &UpdateEngine::downloadProgress, &m_form1, &Form1::showDownloadProgress);
    connect(&m_engine, &UpdateEngine::downloadProgress, &m_form2, &Form2::showDownloadProgress);
    connect(&m_engine, &UpdateEngine::clockChanged, &m_form2, &Form2::setClock);
    connect(&m_engine, &UpdateEngine::cleared, &m_form2, &Form2::showUpdating);
    connect(&m_engine, &UpdateEngine::cleared, m_stations, qOverload<>(&QWidget::repaint));
    connect(&m_engine, &UpdateEngine::publishable, &m_publisher, &Publisher::publish);

    // The station list and the main window's requests.
    connect(m_stations, &StationListBox::userChangedCheck, &m_engine,
            &UpdateEngine::clearNowPlaying);
    connect(&m_form1, &Form1::inputWanted, &m_okienko, &Okienko::openWith);
    connect(&m_okienko, &Okienko::stationEntered, m_stations, &StationListBox::appendStation);
    connect(&m_okienko, &Okienko::debugAccessWordEntered, &m_form1, &Form1::showDebugArea);
    connect(&m_form1, &Form1::hideChosen, this, &Assembler::hideMainWindow);
    connect(&m_form1, &Form1::clearNowPlayingChosen, &m_engine, &UpdateEngine::clearNowPlaying);
    connect(&m_form1, &Form1::testLineChosen, &m_engine, &UpdateEngine::addTestLine);
    connect(&m_form1, &Form1::displayModeChosen, &m_publisher, &Publisher::setMode);
    connect(&m_form1, &Form1::displayModeChosen, &m_settings, &SettingsFile::setDisplayMode);

    // The tray.
    connect(&m_ico, &TrayIcon::noTrayFound, &m_form1, &Form1::reportNoTray);
    connect(&m_trayMenu, &TrayMenu::settingsChosen, &m_ico, &TrayIcon::RestoreMainWindow);
    connect(&m_trayMenu, &TrayMenu::frequencyChosen, &m_engine, &UpdateEngine::SetUpdateFrequency);
    connect(&m_trayMenu, &TrayMenu::frequencyChosen, &m_settings, &SettingsFile::setFrequency);
    connect(&m_trayMenu, &TrayMenu::endChosen, &m_stationFiles, &StationFilesKeeper::close1Click);

    // The widget's look: the settings panel and the widget's drags change it, the widget and
    // the settings file follow.
    connect(&m_look, &WidgetLookModel::changed, &m_form2, &Form2::setLook);
    connect(&m_look, &WidgetLookModel::changed, &m_settings, &SettingsFile::setWidgetLook);
    connect(&m_form2, &Form2::placed, &m_look, &WidgetLookModel::setPlace);
    connect(&m_look, &WidgetLookModel::changed, &m_publisher,
            [this](const WidgetLook& look) { m_publisher.setShowsNext(look.next); });

    // The reminder.
    connect(&m_okienko, &Okienko::reminderArmed, &m_reminderSearch, &ReminderSearch::armReminder);
    connect(&m_reminderSearch, &ReminderSearch::armed, &m_form1, &Form1::showReminder);
    connect(&m_reminderSearch, &ReminderSearch::armed, &m_settings,
            &SettingsFile::setReminderKeyword);
    connect(
        &m_reminderSearch, &ReminderSearch::armed, &m_settings,
        [this](const QByteArray&, int minutes) { m_settings.setReminderMinutesBefore(minutes); });
    connect(&m_reminderSearch, &ReminderSearch::fired, &m_form1,
            [this] { m_form1.showReminder({}); });
    connect(&m_reminderSearch, &ReminderSearch::fired, &m_settings,
            [this] { m_settings.setReminderKeyword({}); });

    // The program's own portal, where the stations name one on this machine that nothing
    // runs.
    connect(&m_stationFiles, &StationFilesKeeper::noStationFiles, this, &Assembler::firstStart);
    connect(&m_stationFiles, &StationFilesKeeper::activated, this, &Assembler::reconsiderPortal);
    connect(m_stations, &StationListBox::userChangedCheck, this, &Assembler::reconsiderPortal);
    connect(&m_ownPortal, &OwnPortal::logged, &m_form1, &Form1::appendLog);
    connect(&m_ownPortal, &OwnPortal::reading, this, &Assembler::waitForListings);
    connect(&m_ownPortal, &OwnPortal::serving, &m_engine,
            [this] { m_engine.waitForListings(false); });
    connect(&m_ownPortal, &OwnPortal::readingFailed, &m_engine,
            [this] { m_engine.waitForListings(false); });

    // The channel picker.
    connect(&m_trayMenu, &TrayMenu::channelsChosen, this, &Assembler::openChannelPicker);
    connect(&m_form1, &Form1::channelPickerChosen, this, &Assembler::openChannelPicker);
    connect(&m_picker, &ChannelPicker::loadWanted, this, &Assembler::changeSources);
    connect(&m_picker, &ChannelPicker::picked, this, &Assembler::takePickedChannels);
    connect(&m_picker, &QDialog::finished, &m_channelsLoader, &ChannelsLoader::stop);
    connect(&m_channelsLoader, &ChannelsLoader::loaded, &m_picker, &ChannelPicker::showChannels);
    connect(&m_channelsLoader, &ChannelsLoader::failed, &m_picker, &ChannelPicker::showFailure);
    // A child that starts listening, or ends its reading either way, has news for the picker.
    for (const auto news : {&OwnPortal::reading, &OwnPortal::serving, &OwnPortal::readingFailed})
        connect(&m_ownPortal, news, this, &Assembler::askForChannels);

    // The station files, and the ways the program ends.
    connect(&m_stationFiles, &StationFilesKeeper::activated, &m_form1, &Form1::showRelease);
    connect(&m_stationFiles, &StationFilesKeeper::activated, &m_ico,
            [this] { m_ico.setHint(kHint); });
    connect(&m_stationFiles, &StationFilesKeeper::saving, this, &Assembler::saveSettings);
    connect(&m_stationFiles, &StationFilesKeeper::ended, qApp, &QCoreApplication::quit);
    connect(&m_closeSignals, &CloseSignals::closeRequested, &m_stationFiles,
            &StationFilesKeeper::endFromOutside);
    connect(qGuiApp, &QGuiApplication::commitDataRequest, &m_stationFiles,
            [this](QSessionManager&) { m_stationFiles.saveForSessionEnd(); });
}

void Assembler::restoreSettings()
{
    m_publisher.setShowsNext(m_look.look().next);
    if (const QString frequency = m_settings.frequency(); !frequency.isEmpty())
        m_trayMenu.chooseFrequency(frequency);
    m_form1.chooseDisplayMode(m_settings.displayMode());
    const int minutesBefore = m_settings.reminderMinutesBefore();
    m_okienko.setMinutesBefore(minutesBefore);
    if (const QByteArray keyword = m_settings.reminderKeyword(); !keyword.isEmpty())
        m_reminderSearch.armReminder(keyword, minutesBefore);
}

void Assembler::saveSettings()
{
    // On Wayland the widget never learns where it stands: the place kept from X11 stays.
    if (windowsPlaceThemselves())
        m_look.setPlace(m_form2.pos());
    m_settings.setWidgetLook(m_look.look());
    m_settings.setFrequency(m_engine.state().frequencyKeyword);
    m_settings.setDisplayMode(m_publisher.mode());
    m_settings.setReminderKeyword(m_reminderSearch.armedKeyword());
}

// Without a tray nothing could bring a hidden window back: the tray icon then minimises it.
void Assembler::hideMainWindow()
{
    m_ico.HideMainWindow();
    if (m_engine.state().hotStart)
        m_ico.ShowBalloonHint(QStringLiteral("ekranik"),
                              tr("Aktualizacja w toku, proszę chwile poczekać zanim "
                                 "pojawią się pierwsze efekty (średnio 30 sekund)..."),
                              TrayIcon::BalloonIcon::Info, 10);
}

void Assembler::firstStart()
{
    m_firstStart = true;
    if (!m_settings.sources().isEmpty())
        m_stations->setStations({});
    // Once the main window is up, which it is about to be.
    QTimer::singleShot(0, this, &Assembler::openChannelPicker);
}

void Assembler::openChannelPicker()
{
    m_picker.setStations(m_stations->stations(), m_stations->checkMarks());
    m_picker.setSources(m_settings.sources());
    reconsiderPortal();
    m_picker.show();
    m_picker.raise();
    m_picker.activateWindow();
    askForChannels();
}

// Asked only where there is something to ask: a child of ours, a portal someone else runs on
// this machine, or one on another. Without sources and without a portal, the picker waits for a
// source.
void Assembler::askForChannels()
{
    const std::optional<PortalChoice>& portal = m_ownPortal.choice();
    if (!m_picker.isVisible() || !portal)
        return;
    if (!m_ownPortal.isOurs() && portal->loopback && !answersOnThisMachine(*portal)) {
        m_channelsLoader.stop();
        return;
    }
    m_channelsLoader.load(portal->hostPort());
}

void Assembler::changeSources(const QStringList& sources)
{
    m_settings.setSources(sources);
    m_picker.setSources(sources);
    m_ownPortal.setSources(sources);
    reconsiderPortal();
    // Its channels, shown already, stay as they are.
    if (!m_ownPortal.isOurs()) {
        m_picker.showFailure(tr("Pod adresem %1 działa portal, którego ekranik nie uruchamiał: "
                                "to on wybiera, jaki program podaje.")
                                 .arg(m_ownPortal.portalAddress()));
        return;
    }
    askForChannels();
}

void Assembler::takePickedChannels(const QList<QByteArray>& addedOrChecked,
                                   const QList<QByteArray>& unchecked)
{
    // Channels picked at the first start: the demo stations, untouched, go, as they would
    // have with sources set before it.
    if (m_firstStart && !m_settings.sources().isEmpty() &&
        m_stations->stations() == defaultStations() && !m_stations->checkMarks().contains(true))
        m_stations->setStations({});
    const CheckedStations merged = mergePickedChannels(
        m_stations->stations(), m_stations->checkMarks(), addedOrChecked, unchecked);
    m_stations->setStations(merged.entries);
    for (int row = 0; row < merged.checks.size(); ++row) {
        if (merged.checks[row])
            m_stations->checkQuietly(row);
    }
    m_engine.clearNowPlaying();
    reconsiderPortal();
    m_engine.startQuickPass();
}

void Assembler::reconsiderPortal()
{
    m_ownPortal.reconsider(m_stations->stations(), m_stations->checkMarks());
}

void Assembler::waitForListings()
{
    m_engine.waitForListings(true);
    m_form2.showNote(tr("Wczytywanie programu..."));
}

QString Assembler::applicationTitle() const
{
    return m_engine.state().activated ? kHint : QStringLiteral("ekranik");
}

int Assembler::run()
{
    // Errors are shown the way the framework always has: a box with the message and OK, over
    // the main window while it is shown.
    setErrorBox([this](const QString& text) {
        QMessageBox box(QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok,
                        m_form1.isVisible() ? &m_form1 : nullptr);
        box.exec();
    });
    // The process goes to the background, and the updates begin.
    lowerToIdlePriority();
    m_engine.start();
    // Shown from the event loop: the first show loads the station files, and an error box it
    // opens must run inside the loop that a request to end from outside quits.
    QTimer::singleShot(0, &m_form1, &QWidget::show);
    const int status = QApplication::exec();
    setErrorBox({});
    return m_stationFiles.lostChanges() ? 1 : status;
}
