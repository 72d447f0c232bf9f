#include "app/form1.h"

#include "app/debugarea.h"
#include "app/idlepriority.h"
#include "app/programicon.h"
#include "app/settingsfile.h"
#include "app/traymenu.h"
#include "display/form2.h"
#include "display/publisher.h"
#include "display/settingspanel.h"
#include "reminders/form3.h"
#include "reminders/okienko.h"
#include "reminders/remindersearch.h"
#include "stations/checkedstates.h"
#include "stations/defaultstations.h"
#include "stations/stationentry.h"
#include "stations/stationfiles.h"
#include "stations/textfile.h"
#include "text/errorbox.h"
#include "text/errorreport.h"
#include "text/logging.h"
#include "text/win1250.h"
#include "tray/trayicon.h"
#include "update/updateengine.h"
#include "widgets/clicklabel.h"
#include "widgets/debuglog.h"
#include "widgets/glowbutton.h"
#include "widgets/look.h"
#include "widgets/roundedframe.h"
#include "widgets/segmentbar.h"
#include "widgets/stationlistbox.h"
#include "widgets/taskbar.h"
#include "widgets/windowdragger.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QScopedValueRollback>

namespace {
const QString kTrebuchet = QStringLiteral("Trebuchet MS");
} // namespace

Form1::Form1(StationFileWriter writeStationFile, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint),
      m_writeStationFile(writeStationFile ? std::move(writeStationFile) : writeTextFile)
{
    setWindowTitle(kCaption);
    setWindowIcon(programIcon());
    setFont(layoutFont(kTrebuchet, 11));
    setBackground(this, Qt::white);
    setFixedSize(kWidth, kHeight);
    setMask(roundedWindowShape(size()));

    programy = named(new StationListBox(this), "programy");
    m_engine = new UpdateEngine(programy->model(), this);
    buildLayout();
    buildMenus();

    // Created: the process goes to the background, and the updates begin.
    lowerToIdlePriority();
    m_engine->start();
    centreOnDesktop(this);
}

Form1::~Form1() = default;

void Form1::buildLayout()
{
    Label4 = named(
        makeLabel(this, QStringLiteral("ekranik"), 93, 1, layoutFont(kTrebuchet, 16), kAccent),
        "Label4");
    // The release stands right after the title, where the laid-out face ends it (137); a wider
    // stand-in face, or the unhinted text of a high-density screen, moves it on.
    ver = named(makeLabel(this, QString(), std::max(137, Label4->x() + Label4->width()), 5,
                          layoutFont(kTrebuchet, 9), kAccent),
                "ver");
    Label5 = named(new ClickLabel(QStringLiteral("[ok]"), this), "Label5");
    Label5->setFont(layoutFont(kTrebuchet, 11));
    setTextColour(Label5, kAccent);
    Label5->setGeometry(322, 3, 20, 16);
    Label5->setCursor(Qt::PointingHandCursor);
    connect(Label5, &ClickLabel::clicked, this, &Form1::Label5Click);

    programy->setGeometry(17, 25, 316, 145);
    programy->setStations(defaultStations());
    connect(programy, &StationListBox::userChangedCheck, this, &Form1::programyClickCheck);
    connect(programy, &StationListBox::doubleClickedAnywhere, this, &Form1::programyDblClick);
    acset = new SettingsPanel(this);
    acset->setGeometry(16, 24, 317, 146);
    acset->hide();

    const auto glowButton = [this](const char* name, const QString& caption, QRect place) {
        auto* button = named(new GlowButton(caption, this), name);
        button->setGeometry(place);
        return button;
    };
    connect(glowButton("GlowButton1", QStringLiteral("Dodaj stację"), {17, 173, 88, 25}),
            &GlowButton::clicked, this, &Form1::addClick);
    connect(glowButton("GlowButton2", QStringLiteral("Usuń stację"), {111, 173, 88, 25}),
            &GlowButton::clicked, this, &Form1::delClick);
    GlowButton3 = glowButton("GlowButton3", QStringLiteral("Powiadomienie"), {232, 173, 97, 25});
    mhm = glowButton("mhm", QStringLiteral("Przypomnienie"), {232, 204, 97, 25});
    connect(mhm, &GlowButton::clicked, this, &Form1::mhmClick);
    pb = named(new SegmentBar(this), "pb");
    pb->setGeometry(17, 204, 182, 18);
    connect(m_engine, &UpdateEngine::downloadProgress, pb,
            [this](const QByteArray&, int readed, int total) {
                pb->setMax(total);
                pb->setPosition(readed);
            });
    connect(m_engine, &UpdateEngine::cleared, programy, [this] { programy->repaint(); });

    auto* debugArea = new DebugArea(m_engine, this);
    debugArea->setGeometry(0, DebugArea::kTop, kWidth, kDebugHeight - DebugArea::kTop);

    auto* dragger = new WindowDragger(this);
    for (QWidget* handle :
         {static_cast<QWidget*>(ver), static_cast<QWidget*>(Label4), static_cast<QWidget*>(acset),
          static_cast<QWidget*>(debugArea), acset->findChild<QWidget*>(QStringLiteral("Label2"))})
        dragger->addHandle(handle);
}

