// SPDX-License-Identifier: GPL-3.0-or-later
// The send times of NAT-PMP, PCP and SSDP requests toward a router that never answers: a UDP
// socket on 127.0.0.1 that only records when each datagram arrives. Each request goes out
// through the program's own wait (PumpWaiter over an EventPump with one-second passes), on
// the shipped timings, and is printed beside the reference schedule.
#include "platform/EventPump.h"
#include "platform/Waiter.h"
#include "router/pcpnatpmp/PcpNatPmpClient.h"
#include "router/upnp/IgdClient.h"

#include <QCoreApplication>
#include <QList>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Records (arrival time, first byte pair) of every datagram, in a thread of its own.
class SilentSocket {
public:
    SilentSocket() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { loop(); });
    }
    ~SilentSocket() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    quint16 port() const { return port_; }
    void start() {
        std::lock_guard lock(mutex_);
        arrivals_.clear();
        start_ = Clock::now();
    }
    // Milliseconds since start(), of datagrams for which `pick` holds.
    template <typename Pick> std::vector<double> times(Pick pick) {
        std::lock_guard lock(mutex_);
        std::vector<double> t;
        for (const auto& [at, data] : arrivals_)
            if (pick(data))
                t.push_back(std::chrono::duration<double, std::milli>(at - start_).count());
        return t;
    }

private:
    void loop() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            char buffer[2048];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            const auto at = Clock::now();
            if (n <= 0)
                continue;
            std::lock_guard lock(mutex_);
            arrivals_.push_back({at, std::string(buffer, std::size_t(n))});
        }
    }
    int fd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    Clock::time_point start_{};
    std::vector<std::pair<Clock::time_point, std::string>> arrivals_;
};

bool IsPcpDatagram(const std::string& d) {
    return !d.empty() && d[0] == 2;
}
bool IsNatPmpDatagram(const std::string& d) {
    return !d.empty() && d[0] == 0;
}
bool IsSearch(const std::string& d) {
    return d.rfind("M-SEARCH", 0) == 0;
}

double worst = 0;

void Row(const char* what, const std::vector<double>& reference, const std::vector<double>& seen) {
    std::printf("  %-26s reference:", what);
    for (double r : reference)
        std::printf(" %7.0f", r);
    std::printf("\n  %-26s measured: ", "");
    for (double s : seen)
        std::printf(" %7.1f", s);
    std::printf("\n");
    if (seen.size() != reference.size()) {
        std::printf("  !! %zu sends, the reference has %zu\n", seen.size(), reference.size());
        worst = INFINITY;
        return;
    }
    for (std::size_t i = 0; i < seen.size(); ++i)
        worst = std::max(worst, std::abs(seen[i] - reference[i]));
}

template <typename Call> double Timed(SilentSocket& silent, Call call) {
    silent.start();
    const auto begin = Clock::now();
    call();
    return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
}

void PcpNatPmp(SilentSocket& silent, EventPump& pump, PcpNatPmpMode mode, bool address,
               const char* title, const std::vector<double>& natPmp, const std::vector<double>& pcp,
               double end) {
    PumpWaiter waiter(pump);
    PcpNatPmpOptions o;
    o.router = QHostAddress(QHostAddress::LocalHost);
    o.port = silent.port();
    o.mode = mode;
    o.random = [] { return 100u; }; // PCP's jitter held at 1.0, to compare with the reference
    PcpNatPmpClient client(waiter, o);
    const double took = Timed(silent, [&] {
        if (address)
            client.externalAddress();
        else
            client.map("UDP", 9090, 9090, 7200);
    });
    std::printf("%s\n", title);
    if (!natPmp.empty())
        Row("NAT-PMP sends (ms)", natPmp, silent.times(IsNatPmpDatagram));
    if (!pcp.empty())
        Row("PCP sends (ms)", pcp, silent.times(IsPcpDatagram));
    Row("gives up (ms)", {end}, {took});
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SilentSocket silent;
    EventPump pump; // one-second passes, as in the program
    std::printf("Send times against a silent router on 127.0.0.1:%u (the program's wait)\n",
                silent.port());

    PcpNatPmp(silent, pump, PcpNatPmpMode::NatPmpOnly, true, "NAT-PMP external address",
              {0, 250, 750, 1750}, {}, 3750);
    PcpNatPmp(silent, pump, PcpNatPmpMode::NatPmpOnly, false, "NAT-PMP mapping",
              {0, 250, 750, 1750}, {}, 3750);
    PcpNatPmp(silent, pump, PcpNatPmpMode::Pcp, true,
              "PCP discovery (ANNOUNCE beside NAT-PMP's probe)", {0, 250, 750, 1750},
              {0, 250, 750, 1750}, 3750);
    PcpNatPmp(silent, pump, PcpNatPmpMode::Pcp, false,
              "PCP mapping (NAT-PMP tried after 3.75 s of silence)", {3750, 4000, 4500, 5500},
              {0, 3000}, 7500);

    PumpWaiter waiter(pump);
    UpnpOptions o;
    o.router = QStringLiteral("127.0.0.1:%1").arg(silent.port());
    IgdClient client(waiter, o);
    const double took = Timed(silent, [&] { client.discover(); });
    std::printf("SSDP discovery, unicast (no multicast toward loopback)\n");
    Row("M-SEARCH sends (ms)", {0, 0, 1000, 2500}, silent.times(IsSearch));
    Row("gives up (ms)", {5000}, {took});

    std::printf("largest deviation from the reference: %.1f ms\n", worst);
    return 0;
}
