#include "portal/portalserver.h"

#include "portal/listingpage.h"
#include "portal/portaldoor.h"
#include "portal/requesthead.h"

#include <algorithm>
#include <arpa/inet.h>
#include <climits>
#include <cstring>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <string>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

namespace {

using SteadyClock = std::chrono::steady_clock;

// What a connection may take of memory for its request head and the head of its answer. The
// head of a request may be up to kMaxRequestHead long, and one a little longer must still fit
// to be answered with a 431 page of ours.
constexpr std::size_t kConnectionMemory = 32 * 1024;
// Files the portal needs besides its connections: standard streams, the listening socket, the
// event loop's own descriptors and the listings it reads.
constexpr unsigned kOtherFiles = 32;

QByteArray clientAddress(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    return addressText(info ? info->client_addr : nullptr);
}

} // namespace

struct PortalServer::Connection {
    int socket = -1;
    std::string address; // addressKey()
    // The request target as sent, escapes and all: the library hands on a decoded path.
    std::string target;
    SteadyClock::time_point headSince;
    bool awaitingHead = false;
    std::list<Connection*>::iterator awaiting;
    // The answer the page builder made while the connection was set aside for it.
    std::optional<Reply> built;
};

// The library's calls into the server, each with the server as its closure.
struct PortalServer::Callbacks {
    static void connectionEvent(void* self, MHD_Connection* connection, void** context,
                                MHD_ConnectionNotificationCode event)
    {
        auto* server = static_cast<PortalServer*>(self);
        if (event == MHD_CONNECTION_NOTIFY_STARTED) {
            auto* state = new Connection;
            const MHD_ConnectionInfo* socket =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            state->socket = socket ? socket->connect_fd : -1;
            const MHD_ConnectionInfo* client =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
            state->address = addressKey(client ? client->client_addr : nullptr);
            server->awaitHead(*state);
            *context = state;
        } else if (auto* state = static_cast<Connection*>(*context)) {
            server->headArrived(*state);
            server->m_door->release(state->address);
            delete state;
            *context = nullptr;
        }
    }

    // Called once the request line is in, before the head is parsed.
    static void* requestLine(void*, const char* uri, MHD_Connection* connection)
    {
        if (Connection* state = stateOf(connection))
            state->target = uri;
        return nullptr;
    }

    // Called when the whole head is in, and again when the (empty) body is: a request that is
    // refused is answered at once and its body never read; a page is given after the head,
    // so that the library keeps the connection and reads the next pipelined request.
    static MHD_Result request(void* self, MHD_Connection* connection, const char*,
                              const char* method, const char* version, const char*,
                              std::size_t* bodySize, void** requestContext)
    {
        auto* server = static_cast<PortalServer*>(self);
        Connection* state = stateOf(connection);
        if (!state)
            return MHD_NO;
        if (!*requestContext) {
            *requestContext = self;
            server->headArrived(*state);
            if (const int status = refusal(connection, state->target, method, version))
                return server->respond(connection, *state, method, version, status) ? MHD_YES
                                                                                    : MHD_NO;
            return MHD_YES;
        }
        if (*bodySize != 0)
            return MHD_NO; // a body for a page: not what a client of ours sends
        // Called once more when a page built aside is ready.
        return server->respond(connection, *state, method, version, 0) ? MHD_YES : MHD_NO;
    }

    // After an answer has gone out (or the connection failed): the next head is awaited.
    static void requestDone(void* self, MHD_Connection* connection, void**,
                            MHD_RequestTerminationCode)
    {
        if (Connection* state = stateOf(connection))
            static_cast<PortalServer*>(self)->awaitHead(*state);
    }

    static Connection* stateOf(MHD_Connection* connection)
    {
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        return info ? static_cast<Connection*>(info->socket_context) : nullptr;
    }

    // The status a head the library has read is refused with, or 0. The first head of a
    // connection has been checked at the door; this is for those that follow it.
    static int refusal(MHD_Connection* connection, const std::string& target, const char* method,
                       const char* version)
    {
        HeadSeen head;
        head.length = std::strlen(method) + 1 + target.size() + 1 + std::strlen(version) + 4;
        MHD_get_connection_values(connection, MHD_HEADER_KIND, &seeField, &head);
        return partsRefusal(method, target, version, head.length, head.control);
    }