void Form1::buildMenus()
{
    PopupMenu1 = new TrayMenu(m_engine, this);
    connect(PopupMenu1, &TrayMenu::settingsChosen, this, &Form1::Ustawienia1Click);
    connect(PopupMenu1, &TrayMenu::endChosen, this, &Form1::close1Click);

    // The display-mode menu of "Powiadomienie".
    auto* PopupMenu2 = named(new QMenu(this), "PopupMenu2");
    auto* displayMode = new QActionGroup(this);
    c1 = named(PopupMenu2->addAction(QStringLiteral("RadudoVorozu na pulpicie")), "c1");
    c2 = named(PopupMenu2->addAction(QStringLiteral("Dymek obok zegarka [ XP ]")), "c2");
    for (QAction* mode : {c1, c2}) {
        mode->setCheckable(true);
        displayMode->addAction(mode);
    }
    c1->setChecked(true);
    PopupMenu2->setDefaultAction(c1);
    PopupMenu2->addSeparator();
    connect(named(PopupMenu2->addAction(QStringLiteral("Ustawienia RadudoVorozu")),
                  "UstawieniaRadudoVorozu1"),
            &QAction::triggered, this, [this] { acset->setVisible(!acset->isVisible()); });
    GlowButton3->setMenu(PopupMenu2);

    ico = named(new TrayIcon(this, this), "ico");
    connect(ico, &TrayIcon::noTrayFound, this, &Form1::reportNoTray);
    ico->setIcon(programIcon());
    ico->setHint(kHintBeforeActivation);
    ico->setPopupMenu(PopupMenu1);
    ico->setLeftPopup(true); // the menu opens on the left button too
    ico->setIconVisible(true);
}

void Form1::setDialog(Okienko* dialog)
{
    m_dialog = dialog;
    connect(dialog, &Okienko::stationEntered, programy, &StationListBox::appendStation);
    connect(dialog, &Okienko::debugAccessWordEntered, this, &Form1::showDebugArea);
    if (m_reminderSearch)
        connect(dialog, &Okienko::reminderArmed, m_reminderSearch, &ReminderSearch::armReminder);
}

void Form1::setWidget(Form2* widget)
{
    m_widget = widget;
    acset->setWidget(widget);
    widget->setFrameOption(acset->frameOption());
    auto* publisher = new Publisher(widget, ico, this);
    publisher->follow(m_engine);
    connect(c1, &QAction::toggled, publisher, [publisher](bool widgetMode) {
        publisher->setMode(widgetMode ? Publisher::Mode::Widget : Publisher::Mode::Balloon);
    });
}

void Form1::setReminderWindow(Form3* window)
{
    m_reminderSearch = new ReminderSearch(&m_engine->parser(), window, this);
    connect(m_reminderSearch, &ReminderSearch::armed, mhm, [this](const QByteArray& keyword) {
        mhm->setText(QStringLiteral("Szukam: ") + win1250ToUnicode(keyword));
    });
    connect(m_reminderSearch, &ReminderSearch::fired, mhm,
            [this] { mhm->setText(QStringLiteral("Przypomnienie")); });
    if (m_dialog)
        connect(m_dialog, &Okienko::reminderArmed, m_reminderSearch, &ReminderSearch::armReminder);
}

