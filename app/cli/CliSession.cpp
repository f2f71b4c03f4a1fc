// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliSession.h"

#include "cli/CliCheck.h"

#include "Module.h"
#include "cli/ConsolePrompts.h"
#include "cli/ConsoleView.h"
#include "config/Configuration.h"
#include "config/ProgramFolder.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/ShownText.h"
#include "router/ListOps.h"
#include "router/Router.h"
#include "router/RouterDeps.h"
#include "router/RouterKinds.h"
#include "router/keep/Outcome.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <optional>

namespace {

QString protocolWord(qint16 protocol) {
    switch (protocol) {
    case ProtocolTcp:
        return QStringLiteral("tcp");
    case ProtocolUdp:
        return QStringLiteral("udp");
    default:
        return QStringLiteral("both");
    }
}

QString rangeText(const ApplPortRange& r) {
    const QString ports = r.PortRangeLow == r.PortRangeHigh
                              ? r.PortRangeLow
                              : r.PortRangeLow + QLatin1Char('-') + r.PortRangeHigh;
    return ports + QLatin1Char('/') + protocolWord(r.Protocol);
}

int exitStatusOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::Completed:
        return CliExit::Completed;
    case Outcome::Error:
        return CliExit::Error;
    case Outcome::Failed:
    case Outcome::Cancelled:
        break;
    }
    return CliExit::Failed;
}

// The window's objects without the window.
struct Session {
    explicit Session(CliEnvironment& env) : prompts(env.err), pump(env.passLength) {}

    Module module;
    ConsoleView view;
    ConsolePrompts prompts;
    EventPump pump;
    SystemClock clock;
    std::unique_ptr<Router> router; // made once the configuration names the kind
};

// The last operation's outcome, as the window's status would show it.
int finish(Session& s, CliEnvironment& env) {
    const Outcome outcome = s.router->lastOutcome();
    env.out << StatusWord(outcome) << Qt::endl;
    return exitStatusOf(outcome);
}

// One line of the router's list; a slot of the web pages keeps the form it always had. The
// router's words are another program's: they must not start a line of their own.
QString forwardLine(const ForwardEntry& e) {
    const QString description = ShownText(e.description);
    const QString client = ShownText(e.internalClient);
    const QString protocol = ShownText(e.protocol);
    if (!e.slot.isEmpty())
        return ShownText(e.slot) + QStringLiteral("  ") +
               (e.inUse ? QStringLiteral("in use") : QStringLiteral("free  ")) +
               QStringLiteral("  ") + description;
    if (e.pinhole)
        return QStringLiteral("IPv6 pinhole to this computer, [%1]:%2 %3, %4 left  %5")
            .arg(client)
            .arg(e.internalPort)
            .arg(protocol, TimeLeftText(e.secondsLeft), description);
    return QStringLiteral("%1/%2 -> %3:%4  %5  %6%7")
        .arg(PortsText(e), protocol, client)
        .arg(e.internalPort)
        .arg(TimeLeftText(e.secondsLeft), description,
             e.thisComputer ? QStringLiteral("  (this computer)") : QString());
}

// Why the router could not be used, where the kind knows more than the message said; each
// problem may quote the router.
void printProblems(Session& s, QTextStream& err) {
    for (const QString& p : s.router->lastProblems())
        err << ShownText(p) << Qt::endl;
}

// The router's list; when it cannot be read, why, unless a message has already said so.
std::optional<QList<ForwardEntry>> readForwards(Session& s, CliEnvironment& env) {
    const int boxes = s.prompts.boxes();
    auto rows = s.router->ReadForwards();
    if (rows)
        return rows;
    printProblems(s, env.err);
    if (s.router->lastProblems().isEmpty() && s.prompts.boxes() == boxes)
        env.err << QCoreApplication::translate("Cli", "The router's list of forwards could not be "
                                                      "read, and the router gave no reason.")
                << Qt::endl;
    return std::nullopt;
}

void printList(Session& s, QTextStream& out, QTextStream& err) {
    const AppList& list = s.view.lbApps();
    for (int row = 0; row < list.ListCount(); ++row) {
        QStringList ranges;
        const int index = list.ItemData(row);
        if (s.module.catalog.contains(index))
            for (const ApplPortRange& r : s.module.catalog.entry(index).Ranges)
                ranges << rangeText(r);
        out << list.List(row) << ": "
            << (ranges.isEmpty() ? QStringLiteral("no ports") : ranges.join(QStringLiteral(", ")))
            << Qt::endl;
    }
    if (const QString leftOut = s.module.catalog.leftOutText(); !leftOut.isEmpty())
        err << leftOut << Qt::endl;
}

