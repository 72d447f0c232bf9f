#include "app/form1.h"

#include "app/idlepriority.h"
#include "app/programicon.h"
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
#include "text/linerole.h"
#include "text/win1250.h"
#include "tray/trayicon.h"
#include "update/updateengine.h"
#include "widgets/bytelines.h"
#include "widgets/checkrowdelegate.h"
#include "widgets/clicklabel.h"
#include "widgets/debuglog.h"
#include "widgets/glowbutton.h"
#include "widgets/look.h"
#include "widgets/roundedframe.h"
#include "widgets/segmentbar.h"
#include "widgets/taskbar.h"
#include "widgets/windowdragger.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>

namespace {

Q_LOGGING_CATEGORY(lcLog, "ekranik.log", QtWarningMsg)

const QString kTrebuchet = QStringLiteral("Trebuchet MS");
const QColor kListGrey(128, 128, 128);

} // namespace

Form1::Form1(StationFileWriter writeStationFile, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint),
      m_writeStationFile(writeStationFile ? std::move(writeStationFile) : WriteTextFile)
{
    setWindowTitle(kCaption);
    setWindowIcon(ProgramIcon());
    setFont(LayoutFont(kTrebuchet, 11));
    SetBackground(this, Qt::white);
    setFixedSize(kWidth, kHeight);
    setMask(RoundedWindowShape(size()));

    buildLayout();
    m_engine = new UpdateEngine(programy->model(), this);
    buildMenus();
    buildTrayIcon();
    wireEngine();

    // Created: the process goes to the background, and the updates begin.
    LowerToIdlePriority();
    m_engine->start();
    CentreOnDesktop(this);
}

Form1::~Form1() = default;

void Form1::buildLayout()
{
    Label4 = Named(MakeLabel(this, QStringLiteral("ekranik"), 93, 1, LayoutFont(kTrebuchet, 16),
                             kAccent),
                   "Label4");
    ver = Named(MakeLabel(this, QString(), 137, 5, LayoutFont(kTrebuchet, 9), kAccent), "ver");

    Label5 = Named(new ClickLabel(QStringLiteral("[ok]"), this), "Label5");
    Label5->setFont(LayoutFont(kTrebuchet, 11));
    SetTextColour(Label5, kAccent);
    Label5->setGeometry(322, 3, 20, 16);
    Label5->setCursor(Qt::PointingHandCursor);
    connect(Label5, &ClickLabel::clicked, this, &Form1::Label5Click);

    programy = Named(new QListWidget(this), "programy");
    programy->setGeometry(17, 25, 316, 145);
    programy->setFrameShape(QFrame::NoFrame);
    programy->setFont(LayoutFont(QStringLiteral("Verdana"), 9));
    programy->setItemDelegate(new CheckRowDelegate(12, programy));
    programy->setTextElideMode(Qt::ElideNone);
    programy->setUniformItemSizes(true);
    programy->setSelectionMode(QAbstractItemView::SingleSelection);
    programy->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    SetBackground(programy, Qt::white);
    SetTextColour(programy, kListGrey);
    for (const QByteArray& entry : DefaultStations())
        appendStation(entry);
    connect(programy, &QListWidget::itemChanged, this, [this] {
        if (!m_programChangesChecks)
            programyClickCheck();
    });
    programy->viewport()->installEventFilter(this);

    acset = new SettingsPanel(this);
    acset->setGeometry(16, 24, 317, 146);
    acset->hide();

    auto glowButton = [this](const char* name, const QString& caption, QRect place) {
        auto* button = Named(new GlowButton(caption, this), name);
        button->setGeometry(place);
        return button;
    };
    GlowButton1 = glowButton("GlowButton1", QStringLiteral("Dodaj stację"), {17, 173, 88, 25});
    GlowButton2 = glowButton("GlowButton2", QStringLiteral("Usuń stację"), {111, 173, 88, 25});
    GlowButton3 = glowButton("GlowButton3", QStringLiteral("Powiadomienie"), {232, 173, 97, 25});
    mhm = glowButton("mhm", QStringLiteral("Przypomnienie"), {232, 204, 97, 25});
    pb = Named(new SegmentBar(this), "pb");
    pb->setGeometry(17, 204, 182, 18);
    connect(GlowButton1, &GlowButton::clicked, this, &Form1::addClick);
    connect(GlowButton2, &GlowButton::clicked, this, &Form1::delClick);
    connect(mhm, &GlowButton::clicked, this, &Form1::mhmClick);

    // The debug area, below the visible part of the window.
    xxx = Named(MakeLabel(this, QString(), 216, 308, LayoutFont(QStringLiteral("Tahoma"), 9),
                          Qt::black),
                "xxx");
    Label1 = Named(MakeLabel(this, QStringLiteral(".mrowka"), 137, 311,
                             LayoutFont(kTrebuchet, 21, true), Qt::black),
                   "Label1");
    Memo2 = Named(new DebugLog(this), "Memo2");
    Memo2->setGeometry(17, 335, 313, 155);
    Memo2->setFont(LayoutFont(kTrebuchet, 8));

    ilosc = Named(new QListView(this), "ilosc");
    ilosc->setGeometry(17, 496, 313, 80);
    Edit1 = Named(new QLineEdit(this), "Edit1");
    Edit1->setGeometry(17, 583, 313, 24);
    Button1 = Named(new QPushButton(QStringLiteral("kasuj"), this), "Button1");
    Button1->setGeometry(17, 607, 105, 17);
    connect(Button1, &QPushButton::clicked, this, &Form1::Button1Click);
    Button2 = Named(new QPushButton(QStringLiteral("dodaj fake"), this), "Button2");
    Button2->setGeometry(129, 607, 129, 17);
    connect(Button2, &QPushButton::clicked, this, &Form1::Button2Click);

    m_dragger = new WindowDragger(this);
    for (QWidget* handle : {static_cast<QWidget*>(ver), static_cast<QWidget*>(Label4),
                            static_cast<QWidget*>(acset),
                            acset->findChild<QWidget*>(QStringLiteral("Label2"))})
        m_dragger->addHandle(handle);
}