void Form1::keepSettingsIn(const QString& path)
{
    m_settings = std::make_unique<SettingsFile>(path);
    restoreSettings();

    if (m_widget)
        connect(m_widget, &Form2::placed, this,
                [this](QPoint at) { m_settings->setWidgetPlace(at); });
    connect(acset, &SettingsPanel::optionsChanged, this,
            [this] { m_settings->setWidgetLook(acset->options()); });
    connect(PopupMenu1, &TrayMenu::frequencyChosen, this,
            [this](const QString& keyword) { m_settings->setFrequency(keyword); });
    connect(c1, &QAction::toggled, this, [this](bool widgetMode) {
        m_settings->setDisplayMode(widgetMode ? Publisher::Mode::Widget : Publisher::Mode::Balloon);
    });
    if (m_reminderSearch) {
        connect(m_reminderSearch, &ReminderSearch::armed, this,
                [this](const QByteArray& keyword) { m_settings->setReminderKeyword(keyword); });
        connect(m_reminderSearch, &ReminderSearch::fired, this,
                [this] { m_settings->setReminderKeyword({}); });
    }
}

// Each setting goes the way the user's own choice goes: the frequency through its menu item, so
// that the engine takes it at the end of the quick first pass as it would a click.
void Form1::restoreSettings()
{
    if (m_widget) {
        const std::optional<QPoint> place = m_settings->widgetPlace();
        if (place && !m_widget->restorePlace(*place))
            qCInfo(lcLog).noquote()
                << QStringLiteral(".mrowka: RadudoVorozu (%1, %2) poza ekranami, wraca na miejsce")
                       .arg(place->x())
                       .arg(place->y());
    }
    acset->setOptions(m_settings->widgetLook());
    if (const QString frequency = m_settings->frequency(); !frequency.isEmpty())
        PopupMenu1->chooseFrequency(frequency);
    (m_settings->displayMode() == Publisher::Mode::Widget ? c1 : c2)->setChecked(true);
    if (const QByteArray keyword = m_settings->reminderKeyword();
        !keyword.isEmpty() && m_reminderSearch)
        m_reminderSearch->armReminder(keyword);
}

// Written whole at close as well: a change the program did not see as one (the widget moved by
// the window manager) is kept too.
void Form1::saveSettings()
{
    if (!m_settings)
        return;
    // On Wayland the widget never learns where it stands: the place kept from X11 stays.
    if (m_widget && windowsPlaceThemselves())
        m_settings->setWidgetPlace(m_widget->pos());
    m_settings->setWidgetLook(acset->options());
    m_settings->setFrequency(m_engine->state().frequencyKeyword);
    m_settings->setDisplayMode(c1->isChecked() ? Publisher::Mode::Widget
                                               : Publisher::Mode::Balloon);
    if (m_reminderSearch)
        m_settings->setReminderKeyword(m_reminderSearch->armedKeyword());
}

bool Form1::guarded(const std::function<void()>& steps)
{
    try {
        steps();
        return true;
    } catch (const ErrorReport& error) {
        if (m_endingFromOutside) {
            m_lostChanges = true;
            qCWarning(lcLog).noquote() << QStringLiteral(".mrowka: ") + error.text();
        } else {
            showErrorBox(error.text());
        }
        return false;
    }
}

// The station files are loaded when the window is first shown, not when the window manager
// first activates it: without a window manager, or with focus-stealing prevention, that may
// never happen, and the program would never load its list. Once loaded, later shows and
// activations (closing the input dialog, say) load nothing, so a station just added is not
// thrown away by a reload; until then, each of them tries again.
void Form1::showEvent(QShowEvent* event)
{
    // Without a tray the tray icon makes the window an ordinary one, with a taskbar entry.
    if (windowFlags().testFlag(Qt::Tool))
        keepOffTaskbar(this);
    QWidget::showEvent(event);
    if (!m_stationFilesLoaded)
        FormActivate();
}

void Form1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow() || m_stationFilesLoaded)
        return;
    if (std::exchange(m_skipNextActivation, false))
        return;
    FormActivate();
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery() && !m_endingFromOutside) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

void Form1::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintRoundedFrame(painter, size());
}

