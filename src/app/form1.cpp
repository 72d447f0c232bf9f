#include "app/form1.h"

#include "app/idlepriority.h"
#include "app/programicon.h"
#include "display/settingspanel.h"
#include "net/httpfetch.h"
#include "reminders/form3.h"
#include "reminders/okienko.h"
#include "reminders/remindersearch.h"
#include "stations/checkedstates.h"
#include "stations/defaultstations.h"
#include "stations/errorreport.h"
#include "stations/stationentry.h"
#include "stations/stationfiles.h"
#include "stations/textfile.h"
#include "stations/win1250.h"
#include "tray/trayicon.h"
#include "widgets/bytelines.h"
#include "widgets/checkrowdelegate.h"
#include "widgets/clicklabel.h"
#include "widgets/glowbutton.h"
#include "widgets/look.h"
#include "widgets/roundedframe.h"
#include "widgets/segmentbar.h"
#include "widgets/taskbar.h"
#include "widgets/windowdragger.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTimer>

namespace {

Q_LOGGING_CATEGORY(lcLog, "ekranik.log", QtWarningMsg)

const QString kTrebuchet = QStringLiteral("Trebuchet MS");
const QColor kListGrey(128, 128, 128);

// The debug log is emptied whenever it reaches this many lines.
constexpr int kLogLimit = 250;

// Lines of the debug log the way a memo counts them: a trailing line break opens no new line.
int LogLineCount(const QPlainTextEdit* memo)
{
    const QTextDocument* document = memo->document();
    int lines = document->blockCount();
    if (document->lastBlock().length() <= 1) // only the block's terminator: an empty last line
        --lines;
    return lines;
}

} // namespace

Form1::Form1(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setWindowTitle(kCaption);
    setWindowIcon(ProgramIcon());
    setFont(LayoutFont(kTrebuchet, 11));
    SetBackground(this, Qt::white);
    setFixedSize(kWidth, kHeight);
    setMask(RoundedWindowShape(size()));

    ShowErrorBox = [this](const QString& text) {
        QMessageBox box(QMessageBox::Critical, applicationTitle_, text, QMessageBox::Ok,
                        isVisible() ? this : nullptr);
        box.exec();
    };
    WriteStationFile = [](const QString& path, const QList<QByteArray>& lines) {
        WriteTextFile(path, lines);
    };

    buildLayout();
    buildUpdates();
    buildMenus();
    buildTrayIcon();

    // Created: the process goes to the background, and the update queue begins with its
    // quick first pass.
    LowerToIdlePriority();
    state_.hotStart = true;

    CentreOnDesktop(this);
}

