// A fleet of desktops asking for their pages, as bench/fleet.sh runs it against nginx in front of
// portals:
//
//   bench_fleet_load ADDRESS:PORT DESKTOPS SECONDS STATIONS [--kill-at SECONDS PID]
//                    [--cpu NAME=PID[,PID...]]...
//
// Desktop i asks for the page of station STATIONS[i mod their number] (STATIONS: station
// numbers separated by commas) every 20 s, the first time i*20/DESKTOPS s into the run, as
// ekranik does: HTTP/1.0 on a new connection, ekranik's headers. Each desktop connects from an
// address of its own (127.16.0.0 + i), as desktops do, so that a limit per client address is
// met as it would be. A request is due at its time whatever became of earlier ones; its latency
// runs from that time to the end of its answer, so a late start counts too. It fails without a
// whole 200 (a Content-Length and that many bytes) within 10 s. Requests stop being started
// after SECONDS; those under way are waited for.
//
// --kill-at SECONDS PID sends PID SIGKILL that far into the run. --cpu NAME=PID,... reports
// the processor time (user and system, from /proc) of those processes during the run; of a
// killed one, until it was killed.

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Nanoseconds = std::chrono::nanoseconds;

constexpr std::int64_t kPeriodNs = 20'000'000'000; // each desktop asks every 20 s
constexpr std::int64_t kTimeoutNs = 10'000'000'000;
constexpr std::uint32_t kFirstSource = (127u << 24) | (16u << 16); // 127.16.0.0
constexpr std::size_t kHeadLimit = 16384;

enum class Failure { Connect, Status, Short, Timeout };
constexpr const char* kFailureNames[] = {"no connection", "not 200", "cut short", "timed out"};

struct Request {
    int fd = -1;
    std::int64_t due = 0; // ns into the run
    std::int64_t started = 0;
    bool sent = false;
    bool done = false;
    std::string head; // the answer's head, until it is all in
    std::size_t headLength = 0;
    long long contentLength = -1;
    long long body = 0;
    int status = 0;
};

struct CpuWatch {
    std::string name;
    std::vector<int> pids;
    std::map<int, double> before, after;
};

// User and system time of a process in seconds, or -1 once it is gone.
double cpuSeconds(int pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text))
        return -1;
    // The fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

