// The listings portal under attack, as bench/portal-attack.sh runs it: how fast a normal
// client is answered while others hold connections open, and how much memory the portal takes
// meanwhile. Three attacks:
//
//   bench_portal_attack ADDRESS:PORT PID hold [idle] [slowloris] [addresses] [requests] [pace]
//     idle connections that send nothing and slowloris connections that send a request head
//     one byte a second (both reconnect at most once a second when the portal drops them),
//     spread over the addresses 127.0.0.2, 127.0.0.3, ...; meanwhile a normal client on
//     127.0.0.1 asks for pages as ekranik does, each on a new connection, one every pace ms,
//     so that the requests span the portal's idle timeout and head deadline.
//     Defaults: 1000 idle, 100 slowloris, 50 addresses, 200 requests, 75 ms.
//   bench_portal_attack ADDRESS:PORT PID post [megabytes]
//     one POST announcing a body of 1e11 bytes, streaming megabytes (200) of it.
//   bench_portal_attack ADDRESS:PORT PID headers [lines]
//     one GET with lines (500000) header lines.
//
//   bench_portal_attack ADDRESS:PORT PID front [clients] [requests] [pace]
//     the normal client's requests (one every pace ms) at rest, then again while clients
//     fetch the front page "/" in a loop, each on a new connection. Defaults: 20 clients,
//     400 requests, 20 ms.
//
// PID is the portal's process: its resident memory (VmRSS) is sampled every 20 ms. The
// attacker needs a file descriptor for each connection: raise `ulimit -n` first.

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in g_portal{};

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A connection to the portal from the loopback address 127.0.0.host, or -1. Gives up after a
// second when the portal does not take it.
int connectFrom(int host)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl((127u << 24) | unsigned(host));
    const timeval second{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &second, sizeof second);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<const sockaddr*>(&g_portal), sizeof g_portal) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

