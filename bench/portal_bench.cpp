// Pages per second from the listings portal, asked as ekranik asks: an HTTP/1.0 GET with
// ekranik's headers on a new connection for every page, cycling through the thirteen
// addresses of the default station list. A page counts only when it comes with status 200 and
// a Content-Length that matches its body, as ekranik counts a download.
//
//   build/src/portal/ekranik-portal --xmltv data/demo.xmltv --stations data/stations.map
//       --today --listen 127.0.0.1:8080 2>/dev/null &   (one line)
//   build/bench/bench_portal 127.0.0.1:8080 [clients] [seconds]
//
// Build in Release (or the default RelWithDebInfo) for meaningful figures.

#include "stations/defaultstations.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Counts {
    std::atomic<long> pages{0};
    std::atomic<long> failures{0};
};

// One page on a new connection: true when it is complete and counted.
bool fetchPage(const sockaddr_in& address, const std::string& request)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    bool counted = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        std::string reply;
        char chunk[16384];
        ssize_t n;
        while ((n = ::recv(fd, chunk, sizeof chunk, 0)) > 0)
            reply.append(chunk, static_cast<size_t>(n));
        const size_t headEnd = reply.find("\r\n\r\n");
        const size_t length = reply.find("Content-Length: ");
        if (headEnd != std::string::npos && length != std::string::npos && length < headEnd &&
            reply.compare(9, 3, "200") == 0) {
            const unsigned long announced = std::strtoul(reply.c_str() + length + 16, nullptr, 10);
            counted = announced == reply.size() - headEnd - 4;
        }
    }
    ::close(fd);
    return counted;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ADDRESS:PORT [clients] [seconds]\n", argv[0]);
        return 2;
    }
    const std::string hostPort = argv[1];
    const size_t colon = hostPort.rfind(':');
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(hostPort.c_str() + colon + 1)));
    if (colon == std::string::npos ||
        ::inet_pton(AF_INET, hostPort.substr(0, colon).c_str(), &address.sin_addr) != 1) {
        std::fprintf(stderr, "%s: not an IPv4 ADDRESS:PORT: %s\n", argv[0], argv[1]);
        return 2;
    }
    const int clients = argc > 2 ? std::atoi(argv[2]) : 8;
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 10;

    std::vector<std::string> requests;
    for (const QByteArray& entry : defaultStations()) {
        const QByteArray url = entry.mid(entry.indexOf('|') + 1);
        const QByteArray path = url.mid(url.indexOf('/', 7));
        requests.push_back("GET " + path.toStdString() +
                           " HTTP/1.0\r\nUser-Agent: FlashGet\r\nAccept: */*\r\n"
                           "Pragma: no-cache\r\nCache-Control: no-cache\r\n\r\n");
    }

    Counts counts;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    const auto begin = std::chrono::steady_clock::now();
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            for (size_t i = static_cast<size_t>(c); !stop.load(std::memory_order_relaxed); ++i) {
                if (fetchPage(address, requests[i % requests.size()]))
                    ++counts.pages;
                else
                    ++counts.failures;
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop = true;
    for (std::thread& thread : threads)
        thread.join();
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

    std::printf("%d clients, %.1f s: %ld pages, %ld failed, %.0f pages/s\n", clients, elapsed,
                counts.pages.load(), counts.failures.load(), double(counts.pages) / elapsed);
    return counts.failures == 0 ? 0 : 1;
}
