#include "portal/portalserver.h"

#include "portal/listingpage.h"

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

// The longest request target; a longer one gets a 414.
constexpr std::size_t kMaxTarget = 8192;
// What a connection may take of memory for its request head and the head of its answer. The
// head of a request may be up to kMaxHead long, and one a little longer must still fit to be
// answered with a 431 page of ours.
constexpr std::size_t kConnectionMemory = 32 * 1024;
// How long, and for how many bytes, a refused connection is read and the bytes dropped after
// its answer, so that closing it does not reset it before the client has read the answer.
constexpr std::chrono::milliseconds kDrainTime{1000};
constexpr std::size_t kDrainBytes = 256 * 1024;
// Files the portal needs besides its connections: standard streams, the listening socket, the
// event loop's own descriptors and the listings it reads.
constexpr unsigned kOtherFiles = 32;

bool isMethod(std::string_view method)
{
    for (const std::string_view known :
         {"GET", "HEAD", "POST", "PUT", "DELETE", "CONNECT", "OPTIONS", "TRACE", "PATCH"}) {
        if (method == known)
            return true;
    }
    return false;
}

// Whether a comma-separated header value lists token, in any case.
bool listsToken(const char* value, std::string_view token)
{
    if (!value)
        return false;
    std::string_view rest(value);
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (item.size() == token.size() &&
            strncasecmp(item.data(), token.data(), token.size()) == 0)
            return true;
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return false;
}

// A client address as a key for counting its connections.
std::string addressKey(const sockaddr* address)
{
    if (address && address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        return std::string(reinterpret_cast<const char*>(&in->sin_addr), sizeof in->sin_addr);
    }
    if (address && address->sa_family == AF_INET6) {
        const auto* in = reinterpret_cast<const sockaddr_in6*>(address);
        return std::string(reinterpret_cast<const char*>(&in->sin6_addr), sizeof in->sin6_addr);
    }
    return {};
}

QByteArray addressText(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = "-";
    if (address && address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    else if (address && address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
    return text;
}

QByteArray clientAddress(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    return addressText(info ? info->client_addr : nullptr);
}

QByteArray logTime()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
}

bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

// The parts of a request line, "METHOD TARGET VERSION", as far as it has them.
struct RequestLine {
    std::string_view method;
    std::string_view target;
    std::string_view version;
};

RequestLine requestLine(std::string_view head)
{
    std::string_view line = head.substr(0, head.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const std::size_t first = line.find(' ');
    const std::size_t last = line.rfind(' ');
    if (first == std::string_view::npos)
        return {};
    if (first == last)
        return {line.substr(0, first), line.substr(first + 1), {}};
    return {line.substr(0, first), line.substr(first + 1, last - first - 1), line.substr(last + 1)};
}

bool isControlByte(char c)
{
    return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f;
}

// In a request line or a header field: a control byte other than a tab.
bool hasControlByte(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), isControlByte);
}