long residentKb(int pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

// The portal's resident memory, sampled until the sampler is destroyed.
class MemorySampler {
public:
    explicit MemorySampler(int pid) : m_pid(pid), m_before(residentKb(pid)), m_peak(m_before)
    {
        m_thread = std::thread([this] {
            while (!m_stop) {
                m_peak = std::max(m_peak.load(), residentKb(m_pid));
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~MemorySampler()
    {
        m_stop = true;
        m_thread.join();
    }
    void print() const
    {
        std::printf("portal RSS: %.1f MB before, %.1f MB at peak, grew by %.1f MB\n",
                    m_before / 1024.0, m_peak / 1024.0, (m_peak - m_before) / 1024.0);
    }

private:
    int m_pid;
    long m_before;
    std::atomic<long> m_peak;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

const char kAsEkranik[] = "User-Agent: FlashGet\r\nAccept: */*\r\nPragma: no-cache\r\n"
                          "Cache-Control: no-cache\r\n\r\n";

// The status of the answer that arrives on fd within the timeout already set on it, or 0.
int readStatus(int fd, std::string* reply = nullptr)
{
    std::string text;
    char chunk[16384];
    ssize_t n;
    while ((n = ::recv(fd, chunk, sizeof chunk, 0)) > 0)
        text.append(chunk, size_t(n));
    if (reply)
        *reply = text;
    return text.size() > 12 && text.compare(0, 5, "HTTP/") == 0 ? std::atoi(text.c_str() + 9) : 0;
}

// One page as ekranik asks for it; true when it came whole with status 200.
bool normalRequest()
{
    const int fd = connectFrom(1);
    if (fd < 0)
        return false;
    const timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const std::string request =
        std::string("GET /program.html?T%5Bstation%5D=1 HTTP/1.0\r\n") + kAsEkranik;
    std::string reply;
    const bool ok =
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size()) &&
        readStatus(fd, &reply) == 200 && reply.find("</html>") != std::string::npos;
    ::close(fd);
    return ok;
}

struct Latencies {
    std::vector<double> ms;
    int failed = 0;
    double seconds = 0;

    double percentile(double p) const
    {
        return ms.empty() ? -1.0 : ms[std::min(ms.size() - 1, size_t(p * double(ms.size())))];
    }
    void print(const char* what) const
    {
        std::printf("%s: %zu answered, %d failed or timed out (5 s), in %.1f s; p50 %.1f ms, "
                    "p99 %.1f ms, max %.1f ms\n",
                    what, ms.size(), failed, seconds, percentile(0.5), percentile(0.99),
                    ms.empty() ? -1.0 : ms.back());
    }
};

// The normal client's requests, one every pace ms, for at most two minutes.
Latencies askPages(int requests, int pace)
{
    Latencies result;
    const Clock::time_point asking = Clock::now();
    for (int r = 0; r < requests && msSince(asking) < 120000; ++r) {
        const Clock::time_point start = Clock::now();
        if (normalRequest())
            result.ms.push_back(msSince(start));
        else
            ++result.failed;
        std::this_thread::sleep_until(start + std::chrono::milliseconds(pace));
    }
    result.seconds = msSince(asking) / 1000;
    std::sort(result.ms.begin(), result.ms.end());
    return result;
}

struct Attacker {
    int fd = -1;
    int host = 0;
    bool slow = false;
    size_t sent = 0;
    Clock::time_point connected;
    Clock::time_point next; // next byte, or next try to connect
};

int hold(int pid, int idle, int slow, int addresses, int requests, int pace)
{
    const std::string head = "GET /program.html?T%5Bstation%5D=1 HTTP/1.1\r\nHost: a\r\n";
    std::vector<Attacker> attackers(size_t(idle + slow));
    for (size_t i = 0; i < attackers.size(); ++i) {
        attackers[i].host = 2 + int(i % size_t(addresses));
        attackers[i].slow = int(i) >= idle;
    }
    std::atomic<bool> stop{false};
    std::atomic<long> dropped{0};
    std::atomic<int> open{0};
    std::mutex cutMutex;
    std::vector<double> slowCut; // seconds from connecting to being dropped, slowloris only

    MemorySampler memory(pid);
    // Every attacker keeps its connection, sends its next byte when due, and connects again a
    // second after being dropped.
    std::thread attack([&] {
        std::vector<pollfd> polled;
        while (!stop) {
            const Clock::time_point now = Clock::now();
            polled.clear();
            int connected = 0;
            for (Attacker& a : attackers) {
                if (a.fd < 0 && now >= a.next) {
                    a.fd = connectFrom(a.host);
                    a.sent = 0;
                    a.connected = a.next = Clock::now();
                    if (a.fd < 0)
                        a.next += std::chrono::seconds(1);
                }
                if (a.fd < 0)
                    continue;
                if (a.slow && Clock::now() >= a.next) {
                    const char byte =
                        a.sent < head.size() ? head[a.sent] : "X-a: b\r\n"[a.sent % 8];
                    if (::send(a.fd, &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1)
                        ++a.sent;
                    a.next += std::chrono::seconds(1);
                }
                polled.push_back({a.fd, POLLIN, 0});
                ++connected;
            }
            open = connected;
            ::poll(polled.data(), polled.size(), 50);
            size_t p = 0;
            for (Attacker& a : attackers) {
                if (a.fd < 0 || polled[p++].revents == 0)
                    continue;
                char sink[4096];
                if (::recv(a.fd, sink, sizeof sink, MSG_DONTWAIT) > 0)
                    continue;
                ::close(a.fd);
                a.fd = -1;
                a.next = Clock::now() + std::chrono::seconds(1);
                ++dropped;
                if (a.slow) {
                    const std::lock_guard<std::mutex> lock(cutMutex);
                    slowCut.push_back(msSince(a.connected) / 1000);
                }
            }
        }
        for (Attacker& a : attackers) {
            if (a.fd >= 0)
                ::close(a.fd);
        }
    });

    // Give every attacker its connection, and the slowloris ones time to start their heads.
    const Clock::time_point begin = Clock::now();
    while (open < int(attackers.size()) && msSince(begin) < 20000)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::printf("attack: %d idle and %d slowloris connections from %d addresses; %d of them "
                "open after %.1f s\n",
                idle, slow, addresses, open.load(), msSince(begin) / 1000);

    const Latencies latencies = askPages(requests, pace);
    const int openAtEnd = open;
    stop = true;
    attack.join();

    latencies.print("normal client");
    std::sort(slowCut.begin(), slowCut.end());
    std::printf("attackers dropped by the portal: %ld times (slowloris %zu, after %.1f s at the "
                "median); %d still open at the end\n",
                dropped.load(), slowCut.size(), slowCut.empty() ? 0.0 : slowCut[slowCut.size() / 2],
                openAtEnd);
    memory.print();
    return 0;
}

int front(int pid, int clients, int requests, int pace)
{
    const Latencies rest = askPages(requests, pace);
    rest.print("normal client at rest");

    MemorySampler memory(pid);
    std::atomic<bool> stop{false};
    std::atomic<long> fronts{0};
    std::atomic<long long> frontBytes{0};
    std::vector<std::thread> fetching;
    for (int c = 0; c < clients; ++c) {
        fetching.emplace_back([&, c] {
            const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                        "Connection: close\r\n\r\n";
            while (!stop) {
                const int fd = connectFrom(2 + c % 50);
                if (fd < 0)
                    continue;
                const timeval timeout{5, 0};
                ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
                std::string reply;
                if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                        ssize_t(request.size()) &&
                    readStatus(fd, &reply) == 200) {
                    ++fronts;
                    frontBytes += static_cast<long long>(reply.size());
                }
                ::close(fd);
            }
        });
    }
    // Every client under way first.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long frontsBefore = fronts;
    const Clock::time_point loaded = Clock::now();
    const Latencies load = askPages(requests, pace);
    const double loadSeconds = msSince(loaded) / 1000;
    const long served = fronts - frontsBefore;
    stop = true;
    for (std::thread& t : fetching)
        t.join();
    load.print("normal client while the front page is fetched");
    std::printf("front page: %d clients fetched it %.0f times a second, %.1f MB each\n", clients,
                double(served) / loadSeconds,
                fronts > 0 ? double(frontBytes) / double(fronts.load()) / 1e6 : 0.0);
    const double goal = 10 * rest.percentile(0.99) + 20;
    std::printf("p99 under load %.1f ms, goal at most 10 x %.1f + 20 = %.1f ms: %s\n",
                load.percentile(0.99), rest.percentile(0.99), goal,
                load.percentile(0.99) <= goal && load.failed == 0 ? "met" : "NOT met");
    memory.print();
    return 0;
}

// Sends head, filler repeated times and tail, while reading the answer.
int flood(int pid, const std::string& head, const std::string& filler, long long times,
          const std::string& tail = {})
{
    const long long fillerBytes = times * static_cast<long long>(filler.size());
    MemorySampler memory(pid);
    const int fd = connectFrom(1);
    if (fd < 0) {
        std::printf("cannot connect\n");
        return 1;
    }
    const timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    std::string reply;
    std::thread reader([&] { readStatus(fd, &reply); });
    const Clock::time_point start = Clock::now();
    long long sent = 0;
    bool refused = ::send(fd, head.data(), head.size(), MSG_NOSIGNAL) != ssize_t(head.size());
    std::string chunk;
    for (int i = 0; i < 4096; ++i)
        chunk += filler;
    while (!refused && sent < fillerBytes) {
        const ssize_t n = ::send(
            fd, chunk.data(),
            size_t(std::min<long long>(fillerBytes - sent, ssize_t(chunk.size()))), MSG_NOSIGNAL);
        if (n <= 0)
            refused = true;
        else
            sent += n;
    }
    if (!refused)
        refused = ::send(fd, tail.data(), tail.size(), MSG_NOSIGNAL) != ssize_t(tail.size());
    const double sending = msSince(start);
    ::shutdown(fd, SHUT_WR);
    reader.join();
    ::close(fd);
    const std::string status = reply.substr(0, reply.find("\r\n"));
    std::printf("sent %.1f MB after the head in %.1f s%s; answer: %s\n", double(sent) / 1e6,
                sending / 1000, refused ? " (the portal stopped taking it)" : "",
                status.empty() ? "none" : status.c_str());
    memory.print();
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 4) {
        std::fprintf(
            stderr,
            "usage: %s ADDRESS:PORT PID hold [idle] [slowloris] [addresses] [requests] [pace]\n"
            "       %s ADDRESS:PORT PID front [clients] [requests] [pace]\n"
            "       %s ADDRESS:PORT PID post [megabytes]\n"
            "       %s ADDRESS:PORT PID headers [lines]\n",
            argv[0], argv[0], argv[0], argv[0]);
        return 2;
    }
    const std::string hostPort = argv[1];
    const size_t colon = hostPort.rfind(':');
    g_portal.sin_family = AF_INET;
    g_portal.sin_port = htons(uint16_t(std::atoi(hostPort.c_str() + colon + 1)));
    if (colon == std::string::npos ||
        ::inet_pton(AF_INET, hostPort.substr(0, colon).c_str(), &g_portal.sin_addr) != 1) {
        std::fprintf(stderr, "%s: not an IPv4 ADDRESS:PORT: %s\n", argv[0], argv[1]);
        return 2;
    }
    const int pid = std::atoi(argv[2]);
    const std::string mode = argv[3];
    const auto arg = [&](int i, long long otherwise) {
        return argc > i ? std::atoll(argv[i]) : otherwise;
    };
    if (mode == "hold")
        return hold(pid, int(arg(4, 1000)), int(arg(5, 100)), int(arg(6, 50)), int(arg(7, 200)),
                    int(arg(8, 75)));
    if (mode == "front")
        return front(pid, int(arg(4, 20)), int(arg(5, 400)), int(arg(6, 20)));
    if (mode == "post")
        return flood(pid,
                     "POST /program.html?T%5Bstation%5D=1 HTTP/1.1\r\nHost: a\r\n"
                     "Content-Type: application/octet-stream\r\n"
                     "Content-Length: 100000000000\r\n\r\n",
                     "0123456789abcdef", arg(4, 200) * 1000000 / 16);
    if (mode == "headers")
        return flood(pid, "GET /program.html?T%5Bstation%5D=1 HTTP/1.1\r\nHost: a\r\n",
                     "X-Filler: 1234\r\n", arg(4, 500000), "\r\n");
    std::fprintf(stderr, "%s: unknown attack \"%s\"\n", argv[0], mode.c_str());
    return 2;
}
