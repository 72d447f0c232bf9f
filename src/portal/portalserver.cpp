#include "portal/portalserver.h"

#include "portal/listingpage.h"
#include "portal/listingrequest.h"

#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

const char kPageType[] = "text/html; charset=iso-8859-2";

QString statusReason(int status)
{
    switch (status) {
    case 400:
        return QStringLiteral("Błędne zapytanie.");
    case 404:
        return QStringLiteral("Nie ma takiej strony.");
    case 413:
        return QStringLiteral("Zapytanie jest za duże.");
    case 414:
        return QStringLiteral("Adres jest za długi.");
    default:
        return status < 500 ? QStringLiteral("Błędne zapytanie.") : QStringLiteral("Błąd serwera.");
    }
}

// The library listens with a backlog of 5 connections as Debian builds it: a burst of clients
// beyond that has its connection attempts dropped and retried a fifth of a second or more
// later. listen() again on the bound socket (the library's own) only deepens the backlog.
class DeepBacklogServer : public httplib::Server {
public:
    bool deepenBacklog() { return ::listen(svr_sock_, SOMAXCONN) == 0; }
};

} // namespace

PortalServer::PortalServer(Listings listings, StationMap stations, Clock clock, Log log)
    : m_listings(std::move(listings)), m_stations(std::move(stations)), m_clock(std::move(clock)),
      m_log(std::move(log)), m_server(std::make_unique<DeepBacklogServer>())
{
    // The head and the body of an answer go out in separate writes; without this, a client
    // that keeps its connection open waits for a delayed acknowledgement before the body.
    m_server->set_tcp_nodelay(true);
    // The library's default also sets SO_REUSEPORT, which lets a second portal bind the same
    // port and share the requests with the first one instead of failing to start.
    m_server->set_socket_options([](socket_t socket) {
        const int on = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    });
    m_server->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        const Reply reply = answer(request.target);
        response.status = reply.status;
        response.set_header("Cache-Control", "no-cache");
        response.set_content(reply.body.constData(), static_cast<std::size_t>(reply.body.size()),
                             kPageType);
    });
    // Errors the library answers by itself (a request it cannot read, another method than
    // GET or HEAD) get a page too, so that they also carry a Content-Length and a body.
    m_server->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty())
            return;
        const QByteArray page = errorPage(response.status, statusReason(response.status));
        response.set_content(page.constData(), static_cast<std::size_t>(page.size()), kPageType);
    });
    if (m_log) {
        m_server->set_logger(
            [this](const httplib::Request& request, const httplib::Response& response) {
                // A request the library could not read has no address or request line.
                const auto field = [](const std::string& text) {
                    return text.empty() ? QByteArray("-") : QByteArray::fromStdString(text);
                };
                const QByteArray time = QDateTime::currentDateTime()
                                            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                            .toLatin1();
                m_log(time + ' ' + field(request.remote_addr) + " \"" + field(request.method) +
                      ' ' + field(request.target) + ' ' + field(request.version) + "\" " +
                      QByteArray::number(response.status) + ' ' +
                      QByteArray::number(qulonglong(response.body.size())) + " \"" +
                      field(request.get_header_value("User-Agent")) + '"');
            });
    }
}

PortalServer::~PortalServer() = default;

PortalServer::Reply PortalServer::answer(std::string_view target) const
{
    const ListingRequest request = parseListingRequest(target);
    switch (request.status) {
    case ListingRequest::Status::BadRequest:
        return {400, errorPage(400, request.reason)};
    case ListingRequest::Status::NotFound:
        return {404, errorPage(404, request.reason)};
    case ListingRequest::Status::Ok:
        break;
    }
    const QString* channelId = m_stations.channel(request.station);
    if (!channelId)
        return {404,
                errorPage(404, QStringLiteral("Nie ma stacji numer %1.").arg(request.station))};

    const QDateTime now = m_clock ? m_clock() : QDateTime::currentDateTime();
    if (const Channel* channel = m_listings.channel(*channelId))
        return {200, listingPage(*channel, now)};
    // A station whose channel has no listings gets the page of an empty day.
    Channel empty;
    empty.id = *channelId;
    empty.name = channelId->toUtf8();
    return {200, listingPage(empty, now)};
}

int PortalServer::bind(const QString& address, int port)
{
    const std::string host = address.toStdString();
    const int bound = port == 0 ? m_server->bind_to_any_port(host)
                                : (m_server->bind_to_port(host, port) ? port : -1);
    if (bound > 0)
        static_cast<DeepBacklogServer*>(m_server.get())->deepenBacklog();
    return bound;
}

bool PortalServer::serve()
{
    return m_server->listen_after_bind();
}

void PortalServer::stop()
{
    m_server->stop();
}

void PortalServer::waitUntilServing() const
{
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