    struct HeadSeen {
        std::size_t length = 0;
        bool control = false;
    };

    static MHD_Result seeField(void* seen, MHD_ValueKind, const char* key, const char* value)
    {
        auto* head = static_cast<HeadSeen*>(seen);
        const std::string_view name(key);
        const std::string_view text(value ? value : "");
        head->length += name.size() + 2 + text.size() + 2;
        head->control = head->control || hasControlByte(name) || hasControlByte(text);
        return MHD_YES;
    }
};

PortalServer::PortalServer(Listings listings, StationMap stations, Clock clock, Log log,
                           Limits limits)
    : PortalServer(std::move(stations), std::move(clock), std::move(log), limits)
{
    replaceListings(std::move(listings));
}

PortalServer::PortalServer(StationMap stations, Clock clock, Log log, Limits limits)
    : m_router(std::move(stations), std::move(clock)), m_log(std::move(log)), m_limits(limits),
      m_wakeUp(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    m_pageBuilder = std::thread([this] { buildPages(); });
}

PortalServer::~PortalServer()
{
    // The library must have every connection back before it stops.
    {
        const std::lock_guard<std::mutex> lock(m_jobsMutex);
        m_jobsStopping = true;
    }
    m_jobsWake.notify_all();
    m_pageBuilder.join();
    // Closes every connection the library has, which the door counts; then those still at
    // the door.
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
    m_door.reset();
    for (const int fd : {m_listenSocket, m_wakeUp, m_loop}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void PortalServer::buildPages()
{
    std::unique_lock<std::mutex> lock(m_jobsMutex);
    for (;;) {
        m_jobsWake.wait(lock, [this] { return m_jobsStopping || !m_jobs.empty(); });
        if (m_jobs.empty())
            return;
        PageJob job = std::move(m_jobs.front());
        m_jobs.pop_front();
        // Ending: what is still waiting is told so, as the library must have it back.
        const bool stopping = m_jobsStopping;
        lock.unlock();
        job.state->built = stopping ? PortalRouter::errorReply(503, statusReason(503))
                                    : m_router.answer(job.state->target, job.host);
        // The library hands the connection back on the serving thread's next turn, which
        // this wakes.
        MHD_resume_connection(job.connection);
        wake();
        lock.lock();
    }
}

// The answer to a request whose head the library has read: a page (status 0) or a refusal.
// A page still to be built is built aside, its connection suspended until it is ready.
bool PortalServer::respond(MHD_Connection* connection, Connection& state, const char* method,
                           const char* version, int status)
{
    const std::string& target = state.target;
    Reply reply;
    if (status != 0) {
        reply = PortalRouter::errorReply(status, statusReason(status));
    } else if (state.built) {
        reply = std::move(*state.built);
        state.built.reset();
    } else {
        const char* host =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST);
        std::optional<Reply> ready = m_router.answerOrDefer(target, host ? host : "");
        if (!ready) {
            MHD_suspend_connection(connection);
            {
                const std::lock_guard<std::mutex> lock(m_jobsMutex);
                m_jobs.push_back({connection, &state, host ? host : ""});
            }
            m_jobsWake.notify_one();
            return true;
        }
        reply = std::move(*ready);
    }
    const bool page = status == 0;
    // A client, or a cache, whose copy is the page still gets no body.
    if (page && reply.status == 200) {
        const auto header = [connection](const char* name) {
            const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
            return std::string_view(value ? value : "");
        };
        if (stillValid(reply.freshness, header(MHD_HTTP_HEADER_IF_NONE_MATCH),
                       header(MHD_HTTP_HEADER_IF_MODIFIED_SINCE))) {
            reply.status = 304;
            reply.body.clear();
        }
    }
    const char* connectionHeader =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONNECTION);
    const std::string_view asked = connectionHeader ? connectionHeader : "";
    const bool keepAlive =
        page && (std::strcmp(version, MHD_HTTP_VERSION_1_1) == 0 ? !listsToken(asked, "close")
                                                                 : listsToken(asked, "keep-alive"));

    // The library sends the body from where it is, and lets it go when it is sent: a page
    // of megabytes is not copied once more on the serving thread.
    const qsizetype bodySize = reply.body.size();
    auto* body = new QByteArray(std::move(reply.body));
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        std::size_t(bodySize), const_cast<char*>(body->constData()),
        [](void* held) { delete static_cast<QByteArray*>(held); }, body);
    if (!response) {
        delete body;
        return false;
    }
    const Freshness& fresh = reply.freshness;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, cacheControl(fresh).c_str());
    if (!fresh.etag.isEmpty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, fresh.etag.constData());
    if (fresh.lastModified != 0)
        MHD_add_response_header(response, MHD_HTTP_HEADER_LAST_MODIFIED,
                                httpDate(fresh.lastModified).c_str());
    if (reply.status != 304)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.type);
    if (reply.retryAfter > 0)
        MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER,
                                std::to_string(reply.retryAfter).c_str());
    if (reply.status == 405)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    if (keepAlive) {
        const std::string idle = "timeout=" + std::to_string(m_limits.idleSeconds);
        MHD_add_response_header(response, "Keep-Alive", idle.c_str());
    } else {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    }
    const bool queued = MHD_queue_response(connection, unsigned(reply.status), response) == MHD_YES;
    MHD_destroy_response(response);

    if (m_log) {
        const char* agent =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_USER_AGENT);
        const char* forwarded =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "X-Forwarded-For");
        const QByteArray client = forwardedClient(
            m_limits, state.address, clientAddress(connection), forwarded ? forwarded : "");
        m_log(requestLogLine(client, {method, target, version}, reply.status, bodySize,
                             agent ? agent : ""));
    }
    return queued;
}

