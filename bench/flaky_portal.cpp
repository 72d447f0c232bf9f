// A listings portal that fails: a proxy in front of the real ekranik-portal that answers a set
// share of the requests with a fault instead of the page, for the soak run (bench/soak.sh).
//
//   build/bench/flaky_portal LISTEN_PORT PORTAL_PORT [FAIL_PERCENT] [SEED]
//
// LISTEN_PORT 0 takes a free port; the first line of output names it.
// A failing request gets one of six faults, each as likely: the connection reset before the
// request is read (as good as refused), 404, 500, a body cut short, a stall (nothing for 20 to
// 90 s), or a trickle (two bytes a second: above a low-speed limit, so only an overall deadline
// ends it). Every other request is passed to the portal and its answer passed back. Requests
// are served one after another, as ekranik makes them. A line per request goes to standard
// output; SIGTERM or SIGINT prints the counts and ends it.

#include <arpa/inet.h>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int)
{
    g_stop = 1;
}

enum Outcome { Passed, Reset, NotFound, ServerError, ShortBody, Stall, Trickle, kOutcomes };
constexpr std::array<const char*, kOutcomes> kNames{"passed",     "reset", "404",    "500",
                                                    "short body", "stall", "trickle"};

bool sendAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool sendAll(int fd, const std::string& text)
{
    return sendAll(fd, text.data(), text.size());
}

// The request head, read for up to five seconds.
std::string readHead(int fd)
{
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        head.append(buffer, static_cast<size_t>(got));
    }
    return head;
}

// The portal's whole answer to the request.
std::string fetch(int portalPort, const std::string& request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(portalPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        sendAll(fd, request)) {
        char buffer[4096];
        ssize_t got;
        while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return answer;
}

// Waits up to `seconds`, less when asked to end.
void pause(int seconds)
{
    for (int i = 0; i < seconds * 10 && !g_stop; ++i)
        ::usleep(100000);
}

void serve(int client, Outcome outcome, int portalPort, std::mt19937& random)
{
    if (outcome == Reset) {
        linger hard{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        return;
    }
    const std::string request = readHead(client);
    switch (outcome) {
    case NotFound:
        sendAll(client, "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
        return;
    case ServerError:
        sendAll(client, "HTTP/1.0 500 Internal Server Error\r\nContent-Length: 5\r\n\r\noops!");
        return;
    case Stall:
        pause(std::uniform_int_distribution<int>(20, 90)(random));
        return;
    default:
        break;
    }
    const std::string answer = fetch(portalPort, request);
    const size_t bodyStart = answer.find("\r\n\r\n");
    if (outcome == Passed || bodyStart == std::string::npos) {
        sendAll(client, answer);
        return;
    }
    const size_t body = bodyStart + 4;
    if (outcome == ShortBody) {
        sendAll(client, answer.substr(0, body + (answer.size() - body) / 2));
        return;
    }
    // Trickle: the head at once, then two bytes a second.
    sendAll(client, answer.substr(0, body));
    for (size_t at = body; at < answer.size() && !g_stop; at += 2) {
        if (!sendAll(client, answer.substr(at, 2)))
            return;
        pause(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: flaky_portal LISTEN_PORT PORTAL_PORT [FAIL_PERCENT] [SEED]\n");
        return 2;
    }
    const int listenPort = std::atoi(argv[1]);
    const int portalPort = std::atoi(argv[2]);
    const int failPercent = argc > 3 ? std::atoi(argv[3]) : 30;
    std::mt19937 random(argc > 4 ? static_cast<unsigned>(std::atoi(argv[4])) : 1u);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(listenPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0) {
        std::perror("flaky_portal");
        return 1;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::printf("flaky_portal: on port %d, %d %% failing\n", ntohs(address.sin_port), failPercent);
    std::fflush(stdout);

    std::array<long, kOutcomes> counts{};
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<int> fault(Reset, Trickle);
    while (!g_stop) {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0)
            continue;
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            continue;
        const Outcome outcome =
            percent(random) < failPercent ? static_cast<Outcome>(fault(random)) : Passed;
        ++counts[outcome];
        std::printf("%s\n", kNames[outcome]);
        std::fflush(stdout);
        serve(client, outcome, portalPort, random);
        ::close(client);
    }
    std::printf("counts:");
    for (int i = 0; i < kOutcomes; ++i)
        std::printf(" %s=%ld", kNames[i], counts[i]);
    std::printf("\n");
    return 0;
}
