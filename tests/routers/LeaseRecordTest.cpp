// SPDX-License-Identifier: GPL-3.0-or-later
// The record and the files beside it under damage, newer writers, removed lock files and
// killed writes: nothing recorded is lost or silently dropped, and every refusal says why.
#include "router/leases/LeaseRecord.h"
#include "KindRig.h"
#include "router/RouterMemory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

#include <sys/file.h>
#include <unistd.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<int> portsOf(const QList<LeaseEntry>& entries) {
    QList<int> ports;
    for (const LeaseEntry& e : entries)
        ports << e.internalPort;
    return ports;
}

} // namespace

// A newer Harborly's lines (a kind, a state or fields this one does not know) are kept as they
// are through every change and counted against the limits, but never taken for forwards.
TEST(LeaseRecordLines, LinesOfANewerFormatOutliveEveryChangeAndAreNoEntries) {
    const QList<QByteArray> newer = {
        "192.0.2.1\tsctp\tUDP\t9\t9\tpermanent\t0\t\t0\tApp\theld\t\t\n",
        "192.0.2.1\tpcp\tUDP\t8\t8\tpermanent\t0\t\t0\tApp\theld\t\t\t\t7\tmore\n",
        "192.0.2.1\tpcp\tUDP\t6\t6\tpermanent\t0\t\t0\tApp\tpaused\t\t\n"};
    QTemporaryDir dir;
    const LeaseRecord record(dir.filePath(QStringLiteral("Harborly.leases")));
    const struct {
        const char* what;
        std::function<bool()> change;
        QList<int> after;
    } rows[] = {
        {"put", [&] { return record.put(PcpLine(100)); }, {7, 100}},
        {"remove", [&] { return record.remove(PcpLine(7)); }, {}},
        {"update", [&] { return record.update([](auto& es) { es[0].lifetime = 60; }); }, {7}},
        {"save", [&] { return record.save({PcpLine(5)}); }, {5}},
    };
    for (const auto& r : rows) {
        writeFile(record.path(), FormatLeases({PcpLine(7)}) + newer.join());
        EXPECT_EQ(portsOf(record.read().entries), QList<int>{7}) << r.what;
        EXPECT_TRUE(r.change()) << r.what << ": " << record.problem().toStdString();
        const QByteArray text = readFile(record.path());
        for (const QByteArray& line : newer)
            EXPECT_TRUE(text.contains(line)) << r.what << ": " << line.constData();
        EXPECT_EQ(portsOf(record.read().entries), r.after) << r.what;
    }

    QByteArray full = FormatLeases({PcpLine(7)});
    for (int i = 1; i < LeaseRecord::MaxEntries; ++i)
        full += newer[2];
    writeFile(record.path(), full);
    EXPECT_TRUE(record.read().ok);
    EXPECT_FALSE(record.put(PcpLine(100))) << "one line over the limit";
    EXPECT_EQ(readFile(record.path()), full);
}

namespace {

// A record that cannot be read or written, and what every path says about it.
struct Unusable {
    const char* what;
    // Makes the case in the folder; returns the record's path.
    std::function<QString(const QString& folder)> make;
    bool readable;
    const char* says;
    bool rootWritesIt = false; // permissions stop every user but root
};

QByteArray one() {
    return FormatLeases({PcpLine(1)});
}

// The record beside `folder` (made when missing) with `text`.
QString recordWith(const QString& folder, const QByteArray& text) {
    QDir().mkpath(folder);
    writeFile(folder + QStringLiteral("/Harborly.leases"), text);
    return folder + QStringLiteral("/Harborly.leases");
}

const Unusable kUnusable[] = {
    {"cut in its last line", [](const QString& f) { return recordWith(f, one().chopped(4)); },
     false, "cut off"},
    {"cut in its first line", [](const QString& f) { return recordWith(f, one().left(9)); }, false,
     "cut off"},
    {"empty", [](const QString& f) { return recordWith(f, {}); }, false, "damaged: it is empty"},
    {"over the limit",
     [](const QString& f) {
         return recordWith(f, one() + QByteArray(LeaseRecord::MaxFileBytes, '#'));
     },
     false, "1 MiB"},
    {"a folder",
     [](const QString& f) {
         QDir(f).mkdir(QStringLiteral("Harborly.leases"));
         return f + QStringLiteral("/Harborly.leases");
     },
     false, "a folder"},
    {"in a folder that is a file",
     [](const QString& f) {
         writeFile(f + QStringLiteral("/home"), "x");
         return f + QStringLiteral("/home/Harborly.leases");
     },
     true, "cannot be written"},
    {"in a read-only folder",
     [](const QString& f) {
         const QString path = recordWith(f + QStringLiteral("/ro"), one());
         QFile::setPermissions(f + QStringLiteral("/ro"), QFile::ReadOwner | QFile::ExeOwner);
         return path;
     },
     true, "cannot be written", true},
    {"read-only",
     [](const QString& f) {
         const QString path = recordWith(f, one());
         QFile::setPermissions(path, QFile::ReadOwner);
         return path;
     },
     true, "read-only", true},
};

void PrintTo(const Unusable& u, std::ostream* os) {
    *os << u.what;
}

class LeaseRecordUnusable : public testing::TestWithParam<Unusable> {};

} // namespace