void PortalServer::awaitHead(Connection& connection)
{
    headArrived(connection);
    connection.headSince = SteadyClock::now();
    connection.awaiting = m_awaitingHead.insert(m_awaitingHead.end(), &connection);
    connection.awaitingHead = true;
}

void PortalServer::headArrived(Connection& connection)
{
    if (connection.awaitingHead)
        m_awaitingHead.erase(connection.awaiting);
    connection.awaitingHead = false;
}

int PortalServer::keepDeadlines()
{
    const SteadyClock::time_point now = SteadyClock::now();
    SteadyClock::time_point next = m_door->keepDeadlines(now);
    // Kept-alive connections whose next head is overdue.
    while (!m_awaitingHead.empty()) {
        Connection& oldest = *m_awaitingHead.front();
        const SteadyClock::time_point deadline = oldest.headSince + m_limits.headDeadline;
        if (deadline > now) {
            next = std::min(next, deadline);
            break;
        }
        // The library sees the connection end and closes it on its next turn; the socket
        // stays its own until then, so no other connection can be hit by mistake.
        ::shutdown(oldest.socket, SHUT_RDWR);
        headArrived(oldest);
    }
    if (next == SteadyClock::time_point::max())
        return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    return int(std::min<long long>(left + 1, INT_MAX));
}

int PortalServer::bind(const QString& address, int port)
{
    if (m_listenSocket >= 0)
        return -1;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string host = address.toStdString();
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return -1;
    for (addrinfo* a = found; a && m_listenSocket < 0; a = a->ai_next) {
        const int s =
            ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (s < 0)
            continue;
        // SO_REUSEADDR only: with SO_REUSEPORT a second portal could bind the same port and
        // share the requests with the first one instead of failing to start.
        const int on = 1;
        ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(s, a->ai_addr, a->ai_addrlen) == 0 && ::listen(s, SOMAXCONN) == 0)
            m_listenSocket = s;
        else
            ::close(s);
    }
    ::freeaddrinfo(found);
    if (m_listenSocket < 0)
        return -1;

    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(m_listenSocket, reinterpret_cast<sockaddr*>(&bound), &length);
    const auto* address4 = reinterpret_cast<const sockaddr_in*>(&bound);
    const auto* address6 = reinterpret_cast<const sockaddr_in6*>(&bound);
    const int boundPort =
        bound.ss_family == AF_INET6 ? ntohs(address6->sin6_port) : ntohs(address4->sin_port);
    // Listening on every address, the portal is at least at the loopback one.
    const bool anywhere = bound.ss_family == AF_INET6
                              ? IN6_IS_ADDR_UNSPECIFIED(&address6->sin6_addr)
                              : address4->sin_addr.s_addr == htonl(INADDR_ANY);
    const QByteArray shown = addressText(reinterpret_cast<const sockaddr*>(&bound));
    QByteArray ownAddress = anywhere                      ? QByteArray("127.0.0.1")
                            : bound.ss_family == AF_INET6 ? '[' + shown + ']'
                                                          : shown;
    ownAddress += ':' + QByteArray::number(boundPort);
    m_router.setOwnAddress(ownAddress);
    return boundPort;
}

