#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QThread>
#include <atomic>
#include <chrono>
#include <curl/curl.h>

class HttpFetch;
class QSaveFile;

// However a server trickles, a download ends this long after its request, so that one slow
// station never holds up the update queue for good.
inline constexpr std::chrono::milliseconds kDownloadDeadline{60000};

// What one download works with, copied from the component when it starts.
struct DownloadSettings {
    QByteArray acceptTypes;
    QByteArray acceptLanguage;
    QByteArray agent;
    QByteArray url;
    QString fileName;
    QByteArray userName;
    QByteArray password;
    QByteArray postQuery;
    QByteArray referer;
    bool binaryData = false;
    bool useCache = false;
    bool reportProgress = false;
    std::chrono::milliseconds deadline = kDownloadDeadline;
};

// The worker of one download. It fetches with libcurl on its own thread, writes the body to a
// temporary file beside the target, and replaces the target only when the download succeeded.
// Each progress report and the completion are handed to the GUI thread, and the worker waits
// until they have run there.
//
// The thread object lives on the GUI thread and deletes itself there after the run has ended,
// so the reports always have a live receiver. The component it works for may be gone by then:
// it is held through a QPointer, read on the GUI thread only.
class HttpFetchThread : public QThread {
    Q_OBJECT
public:
    HttpFetchThread(HttpFetch* owner, DownloadSettings settings);

    // Safe from any thread; the run notices it within a second, mid-transfer included.
    void requestStop() { m_stop = true; }
    // The component is going away: stop, and hand nothing more to the GUI thread.
    void detach()
    {
        m_detached = true;
        m_stop = true;
    }

protected:
    void run() override;

private:
    bool transfer();
    bool acceptReply();
    size_t write(const char* data, size_t size);

    static size_t onWrite(char* data, size_t size, size_t count, void* self);
    static int onTransferInfo(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    QPointer<HttpFetch> m_owner;
    const DownloadSettings m_settings;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_detached{false};

    // Worker thread only, during the transfer.
    CURL* m_curl = nullptr;
    QSaveFile* m_file = nullptr;
    bool m_replyChecked = false;
    qint64 m_total = 0;
    qint64 m_readed = 0;
};