class Fleet {
public:
    Fleet(sockaddr_in server, std::string host, int desktops, std::vector<int> stations)
        : m_server(server), m_host(std::move(host)), m_desktops(desktops),
          m_stations(std::move(stations))
    {
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        m_timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = m_timer;
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_timer, &event);
    }

    // Runs the fleet for seconds (then waits for the requests under way); kills killPid at
    // killAt seconds when it is not 0, sampling cpu first.
    void run(int seconds, double killAt, int killPid, std::vector<CpuWatch>& cpu)
    {
        const std::int64_t end = std::int64_t(seconds) * 1'000'000'000;
        const std::int64_t kill = killPid > 0 ? std::int64_t(killAt * 1e9) : -1;
        m_start = Clock::now();
        std::vector<epoll_event> events(1024);
        std::int64_t next = 0; // index of the next request
        for (;;) {
            std::int64_t now = elapsed();
            for (std::int64_t due; (due = dueOf(next)) <= now && due < end; ++next)
                launch(next, due);
            if (kill >= 0 && now >= kill && !m_killed) {
                for (CpuWatch& watch : cpu) {
                    for (const int pid : watch.pids) {
                        if (pid == killPid)
                            watch.after[pid] = cpuSeconds(pid);
                    }
                }
                ::kill(killPid, SIGKILL);
                m_killed = true;
                std::printf("killed %d at %.1f s\n", killPid, double(now) / 1e9);
            }
            expire(now);
            if (dueOf(next) >= end && m_underWay.empty())
                break;
            std::int64_t wake =
                std::min(dueOf(next) < end ? dueOf(next) : end + kTimeoutNs, now + 100'000'000);
            if (kill >= 0 && !m_killed)
                wake = std::min(wake, kill);
            arm(wake);
            const int n = ::epoll_wait(m_epoll, events.data(), int(events.size()), -1);
            for (int i = 0; i < n; ++i) {
                if (events[i].data.fd == m_timer) {
                    std::uint64_t expirations;
                    [[maybe_unused]] const ssize_t r =
                        ::read(m_timer, &expirations, sizeof expirations);
                    continue;
                }
                serve(events[i].data.fd, events[i].events);
            }
        }
    }

    void report(int seconds) const
    {
        const double due = double(m_desktops) * 1e9 / double(kPeriodNs);
        std::printf("desktops: %d, one page each every 20 s: %.1f requests/s due, for %d s\n",
                    m_desktops, due, seconds);
        long long failed = 0;
        for (const long long f : m_failures)
            failed += f;
        std::printf("requests: %lld started, %zu answered whole with 200, %lld failed", m_started,
                    m_latencies.size(), failed);
        for (int f = 0; f < 4; ++f) {
            if (m_failures[f])
                std::printf(" (%s: %lld)", kFailureNames[f], m_failures[f]);
        }
        std::printf("\n");
        if (m_killed)
            std::printf("failed after the kill: %lld of %lld started since\n", m_failedAfterKill,
                        m_startedAfterKill);
        std::printf("answered per second: %.1f over the run", double(m_latencies.size()) / seconds);
        // Whole seconds between the first and the last one.
        if (m_perSecond.size() > 2) {
            const auto [low, high] =
                std::minmax_element(m_perSecond.begin() + 1, m_perSecond.end() - 1);
            std::printf(", %d to %d in its whole seconds", *low, *high);
        }
        std::printf("\n");
        std::vector<std::int64_t> latencies = m_latencies, lateness = m_lateness;
        std::sort(latencies.begin(), latencies.end());
        std::sort(lateness.begin(), lateness.end());
        const auto at = [](const std::vector<std::int64_t>& sorted, double p) {
            return sorted.empty()
                       ? -1.0
                       : double(
                             sorted[std::min(sorted.size() - 1, std::size_t(p * sorted.size()))]) /
                             1e6;
        };
        std::printf("latency from the due time to the whole answer: p50 %.2f ms, p99 %.2f ms, "
                    "p99.9 %.2f ms, max %.2f ms\n",
                    at(latencies, 0.5), at(latencies, 0.99), at(latencies, 0.999),
                    latencies.empty() ? -1.0 : double(latencies.back()) / 1e6);
        std::printf("start behind its due time: p99 %.3f ms, max %.3f ms\n", at(lateness, 0.99),
                    lateness.empty() ? -1.0 : double(lateness.back()) / 1e6);
        std::printf("X-Cache-Status:");
        for (const auto& [status, count] : m_cacheStatus)
            std::printf(" %s %lld", status.c_str(), count);
        std::printf("\n");
        if (!m_failureSample.empty())
            std::printf("first failure: %s\n", m_failureSample.c_str());
    }