int point(Session& s, const QStringList& names, CliEnvironment& env) {
    AppList& list = s.view.lbApps();
    if (!SelectByName(list, names, env))
        return CliExit::Refused;
    s.router->PointToMe();
    switch (s.router->lastPointOutcome()) {
    case Router::PointOutcome::NothingSelected:
    case Router::PointOutcome::Shortage:
    case Router::PointOutcome::Refused:
        return CliExit::Refused;
    case Router::PointOutcome::ReadFailed:
        return finish(s, env);
    case Router::PointOutcome::Sent:
        break;
    }
    const bool slotted = s.router->capabilities().pageScreens;
    const bool completed = s.router->lastOutcome() == Outcome::Completed;
    if (!slotted && completed)
        PrintPortCheck(*s.router, s.module, list, env);
    if (slotted && completed) {
        for (int row = 0; row < list.ListCount(); ++row) {
            const int index = list.ItemData(row);
            if (!list.Selected(row) || !s.module.catalog.contains(index))
                continue;
            for (const ApplPortRange& r : s.module.catalog.entry(index).Ranges)
                env.out << list.List(row) << ' ' << rangeText(r) << ": slot "
                        << (r.Slot.isEmpty() ? QStringLiteral("none") : ShownText(r.Slot))
                        << Qt::endl;
        }
    }
    return finish(s, env);
}

// One forward of this computer, named as PORT/PROTO, whatever program made it.
int removeForward(Session& s, const CliOptions& options, CliEnvironment& env) {
    if (!s.router->capabilities().mappingTable) {
        env.err << QCoreApplication::translate("Cli", "This router kind has no list of forwards "
                                                      "to remove one from; \"clear\" empties its "
                                                      "slots.")
                << Qt::endl;
        return CliExit::Refused;
    }
    const auto rows = readForwards(s, env);
    if (!rows)
        return finish(s, env);
    for (const ForwardEntry& e : *rows) {
        if (e.externalPort != options.removePort || e.protocol != options.removeProtocol)
            continue;
        if (!e.thisComputer) {
            env.err << QCoreApplication::translate("Cli", "Port %1/%2 forwards to another "
                                                          "computer (%3); Harborly removes only "
                                                          "this computer's forwards.")
                           .arg(QString::number(options.removePort), options.removeProtocol,
                                ShownText(e.internalClient))
                    << Qt::endl;
            return CliExit::Refused;
        }
        if (s.router->RemoveForward(e))
            return finish(s, env);
        // The forward stays: never "Completed", whatever the status showed.
        printProblems(s, env.err);
        if (s.router->lastProblems().isEmpty())
            env.err << QCoreApplication::translate(
                           "Cli", "Port %1/%2 is still on the router, which gave no reason.")
                           .arg(QString::number(options.removePort), options.removeProtocol)
                    << Qt::endl;
        const Outcome outcome = WorstOf(s.router->lastOutcome(), Outcome::Error);
        env.out << StatusWord(outcome) << Qt::endl;
        return exitStatusOf(outcome);
    }
    env.err << QCoreApplication::translate(
                   "Cli", "No forward of port %1/%2 is on the router; \"harborly-cli slots\" "
                          "lists them.")
                   .arg(QString::number(options.removePort), options.removeProtocol)
            << Qt::endl;
    return CliExit::Refused;
}

int refuseDmz(Session& s, CliEnvironment& env) {
    env.err << s.router->capabilities().noDmzReason << Qt::endl;
    return CliExit::Refused;
}