void Form1::buildLayout()
{
    Label4 = MakeLabel(this, QStringLiteral("ekranik"), 93, 1, LayoutFont(kTrebuchet, 16), kAccent);
    ver = MakeLabel(this, QString(), 137, 5, LayoutFont(kTrebuchet, 9), kAccent);

    Label5 = new ClickLabel(QStringLiteral("[ok]"), this);
    Label5->setFont(LayoutFont(kTrebuchet, 11));
    SetTextColour(Label5, kAccent);
    Label5->setGeometry(322, 3, 20, 16);
    Label5->setCursor(Qt::PointingHandCursor);
    connect(Label5, &ClickLabel::clicked, this, &Form1::Label5Click);

    programy = new QListWidget(this);
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
        AppendStation(entry);
    connect(programy, &QListWidget::itemChanged, this, [this] {
        if (!programChangesChecks_)
            programyClickCheck();
    });
    programy->viewport()->installEventFilter(this);

    acset = new SettingsPanel(this);
    acset->setGeometry(16, 24, 317, 146);
    acset->hide();
    Label2 = acset->Label2;

    auto glowButton = [this](const QString& caption, int x, int y, int w, int h) {
        auto* button = new GlowButton(this);
        button->setText(caption);
        button->setGeometry(x, y, w, h);
        return button;
    };
    GlowButton1 = glowButton(QStringLiteral("Dodaj stację"), 17, 173, 88, 25);
    GlowButton2 = glowButton(QStringLiteral("Usuń stację"), 111, 173, 88, 25);
    GlowButton3 = glowButton(QStringLiteral("Powiadomienie"), 232, 173, 97, 25);
    mhm = glowButton(QStringLiteral("Przypomnienie"), 232, 204, 97, 25);
    pb = new SegmentBar(this);
    pb->setGeometry(17, 204, 182, 18);
    connect(GlowButton1, &GlowButton::clicked, this, &Form1::addClick);
    connect(mhm, &GlowButton::clicked, this, &Form1::mhmClick);
    connect(GlowButton2, &GlowButton::clicked, this, &Form1::delClick);

    // The debug area, below the visible part of the window.
    xxx = MakeLabel(this, QString(), 216, 308, LayoutFont(QStringLiteral("Tahoma"), 9), Qt::black);
    Label1 = MakeLabel(this, QStringLiteral(".mrowka"), 137, 311, LayoutFont(kTrebuchet, 21, true),
                       Qt::black);

    Memo2 = new QPlainTextEdit(this);
    Memo2->setGeometry(17, 335, 313, 155);
    Memo2->setFont(LayoutFont(kTrebuchet, 8));
    Memo2->setReadOnly(true);
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(Memo2, &QPlainTextEdit::textChanged, this, &Form1::Memo2Change);

    ilosc = new QListWidget(this);
    ilosc->setGeometry(17, 496, 313, 80);
    connect(ilosc, &QListWidget::clicked, this, &Form1::iloscClick);
    connect(ilosc, &QListWidget::currentRowChanged, this, &Form1::iloscClick);

    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(17, 583, 313, 24);

    Button1 = new QPushButton(QStringLiteral("kasuj"), this);
    Button1->setGeometry(17, 607, 105, 17);
    connect(Button1, &QPushButton::clicked, this, &Form1::Button1Click);
    Button2 = new QPushButton(QStringLiteral("dodaj fake"), this);
    Button2->setGeometry(129, 607, 129, 17);
    connect(Button2, &QPushButton::clicked, this, &Form1::Button2Click);

    dragger_ = new WindowDragger(this);
    for (QWidget* handle : {static_cast<QWidget*>(ver), static_cast<QWidget*>(Label4),
                            static_cast<QWidget*>(acset), static_cast<QWidget*>(Label2)})
        dragger_->addHandle(handle);
}

void Form1::buildMenus()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->addAction(QStringLiteral("ekranik - konfiguracja"))->setEnabled(false);
    PopupMenu1->addSeparator(); // N1
    Ustawienia1 = PopupMenu1->addAction(QStringLiteral("Ustawienia"));
    connect(Ustawienia1, &QAction::triggered, this, &Form1::Ustawienia1Click);

    Statystyki1 = PopupMenu1->addMenu(QStringLiteral("Statystyki"));
    pobrano = Statystyki1->addAction(QStringLiteral("Pobrano: ~~ kB | ~~ MB"));
    pobrano->setEnabled(false);
    akt = Statystyki1->addAction(QStringLiteral("Udane aktualizacje: ~~ razy"));
    akt->setEnabled(false);

    Czstotliwo1 = PopupMenu1->addMenu(QStringLiteral("Częstotliwość aktualizacji"));
    Extremalnieszybko1 = Czstotliwo1->addAction(QStringLiteral("Extremalnie szybko [2s]"));
    Najszybciej5s1 = Czstotliwo1->addAction(QStringLiteral("Najszybciej [5s]"));
    Szybko10s1 = Czstotliwo1->addAction(QStringLiteral("Szybko [10s]"));
    Normalnie20s1 = Czstotliwo1->addAction(QStringLiteral("Normalnie [20s]"));
    Wolno40s1 = Czstotliwo1->addAction(QStringLiteral("Wolno [40s]"));
    Najwolniej60s1 = Czstotliwo1->addAction(QStringLiteral("Najwolniej [60s]"));
    Czstotliwo1->setDefaultAction(Normalnie20s1);
    const std::pair<QAction*, const char*> frequencies[] = {
        {Extremalnieszybko1, "extreme"}, {Najszybciej5s1, "fastest"}, {Szybko10s1, "fast"},
        {Normalnie20s1, "normal"},       {Wolno40s1, "slow"},         {Najwolniej60s1, "slowest"}};
    for (const auto& [item, keyword] : frequencies) {
        connect(item, &QAction::triggered, this,
                [this, keyword = QString::fromLatin1(keyword)] { SetUpdateFrequency(keyword); });
    }
    Czstotliwo1->addSeparator();
    Czstotliwo1
        ->addAction(QStringLiteral("Częstotliwość oznacza co ile stacja bedzie aktualizowana; "
                                   "20s oznacza 1 stacje na 20 sekund [1/20s]"))
        ->setEnabled(false);

    Koniec1 = PopupMenu1->addAction(QStringLiteral("Koniec"));
    connect(Koniec1, &QAction::triggered, this, &Form1::close1Click);

    // The display-mode menu of "Powiadomienie".
    PopupMenu2 = new QMenu(this);
    displayMode = new QActionGroup(this);
    displayMode->setExclusive(true);
    c1 = PopupMenu2->addAction(QStringLiteral("RadudoVorozu na pulpicie"));
    c2 = PopupMenu2->addAction(QStringLiteral("Dymek obok zegarka [ XP ]"));
    for (QAction* mode : {c1, c2}) {
        mode->setCheckable(true);
        displayMode->addAction(mode);
    }
    c1->setChecked(true);
    PopupMenu2->setDefaultAction(c1);
    PopupMenu2->addSeparator();
    UstawieniaRadudoVorozu1 = PopupMenu2->addAction(QStringLiteral("Ustawienia RadudoVorozu"));
    connect(UstawieniaRadudoVorozu1, &QAction::triggered, this,
            [this] { acset->setVisible(!acset->isVisible()); });
    GlowButton3->setMenu(PopupMenu2);
}

