#include "update/updateengine.h"

#include "net/httpfetch.h"
#include "stations/stationentry.h"
#include "text/linerole.h"
#include "text/logging.h"
#include "text/win1250.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QLocale>
#include <QTimer>
#include <utility>

namespace {

constexpr int kFirstTick = 8000;        // after start-up
constexpr int kHotStartInterval = 1000; // one station a second until the first wrap
constexpr int kNormalInterval = 20000;
constexpr int kClearInterval = 1000000; // the now-playing list is rebuilt every 16 min 40 s

// A timer's countdown restarts only when its interval really changes.
void setInterval(QTimer* timer, int msec)
{
    if (timer->interval() != msec)
        timer->setInterval(msec);
}

QString toText(const QByteArray& bytes)
{
    return win1250ToUnicode(bytes);
}

QByteArray entryAt(const QAbstractItemModel& stations, int row)
{
    return stations.index(row, 0).data(kLineRole).toByteArray();
}

bool checkedAt(const QAbstractItemModel& stations, int row)
{
    return stations.index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
}

} // namespace

UpdateEngine::UpdateEngine(const QAbstractItemModel* stations, HttpFetch* downloader,
                           QObject* parent)
    : QObject(parent), m_stations(stations), ht(downloader), Timer1(new QTimer(this)),
      clear(new QTimer(this))
{
    // How the portal is asked: as the program always has.
    ht->AcceptTypes = "*/*";
    ht->Agent = "FlashGet";
    ht->BinaryData = false;
    ht->UseCache = false;
    ht->WaitThread = true;
    connect(ht, &HttpFetch::OnProgress, this, &UpdateEngine::htProgress);
    connect(ht, &HttpFetch::OnDoneFile, this, &UpdateEngine::htDoneFile);
    connect(ht, &HttpFetch::OnError, this, &UpdateEngine::htError);

    Timer1->setInterval(kFirstTick);
    connect(Timer1, &QTimer::timeout, this, &UpdateEngine::Timer1Timer);
    clear->setInterval(kClearInterval);
    connect(clear, &QTimer::timeout, this, &UpdateEngine::clearTimer);

    // The update queue begins with its quick first pass.
    m_state.hotStart = true;
}

UpdateEngine::~UpdateEngine() = default;

void UpdateEngine::start()
{
    Timer1->start();
    clear->start();
}

void UpdateEngine::activate()
{
    m_state.activated = true;
}

void UpdateEngine::waitForListings(bool waiting)
{
    if (std::exchange(m_state.waitingForListings, waiting) && !waiting)
        startQuickPass();
}

void UpdateEngine::startQuickPass()
{
    m_state.hotStart = true;
    m_state.queuePosition = 0;
    setInterval(Timer1, kHotStartInterval);
}

void UpdateEngine::cancelDownload()
{
    ht->CancelDownload();
}

// A tick may wait here for its download, and ticks do nest in that wait: Qt does not run a
// timer's handler again while it runs, but a tick that changes the interval registers the timer
// afresh, and the fresh timer fires inside the wait. A nested tick runs whole, moves the queue
// on and finds the component busy ("!!!Nie sciaglem"); the walk here then goes on with the
// queue position the nested ticks left.
void UpdateEngine::Timer1Timer()
{
    m_batchingLog = true;

    // The current station name is set only when a download really starts, so that every text
    // about a download names the station whose page is arriving, nested ticks or not.
    if (m_state.hotStart) {
        log(QStringLiteral("HOT START / HOT START"));
        setInterval(Timer1, kHotStartInterval);
    }

    ++m_state.queuePosition;
    if (m_state.queuePosition >= m_stations->rowCount() + 1) {
        m_state.queuePosition = 0;
        m_state.hotStart = false;
        setInterval(Timer1, kNormalInterval);
        SetUpdateFrequency(m_state.frequencyKeyword);
        log(QStringLiteral("KONIEC HOT START !!!!"));
    }

    m_state.weekday = QLocale::system().dayName(QDate::currentDate().dayOfWeek());
    m_state.time = QTime::currentTime().toString(QStringLiteral("hh : mm"));
    emit clockChanged(m_state.clockText());

    int checked = 0;
    for (int row = 0; row < m_stations->rowCount(); ++row)
        checked += checkedAt(*m_stations, row) ? 1 : 0;
    m_state.checkedCount = checked;

    // The walk takes the number of entries once; entries deleted while it waits for a download
    // end it early instead of being read past the end of the list.
    const int entries = m_stations->rowCount();
    bool walkedThrough = true;
    for (int i = 0; i < entries && i < m_stations->rowCount(); ++i) {
        if (!checkedAt(*m_stations, i))
            continue;
        if (!m_state.activated || m_state.waitingForListings) {
            walkedThrough = false;
            break;
        }
        const QByteArray entry = entryAt(*m_stations, i);
        log(QStringLiteral(".mrowka: Parsuje program %1").arg(i + 1) + toText(EntryName(entry)));
        log(QStringLiteral(".mrowka: Kolejka>>%1").arg(m_state.queuePosition));
        log(QStringLiteral(".mrowka: Aktualnie zazn programow %1").arg(m_state.checkedCount));
        // Read afresh: a nested tick may have moved the queue while a download ran.
        if (i + 1 == m_state.queuePosition)
            StartStationDownload(EntryURL(entry), EntryName(entry));
    }

    m_batchingLog = false;
    flushLog();
    // A list that holds one line per checked station is published. It holds more when a
    // station's programme changed (old and new line) and fewer while stations are still to be
    // fetched: then nothing changes on screen.
    if (walkedThrough && ilosc.count() == m_state.checkedCount)
        emit publishable(ilosc.lines(), m_state.clockText(), ilosc.nextUp());
}