// Renews the forwards as the window does, on Timer1's beat, until the loop is told to quit.
int keep(Session& s, CliEnvironment& env) {
    if (s.router->capabilities().pageScreens) {
        env.err << QCoreApplication::translate(
                       "Cli", "The web pages' forwards do not lapse: there is nothing to keep "
                              "alive.")
                << Qt::endl;
        return CliExit::Refused;
    }
    if (!env.keepLoop)
        return CliExit::Usage;
    s.router->reportRenewal = [&](const QString& line) {
        env.out << s.clock.now().toString(Qt::ISODate) << ' ' << ShownText(line) << Qt::endl;
    };
    env.out << QCoreApplication::translate("Cli",
                                           "Keeping the forwards on %1 alive; stop with Ctrl-C.")
                   .arg(ShownText(s.router->routerDescription()))
            << Qt::endl;
    QTimer tick;
    QString cannot;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        s.router->Timer1_Timer();
        cannot = s.router->cannotKeep();
        // Renewing what cannot be recorded would lose track of it: better to stop and say why.
        if (!cannot.isEmpty())
            env.keepLoop->quit();
    });
    tick.start(env.keepTick);
    env.keepLoop->exec();
    if (!cannot.isEmpty()) {
        env.err
            << QCoreApplication::translate("Cli", "Cannot keep the forwards alive: %1").arg(cannot)
            << Qt::endl;
        return CliExit::Failed;
    }
    env.out << QCoreApplication::translate("Cli", "Stopped.") << Qt::endl;
    return CliExit::Completed;
}

// The router's list as text in the program folder, for kinds without page screens.
int saveForwardList(Session& s, CliEnvironment& env) {
    const auto rows = readForwards(s, env);
    if (!rows)
        return finish(s, env);
    QByteArray text;
    for (const ForwardEntry& e : *rows)
        text += forwardLine(e).toUtf8() + '\n';
    const QString path = s.module.paths.AppPath + QStringLiteral("Harborly-forwards.txt");
    if (!ReplaceFileContents(path, text)) {
        env.err << QCoreApplication::translate("Cli", "The list could not be saved to %1").arg(path)
                << Qt::endl;
        return CliExit::Failed;
    }
    env.out << path << Qt::endl;
    return finish(s, env);
}

// A folder never configured: nothing says which router to talk to.
int refuseUnconfigured(const QString& folder, const QString& ini, bool catalogCopied,
                       CliEnvironment& env) {
    env.err << QCoreApplication::translate("Cli", "There is no configuration in %1 yet.")
                   .arg(QDir::toNativeSeparators(folder))
            << Qt::endl
            << (catalogCopied
                    ? QCoreApplication::translate(
                          "Cli", "Start the window once with Harborly --home %1 and choose the "
                                 "router there, or set RouterKind (auto, upnp, pcp, natpmp or "
                                 "web) and LanPrivateIP under [Misc] in %2 (the shipped catalog "
                                 "has just been copied there).")
                    : QCoreApplication::translate(
                          "Cli", "Start the window once with Harborly --home %1 and choose the "
                                 "router there, or set RouterKind (auto, upnp, pcp, natpmp or "
                                 "web) and LanPrivateIP under [Misc] in %2."))
                   .arg(QDir::toNativeSeparators(folder), QDir::toNativeSeparators(ini))
            << Qt::endl;
    return CliExit::Refused;
}

// The stored router password and, where asked for, the login; a refusal's exit status, or
// nothing when the command may go on.
std::optional<int> refuseLogin(Session& s, const RouterCapabilities& caps, CliEnvironment& env) {
    if (caps.needsPassword && !s.module.settings.PasswordStored) {
        env.err << QCoreApplication::translate("Cli", "No router password is stored in %1; set "
                                                      "one in Harborly with Configuration > Edit "
                                                      "Router Settings.")
                       .arg(s.module.paths.IniPath)
                << Qt::endl;
        return CliExit::Refused;
    }
    if (!s.module.settings.RequireLogin ||
        !(caps.needsPassword || s.module.settings.PasswordStored))
        return std::nullopt;
    const std::optional<QString> typed = env.password ? env.password() : std::nullopt;
    if (!typed) {
        env.err << QCoreApplication::translate("Cli", "The login password is required: type it "
                                                      "on a terminal or give it with "
                                                      "--password-stdin.")
                << Qt::endl;
        return CliExit::Refused;
    }
    if (*typed != s.module.settings.Password) {
        env.err << QCoreApplication::translate("Cli", "Invalid user name or password.") << Qt::endl;
        return CliExit::Refused;
    }
    s.module.LoginAccepted = true;
    return std::nullopt;
}

int printStatus(Session& s, CliEnvironment& env) {
    const QString firmware = s.view.statusBarText();
    env.out << "WAN Public IP Address: " << ShownText(s.view.wanAddress()) << Qt::endl
            << "LAN Private IP Address: " << s.module.settings.LanPrivateIP << Qt::endl
            << "This computer: " << s.module.LocalIpAddress << Qt::endl
            << (firmware.isEmpty() ? QStringLiteral("Firmware version unknown")
                                   : ShownText(firmware))
            << Qt::endl;
    return finish(s, env);
}

