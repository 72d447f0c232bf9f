#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QThread>
#include <condition_variable>
#include <mutex>

class QSslServer;

// A loopback https server for tests, with the self-signed certificate for 127.0.0.1 kept beside
// this file (loopback-tls.crt, valid from 2000 to 2100; its key in loopback-tls.key), which a
// client must be told to trust. It answers each request with the reply set for its path, head
// and body verbatim (a 404 for other paths), and closes the connection. It serves on a thread of
// its own, so that a client may block the test's thread. Needs Qt Network; the test target
// defines EKRANIK_TEST_SUPPORT_DIR as this folder.
class TlsServer : public QThread {
public:
    TlsServer();
    ~TlsServer() override;

    // 0 when it could not listen.
    quint16 port() const;
    // "https://127.0.0.1:<port>" followed by path (which starts with '/').
    QByteArray url(const QByteArray& path) const;
    void setReply(const QByteArray& path, const QByteArray& reply);
    int requestCount() const;

    static QString certificateFile();

protected:
    void run() override;

private:
    void answer(QSslServer* server);

    mutable std::mutex m_mutex;
    std::condition_variable m_listening;
    bool m_started = false;
    quint16 m_port = 0;
    QHash<QByteArray, QByteArray> m_replies;
    int m_requests = 0;
};
