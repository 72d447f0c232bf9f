#include "app/form1.h"

#include "app/debugarea.h"
#include "app/programicon.h"
#include "display/settingspanel.h"
#include "reminders/okienko.h"
#include "stations/stationentry.h"
#include "text/errorbox.h"
#include "text/logging.h"
#include "text/win1250.h"
#include "widgets/clicklabel.h"
#include "widgets/glowbutton.h"
#include "widgets/look.h"
#include "widgets/roundedframe.h"
#include "widgets/segmentbar.h"
#include "widgets/stationlistbox.h"
#include "widgets/taskbar.h"
#include "widgets/windowdragger.h"

#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QPainter>

const QString kTrebuchet = QStringLiteral("Trebuchet MS");

Form1::Form1(StationListBox* programy, QAbstractItemModel* nowPlaying, WidgetLookModel* look,
             QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint), programy(programy)
{
    setWindowTitle(kCaption);
    setWindowIcon(programIcon());
    setFont(layoutFont(kTrebuchet, 11));
    setBackground(this, Qt::white);
    setFixedSize(kWidth, kHeight);
    setMask(roundedWindowShape(size()));
    // First among the controls, as the layout has it: the settings panel lies over it.
    named(programy, "programy")->setParent(this);
    buildLayout(nowPlaying, look);
    buildMenu();
    centreOnDesktop(this);
}

void Form1::buildLayout(QAbstractItemModel* nowPlaying, WidgetLookModel* look)
{
    QLabel* Label4 = named(
        makeLabel(this, QStringLiteral("ekranik"), 93, 1, layoutFont(kTrebuchet, 16), kAccent),
        "Label4");
    // The release stands right after the title, where the laid-out face ends it (137); a wider
    // stand-in face, or the unhinted text of a high-density screen, moves it on.
    ver = named(makeLabel(this, QString(), std::max(137, Label4->x() + Label4->width()), 5,
                          layoutFont(kTrebuchet, 9), kAccent),
                "ver");
    const auto clickLabel = [this](const char* name, const QString& caption, QRect place) {
        auto* label = named(new ClickLabel(caption, this), name);
        label->setFont(layoutFont(kTrebuchet, 11));
        setTextColour(label, kAccent);
        label->setGeometry(place);
        label->setCursor(Qt::PointingHandCursor);
        return label;
    };
    connect(clickLabel("Label5", tr("[ok]"), {322, 3, 20, 16}), &ClickLabel::clicked, this,
            &Form1::Label5Click);
    connect(clickLabel("kanaly", tr("[kanały]"), {264, 3, 52, 16}), &ClickLabel::clicked, this,
            &Form1::channelPickerChosen);

    programy->setGeometry(17, 25, 316, 145);
    connect(programy, &StationListBox::doubleClickedAnywhere, this, &Form1::programyDblClick);
    acset = new SettingsPanel(look, this);
    acset->setGeometry(16, 24, 317, 146);
    acset->hide();

    const auto glowButton = [this](const char* name, const QString& caption, QRect place) {
        auto* button = named(new GlowButton(caption, this), name);
        button->setGeometry(place);
        return button;
    };
    connect(glowButton("GlowButton1", tr("Dodaj stację"), {17, 173, 88, 25}), &GlowButton::clicked,
            this, &Form1::addClick);
    connect(glowButton("GlowButton2", tr("Usuń stację"), {111, 173, 88, 25}), &GlowButton::clicked,
            this, &Form1::delClick);
    GlowButton3 = glowButton("GlowButton3", tr("Powiadomienie"), {232, 173, 97, 25});
    mhm = glowButton("mhm", tr("Przypomnienie"), {232, 204, 97, 25});
    connect(mhm, &GlowButton::clicked, this, &Form1::mhmClick);
    pb = named(new SegmentBar(this), "pb");
    pb->setGeometry(17, 204, 182, 18);

    debugArea = new DebugArea(nowPlaying, this);
    debugArea->setGeometry(0, DebugArea::kTop, kWidth, kDebugHeight - DebugArea::kTop);
    connect(debugArea, &DebugArea::clearChosen, this, &Form1::clearNowPlayingChosen);
    connect(debugArea, &DebugArea::testLineChosen, this, &Form1::testLineChosen);

    auto* dragger = new WindowDragger(this);
    for (QWidget* handle : acset->dragHandles() + QList<QWidget*>{ver, Label4, debugArea})
        dragger->addHandle(handle);
}

