#pragma once

#include "stations/portalchannels.h"

#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

class HttpFetch;

// Fetches a portal's /channels.json for the channel picker and reads it. While the portal says
// it is still reading its listings, it asks again every second, so the picker shows the
// channels as soon as they are in. One load at a time: a new one replaces the running one.
class ChannelsLoader : public QObject {
    Q_OBJECT
public:
    // How often the portal is asked again while it reads: its first reading of a large source
    // takes seconds, and an answer costs it next to nothing.
    static constexpr int kAskAgainMs = 1000;
    // The largest answer read. A few thousand channels take a few megabytes; past this it is
    // not a portal's answer, and it must not fill the disk or the memory.
    static constexpr qint64 kMaxAnswerBytes = 32 * 1024 * 1024;

    // The download component is this loader's own: it takes every completion of it as its own.
    // It asks in `language` ("pl", "en": the one the program shows), so that the portal gives
    // its reasons in it; in none when empty.
    explicit ChannelsLoader(HttpFetch* fetch, const QString& language = {},
                            QObject* parent = nullptr);

    // Loads http://<hostPort>/channels.json.
    void load(const QString& hostPort);
    // Stops loading; nothing more is said until the next load.
    void stop();

signals:
    // Each answer read, "reading" ones included.
    void loaded(const PortalChannels& channels);
    // The answer could not be had or read: one Polish sentence. No more asking after it.
    void failed(const QString& reason);

private:
    void ask();
    void fetchDone();
    void fetchFailed();
    void fetchProgress(int total, int readed);
    QString address() const;
    QString tooLargeText() const;
    void fail(const QString& reason);
    // Starts the load that came while a download ran, once that download has ended; false
    // when none came.
    bool handOver();

    HttpFetch* m_fetch;
    QTemporaryDir m_folder;
    QTimer m_askAgain;
    QString m_hostPort;
    bool m_active = false;
    bool m_askWhenDone = false; // a load came while the previous download still ran
    bool m_tooLarge = false;
};