private:
    std::int64_t elapsed() const
    {
        return std::chrono::duration_cast<Nanoseconds>(Clock::now() - m_start).count();
    }
    std::int64_t dueOf(std::int64_t request) const { return request * kPeriodNs / m_desktops; }

    void arm(std::int64_t at)
    {
        itimerspec when{};
        const auto absolute =
            std::chrono::duration_cast<Nanoseconds>(m_start.time_since_epoch()).count() + at;
        when.it_value.tv_sec = absolute / 1'000'000'000;
        when.it_value.tv_nsec = absolute % 1'000'000'000;
        ::timerfd_settime(m_timer, TFD_TIMER_ABSTIME, &when, nullptr);
    }

    void launch(std::int64_t index, std::int64_t due)
    {
        const int desktop = int(index % m_desktops);
        auto request = std::make_unique<Request>();
        request->due = due;
        request->started = elapsed();
        m_lateness.push_back(request->started - due);
        ++m_started;
        if (m_killed)
            ++m_startedAfterKill;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in source{};
        source.sin_family = AF_INET;
        source.sin_addr.s_addr = htonl(kFirstSource + std::uint32_t(desktop));
        const int on = 1;
        if (fd >= 0)
            ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
        if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0 ||
            (::connect(fd, reinterpret_cast<const sockaddr*>(&m_server), sizeof m_server) != 0 &&
             errno != EINPROGRESS)) {
            note(Failure::Connect, std::string("connect: ") + std::strerror(errno));
            if (fd >= 0)
                ::close(fd);
            return;
        }
        request->fd = fd;
        request->head = "GET /program.html?T%5Bstation%5D=" +
                        std::to_string(m_stations[std::size_t(desktop) % m_stations.size()]) +
                        " HTTP/1.0\r\nHost: " + m_host +
                        "\r\nUser-Agent: FlashGet\r\nAccept: */*\r\nPragma: no-cache\r\n"
                        "Cache-Control: no-cache\r\n\r\n";
        epoll_event event{};
        event.events = EPOLLOUT;
        event.data.fd = fd;
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
        if (std::size_t(fd) >= m_byFd.size())
            m_byFd.resize(std::size_t(fd) * 2 + 1);
        m_byFd[std::size_t(fd)] = request.get();
        m_underWay.push_back(std::move(request));
    }

    void serve(int fd, std::uint32_t what)
    {
        Request* request = std::size_t(fd) < m_byFd.size() ? m_byFd[std::size_t(fd)] : nullptr;
        if (!request)
            return;
        if (!request->sent) {
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error != 0 || (what & (EPOLLERR | EPOLLHUP)))
                return finish(*request, Failure::Connect,
                              std::string("connect: ") + std::strerror(error));
            // A new connection's send buffer takes a request head this short whole.
            const ssize_t n = ::send(fd, request->head.data(), request->head.size(), MSG_NOSIGNAL);
            if (n != ssize_t(request->head.size()))
                return finish(*request, Failure::Connect, "the request was not taken whole");
            request->sent = true;
            request->head.clear();
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.fd = fd;
            ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event);
            return;
        }
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            if (n <= 0)
                return answered(*request, n < 0 ? std::strerror(errno) : "closed");
            take(*request, chunk, std::size_t(n));
            if (request->headLength && request->contentLength >= 0 &&
                request->body >= request->contentLength)
                return answered(*request, "");
        }
    }

    void take(Request& request, const char* data, std::size_t size)
    {
        if (request.headLength) {
            request.body += (long long)size;
            return;
        }
        request.head.append(data, std::min(size, kHeadLimit));
        const std::size_t end = request.head.find("\r\n\r\n");
        if (end == std::string::npos)
            return;
        request.headLength = end + 4;
        request.body = (long long)(request.head.size() - request.headLength);
        if (request.head.compare(0, 5, "HTTP/") == 0 && request.head.size() > 12)
            request.status = std::atoi(request.head.c_str() + 9);
        std::string lower = request.head.substr(0, end);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        const std::size_t length = lower.find("\r\ncontent-length:");
        if (length != std::string::npos)
            request.contentLength = std::atoll(lower.c_str() + length + 17);
        const std::size_t cache = lower.find("\r\nx-cache-status:");
        if (cache != std::string::npos) {
            std::size_t from = cache + 17;
            while (from < end && request.head[from] == ' ')
                ++from;
            const std::size_t to = request.head.find("\r\n", from);
            ++m_cacheStatus[request.head.substr(from, to - from)];
        }
    }

    void answered(Request& request, const char* how)
    {
        if (request.status != 200)
            return finish(request, Failure::Status,
                          request.head.substr(0, request.head.find("\r\n")) + " " + how);
        if (request.contentLength < 0 || request.body != request.contentLength)
            return finish(request, Failure::Short,
                          "body " + std::to_string(request.body) + " of " +
                              std::to_string(request.contentLength) + ", " + how);
        const std::int64_t now = elapsed();
        m_latencies.push_back(now - request.due);
        const std::size_t second = std::size_t(now / 1'000'000'000);
        if (m_perSecond.size() <= second)
            m_perSecond.resize(second + 1);
        ++m_perSecond[second];
        close(request);
    }

    void finish(Request& request, Failure failure, const std::string& why)
    {
        note(failure, why);
        // Those under way when the process went count too.
        if (m_killed)
            ++m_failedAfterKill;
        close(request);
    }

    void note(Failure failure, const std::string& why)
    {
        ++m_failures[int(failure)];
        if (m_failureSample.empty())
            m_failureSample = std::string(kFailureNames[int(failure)]) + ": " + why;
    }

    void close(Request& request)
    {
        m_byFd[std::size_t(request.fd)] = nullptr;
        ::close(request.fd);
        request.fd = -1;
        request.done = true;
    }

    // Lets go of finished requests at the front, and fails those past the timeout.
    void expire(std::int64_t now)
    {
        while (!m_underWay.empty()) {
            Request& oldest = *m_underWay.front();
            if (!oldest.done) {
                if (now - oldest.started < kTimeoutNs)
                    break;
                finish(oldest, Failure::Timeout, "no whole answer in 10 s");
            }
            m_underWay.pop_front();
        }
    }

    sockaddr_in m_server;
    std::string m_host;
    int m_desktops;
    std::vector<int> m_stations;
    int m_epoll = -1;
    int m_timer = -1;
    Clock::time_point m_start;
    std::deque<std::unique_ptr<Request>> m_underWay; // in the order started
    std::vector<Request*> m_byFd;
    long long m_started = 0;
    long long m_failures[4] = {};
    std::string m_failureSample;
    bool m_killed = false;
    long long m_startedAfterKill = 0;
    long long m_failedAfterKill = 0;
    std::vector<std::int64_t> m_latencies, m_lateness;
    std::vector<int> m_perSecond;
    std::map<std::string, long long> m_cacheStatus;
};