void Form1::buildMenus()
{
    const auto item = [](QMenu* menu, const char* name, const QString& caption) {
        return Named(menu->addAction(caption), name);
    };
    PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
    PopupMenu1->addAction(QStringLiteral("ekranik - konfiguracja"))->setEnabled(false);
    PopupMenu1->addSeparator(); // N1
    connect(item(PopupMenu1, "Ustawienia1", QStringLiteral("Ustawienia")), &QAction::triggered,
            this, &Form1::Ustawienia1Click);

    QMenu* Statystyki1 = Named(PopupMenu1->addMenu(QStringLiteral("Statystyki")), "Statystyki1");
    pobrano = item(Statystyki1, "pobrano", QStringLiteral("Pobrano: ~~ kB | ~~ MB"));
    akt = item(Statystyki1, "akt", QStringLiteral("Udane aktualizacje: ~~ razy"));
    pobrano->setEnabled(false);
    akt->setEnabled(false);

    QMenu* Czstotliwo1 = Named(PopupMenu1->addMenu(QStringLiteral("Częstotliwość aktualizacji")),
                               "Czstotliwo1");
    const struct {
        const char* name;
        const char* caption;
        const char* keyword;
    } frequencies[] = {{"Extremalnieszybko1", "Extremalnie szybko [2s]", "extreme"},
                       {"Najszybciej5s1", "Najszybciej [5s]", "fastest"},
                       {"Szybko10s1", "Szybko [10s]", "fast"},
                       {"Normalnie20s1", "Normalnie [20s]", "normal"},
                       {"Wolno40s1", "Wolno [40s]", "slow"},
                       {"Najwolniej60s1", "Najwolniej [60s]", "slowest"}};
    for (const auto& f : frequencies) {
        QAction* choice = item(Czstotliwo1, f.name, QString::fromUtf8(f.caption));
        connect(choice, &QAction::triggered, m_engine,
                [this, keyword = QString::fromLatin1(f.keyword)] {
                    m_engine->SetUpdateFrequency(keyword);
                });
        if (QByteArrayView(f.keyword) == "normal")
            Czstotliwo1->setDefaultAction(choice);
    }
    Czstotliwo1->addSeparator();
    Czstotliwo1
        ->addAction(QStringLiteral("Częstotliwość oznacza co ile stacja bedzie aktualizowana; "
                                   "20s oznacza 1 stacje na 20 sekund [1/20s]"))
        ->setEnabled(false);
    connect(item(PopupMenu1, "Koniec1", QStringLiteral("Koniec")), &QAction::triggered, this,
            &Form1::close1Click);

    // The display-mode menu of "Powiadomienie".
    PopupMenu2 = Named(new QMenu(this), "PopupMenu2");
    auto* displayMode = new QActionGroup(this);
    c1 = item(PopupMenu2, "c1", QStringLiteral("RadudoVorozu na pulpicie"));
    c2 = item(PopupMenu2, "c2", QStringLiteral("Dymek obok zegarka [ XP ]"));
    for (QAction* mode : {c1, c2}) {
        mode->setCheckable(true);
        displayMode->addAction(mode);
    }
    c1->setChecked(true);
    PopupMenu2->setDefaultAction(c1);
    PopupMenu2->addSeparator();
    connect(item(PopupMenu2, "UstawieniaRadudoVorozu1", QStringLiteral("Ustawienia RadudoVorozu")),
            &QAction::triggered, this, [this] { acset->setVisible(!acset->isVisible()); });
    GlowButton3->setMenu(PopupMenu2);
}