TEST_P(LeaseRecordUnusable, EveryPathSaysWhyAndLeavesItAsItIs) {
    const Unusable& c = GetParam();
    if (c.rootWritesIt && ::geteuid() == 0)
        GTEST_SKIP() << "root writes it all the same";
    QTemporaryDir dir;
    const LeaseRecord record(c.make(dir.path()));
    const QByteArray before = readFile(record.path());
    const LeaseRecord::Read r = record.read();
    EXPECT_EQ(r.ok, c.readable);
    if (!c.readable) {
        EXPECT_TRUE(r.problem.contains(record.path())) << r.problem.toStdString();
        EXPECT_TRUE(r.problem.contains(QLatin1String(c.says))) << r.problem.toStdString();
    }
    const std::function<bool()> writes[] = {
        [&] { return record.put(PcpLine(2)); },
        [&] { return record.update([](auto& es) { es << PcpLine(3); }); },
        [&] { return record.save({PcpLine(4)}); },
    };
    for (const auto& write : writes) {
        EXPECT_FALSE(write());
        EXPECT_TRUE(record.problem().contains(record.path())) << record.problem().toStdString();
        EXPECT_TRUE(record.problem().contains(QLatin1String(c.says)))
            << record.problem().toStdString();
        EXPECT_EQ(readFile(record.path()), before);
    }
    QFile::setPermissions(QFileInfo(record.path()).absolutePath(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

INSTANTIATE_TEST_SUITE_P(Cases, LeaseRecordUnusable, testing::ValuesIn(kUnusable),
                         [](const testing::TestParamInfo<Unusable>& info) {
                             std::string name = info.param.what;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

// A lock file removed while held must not let a second renewer or writer in beside the first.
TEST(LeaseRecordLocks, ARemovedRenewerLockFileNeverMakesTwoRenewers) {
    for (const bool holderLooksFirst : {true, false}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Harborly.leases"));
        RenewerRole a(path, QStringLiteral("192.0.2.1"));
        RenewerRole b(path, QStringLiteral("192.0.2.1"));
        ASSERT_TRUE(a.hold());
        ASSERT_FALSE(b.hold());
        for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("*renewer*")}))
            ASSERT_TRUE(QFile::remove(dir.filePath(name)));
        if (holderLooksFirst) {
            EXPECT_TRUE(a.hold());
            EXPECT_FALSE(b.hold());
        } else {
            EXPECT_TRUE(b.hold());
            EXPECT_FALSE(a.hold()); // gives the role up to the one on the file now there
        }
        EXPECT_NE(a.held(), b.held()) << holderLooksFirst;
    }
}

TEST(LeaseRecordLocks, AChangeWhoseLockFileWasRemovedNeverOverwritesAnother) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Harborly.leases"));
    const LeaseRecord record(path);
    ASSERT_TRUE(record.put(PcpLine(1)));
    for (const bool otherWrites : {true, false}) {
        const bool saved = record.update([&](QList<LeaseEntry>& es) {
            QFile::remove(path + QStringLiteral(".lock"));
            if (otherWrites)
                std::thread([&] { EXPECT_TRUE(LeaseRecord(path).put(PcpLine(2))); }).join();
            es << PcpLine(3);
        });
        EXPECT_EQ(saved, !otherWrites) << record.problem().toStdString();
    }
    EXPECT_EQ(portsOf(record.load()), (QList<int>{1, 2, 3}));
}

// Killed writes leave temporary copies beside the record and the router memory; they go when
// no write can be using them: under the record's lock, or once old for the router memory.
TEST(LeaseRecordLitter, TemporariesOfKilledWritesGoWhenNoWriterCanHoldThem) {
    const struct {
        const char* name;
        bool old;
        bool held;
        bool removed;
    } rows[] = {
        {"Harborly.leases.harborly-tmp.Ab3xYz", false, false, true},
        {"Harborly.leases.harborly-tmp.q1W2e3", true, false, true},
        {"Harborly.leases.harborly-tmp.Held12", true, true, false},
        {"Harborly.leases.bak", true, false, false},
        // A user's copies whose names look like the bare random part of a temporary.
        {"Harborly.leases.backup", true, false, false},
        {"Harborly.router.before", true, false, false},
        {"Harborly.leases.harborly-tmp.Ab3xY", true, false, false},
        {"Harborly.router.harborly-tmp.Ab3xYz", true, false, true},
        {"Harborly.router.harborly-tmp.New123", false, false, false},
        {"Harborly.ini.harborly-tmp.Ab3xYz", true, false, false},
    };
    QTemporaryDir dir;
    const QDateTime hourAgo = QDateTime::currentDateTimeUtc().addSecs(-3600);
    std::vector<std::unique_ptr<QFile>> held;
    for (const auto& r : rows) {
        auto f = std::make_unique<QFile>(dir.filePath(QString::fromLatin1(r.name)));
        ASSERT_TRUE(f->open(QIODevice::ReadWrite));
        if (r.old) {
            ASSERT_TRUE(f->setFileTime(hourAgo, QFileDevice::FileModificationTime));
        }
        if (r.held) {
            ASSERT_EQ(::flock(f->handle(), LOCK_EX), 0);
            held.push_back(std::move(f));
        }
    }
    ASSERT_TRUE(LeaseRecord(dir.filePath(QStringLiteral("Harborly.leases"))).put(PcpLine(1)));
    const RouterMemory memory(dir.filePath(QStringLiteral("Harborly.router")));
    ASSERT_TRUE(memory.save(QStringLiteral("upnp"), QStringLiteral("192.0.2.1"),
                            {{QStringLiteral("control"), QStringLiteral("/ctl")}}));
    for (const auto& r : rows) {
        EXPECT_EQ(QFile::exists(dir.filePath(QString::fromLatin1(r.name))), !r.removed) << r.name;
    }
}