int usage()
{
    std::fprintf(stderr, "usage: bench_fleet_load ADDRESS:PORT DESKTOPS SECONDS STATIONS "
                         "[--kill-at SECONDS PID] [--cpu NAME=PID[,PID...]]...\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 5)
        return usage();
    const std::string address = argv[1];
    const std::size_t colon = address.rfind(':');
    sockaddr_in server{};
    server.sin_family = AF_INET;
    if (colon == std::string::npos ||
        ::inet_pton(AF_INET, address.substr(0, colon).c_str(), &server.sin_addr) != 1)
        return usage();
    server.sin_port = htons(std::uint16_t(std::atoi(address.c_str() + colon + 1)));
    const int desktops = std::atoi(argv[2]);
    const int seconds = std::atoi(argv[3]);
    std::vector<int> stations;
    std::istringstream list(argv[4]);
    for (std::string number; std::getline(list, number, ',');)
        stations.push_back(std::atoi(number.c_str()));
    if (desktops < 1 || desktops > (1 << 20) || seconds < 1 || stations.empty())
        return usage();

    double killAt = 0;
    int killPid = 0;
    std::vector<CpuWatch> cpu;
    for (int i = 5; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--kill-at" && i + 2 < argc) {
            killAt = std::atof(argv[++i]);
            killPid = std::atoi(argv[++i]);
        } else if (option == "--cpu" && i + 1 < argc) {
            const std::string watch = argv[++i];
            const std::size_t equals = watch.find('=');
            if (equals == std::string::npos)
                return usage();
            CpuWatch w{watch.substr(0, equals), {}, {}, {}};
            std::istringstream pids(watch.substr(equals + 1));
            for (std::string pid; std::getline(pids, pid, ',');)
                w.pids.push_back(std::atoi(pid.c_str()));
            cpu.push_back(std::move(w));
        } else {
            return usage();
        }
    }

    // A descriptor for every request under way, should the server fall behind.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    for (CpuWatch& watch : cpu) {
        for (const int pid : watch.pids)
            watch.before[pid] = cpuSeconds(pid);
    }
    rusage ownBefore{};
    ::getrusage(RUSAGE_SELF, &ownBefore);
    Fleet fleet(server, address, desktops, std::move(stations));
    fleet.run(seconds, killAt, killPid, cpu);
    rusage ownAfter{};
    ::getrusage(RUSAGE_SELF, &ownAfter);

    fleet.report(seconds);
    const auto secondsOf = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    std::printf("processor time during the run (user + system):");
    for (CpuWatch& watch : cpu) {
        double spent = 0;
        for (const int pid : watch.pids) {
            if (!watch.after.count(pid))
                watch.after[pid] = cpuSeconds(pid);
            spent += watch.after[pid] - watch.before[pid];
        }
        std::printf(" %s %.2f s (%.1f %% of a core),", watch.name.c_str(), spent,
                    100 * spent / seconds);
    }
    const double own = secondsOf(ownAfter.ru_utime) + secondsOf(ownAfter.ru_stime) -
                       secondsOf(ownBefore.ru_utime) - secondsOf(ownBefore.ru_stime);
    std::printf(" this load %.2f s (%.1f %%)\n", own, 100 * own / seconds);
    return 0;
}
