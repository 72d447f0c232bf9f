#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <chrono>

class HttpFetchThread;
class QEventLoop;

// Fetches one HTTP resource at a time into a file. The network and file work runs on a worker
// thread of its own; progress and the outcome come back on the thread that owns the component
// (the GUI thread) as the signals below. With WaitThread set, DownloadFile returns only once the
// download has ended and its completion signal has been handled, running the event loop (not
// spinning) in the meantime, so timers and user actions go on.
class HttpFetch : public QObject {
    Q_OBJECT
public:
    explicit HttpFetch(QObject* parent = nullptr);
    // Cancels a running download. Its worker finishes on its own and reports to no one.
    ~HttpFetch() override;

    // Once per process, before the first download and before any other thread exists.
    static void globalInit();

    // The settings, copied when a download starts: a change affects the next download only.
    QByteArray AcceptTypes{"*/*"};
    // The languages wanted, sent as Accept-Language ("en", "pl, en;q=0.5"); empty: none sent.
    QByteArray AcceptLanguage;
    QByteArray Agent{"Quorvane HttpFetch"};
    bool BinaryData = false; // a reply without a length fails at once
    QByteArray URL;
    bool UseCache = false; // false: ask every cache on the way for a fresh copy
    QString FileName;      // the file that receives the body, replaced only on success
    QByteArray UserName;
    QByteArray Password;
    QByteArray PostQuery; // not empty: POST this form-encoded body instead of a GET
    QByteArray Referer;
    bool WaitThread = false;

    // Starts a download of URL into FileName. Does nothing while one is running, which includes
    // the time its completion signal is being handled.
    void DownloadFile();
    // Asks a running download to stop; it then ends in OnError. Returns at once.
    void CancelDownload();
    bool isBusy() const { return m_worker != nullptr; }

    // How long a download may take from its request to its last byte before it ends in
    // OnError; one minute unless changed (tests shorten it).
    std::chrono::milliseconds deadline() const { return m_deadline; }
    void setDeadline(std::chrono::milliseconds deadline) { m_deadline = deadline; }

signals:
    // After every piece of the body: the announced length (0 when none) and the bytes so far.
    void OnProgress(int TotalSize, int Readed);
    // The body is complete and saved; FileSize is the announced length.
    void OnDoneFile(const QString& FileName, int FileSize);
    // The download failed or was cancelled; the old file is as it was.
    void OnError();

private:
    friend class HttpFetchThread;
    void deliverProgress(HttpFetchThread* worker, int total, int readed);
    void deliverCompletion(HttpFetchThread* worker, bool success, const QString& fileName,
                           int fileSize);

    std::chrono::milliseconds m_deadline;
    HttpFetchThread* m_worker = nullptr;
    QEventLoop* m_waitLoop = nullptr;
};