int printForwards(Session& s, CliEnvironment& env) {
    const auto rows = readForwards(s, env);
    if (!rows)
        return finish(s, env);
    for (const ForwardEntry& e : *rows)
        env.out << forwardLine(e) << Qt::endl;
    return finish(s, env);
}

// "show forward" and "show dmz": the router's own page, or the list as text where it has none.
int showScreen(Session& s, bool dmz, const RouterCapabilities& caps, CliEnvironment& env) {
    if (dmz && !caps.dmz)
        return refuseDmz(s, env);
    if (!caps.pageScreens)
        return saveForwardList(s, env);
    if (s.router->CaptureScreen(dmz))
        env.out << s.module.paths.HtmPath << Qt::endl;
    return finish(s, env);
}

// The command itself, once the router has answered the status query.
int runOnRouter(Session& s, const CliOptions& options, const RouterCapabilities& caps,
                CliEnvironment& env) {
    switch (options.command) {
    case CliCommand::Status:
        return printStatus(s, env);
    case CliCommand::List:
        break;
    case CliCommand::Slots:
        return printForwards(s, env);
    case CliCommand::Point:
        return point(s, options.names, env);
    case CliCommand::Keep:
        return keep(s, env);
    case CliCommand::Remove:
        return removeForward(s, options, env);
    case CliCommand::Check:
        return RunCheck(*s.router, s.module, s.view.lbApps(), options.names, env);
    case CliCommand::Clear:
        s.router->ClearAll();
        return finish(s, env);
    case CliCommand::DmzSet:
    case CliCommand::DmzClear:
        if (!caps.dmz)
            return refuseDmz(s, env);
        s.router->SetDmz(options.command == CliCommand::DmzClear);
        return finish(s, env);
    case CliCommand::ShowForward:
    case CliCommand::ShowDmz:
        return showScreen(s, options.command == CliCommand::ShowDmz, caps, env);
    }
    return CliExit::Usage;
}

} // namespace

int RunCliCommand(const CliOptions& options, CliEnvironment& env) {
    const ProgramFolder folder = ResolveProgramFolder(env.arguments, env.executableFolder);
    const QString ini = folder.path + QStringLiteral("Harborly.ini");
    const bool configured = QFileInfo::exists(ini);
    const bool catalogCopied = ProvideShippedFiles(folder.path, env.executableFolder);
    if (!configured)
        return refuseUnconfigured(folder.path, ini, catalogCopied, env);
    RemoveStaleTemporaries(folder.path, QDateTime::currentDateTimeUtc());
    Session s(env);
    LoadConfiguration(s.module, folder.path);
    FillApplicationList(s.view.lbApps(), s.module.catalog);
    if (RouterKindOf(s.module.settings.RouterKind).isEmpty()) {
        env.err << QCoreApplication::translate(
                       "Cli", "Harborly.ini names a router kind that Harborly does not know: "
                              "\"%1\"")
                       .arg(s.module.settings.RouterKind)
                << Qt::endl;
        return CliExit::Refused;
    }
    // The catalog is the configuration's: no router, no login.
    if (options.command == CliCommand::List) {
        printList(s, env.out, env.err);
        return CliExit::Completed;
    }
    s.router = MakeRouter({s.module, s.view, s.prompts, s.pump, s.clock});
    s.router->adoptOnStatus = options.command == CliCommand::Keep;
    const RouterCapabilities caps = s.router->capabilities();
    if (const auto refused = refuseLogin(s, caps, env))
        return *refused;

    s.router->Timer1_Timer();
    if (s.view.exitRequested()) {
        printProblems(s, env.err);
        env.out << StatusWord(s.router->lastOutcome()) << Qt::endl;
        return CliExit::Failed;
    }
    return runOnRouter(s, options, caps, env);
}

bool SelectByName(AppList& list, const QStringList& names, CliEnvironment& env) {
    for (const QString& name : names) {
        const int row = FindListIndex(list, name, false);
        if (row < 0) {
            env.err << QCoreApplication::translate(
                           "Cli", "No application is called \"%1\"; \"harborly-cli list\" shows "
                                  "them.")
                           .arg(name)
                    << Qt::endl;

            return false;
        }
        list.setSelected(row, true);
    }
    return true;
}