void Form1::buildTrayIcon()
{
    ico = new TrayIcon(this, this);
    ico->setIcon(ProgramIcon());
    ico->setHint(kHintBeforeActivation);
    ico->setPopupMenu(PopupMenu1);
    ico->setLeftPopup(true); // the menu opens on the left button too
    ico->setIconVisible(true);
}

void Form1::setDialog(Okienko* dialog)
{
    dialog_ = dialog;
    connect(dialog_, &Okienko::StationEntered, this, &Form1::AppendStation);
    connect(dialog_, &Okienko::DebugAccessWordEntered, this, &Form1::ShowDebugArea);
    connect(dialog_, &Okienko::ReminderArmed, this, &Form1::ArmReminder);
}

bool Form1::Guarded(const std::function<void()>& steps)
{
    try {
        steps();
        return true;
    } catch (const ErrorReport& error) {
        if (endingFromOutside_) {
            lostChanges_ = true;
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
    if (!stationFilesLoaded_)
        FormActivate();
}

void Form1::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow() || stationFilesLoaded_)
        return;
    if (std::exchange(skipNextActivation_, false))
        return;
    FormActivate();
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery() && !endingFromOutside_) {
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
    stationFilesLoaded_ = Guarded([this] {
        if (!state_.activated) {
            if (QFile::exists(QString::fromLatin1(kStationListFile)))
                LoadStationList();
            state_.activated = true;
            ver->setText(kRelease);
            ver->adjustSize();
            ico->setHint(kHint);
            applicationTitle_ = kHint;
        }
        LoadCheckedStates();
    });
    // Closing the error box activates this window again; trying then would open the box
    // again, without end. The activation after that one tries.
    skipNextActivation_ = !stationFilesLoaded_;
}

bool Form1::FormCloseQuery()
{
    const bool saved = Guarded([this] {
        SaveCheckedStates();
        ht->CancelDownload();
        SaveStationList();
    });
    // Ending regardless: no download may go on writing.
    if (!saved && endingFromOutside_)
        ht->CancelDownload();
    return saved;
}

void Form1::EndFromOutside()
{
    // As "Koniec", but a failed save does not stop it.
    endingFromOutside_ = true;
    Guarded([this] { SaveStationList(); });
    close();
}

void Form1::SaveForSessionEnd()
{
    const QScopedValueRollback<bool> quiet(endingFromOutside_, true);
    FormCloseQuery();
}

void Form1::close1Click()
{
    if (Guarded([this] { SaveStationList(); }))
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
    if (state_.hotStart)
        ShowBalloon(QStringLiteral("ekranik"),
                    QStringLiteral("Aktualizacja w toku, proszę chwile poczekać zanim pojawią się "
                                   "pierwsze efekty (średnio 30 sekund)..."),
                    10);
}

void Form1::mhmClick()
{
    if (dialog_)
        dialog_->Open(
            QStringLiteral("Podaj nazwę programu\rnp. Tobek Zorowiecki, Tobek, Zórowiecki"),
            Okienko::kAddReminder, QString());
}

// From idle the search starts afresh; an armed search keeps its rhythm with the new keyword.
void Form1::ArmReminder(const QByteArray& keyword)
{
    reminderKeyword_ = keyword;
    if (!szukajka->isActive())
        szukajka->start();
    mhm->setText(QStringLiteral("Szukam: ") + Win1250ToUnicode(keyword));
}