void Form1::buildTrayIcon()
{
    ico = new TrayIcon(this, this);
    ico->setObjectName(QStringLiteral("ico"));
    ico->setIcon(ProgramIcon());
    ico->setHint(kHintBeforeActivation);
    ico->setPopupMenu(PopupMenu1);
    ico->setLeftPopup(true); // the menu opens on the left button too
    ico->setIconVisible(true);
}

// What the engine says goes to the controls that show it.
void Form1::wireEngine()
{
    ilosc->setModel(m_engine->nowPlaying());
    connect(ilosc->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &Form1::iloscClick);
    connect(ilosc, &QListView::clicked, this, &Form1::iloscClick);
    connect(m_engine, &UpdateEngine::logged, Memo2, &DebugLog::appendLines);
    connect(m_engine, &UpdateEngine::pobranoChanged, pobrano, &QAction::setText);
    connect(m_engine, &UpdateEngine::aktChanged, akt, &QAction::setText);
    connect(m_engine, &UpdateEngine::downloadProgress, this, &Form1::showDownloadProgress);
    connect(m_engine, &UpdateEngine::cleared, programy, [this] { programy->repaint(); });
}

void Form1::showDownloadProgress(const QByteArray& station, int readed, int total)
{
    pb->setMax(total);
    pb->setPosition(readed);
    // One arg() for all three: a station called "tv%1" must not take the numbers' places.
    xxx->setText(QStringLiteral("Aktualizuje %1 %2/%3")
                     .arg(Win1250ToUnicode(station), QString::number(readed),
                          QString::number(total)));
    xxx->adjustSize();
}

void Form1::setDialog(Okienko* dialog)
{
    m_dialog = dialog;
    connect(dialog, &Okienko::StationEntered, this, &Form1::appendStation);
    connect(dialog, &Okienko::DebugAccessWordEntered, this, &Form1::showDebugArea);
    if (m_reminderSearch)
        connect(dialog, &Okienko::ReminderArmed, m_reminderSearch, &ReminderSearch::armReminder);
}

void Form1::setWidget(Form2* widget)
{
    acset->setWidget(widget);
    widget->SetFrameOption(acset->frameOption());
    m_publisher = std::make_unique<Publisher>(widget, ico);
    connect(c1, &QAction::toggled, this, [this](bool widgetMode) {
        m_publisher->setMode(widgetMode ? Publisher::Mode::Widget : Publisher::Mode::Balloon);
    });
    connect(m_engine, &UpdateEngine::publishable, this,
            [this](const QList<QByteArray>& lines, const QString& clockText) {
                m_publisher->publish(lines, clockText);
            });
    connect(m_engine, &UpdateEngine::clockChanged, widget, &Form2::SetClock);
    connect(m_engine, &UpdateEngine::downloadProgress, widget, &Form2::ShowDownloadProgress);
    connect(m_engine, &UpdateEngine::cleared, widget, &Form2::Clear);
}

void Form1::setReminderWindow(Form3* window)
{
    m_reminderSearch = new ReminderSearch(&m_engine->parser(), window, this);
    connect(m_reminderSearch, &ReminderSearch::armed, mhm, [this](const QByteArray& keyword) {
        mhm->setText(QStringLiteral("Szukam: ") + Win1250ToUnicode(keyword));
    });
    connect(m_reminderSearch, &ReminderSearch::fired, mhm,
            [this] { mhm->setText(QStringLiteral("Przypomnienie")); });
    if (m_dialog)
        connect(m_dialog, &Okienko::ReminderArmed, m_reminderSearch,
                &ReminderSearch::armReminder);
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
            ShowErrorBox(error.text());
        }
        return false;
    }
}

// --- window events ---------------------------------------------------------------------------

