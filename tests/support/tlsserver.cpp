#include "support/tlsserver.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>

namespace {

QByteArray contents(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TlsServer::TlsServer()
{
    start();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_listening.wait(lock, [this] { return m_started; });
}

TlsServer::~TlsServer()
{
    quit();
    wait();
}

QString TlsServer::certificateFile()
{
    return QStringLiteral(EKRANIK_TEST_SUPPORT_DIR "/loopback-tls.crt");
}

quint16 TlsServer::port() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_port;
}

QByteArray TlsServer::url(const QByteArray& path) const
{
    return "https://127.0.0.1:" + QByteArray::number(port()) + path;
}

void TlsServer::setReply(const QByteArray& path, const QByteArray& reply)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_replies.insert(path, reply);
}

int TlsServer::requestCount() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void TlsServer::run()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(contents(certificateFile())));
    configuration.setPrivateKey(
        QSslKey(contents(QStringLiteral(EKRANIK_TEST_SUPPORT_DIR "/loopback-tls.key")), QSsl::Ec));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    QSslServer server;
    server.setSslConfiguration(configuration);
    const bool listening = server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, &server,
                     [this, &server] { answer(&server); });
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_port = listening ? server.serverPort() : 0;
        m_started = true;
    }
    m_listening.notify_all();
    exec();
}

void TlsServer::answer(QSslServer* server)
{
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            const QByteArray request =
                socket->property("request").toByteArray() + socket->readAll();
            socket->setProperty("request", request);
            if (!request.contains("\r\n\r\n"))
                return;
            const QByteArray path = request.left(request.indexOf("\r\n")).split(' ').value(1);
            QByteArray reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                ++m_requests;
                reply = m_replies.value(path, reply);
            }
            socket->write(reply);
            socket->disconnectFromHost();
        });
    }
}