// The display-mode menu of "Powiadomienie".
void Form1::buildMenu()
{
    auto* PopupMenu2 = named(new QMenu(this), "PopupMenu2");
    auto* displayMode = new QActionGroup(this);
    c1 = named(PopupMenu2->addAction(tr("RadudoVorozu na pulpicie")), "c1");
    c2 = named(PopupMenu2->addAction(tr("Dymek obok zegarka [ XP ]")), "c2");
    for (QAction* mode : {c1, c2}) {
        mode->setCheckable(true);
        displayMode->addAction(mode);
    }
    c1->setChecked(true);
    PopupMenu2->setDefaultAction(c1);
    connect(c1, &QAction::toggled, this, [this](bool widgetMode) {
        emit displayModeChosen(widgetMode ? Publisher::Mode::Widget : Publisher::Mode::Balloon);
    });
    PopupMenu2->addSeparator();
    connect(named(PopupMenu2->addAction(tr("Ustawienia RadudoVorozu")), "UstawieniaRadudoVorozu1"),
            &QAction::triggered, this, [this] { acset->setVisible(!acset->isVisible()); });
    GlowButton3->setMenu(PopupMenu2);
}

void Form1::showRelease()
{
    ver->setText(kRelease);
    ver->adjustSize();
}

void Form1::showDebugArea()
{
    setFixedHeight(kDebugHeight);
    // The shape grows with the window, or the debug area would stay cut away.
    setMask(roundedWindowShape(size()));
}

void Form1::showDownloadProgress(const QByteArray& station, int readed, int total)
{
    pb->setMax(total);
    pb->setPosition(readed);
    debugArea->showDownloadProgress(station, readed, total);
}

void Form1::appendLog(const QStringList& lines)
{
    debugArea->appendLog(lines);
}

void Form1::reportNoTray()
{
    const QString line = QStringLiteral(
        ".mrowka: Brak obszaru powiadomień: [ok] minimalizuje okno zamiast je chować");
    qCWarning(lcLog).noquote() << line;
    debugArea->appendLog({line});
}

void Form1::chooseDisplayMode(Publisher::Mode mode)
{
    (mode == Publisher::Mode::Widget ? c1 : c2)->setChecked(true);
}

void Form1::showReminder(const QByteArray& keyword)
{
    mhm->setText(keyword.isEmpty() ? tr("Przypomnienie")
                                   : tr("Szukam: %1").arg(win1250ToUnicode(keyword)));
}

// Without a tray the tray icon makes the window an ordinary one, with a taskbar entry.
void Form1::showEvent(QShowEvent* event)
{
    if (windowFlags().testFlag(Qt::Tool))
        keepOffTaskbar(this);
    QWidget::showEvent(event);
}

void Form1::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintRoundedFrame(painter, size());
}

void Form1::Label5Click()
{
    emit hideChosen();
    acset->hide();
}

void Form1::addClick()
{
    emit inputWanted(tr("Budowa: nazwa.stacji.tv|http://adres.do.stacji"), Okienko::kAddStation,
                     QString());
}

void Form1::delClick()
{
    programy->deleteSelected();
}

void Form1::mhmClick()
{
    emit inputWanted(tr("Podaj nazwę programu\rnp. Tobek Zorowiecki, Tobek, Zórowiecki"),
                     Okienko::kAddReminder, QString());
}

void Form1::programyDblClick()
{
    const int row = programy->currentRow();
    if (row < 0) {
        showErrorBox(QStringLiteral("List index out of bounds (%1)").arg(row));
        return;
    }
    emit inputWanted(tr("Adres do aktualnego programu"), Okienko::kShowAddress,
                     win1250ToUnicode(EntryURL(programy->stations().at(row))));
}
