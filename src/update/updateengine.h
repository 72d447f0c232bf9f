#pragma once

#include "update/downloadstatistics.h"
#include "update/listingsparser.h"
#include "update/nowplayinglist.h"
#include "update/updatestate.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>

class HttpFetch;
class QAbstractItemModel;
class QTimer;

// The update engine: the tick that walks the station list and fetches one station's listings
// page at a time, the clear timer, the frequencies, the three reports of the download component
// `ht` (made by whoever assembles the program, set up and driven here), the statistics, the
// parser and the now-playing list `ilosc`.
//
// It reads the station list from a model, one row per entry with the entry's bytes under
// kLineRole and its check mark under Qt::CheckStateRole, afresh at every step: a tick nested in
// the wait for a download may see entries deleted. It reaches no window; what they show comes
// out as the signals below.
class UpdateEngine : public QObject {
    Q_OBJECT
public:
    // Downloads with `downloader`, which must outlive the engine.
    UpdateEngine(const QAbstractItemModel* stations, HttpFetch* downloader,
                 QObject* parent = nullptr);
    ~UpdateEngine() override;

    // Starts the update timer (first tick after 8 s) and the clear timer.
    void start();
    // The station files have been loaded: from now on ticks fetch and publish.
    void activate();
    // The portal the stations name is reading its listings: ticks fetch nothing until it is
    // done, and then begin a quick pass.
    void waitForListings(bool waiting);
    // One station a second until the list has been walked once, as after the start: the
    // stations just picked show soon.
    void startQuickPass();

    // --- handlers ----------------------------------------------------------------------------
    void Timer1Timer();
    void clearTimer();
    void SetUpdateFrequency(const QString& keyword);
    void StartStationDownload(const QByteArray& url, const QByteArray& name);
    void htProgress(int TotalSize, int Readed);
    void htDoneFile(const QString& FileName, int FileSize);
    void htError();

    // --- the now-playing list ----------------------------------------------------------------
    NowPlayingList* nowPlaying() { return &ilosc; }
    const NowPlayingList* nowPlaying() const { return &ilosc; }
    // A line that no download filed, for trying the display out.
    void addTestLine(const QByteArray& line) { ilosc.append(line); }
    // Emptied: the check marks changed, or the user asked for it.
    void clearNowPlaying() { ilosc.clear(); }

    // Asks a running download to stop; it then ends as a failure.
    void cancelDownload();

    const UpdateState& state() const { return m_state; }
    const DownloadStatistics& statistics() const { return m_statistics; }
    const ListingsParser& parser() const { return m_parser; }
    // The update timer, to read its interval and countdown.
    const QTimer& updateTimer() const { return *Timer1; }
    HttpFetch* downloader() const { return ht; }

signals:
    // The clock text of this tick, "hh : mm | weekday".
    void clockChanged(const QString& clockText);
    // A piece of the page of `station` has arrived: `readed` of `total` bytes (0: no length).
    void downloadProgress(const QByteArray& station, int readed, int total);
    // The captions of the two statistics items, "Pobrano: ..." and "Udane aktualizacje: ...".
    void pobranoChanged(const QString& caption);
    void aktChanged(const QString& caption);
    // Debug log lines, a tick's in one batch.
    void logged(const QStringList& lines);
    // The last step of a tick: the now-playing list holds one line per checked station, each
    // with what follows it.
    void publishable(const QList<QByteArray>& lines, const QString& clockText,
                     const QList<std::optional<NextUp>>& next = {});
    // The clear timer emptied the list; the display waits for fresh downloads.
    void cleared();

private:
    void log(const QString& line);
    void flushLog();
    // Files a parsed line in the now-playing list; false when there is none.
    bool fileNowPlayingLine(const std::optional<QByteArray>& line);

    const QAbstractItemModel* m_stations;
    HttpFetch* ht;
    QTimer* Timer1;
    QTimer* clear;
    NowPlayingList ilosc;
    UpdateState m_state;
    DownloadStatistics m_statistics;
    ListingsParser m_parser;
    // A tick's log lines go out in one batch at its end, or before it waits for a download.
    QStringList m_pendingLog;
    bool m_batchingLog = false;
};
