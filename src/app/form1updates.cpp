// The main window's part in the updates: the update tick and its queue, the clear timer, the
// frequencies, and the download component's reports.

#include "app/form1.h"

#include "display/form2.h"
#include "display/settingspanel.h"
#include "net/httpfetch.h"
#include "stations/stationentry.h"
#include "stations/win1250.h"
#include "tray/trayicon.h"
#include "update/duplicatelines.h"
#include "widgets/bytelines.h"
#include "widgets/segmentbar.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QLoggingCategory>
#include <QTimer>

namespace {

Q_LOGGING_CATEGORY(lcPublish, "ekranik.publish", QtWarningMsg)

constexpr int kFirstTick = 8000;        // after start-up
constexpr int kHotStartInterval = 1000; // one station a second until the first wrap
constexpr int kNormalInterval = 20000;
constexpr int kClearInterval = 1000000; // the now-playing list is rebuilt every 16 min 40 s
constexpr int kPublishBalloonSeconds = 11;
constexpr int kSearchInterval = 10000; // the reminder search, while a keyword is armed

// A timer's countdown restarts only when its interval really changes.
void SetInterval(QTimer* timer, int msec)
{
    if (timer->interval() != msec)
        timer->setInterval(msec);
}

QString Text(const QByteArray& bytes)
{
    return Win1250ToUnicode(bytes);
}

} // namespace

void Form1::buildUpdates()
{
    ht = new HttpFetch(this);
    ht->AcceptTypes = "*/*";
    ht->Agent = "FlashGet";
    ht->BinaryData = false;
    ht->UseCache = false;
    ht->WaitThread = true;
    connect(ht, &HttpFetch::OnProgress, this, &Form1::htProgress);
    connect(ht, &HttpFetch::OnDoneFile, this, &Form1::htDoneFile);
    connect(ht, &HttpFetch::OnError, this, &Form1::htError);

    Timer1 = new QTimer(this);
    Timer1->setInterval(kFirstTick);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1Timer);
    Timer1->start();

    clear = new QTimer(this);
    clear->setInterval(kClearInterval);
    connect(clear, &QTimer::timeout, this, &Form1::clearTimer);
    clear->start();

    szukajka = new QTimer(this);
    szukajka->setInterval(kSearchInterval);
    connect(szukajka, &QTimer::timeout, this, &Form1::szukajkaTimer);
}

void Form1::setWidget(Form2* widget)
{
    widget_ = widget;
    acset->setWidget(widget);
    widget->SetFrameOption(acset->ramka);
}

// A tick may wait here for its download, and ticks do nest in that wait: Qt does not run a
// timer's handler again while it runs, but a tick that changes the interval registers the timer
// afresh, and the fresh timer fires inside the wait. A nested tick runs whole, moves the queue
// on and finds the component busy ("!!!Nie sciaglem"); the walk here then goes on with the
// queue position the nested ticks left.
void Form1::Timer1Timer()
{
    batchingLog_ = true;

    // The current station name is set only when a download really starts, so that every text
    // about a download names the station whose page is arriving, nested ticks or not.
    if (state_.hotStart) {
        Log(QStringLiteral("HOT START / HOT START"));
        SetInterval(Timer1, kHotStartInterval);
    }

    ++state_.queuePosition;
    if (state_.queuePosition >= programy->count() + 1) {
        state_.queuePosition = 0;
        state_.hotStart = false;
        SetInterval(Timer1, kNormalInterval);
        SetUpdateFrequency(state_.frequencyKeyword);
        Log(QStringLiteral("KONIEC HOT START !!!!"));
    }

    state_.weekday = QLocale::system().dayName(QDate::currentDate().dayOfWeek());
    state_.time = QTime::currentTime().toString(QStringLiteral("hh : mm"));
    if (widget_)
        widget_->SetClock(state_.ClockText());

    state_.checkedCount = static_cast<int>(CheckMarks().count(true));

    // The walk takes the number of entries once; entries deleted while it waits for a download
    // end it early instead of being read past the end of the list.
    const int entries = programy->count();
    bool walkedThrough = true;
    for (int i = 0; i < entries && i < programy->count(); ++i) {
        if (programy->item(i)->checkState() != Qt::Checked)
            continue;
        if (!state_.activated) {
            walkedThrough = false;
            break;
        }
        const QByteArray entry = LineAt(programy, i);
        Log(QStringLiteral(".mrowka: Parsuje program %1").arg(i + 1) + Text(EntryName(entry)));
        Log(QStringLiteral(".mrowka: Kolejka>>%1").arg(state_.queuePosition));
        Log(QStringLiteral(".mrowka: Aktualnie zazn programow %1").arg(state_.checkedCount));
        // Read afresh: a nested handler may have moved the queue while a download ran.
        if (i + 1 == state_.queuePosition)
            StartStationDownload(EntryURL(entry), EntryName(entry));
    }

    batchingLog_ = false;
    FlushLog();
    if (walkedThrough)
        PublicationStep();
}