// The status a request head is refused with, or 0 when it asks for a page. head ends with
// its empty line.
int refusal(std::string_view head)
{
    if (std::any_of(head.begin(), head.end(),
                    [](char c) { return c != '\r' && c != '\n' && isControlByte(c); }))
        return 400;
    const RequestLine line = requestLine(head);
    if (!isToken(line.method) || line.target.empty() ||
        line.target.find(' ') != std::string_view::npos ||
        (line.version != "HTTP/1.0" && line.version != "HTTP/1.1"))
        return 400;
    // Every header line is "Name: value".
    std::size_t start = head.find('\n') + 1;
    for (std::size_t end; (end = head.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        std::string_view field = head.substr(start, end - start);
        if (!field.empty() && field.back() == '\r')
            field.remove_suffix(1);
        if (field.empty())
            break;
        const std::size_t colon = field.find(':');
        if (colon == std::string_view::npos || !isToken(field.substr(0, colon)))
            return 400;
    }
    if (line.target.size() > kMaxTarget)
        return 414;
    if (head.size() > PortalServer::kMaxHead)
        return 431;
    if (line.method == "GET" || line.method == "HEAD")
        return 0;
    return isMethod(line.method) ? 405 : 400;
}

// Where a request head ends (after its empty line), or npos while it is not all in.
std::size_t headEnd(std::string_view bytes)
{
    for (std::size_t newline = bytes.find('\n'); newline != std::string_view::npos;
         newline = bytes.find('\n', newline + 1)) {
        if (newline + 1 < bytes.size() && bytes[newline + 1] == '\n')
            return newline + 2;
        if (newline + 2 < bytes.size() && bytes[newline + 1] == '\r' && bytes[newline + 2] == '\n')
            return newline + 3;
    }
    return std::string_view::npos;
}

// The value of a header in a head, or "-".
QByteArray headerValue(std::string_view head, std::string_view name)
{
    std::size_t start = head.find('\n') + 1;
    for (std::size_t end; start > 0 && (end = head.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        std::string_view field = head.substr(start, end - start);
        if (field.size() > name.size() && field[name.size()] == ':' &&
            strncasecmp(field.data(), name.data(), name.size()) == 0) {
            field.remove_prefix(name.size() + 1);
            while (!field.empty() && (field.front() == ' ' || field.front() == '\t'))
                field.remove_prefix(1);
            while (!field.empty() && (field.back() == '\r' || field.back() == ' '))
                field.remove_suffix(1);
            if (!field.empty())
                return QByteArray(field.data(), qsizetype(field.size()));
        }
    }
    return "-";
}

QByteArray orDash(std::string_view text)
{
    return text.empty() ? QByteArray("-") : QByteArray(text.data(), qsizetype(text.size()));
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

struct PortalServer::Newcomer {
    int socket = -1;
    sockaddr_storage address{};
    socklen_t addressLength = 0;
    std::string key; // addressKey()
    SteadyClock::time_point deadline;
    // Refused: what it still sends is read and dropped until it ends or kDrainBytes.
    bool draining = false;
    std::size_t drained = 0;
    std::list<int>::iterator order; // in Door::waiting or Door::draining
};

struct PortalServer::Door {
    std::unordered_map<int, Newcomer> newcomers;
    // Sockets of the newcomers in the order of their deadlines.
    std::list<int> waiting;
    std::list<int> draining;
    // Open connections, at the door and in the library, in all and by address.
    unsigned open = 0;
    std::unordered_map<std::string, unsigned> byAddress;
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
            server->release(state->address);
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
        // As at the door: nothing a client sends reaches the log as a control byte.
        if (head.control || hasControlByte(target) || hasControlByte(method) ||
            hasControlByte(version))
            return 400;
        const std::string_view verb(method);
        if (!isMethod(verb))
            return 400;
        if (verb != "GET" && verb != "HEAD")
            return 405;
        if (target.size() > kMaxTarget)
            return 414;
        return head.length > kMaxHead ? 431 : 0;
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
    : m_answers(std::move(stations), std::move(clock)), m_log(std::move(log)), m_limits(limits),
      m_wakeUp(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_door(std::make_unique<Door>())
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
    // Closes every connection the library has; then those still at the door.
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
    for (auto& [socket, newcomer] : m_door->newcomers)
        ::close(socket);
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
        job.state->built = stopping ? Reply{503, errorPage(503, statusReason(503))}
                                    : m_answers.answer(job.state->target, job.host);
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
        reply = Reply{status, errorPage(status, statusReason(status))};
    } else if (state.built) {
        reply = std::move(*state.built);
        state.built.reset();
    } else {
        const char* host =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST);
        std::optional<Reply> ready = m_answers.answerOrDefer(target, host ? host : "");
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
    const char* connectionHeader =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONNECTION);
    const bool keepAlive = page && (std::strcmp(version, MHD_HTTP_VERSION_1_1) == 0
                                        ? !listsToken(connectionHeader, "close")
                                        : listsToken(connectionHeader, "keep-alive"));

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
    if (page)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
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
        m_log(logTime() + ' ' + clientAddress(connection) + " \"" + method + ' ' +
              QByteArray::fromStdString(target) + ' ' + version + "\" " +
              QByteArray::number(reply.status) + ' ' + QByteArray::number(bodySize) + " \"" +
              (agent && *agent ? QByteArray(agent) : QByteArray("-")) + '"');
    }
    return queued;
}

void PortalServer::acceptAll()
{
    for (;;) {
        Newcomer newcomer;
        newcomer.addressLength = sizeof newcomer.address;
        newcomer.socket = ::accept4(m_listenSocket, reinterpret_cast<sockaddr*>(&newcomer.address),
                                    &newcomer.addressLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (newcomer.socket < 0)
            return; // none left, or out of files: the rest wait in the backlog
        newcomer.key = addressKey(reinterpret_cast<const sockaddr*>(&newcomer.address));
        // Past a limit the connection is closed at once, unanswered: an answer would cost
        // what the limit is there to save.
        unsigned& fromAddress = m_door->byAddress[newcomer.key];
        if (m_door->open >= m_maxConnections || fromAddress >= m_limits.perAddress) {
            if (fromAddress == 0)
                m_door->byAddress.erase(newcomer.key);
            ::close(newcomer.socket);
            continue;
        }
        ++fromAddress;
        ++m_door->open;
        newcomer.deadline = SteadyClock::now() + m_limits.headDeadline;
        newcomer.order = m_door->waiting.insert(m_door->waiting.end(), newcomer.socket);
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
        event.data.fd = newcomer.socket;
        ::epoll_ctl(m_loop, EPOLL_CTL_ADD, newcomer.socket, &event);
        Newcomer& kept = m_door->newcomers.emplace(newcomer.socket, newcomer).first->second;
        // A client usually sends its request with the connection: no need to wait for it.
        examine(kept, false);
    }
}

void PortalServer::examine(Newcomer& newcomer, bool ended)
{
    // The head stays in the socket until the library reads it: only a look here.
    char bytes[kMaxHead + 1];
    const ssize_t n = ::recv(newcomer.socket, bytes, sizeof bytes, MSG_PEEK);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0)
        return drop(newcomer);
    const std::string_view seen(bytes, std::size_t(n));
    const std::size_t end = headEnd(seen);
    if (end != std::string_view::npos) {
        const int status = refusal(seen.substr(0, end));
        return status == 0 ? handOver(newcomer) : refuse(newcomer, status, seen.substr(0, end));
    }
    if (seen.size() > kMaxHead) {
        // Past the longest head: a request line this long has a target too long.
        const bool lineEnded = seen.find('\n') != std::string_view::npos;
        const std::size_t space = seen.find(' ');
        const bool lineBegun = space != std::string_view::npos && isToken(seen.substr(0, space));
        refuse(newcomer, lineEnded ? 431 : lineBegun ? 414 : 400, seen);
    } else if (ended) {
        drop(newcomer); // gone before its head was all in
    }
}

void PortalServer::refuse(Newcomer& newcomer, int status, std::string_view head)
{
    const RequestLine line = requestLine(head);
    const QByteArray body = errorPage(status, statusReason(status));
    QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + ' ' +
                        MHD_get_reason_phrase_for(unsigned(status)) +
                        "\r\nConnection: close\r\nContent-Type: " + Reply().type + "\r\n";
    if (status == 405)
        answer += "Allow: GET, HEAD\r\n";
    answer += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
    if (line.method != "HEAD")
        answer += body;
    // A new connection has room in its send buffer for a page this short.
    [[maybe_unused]] const ssize_t sent =
        ::send(newcomer.socket, answer.constData(), std::size_t(answer.size()), MSG_NOSIGNAL);
    if (m_log)
        m_log(logTime() + ' ' + addressText(reinterpret_cast<const sockaddr*>(&newcomer.address)) +
              " \"" + orDash(line.method) + ' ' + orDash(line.target) + ' ' + orDash(line.version) +
              "\" " + QByteArray::number(status) + ' ' + QByteArray::number(body.size()) + " \"" +
              headerValue(head, "User-Agent") + '"');
    ::shutdown(newcomer.socket, SHUT_WR);
    m_door->waiting.erase(newcomer.order);
    newcomer.draining = true;
    newcomer.deadline = SteadyClock::now() + kDrainTime;
    newcomer.order = m_door->draining.insert(m_door->draining.end(), newcomer.socket);
    drain(newcomer);
}

void PortalServer::drain(Newcomer& newcomer)
{
    char dropped[16384];
    for (;;) {
        const ssize_t n = ::recv(newcomer.socket, dropped, sizeof dropped, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n <= 0 || (newcomer.drained += std::size_t(n)) > kDrainBytes)
            return drop(newcomer);
    }
}

void PortalServer::handOver(Newcomer& newcomer)
{
    ::epoll_ctl(m_loop, EPOLL_CTL_DEL, newcomer.socket, nullptr);
    m_door->waiting.erase(newcomer.order);
    const Newcomer handed = newcomer;
    m_door->newcomers.erase(handed.socket);
    // The library closes the socket when it cannot take it; its count ends with it.
    if (MHD_add_connection(m_daemon, handed.socket,
                           reinterpret_cast<const sockaddr*>(&handed.address),
                           handed.addressLength) != MHD_YES)
        release(handed.key);
}

void PortalServer::drop(Newcomer& newcomer)
{
    const int socket = newcomer.socket;
    (newcomer.draining ? m_door->draining : m_door->waiting).erase(newcomer.order);
    release(newcomer.key);
    m_door->newcomers.erase(socket);
    ::close(socket); // leaves the event loop with it
}

void PortalServer::release(const std::string& address)
{
    --m_door->open;
    const auto counted = m_door->byAddress.find(address);
    if (counted != m_door->byAddress.end() && --counted->second == 0)
        m_door->byAddress.erase(counted);
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
    SteadyClock::time_point next = SteadyClock::time_point::max();
    // Those at the door whose head is overdue, and the refused ones drained long enough.
    for (std::list<int>* order : {&m_door->waiting, &m_door->draining}) {
        while (!order->empty()) {
            Newcomer& oldest = m_door->newcomers.at(order->front());
            if (oldest.deadline > now) {
                next = std::min(next, oldest.deadline);
                break;
            }
            drop(oldest);
        }
    }
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
    m_answers.setOwnAddress(ownAddress);
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
    m_loop = ::epoll_create1(EPOLL_CLOEXEC);
    if (!library || m_loop < 0)
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
                acceptAll();
            } else if (fd == m_wakeUp) {
                std::uint64_t times = 0;
                [[maybe_unused]] const ssize_t read = ::read(m_wakeUp, &times, sizeof times);
            } else if (const auto newcomer = m_door->newcomers.find(fd);
                       newcomer != m_door->newcomers.end()) {
                if (newcomer->second.draining)
                    drain(newcomer->second);
                else
                    examine(newcomer->second,
                            (events[e].events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0);
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
