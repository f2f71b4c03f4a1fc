#include "cli/CliSession.h"

#include "Module.h"
#include "cli/ConsolePrompts.h"
#include "cli/ConsoleView.h"
#include "config/Configuration.h"
#include "config/ProgramFolder.h"
#include "platform/EventPump.h"
#include "platform/RouterSocket.h"
#include "router/ListOps.h"
#include "router/PortForwarding.h"
#include "router/RouterLink.h"
#include "router/StatusQuery.h"
#include "viewer/PageCapture.h"

#include <QDateTime>
#include <QTextStream>

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

int exitStatusOf(const QString& status) {
    if (status == QLatin1String("Completed"))
        return CliExit::Completed;
    if (status == QLatin1String("Error"))
        return CliExit::Error;
    return CliExit::Failed;
}

// The window's objects without the window.
struct Session {
    explicit Session(CliEnvironment& env)
        : prompts(env.err), pump(env.passLength), link(module, view, socket, pump) {}

    Module module;
    ConsoleView view;
    ConsolePrompts prompts;
    RouterSocket socket;
    EventPump pump;
    RouterLink link;
};

void printList(Session& s, QTextStream& out) {
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
}

int finish(Session& s, QTextStream& out) {
    out << s.view.status() << Qt::endl;
    return exitStatusOf(s.view.status());
}

int point(Session& s, const QStringList& names, CliEnvironment& env) {
    AppList& list = s.view.lbApps();
    for (const QString& name : names) {
        const int row = FindListIndex(list, name, false);
        if (row < 0) {
            env.err << "No application is called \"" << name
                    << "\"; \"harborly-cli list\" shows them." << Qt::endl;
            return CliExit::Refused;
        }
        list.setSelected(row, true);
    }
    PortForwarding forwarding(s.module, s.view, s.link, s.prompts);
    forwarding.btnPoint_Click();
    switch (forwarding.lastOutcome()) {
    case PortForwarding::Outcome::NothingSelected:
    case PortForwarding::Outcome::Shortage:
    case PortForwarding::Outcome::Unsendable:
        return CliExit::Refused;
    case PortForwarding::Outcome::ReadFailed:
        return finish(s, env.out);
    case PortForwarding::Outcome::Sent:
        break;
    }
    if (s.view.status() == QLatin1String("Completed")) {
        for (int row = 0; row < list.ListCount(); ++row) {
            const int index = list.ItemData(row);
            if (!list.Selected(row) || !s.module.catalog.contains(index))
                continue;
            for (const ApplPortRange& r : s.module.catalog.entry(index).Ranges)
                env.out << list.List(row) << ' ' << rangeText(r) << ": slot "
                        << (r.Slot.isEmpty() ? QStringLiteral("none") : r.Slot) << Qt::endl;
        }
    }
    return finish(s, env.out);
}

} // namespace

int RunCliCommand(const CliOptions& options, CliEnvironment& env) {
    const ProgramFolder folder = ResolveProgramFolder(env.arguments, env.executableFolder);
    ProvideShippedFiles(folder.path, env.executableFolder);
    RemoveStaleTemporaries(folder.path, QDateTime::currentDateTimeUtc());
    Session s(env);
    LoadConfiguration(s.module, folder.path);
    FillApplicationList(s.view.lbApps(), s.module.catalog);

    if (!s.module.settings.PasswordStored) {
        env.err << "No router password is stored in " << s.module.paths.IniPath
                << "; set one in Harborly with Configuration > Edit Router Settings." << Qt::endl;
        return CliExit::Refused;
    }
    if (s.module.settings.RequireLogin) {
        const std::optional<QString> typed = env.password ? env.password() : std::nullopt;
        if (!typed) {
            env.err << "The login password is required: type it on a terminal or give it with "
                       "--password-stdin."
                    << Qt::endl;
            return CliExit::Refused;
        }
        if (*typed != s.module.settings.Password) {
            env.err << "Invalid user name or password." << Qt::endl;
            return CliExit::Refused;
        }
        s.module.LoginAccepted = true;
    }

    StatusQuery query(s.module, s.view, s.link, s.prompts);
    query.Timer1_Timer();
    if (s.view.exitRequested()) {
        env.out << s.view.status() << Qt::endl;
        return CliExit::Failed;
    }

    switch (options.command) {
    case CliCommand::Status:
        env.out << "WAN Public IP Address: " << s.view.wanAddress() << Qt::endl
                << "LAN Private IP Address: " << s.module.settings.LanPrivateIP << Qt::endl
                << "This computer: " << s.module.LocalIpAddress << Qt::endl
                << (s.view.statusBarText().isEmpty() ? QStringLiteral("Firmware version unknown")
                                                     : s.view.statusBarText())
                << Qt::endl;
        return finish(s, env.out);
    case CliCommand::List:
        printList(s, env.out);
        return CliExit::Completed;
    case CliCommand::Slots: {
        PortForwarding forwarding(s.module, s.view, s.link, s.prompts);
        if (forwarding.GetUsedSlots() >= 0)
            for (int i = 0; i < SlotTable::SlotCount; ++i) {
                const SlotEntry& e = s.module.slotTable.entries[i];
                env.out << SlotTable::letter(i) << "  " << (e.Used ? "in use" : "free  ") << "  "
                        << e.Name << Qt::endl;
            }
        return finish(s, env.out);
    }
    case CliCommand::Point:
        return point(s, options.names, env);
    case CliCommand::Clear:
        PortForwarding(s.module, s.view, s.link, s.prompts).ClearAllForwards();
        return finish(s, env.out);
    case CliCommand::DmzSet:
    case CliCommand::DmzClear:
        PortForwarding(s.module, s.view, s.link, s.prompts)
            .SetDMZPort(options.command == CliCommand::DmzClear);
        return finish(s, env.out);
    case CliCommand::ShowForward:
    case CliCommand::ShowDmz: {
        ScreenCapture capture(s.module, s.view, s.link);
        const bool ok = options.command == CliCommand::ShowForward ? capture.GetForwardPortsScreen()
                                                                   : capture.GetDMZScreen();
        if (ok)
            env.out << s.module.paths.HtmPath << Qt::endl;
        return finish(s, env.out);
    }
    }
    return CliExit::Usage;
}