// A try after a failure reloads only what failed: a list that loaded, with the stations the
// user added since, stays.
void Form1::FormActivate()
{
    m_stationFilesLoaded = guarded([this] {
        if (!m_engine->state().activated) {
            if (QFile::exists(QString::fromLatin1(kStationListFile)))
                loadStationList();
            m_engine->activate();
            ver->setText(kRelease);
            ver->adjustSize();
            ico->setHint(kHint);
            m_applicationTitle = kHint;
        }
        LoadCheckedStates();
    });
    // Closing the error box activates this window again; trying then would open the box
    // again, without end. The activation after that one tries.
    m_skipNextActivation = !m_stationFilesLoaded;
}

bool Form1::FormCloseQuery()
{
    saveSettings();
    const bool saved = guarded([this] {
        SaveCheckedStates();
        m_engine->cancelDownload();
        saveStationList();
    });
    // Ending regardless: no download may go on writing.
    if (!saved && m_endingFromOutside)
        m_engine->cancelDownload();
    return saved;
}

void Form1::endFromOutside()
{
    // As "Koniec", but a failed save does not stop it.
    m_endingFromOutside = true;
    guarded([this] { saveStationList(); });
    close();
}

void Form1::saveForSessionEnd()
{
    const QScopedValueRollback<bool> quiet(m_endingFromOutside, true);
    FormCloseQuery();
}

void Form1::close1Click()
{
    if (guarded([this] { saveStationList(); }))
        close();
}

void Form1::Ustawienia1Click()
{
    ico->RestoreMainWindow();
}

// Without a tray nothing could bring a hidden window back: the tray icon then minimises it.
void Form1::Label5Click()
{
    ico->HideMainWindow();
    if (acset->isVisible())
        acset->hide();
    if (m_engine->state().hotStart)
        ico->ShowBalloonHint(QStringLiteral("ekranik"),
                             QStringLiteral("Aktualizacja w toku, proszę chwile poczekać zanim "
                                            "pojawią się pierwsze efekty (średnio 30 sekund)..."),
                             TrayIcon::BalloonIcon::Info, 10);
}

void Form1::reportNoTray()
{
    const QString line = QStringLiteral(
        ".mrowka: Brak obszaru powiadomień: [ok] minimalizuje okno zamiast je chować");
    qCWarning(lcLog).noquote() << line;
    findChild<DebugLog*>(QStringLiteral("Memo2"))->appendLines({line});
}

void Form1::mhmClick()
{
    if (m_dialog)
        m_dialog->openWith(
            QStringLiteral("Podaj nazwę programu\rnp. Tobek Zorowiecki, Tobek, Zórowiecki"),
            Okienko::kAddReminder, QString());
}

void Form1::showDebugArea()
{
    setFixedHeight(kDebugHeight);
    // The shape grows with the window, or the debug area would stay cut away.
    setMask(roundedWindowShape(size()));
}

void Form1::addClick()
{
    if (m_dialog)
        m_dialog->openWith(QStringLiteral("Budowa: nazwa.stacji.tv|http://adres.do.stacji"),
                           Okienko::kAddStation, QString());
}

void Form1::delClick()
{
    programy->deleteSelected();
}

void Form1::programyClickCheck()
{
    m_engine->clearNowPlaying();
}

void Form1::programyDblClick()
{
    guarded([this] {
        const int row = programy->currentRow();
        if (row < 0)
            throw ErrorReport(QStringLiteral("List index out of bounds (%1)").arg(row));
        if (m_dialog)
            m_dialog->openWith(QStringLiteral("Adres do aktualnego programu"),
                               Okienko::kShowAddress,
                               win1250ToUnicode(EntryURL(programy->stations().at(row))));
    });
}

void Form1::loadStationList()
{
    programy->setStations(readTextFile(QString::fromLatin1(kStationListFile)));
}

// A list that could not be read is not the user's: it never goes over their files.
void Form1::saveStationList()
{
    if (m_engine->state().activated)
        m_writeStationFile(QString::fromLatin1(kStationListFile), programy->stations());
}

void Form1::LoadCheckedStates()
{
    const QString path = QString::fromLatin1(kCheckedStatesFile);
    if (!QFile::exists(path))
        return;
    const QList<QByteArray> l = readTextFile(path);
    applyCheckedStateLines(l, programy->count(), [this](int row) { programy->checkQuietly(row); });
}

void Form1::SaveCheckedStates()
{
    if (m_engine->state().activated)
        m_writeStationFile(QString::fromLatin1(kCheckedStatesFile),
                           checkedStateLines(programy->checkMarks()));
}
