#include "net/httpfetch.h"

#include "net/httpfetchthread.h"

#include <QEventLoop>
#include <QMetaMethod>
#include <curl/curl.h>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

HttpFetch::HttpFetch(QObject* parent) : QObject(parent), m_deadline(kDownloadDeadline) {}

HttpFetch::~HttpFetch()
{
    if (m_worker)
        m_worker->detach();
    if (m_waitLoop)
        m_waitLoop->quit();
}

void HttpFetch::globalInit()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
#ifdef Q_OS_UNIX
    // A server that closes early must not kill the program through a write on its socket.
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void HttpFetch::DownloadFile()
{
    if (m_worker)
        return;

    DownloadSettings settings;
    settings.acceptTypes = AcceptTypes;
    settings.acceptLanguage = AcceptLanguage;
    settings.agent = Agent;
    settings.url = URL;
    settings.fileName = FileName;
    settings.userName = UserName;
    settings.password = Password;
    settings.postQuery = PostQuery;
    settings.referer = Referer;
    settings.binaryData = BinaryData;
    settings.useCache = UseCache;
    settings.deadline = m_deadline;
    // Without a listener, the worker need not stop at every piece to report.
    settings.reportProgress = isSignalConnected(QMetaMethod::fromSignal(&HttpFetch::OnProgress));

    m_worker = new HttpFetchThread(this, std::move(settings));
    // The thread starts from the event loop, so a CancelDownload straight after this call is
    // seen before anything has gone out.
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { worker->start(); }, Qt::QueuedConnection);

    if (!WaitThread)
        return;
    QPointer<HttpFetch> self(this);
    QEventLoop loop;
    m_waitLoop = &loop;
    loop.exec();
    // The loop ends when the completion has been handled, when this component is destroyed,
    // or when the application quits every loop at once; the download then goes on without
    // anyone waiting for it.
    if (self && m_waitLoop == &loop)
        m_waitLoop = nullptr;
}

void HttpFetch::CancelDownload()
{
    if (m_worker)
        m_worker->requestStop();
}

void HttpFetch::deliverProgress(HttpFetchThread* worker, int total, int readed)
{
    if (worker == m_worker)
        emit OnProgress(total, readed);
}

void HttpFetch::deliverCompletion(HttpFetchThread* worker, bool success, const QString& fileName,
                                  int fileSize)
{
    if (worker != m_worker)
        return;
    // The component stays busy while the handler runs: a DownloadFile from inside it does
    // nothing. The handler may also destroy the component.
    QPointer<HttpFetch> self(this);
    if (success)
        emit OnDoneFile(fileName, fileSize);
    else
        emit OnError();
    if (!self)
        return;
    m_worker = nullptr;
    if (m_waitLoop) {
        m_waitLoop->quit();
        m_waitLoop = nullptr;
    }
}