void UpdateEngine::clearTimer()
{
    ilosc.clear();
    emit cleared();
}

// During the hot start the keyword is only stored: the wrap applies it. Setting the interval
// at once would hold the next hot-start tick back by a whole minute at "Najwolniej".
void UpdateEngine::SetUpdateFrequency(const QString& keyword)
{
    m_state.frequencyKeyword = keyword;
    if (m_state.hotStart)
        return;
    if (const std::optional<int> interval = frequencyInterval(keyword))
        setInterval(Timer1, *interval);
}

void UpdateEngine::StartStationDownload(const QByteArray& url, const QByteArray& name)
{
    // The page is saved under the station's name: a name that is not a plain file in the
    // working folder would write elsewhere, or over the station files. Never fetched.
    if (checkStationName(name) != StationNameProblem::None) {
        log(QStringLiteral(".mrowka: Pomijam stację o nazwie, która nie jest nazwą pliku: ") +
            toText(name));
        return;
    }
    ht->URL = url;
    ht->FileName = toText(name);
    log(QStringLiteral(".mrowka: Sciagacz ustawiony... "));
    // Busy from the request on, not only from the first piece of the page.
    if (m_state.downloadBusy || ht->isBusy()) {
        log(QStringLiteral(".mrowka: !!!Nie sciaglem ") + toText(name));
        return;
    }
    m_state.currentStation = name;
    log(QStringLiteral(".mrowka: Sciagam... ") + toText(name));
    flushLog();
    ht->DownloadFile();
}

void UpdateEngine::htProgress(int TotalSize, int Readed)
{
    m_state.downloadBusy = true;
    emit downloadProgress(m_state.currentStation, Readed, TotalSize);
}

void UpdateEngine::htDoneFile(const QString& FileName, int FileSize)
{
    m_statistics.count(FileSize);
    emit pobranoChanged(m_statistics.pobranoCaption());
    m_state.downloadBusy = false;

    if (!fileNowPlayingLine(m_parser.ParseListingsPage(FileName)))
        return;
    log(QStringLiteral(".mrowka: Sciagnieto: ") + FileName);
    emit aktChanged(m_statistics.aktCaption());
}

// Nothing is counted, but the station still files its line, from the page kept from its last
// good download: otherwise one dead station would keep the list from ever being complete, and
// nothing would be published again.
void UpdateEngine::htError()
{
    log(QStringLiteral(".mrowka|http: blad blad blad"));
    m_state.downloadBusy = false;
    if (!m_state.currentStation.isEmpty())
        fileNowPlayingLine(m_parser.parseKeptPage(toText(m_state.currentStation)));
}

// Appends the line, with the programme after it on the same page, and removes repeats,
// keeping the first of equal lines; a page that could not be read files nothing and says why
// in the log.
bool UpdateEngine::fileNowPlayingLine(const std::optional<QByteArray>& line)
{
    if (!line) {
        log(QStringLiteral(".mrowka: Nie mogę odczytać strony: ") + m_parser.errorString());
        return false;
    }
    ilosc.append(*line, m_parser.lastNextUp());
    ilosc.removeRepeats();
    return true;
}

void UpdateEngine::log(const QString& line)
{
    m_pendingLog.append(line);
    if (!m_batchingLog)
        flushLog();
}

void UpdateEngine::flushLog()
{
    if (m_pendingLog.isEmpty())
        return;
    const QStringList lines = std::exchange(m_pendingLog, {});
    for (const QString& line : lines)
        qCInfo(lcLog).noquote() << line;
    emit logged(lines);
}