bool PortalServer::serve()
{
    if (m_listenSocket < 0 || m_wakeUp < 0 || m_daemon)
        return false;
    // Each connection takes a file; past the process's limit, accepting would fail anyway.
    m_maxConnections = m_limits.connections;
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
        m_maxConnections = unsigned(std::min<rlim_t>(
            m_maxConnections, files.rlim_cur > kOtherFiles ? files.rlim_cur - kOtherFiles : 1));

    m_loop = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_loop < 0)
        return false;
    m_door = std::make_unique<PortalDoor>(
        m_loop, m_limits, m_maxConnections,
        [this](int socket, const sockaddr* address, socklen_t length) {
            // The library closes the socket when it cannot take it.
            return MHD_add_connection(m_daemon, socket, address, length) == MHD_YES;
        },
        m_log);
    // The library listens on nothing: the door accepts and counts. Its event loop is serve()'s
    // own, so that every deadline is kept on the thread that owns the connections.
    m_daemon = MHD_start_daemon(
        MHD_USE_EPOLL | MHD_USE_NO_LISTEN_SOCKET | MHD_USE_SUPPRESS_DATE_NO_CLOCK |
            MHD_ALLOW_SUSPEND_RESUME,
        0, nullptr, nullptr, &Callbacks::request, this, MHD_OPTION_CONNECTION_LIMIT,
        m_maxConnections, MHD_OPTION_CONNECTION_TIMEOUT, m_limits.idleSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_NOTIFY_CONNECTION,
        &Callbacks::connectionEvent, this, MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::requestDone,
        this, MHD_OPTION_URI_LOG_CALLBACK, &Callbacks::requestLine, this, MHD_OPTION_END);
    const MHD_DaemonInfo* library =
        m_daemon ? MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_EPOLL_FD) : nullptr;
    if (!library)
        return false;
    for (const int watched : {m_listenSocket, m_wakeUp, library->epoll_fd}) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = watched;
        ::epoll_ctl(m_loop, EPOLL_CTL_ADD, watched, &event);
    }
    {
        const std::lock_guard<std::mutex> lock(m_servingMutex);
        m_serving = true;
    }
    m_servingChanged.notify_all();

    while (!m_stopping) {
        int timeout = keepDeadlines();
        MHD_UNSIGNED_LONG_LONG libraryTimeout = 0;
        if (MHD_get_timeout(m_daemon, &libraryTimeout) == MHD_YES) {
            const int wait = int(std::min<MHD_UNSIGNED_LONG_LONG>(libraryTimeout, INT_MAX));
            timeout = timeout < 0 ? wait : std::min(timeout, wait);
        }
        epoll_event events[64];
        const int ready = ::epoll_wait(m_loop, events, 64, timeout);
        for (int e = 0; e < ready; ++e) {
            const int fd = events[e].data.fd;
            if (fd == m_listenSocket) {
                m_door->acceptAll(m_listenSocket);
            } else if (fd == m_wakeUp) {
                std::uint64_t times = 0;
                [[maybe_unused]] const ssize_t read = ::read(m_wakeUp, &times, sizeof times);
            } else if (m_door->holds(fd)) {
                m_door->event(fd, (events[e].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0);
            }
        }
        MHD_run(m_daemon);
    }

    const std::lock_guard<std::mutex> lock(m_servingMutex);
    m_serving = false;
    return true;
}

void PortalServer::stop()
{
    m_stopping = true;
    wake();
}

void PortalServer::wake()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeUp, &one, sizeof one);
}

void PortalServer::waitUntilServing() const
{
    std::unique_lock<std::mutex> lock(m_servingMutex);
    m_servingChanged.wait(lock, [this] { return m_serving || m_stopping; });
}