void Form1::clearTimer()
{
    ilosc->clear();
    if (widget_)
        widget_->Clear();
    programy->repaint();
}

// During the hot start the keyword is only stored: the wrap applies it. Setting the interval
// at once would hold the next hot-start tick back by a whole minute at "Najwolniej".
void Form1::SetUpdateFrequency(const QString& keyword)
{
    state_.frequencyKeyword = keyword;
    if (state_.hotStart)
        return;
    if (const std::optional<int> interval = FrequencyInterval(keyword))
        SetInterval(Timer1, *interval);
}

void Form1::StartStationDownload(const QByteArray& url, const QByteArray& name)
{
    // The page is saved under the station's name: a name that is not a plain file in the
    // working folder would write elsewhere, or over the station files. Never fetched.
    if (CheckStationName(name) != StationNameProblem::None) {
        Log(QStringLiteral(".mrowka: Pomijam stację o nazwie, która nie jest nazwą pliku: ") +
            Text(name));
        return;
    }
    ht->URL = url;
    ht->FileName = Text(name);
    Log(QStringLiteral(".mrowka: Sciagacz ustawiony... "));
    // Busy from the request on, not only from the first piece of the page.
    if (state_.downloadBusy || ht->isBusy()) {
        Log(QStringLiteral(".mrowka: !!!Nie sciaglem ") + Text(name));
        return;
    }
    state_.currentStation = name;
    Log(QStringLiteral(".mrowka: Sciagam... ") + Text(name));
    FlushLog();
    ht->DownloadFile();
}

// A list that holds one line per checked station goes to the widget or into a balloon. It
// holds more when a station's programme changed (old and new line) and fewer while stations
// are still to be fetched: then nothing changes on screen.
void Form1::PublicationStep()
{
    if (ilosc->count() != state_.checkedCount)
        return;
    const QList<QByteArray> lines = Lines(ilosc);
    qCInfo(lcPublish).noquote() << (c1->isChecked() ? "widget" : "balloon");
    for (const QByteArray& line : lines)
        qCInfo(lcPublish).noquote() << Text(line);

    if (c1->isChecked() && widget_)
        widget_->Publish(lines);
    if (c2->isChecked()) {
        if (widget_)
            widget_->hide();
        // Nothing checked, nothing to say: no balloon of a title alone, and any still up goes.
        if (lines.isEmpty()) {
            ico->HideBalloonHint();
            return;
        }
        QString text;
        for (const QByteArray& line : lines)
            text += Text(line) + QStringLiteral("\r\n");
        ShowBalloon(QStringLiteral("ekranik, ") + state_.ClockText(), text, kPublishBalloonSeconds);
    }
}

void Form1::ShowBalloon(const QString& title, const QString& text, int seconds)
{
    ico->ShowBalloonHint(title, text, TrayIcon::BalloonIcon::Info, seconds);
}

void Form1::htProgress(int TotalSize, int Readed)
{
    state_.downloadBusy = true;
    pb->setMax(TotalSize);
    if (widget_)
        widget_->ShowDownloadProgress(state_.currentStation, Readed, TotalSize);
    pb->setPosition(Readed);
    // One arg() for all three: a station called "tv%1" must not take the numbers' places.
    xxx->setText(QStringLiteral("Aktualizuje %1 %2/%3")
                     .arg(Text(state_.currentStation), QString::number(Readed),
                          QString::number(TotalSize)));
    xxx->adjustSize();
}

void Form1::htDoneFile(const QString& FileName, int FileSize)
{
    statistics_.Count(FileSize);
    pobrano->setText(statistics_.PobranoCaption());
    state_.downloadBusy = false;

    if (!fileNowPlayingLine(parser_.ParseListingsPage(FileName)))
        return;
    Log(QStringLiteral(".mrowka: Sciagnieto: ") + FileName);
    akt->setText(statistics_.AktCaption());
}

// Nothing is counted, but the station still files its line, from the page kept from its last
// good download: otherwise one dead station would keep the list from ever being complete, and
// nothing would be published again.
void Form1::htError()
{
    Log(QStringLiteral(".mrowka|http: blad blad blad"));
    state_.downloadBusy = false;
    if (!state_.currentStation.isEmpty())
        fileNowPlayingLine(parser_.ParseKeptPage(Text(state_.currentStation)));
}

// Appends the line to the now-playing list and removes repeats, keeping the first of equal
// lines; a page that could not be read files nothing and says why in the log.
bool Form1::fileNowPlayingLine(const std::optional<QByteArray>& line)
{
    if (!line) {
        Log(QStringLiteral(".mrowka: Nie mogę odczytać strony: ") + parser_.errorString());
        return false;
    }
    AppendLine(ilosc, *line);
    const QList<int> repeats = DuplicateRows(Lines(ilosc));
    for (auto row = repeats.crbegin(); row != repeats.crend(); ++row)
        delete ilosc->takeItem(*row);
    return true;
}
