// SPDX-License-Identifier: GPL-3.0-or-later
// One router exchange and one "Point To Me", each side by side with bare sockets doing the
// same requests, against the simulated router on loopback running in its own thread; then the
// same for a UPnP router: the status query and a "Point To Me" of three ports beside the very
// requests Harborly sent, replayed by a bare socket.
#include "Module.h"
#include "RouterSimulator.h"
#include "UpnpSimulator.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/Prompts.h"
#include "platform/RouterSocket.h"
#include "router/AppList.h"
#include "router/ListOps.h"
#include "router/MainView.h"
#include "router/MappingPlan.h"
#include "router/RouterDeps.h"
#include "router/upnp/UpnpRouter.h"
#include "router/web/PortForwarding.h"
#include "router/web/RouterLink.h"

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QThread>
#include <QUdpSocket>

#include <benchmark/benchmark.h>

namespace {

class SimThread {
public:
    SimThread() {
        anchor_.moveToThread(&thread_);
        thread_.start();
        QMetaObject::invokeMethod(
            &anchor_,
            [this] {
                sim_ = new RouterSimulator;
                sim_->listen();
                address_ = sim_->hostAndPort();
                port_ = sim_->port();
            },
            Qt::BlockingQueuedConnection);
    }
    ~SimThread() {
        QMetaObject::invokeMethod(
            &anchor_, [this] { delete sim_; }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    QString address() const { return address_; }
    quint16 port() const { return port_; }

private:
    QThread thread_;
    QObject anchor_;
    RouterSimulator* sim_ = nullptr;
    QString address_;
    quint16 port_ = 0;
};

SimThread& router() {
    static SimThread sim;
    return sim;
}

class QuietView final : public MainView {
public:
    void setStatusCaption(const QString& c) override { status = c; }
    void setSendStatusCaption(const QString&) override {}
    void setWanAddressCaption(const QString&) override {}
    void setLanAddressCaption(const QString&) override {}
    void setStatusBarText(const QString&) override {}
    void EnableInterface(bool, bool) override {}
    void setWindowEnabled(bool) override {}
    void setTimer1Enabled(bool) override {}
    void setTimer1Interval(int) override {}
    AppList& lbApps() override { return list; }
    void ExitProgram() override {}
    QString status;
    MemoryAppList list;
};

class QuietPrompts final : public Prompts {
public:
    void MsgBox(const QString&, MsgIcon, const QString&) override {}
    void Beep() override {}
    int Choose(const QString&, const QStringList&, const QString&) override { return -1; }
};

struct Rig {
    Rig() : link(module, view, socket, pump) {
        module.settings.LanPrivateIP = router().address();
        module.settings.Password = QStringLiteral("admin");
    }
    Module module;
    QuietView view;
    RouterSocket socket;
    EventPump pump;
    RouterLink link;
};

// What a plain client does: connect, send, read until the router closes.
QByteArray bareRequest(const QByteArray& request, quint16 port = router().port()) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    s.waitForConnected();
    s.write(request);
    QByteArray reply;
    while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(5000))
        reply += s.readAll();
    return reply + s.readAll();
}

void Exchange(benchmark::State& state) {
    Rig rig;
    for (auto _ : state)
        if (!rig.link.SendRouterRequest(QStringLiteral("GET /Status.htm HTTP/1.1"),
                                        QStringLiteral("Req Ver"), true))
            state.SkipWithError("exchange failed");
}

void BareExchange(benchmark::State& state) {
    Rig rig;
    const QByteArray request =
        rig.link.BuildRequest(QStringLiteral("GET /Status.htm HTTP/1.1"), true);
    for (auto _ : state)
        benchmark::DoNotOptimize(bareRequest(request));
}

ApplEntry threeRanges() {
    ApplEntry e{QStringLiteral("Bench App"), {}};
    for (const char* port : {"7001", "7002", "7003"}) {
        ApplPortRange r;
        r.Protocol = ProtocolTcp;
        r.PortRangeLow = r.PortRangeHigh = QString::fromLatin1(port);
        e.Ranges << r;
    }
    return e;
}

void PointToMe(benchmark::State& state) {
    Rig rig;
    QuietPrompts prompts;
    rig.module.catalog.entries = {threeRanges()};
    FillApplicationList(rig.view.list, rig.module.catalog);
    PortForwarding forwarding(rig.module, rig.view, rig.link, prompts);
    for (auto _ : state) {
        forwarding.ForwardPorts(QStringLiteral("BenchApp,"));
        if (rig.view.status != QLatin1String("Completed"))
            state.SkipWithError("forward failed");
    }
}

void TwoBareRequests(benchmark::State& state) {
    Rig rig;
    rig.module.catalog.entries = {threeRanges()};
    FillApplicationList(rig.view.list, rig.module.catalog);
    SlotTable table;
    AssignSlots(rig.module.catalog, rig.view.list, table, QStringLiteral("BenchApp,"));
    const QByteArray read =
        rig.link.BuildRequest(QStringLiteral("GET /Forward.htm HTTP/1.1"), true);
    const QByteArray write = rig.link.BuildRequest(
        BuildForwardRequest(rig.module.catalog, rig.view.list, table, QStringLiteral("127.0.0.1"),
                            QStringLiteral("BenchApp,")),
        false);
    for (auto _ : state) {
        benchmark::DoNotOptimize(bareRequest(read));
        benchmark::DoNotOptimize(bareRequest(write));
    }
}

// The UPnP simulator in a thread of its own, as the web one.
class UpnpSimThread {
public:
    UpnpSimThread() {
        anchor_.moveToThread(&thread_);
        thread_.start();
        run([this] {
            sim_ = new UpnpSimulator;
            sim_->listen();
            ssdpPort_ = sim_->ssdpPort();
            httpPort_ = sim_->httpPort();
        });
    }
    ~UpnpSimThread() {
        run([this] { delete sim_; });
        thread_.quit();
        thread_.wait();
    }
    quint16 ssdpPort() const { return ssdpPort_; }
    quint16 httpPort() const { return httpPort_; }
    // The HTTP requests received since the last call.
    QList<QByteArray> takeRequests() {
        QList<QByteArray> all;
        run([&] { all = sim_->requests(); });
        QList<QByteArray> fresh = all.mid(seen_);
        seen_ = all.size();
        return fresh;
    }

private:
    void run(const std::function<void()>& f) {
        QMetaObject::invokeMethod(&anchor_, f, Qt::BlockingQueuedConnection);
    }
    QThread thread_;
    QObject anchor_;
    UpnpSimulator* sim_ = nullptr;
    quint16 ssdpPort_ = 0;
    quint16 httpPort_ = 0;
    qsizetype seen_ = 0;
};

UpnpSimThread& upnpRouter() {
    static UpnpSimThread sim;
    return sim;
}

struct UpnpRig {
    UpnpRig() {
        module.settings.RouterKind = QStringLiteral("upnp");
        module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(upnpRouter().ssdpPort());
        module.catalog.entries = {threeRanges()};
        FillApplicationList(view.list, module.catalog);
        view.list.setSelected(0, true);
    }
    void status() {
        module.StatusQueryPending = true;
        router.Timer1_Timer();
    }
    Module module;
    QuietView view;
    QuietPrompts prompts;
    EventPump pump;
    SystemClock clock;
    UpnpRouter router{RouterDeps{module, view, prompts, pump, clock}};
};

// The unicast search Harborly sends first, and the wait for the router's first answer.
void bareSearch() {
    QUdpSocket s;
    s.bind(QHostAddress::LocalHost, 0);
    for (const char* st : {"ssdp:all", "urn:schemas-upnp-org:device:InternetGatewayDevice:1"})
        s.writeDatagram(QByteArray("M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n"
                                   "MAN: \"ssdp:discover\"\r\nMX: 2\r\nST: ") +
                            st + "\r\n\r\n",
                        QHostAddress::LocalHost, upnpRouter().ssdpPort());
    s.waitForReadyRead(5000);
    benchmark::DoNotOptimize(s.receiveDatagram());
}

void UpnpStatus(benchmark::State& state) {
    UpnpRig rig;
    for (auto _ : state) {
        rig.status();
        if (!rig.module.RouterFound)
            state.SkipWithError("router not found");
    }
}

void BareUpnpStatus(benchmark::State& state) {
    UpnpRig rig;
    upnpRouter().takeRequests();
    rig.status();
    const QList<QByteArray> requests = upnpRouter().takeRequests();
    for (auto _ : state) {
        bareSearch();
        for (const QByteArray& r : requests)
            benchmark::DoNotOptimize(bareRequest(r, upnpRouter().httpPort()));
    }
    state.counters["requests"] = double(requests.size());
}

void UpnpPointToMe(benchmark::State& state) {
    UpnpRig rig;
    rig.status();
    const MappingPlan plan = PlanMappings(rig.module.catalog, rig.view.list);
    for (auto _ : state) {
        rig.router.ForwardPorts(plan);
        if (rig.view.status != QLatin1String("Completed"))
            state.SkipWithError("forward failed");
    }
}

void BareUpnpPointToMe(benchmark::State& state) {
    UpnpRig rig;
    rig.status();
    upnpRouter().takeRequests();
    rig.router.ForwardPorts(PlanMappings(rig.module.catalog, rig.view.list));
    const QList<QByteArray> requests = upnpRouter().takeRequests();
    for (auto _ : state)
        for (const QByteArray& r : requests)
            benchmark::DoNotOptimize(bareRequest(r, upnpRouter().httpPort()));
    state.counters["requests"] = double(requests.size());
}

} // namespace

BENCHMARK(Exchange)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BareExchange)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(PointToMe)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(TwoBareRequests)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(UpnpStatus)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BareUpnpStatus)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(UpnpPointToMe)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BareUpnpPointToMe)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