// Looks for the keyword in the title of the page parsed last; the first match shows the
// reminder and ends the search.
void Form1::szukajkaTimer()
{
    // A spent reminder searches no more, even for a tick already on its way.
    if (!szukajka->isActive() || !ReminderMatches(reminderKeyword_, parser_.lastTitle()))
        return;
    szukajka->stop();
    if (reminderWindow_)
        reminderWindow_->ShowReminder(reminderKeyword_, parser_.lastTitle(), parser_.lastStation());
    mhm->setText(QStringLiteral("Przypomnienie"));
}

void Form1::iloscClick()
{
    // With no line selected there is nothing to copy.
    if (QListWidgetItem* item = ilosc->currentItem())
        Edit1->setText(item->text());
}

void Form1::Button1Click()
{
    ilosc->clear();
}

void Form1::Button2Click()
{
    AppendLine(ilosc, QByteArrayLiteral("Fake program ;]"));
}

void Form1::Memo2Change()
{
    if (LogLineCount(Memo2) >= kLogLimit)
        Memo2->clear();
}

void Form1::Log(const QString& line)
{
    if (batchingLog_)
        pendingLog_.append(line);
    else
        WriteLog({line});
}

void Form1::FlushLog()
{
    if (!pendingLog_.isEmpty())
        WriteLog(std::exchange(pendingLog_, {}));
}

// The same end state as appending the lines one by one, with the log emptied each time it
// reaches its limit, but with a single change of the text box.
void Form1::WriteLog(const QStringList& lines)
{
    int count = LogLineCount(Memo2);
    qsizetype keepFrom = 0;
    bool emptied = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        qCInfo(lcLog).noquote() << lines[i];
        if (++count >= kLogLimit) {
            count = 0;
            keepFrom = i + 1;
            emptied = true;
        }
    }
    const QString tail = lines.mid(keepFrom).join(QLatin1Char('\n'));
    if (emptied)
        Memo2->setPlainText(tail);
    else if (!lines.isEmpty())
        Memo2->appendPlainText(tail);
}

void Form1::ShowDebugArea()
{
    setFixedHeight(kDebugHeight);
    // The shape grows with the window, or the debug area would stay cut away.
    setMask(RoundedWindowShape(size()));
}

void Form1::addClick()
{
    if (dialog_)
        dialog_->Open(QStringLiteral("Budowa: nazwa.stacji.tv|http://adres.do.stacji"),
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
    ilosc->clear();
}

void Form1::programyDblClick()
{
    Guarded([this] {
        const int row = programy->currentRow();
        if (row < 0)
            throw ErrorReport(QStringLiteral("List index out of bounds (%1)").arg(row));
        if (dialog_)
            dialog_->Open(QStringLiteral("Adres do aktualnego programu"), Okienko::kShowAddress,
                          Win1250ToUnicode(EntryURL(LineAt(programy, row))));
    });
}

// --- the station list ------------------------------------------------------------------------

void Form1::AppendStation(const QByteArray& entry)
{
    programChangesChecks_ = true;
    QListWidgetItem* item = AppendLine(programy, entry);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    programChangesChecks_ = false;
}

QList<QByteArray> Form1::Stations() const
{
    return Lines(programy);
}

QList<bool> Form1::CheckMarks() const
{
    QList<bool> marks;
    marks.reserve(programy->count());
    for (int row = 0; row < programy->count(); ++row)
        marks.append(programy->item(row)->checkState() == Qt::Checked);
    return marks;
}

void Form1::setCheckedQuietly(int row)
{
    programChangesChecks_ = true;
    programy->item(row)->setCheckState(Qt::Checked);
    programChangesChecks_ = false;
}

void Form1::LoadStationList()
{
    const QList<QByteArray> entries = ReadTextFile(QString::fromLatin1(kStationListFile));
    programy->clear();
    for (const QByteArray& entry : entries)
        AppendStation(entry);
}

void Form1::SaveStationList()
{
    WriteStationFile(QString::fromLatin1(kStationListFile), Stations());
}

void Form1::LoadCheckedStates()
{
    const QString path = QString::fromLatin1(kCheckedStatesFile);
    if (!QFile::exists(path))
        return;
    l = ReadTextFile(path);
    ApplyCheckedStateLines(l, programy->count(), [this](int row) { setCheckedQuietly(row); });
}

void Form1::SaveCheckedStates()
{
    l = CheckedStateLines(CheckMarks());
    WriteStationFile(QString::fromLatin1(kCheckedStatesFile), l);
}