// The station files are loaded when the window is first shown, not when the window manager
// first activates it: without a window manager, or with focus-stealing prevention, that may
// never happen, and the program would never load its list. Once loaded, later shows and
// activations (closing the input dialog, say) load nothing, so a station just added is not
// thrown away by a reload; until then, each of them tries again.
void Form1::showEvent(QShowEvent* event)
{
    KeepOffTaskbar(this);
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
    emit Closed();
}

void Form1::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintRoundedFrame(painter, size());
}

// A double click anywhere in the station list, on an entry or beside the entries, opens the
// selected entry's address.
bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == programy->viewport() && event->type() == QEvent::MouseButtonDblClick)
        QMetaObject::invokeMethod(this, &Form1::programyDblClick, Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}

// --- handlers --------------------------------------------------------------------------------

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

void Form1::Label5Click()
{
    hide();
    if (acset->isVisible())
        acset->hide();
    if (m_engine->state().hotStart)
        ico->ShowBalloonHint(QStringLiteral("ekranik"),
                             QStringLiteral("Aktualizacja w toku, proszę chwile poczekać zanim "
                                            "pojawią się pierwsze efekty (średnio 30 sekund)..."),
                             TrayIcon::BalloonIcon::Info, 10);
}

void Form1::mhmClick()
{
    if (m_dialog)
        m_dialog->Open(
            QStringLiteral("Podaj nazwę programu\rnp. Tobek Zorowiecki, Tobek, Zórowiecki"),
            Okienko::kAddReminder, QString());
}

void Form1::iloscClick()
{
    // With no line selected there is nothing to copy.
    if (const QModelIndex current = ilosc->currentIndex(); current.isValid())
        Edit1->setText(current.data().toString());
}

void Form1::Button1Click()
{
    m_engine->clearNowPlaying();
}

void Form1::Button2Click()
{
    m_engine->addTestLine(QByteArrayLiteral("Fake program ;]"));
}

void Form1::showDebugArea()
{
    setFixedHeight(kDebugHeight);
    // The shape grows with the window, or the debug area would stay cut away.
    setMask(RoundedWindowShape(size()));
}

void Form1::addClick()
{
    if (m_dialog)
        m_dialog->Open(QStringLiteral("Budowa: nazwa.stacji.tv|http://adres.do.stacji"),
                       Okienko::kAddStation, QString());
}

void Form1::delClick()
{
    const int row = programy->currentRow();
    if (row < 0 || !programy->item(row)->isSelected())
        return;
    delete programy->takeItem(row);
    // Nothing stays selected, so a second press deletes nothing more.
    programy->setCurrentRow(-1);
    programy->clearSelection();
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
            m_dialog->Open(QStringLiteral("Adres do aktualnego programu"), Okienko::kShowAddress,
                           Win1250ToUnicode(EntryURL(LineAt(programy, row))));
    });
}

// --- the station list ------------------------------------------------------------------------

void Form1::appendStation(const QByteArray& entry)
{
    m_programChangesChecks = true;
    QListWidgetItem* item = AppendLine(programy, entry);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    m_programChangesChecks = false;
}

QList<QByteArray> Form1::stations() const
{
    return Lines(programy);
}

QList<bool> Form1::checkMarks() const
{
    QList<bool> marks;
    marks.reserve(programy->count());
    for (int row = 0; row < programy->count(); ++row)
        marks.append(programy->item(row)->checkState() == Qt::Checked);
    return marks;
}

void Form1::setCheckedQuietly(int row)
{
    m_programChangesChecks = true;
    programy->item(row)->setCheckState(Qt::Checked);
    m_programChangesChecks = false;
}

void Form1::loadStationList()
{
    const QList<QByteArray> entries = ReadTextFile(QString::fromLatin1(kStationListFile));
    programy->clear();
    for (const QByteArray& entry : entries)
        appendStation(entry);
}

void Form1::saveStationList()
{
    m_writeStationFile(QString::fromLatin1(kStationListFile), stations());
}

void Form1::LoadCheckedStates()
{
    const QString path = QString::fromLatin1(kCheckedStatesFile);
    if (!QFile::exists(path))
        return;
    const QList<QByteArray> l = ReadTextFile(path);
    ApplyCheckedStateLines(l, programy->count(), [this](int row) { setCheckedQuietly(row); });
}

void Form1::SaveCheckedStates()
{
    m_writeStationFile(QString::fromLatin1(kCheckedStatesFile), CheckedStateLines(checkMarks()));
}
