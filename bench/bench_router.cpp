// One router exchange and one "Point To Me", each side by side with bare sockets doing the
// same requests, against the simulated router on loopback running in its own thread.
#include "Module.h"
#include "RouterSimulator.h"
#include "platform/EventPump.h"
#include "platform/Prompts.h"
#include "platform/RouterSocket.h"
#include "router/AppList.h"
#include "router/ListOps.h"
#include "router/MainView.h"
#include "router/PortForwarding.h"
#include "router/RouterLink.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QThread>

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
QByteArray bareRequest(const QByteArray& request) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, router().port());
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

} // namespace

BENCHMARK(Exchange)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BareExchange)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(PointToMe)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(TwoBareRequests)->Unit(benchmark::kMicrosecond)->UseRealTime();

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
