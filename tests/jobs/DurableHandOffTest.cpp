#include "JobFixture.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {
namespace {

// The calls that order a hand-off on the disk, of a program and of the programs it starts, one a
// line in the order they were made; with -y a descriptor shows its file ("fsync(6</x/y>)").
class SystemCallTrace {
public:
    explicit SystemCallTrace(const QByteArray& text) : lines_(QString::fromUtf8(text).split(u'\n')) {}

    // The first call from `from` on that contains every part; -1 for none.
    qsizetype first(const QStringList& parts, qsizetype from = 0) const
    {
        for (qsizetype index = std::max<qsizetype>(from, 0); index < lines_.size(); ++index) {
            if (holds(index, parts))
                return index;
        }
        return -1;
    }
    // The last call before `before` that contains every part; -1 for none.
    qsizetype last(const QStringList& parts, qsizetype before) const
    {
        for (qsizetype index = std::min(before, lines_.size()) - 1; index >= 0; --index) {
            if (holds(index, parts))
                return index;
        }
        return -1;
    }
    qsizetype size() const { return lines_.size(); }
    QString text() const { return lines_.join(u'\n'); }

private:
    bool holds(qsizetype index, const QStringList& parts) const
    {
        return std::ranges::all_of(parts, [&](const QString& part) { return lines_[index].contains(part); });
    }

    QStringList lines_;
};

// The program's reception of a hand-over file under strace: what it writes reaches the disk
// before the history says so, and the hand-over file goes only after that. SQLite shows the
// history's commits on the disk too: each ends by deleting its journal.
class DurableHandOffTest : public JobFixture {
protected:
    // Why the machine cannot trace the program; empty when it can.
    static QString cannotTrace(const QString& strace)
    {
        if (strace.isEmpty())
            return u"strace is not installed"_s;
        QProcess probe;
        probe.start(strace, {u"-f"_s, u"-o"_s, u"/dev/null"_s, u"/bin/true"_s});
        if (!probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            return u"strace cannot trace here (no ptrace permission?): "_s + QString::fromLocal8Bit(probe.readAllStandardError());
        return {};
    }

    SystemCallTrace traced(const QString& strace, const QStringList& arguments)
    {
        const QString trace = path(u"trace.txt"_s);
        QProcess program;
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(strace, QStringList{u"-f"_s, u"-y"_s, u"-qq"_s, u"-o"_s, trace, u"-e"_s,
                                          u"trace=fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,execve"_s,
                                          buildPath(u"src/edi-auto"_s), u"--ini"_s, path(u"EDI.ini"_s)}
                                  + arguments);
        EXPECT_TRUE(program.waitForFinished(120000));
        EXPECT_EQ(program.exitCode(), 0) << program.readAll().toStdString();
        return SystemCallTrace(readFile(trace));
    }
};

TEST_P(DurableHandOffTest, WhatIsReceivedIsOnTheDiskBeforeTheHistorySaysSo)
{
    const QString strace = QStandardPaths::findExecutable(u"strace"_s);
    if (const QString why = cannotTrace(strace); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    writeFile(path(u"handover/WC01.CII"_s), demoCii(2));
    const SystemCallTrace trace = traced(strace, {u"--run-job"_s, u"WC01"_s});
    const QString job = u"00000001_RCV_WC01________"_s;
    const QString commit = u"-journal\")"_s;

    // The hand-over: copied, the copy and its folder synced, the transfer row committed, and only
    // then the claim on the partner's file deleted.
    const qsizetype copied = trace.first({u"rename("_s, u"/received/%1.CII\")"_s.arg(job)});
    const qsizetype released = trace.first({u"unlink"_s, u"/.WC01.CII.claim-00000001\""_s});
    ASSERT_GE(copied, 0) << trace.text().toStdString();
    ASSERT_GT(released, copied) << trace.text().toStdString();
    const qsizetype transferRow = trace.last({u"unlink"_s, commit}, released);
    const qsizetype dataSynced = trace.first({u"fsync("_s, u"/received/%1.CII"_s.arg(job)});
    const qsizetype nameSynced = trace.first({u"fsync("_s, u"/received>)"_s}, copied);
    EXPECT_GT(transferRow, copied) << trace.text().toStdString();
    EXPECT_TRUE(dataSynced >= 0 && dataSynced < transferRow) << trace.text().toStdString();
    EXPECT_TRUE(nameSynced >= 0 && nameSynced < transferRow) << trace.text().toStdString();

    // The local file is on the disk before the registration program starts, and so are the
    // backup copies, before the registration ends the job row.
    const qsizetype registration = trace.first({u"execve("_s, u"edi-register"_s});
    ASSERT_GT(registration, released) << trace.text().toStdString();
    const qsizetype localSynced = trace.first({u"fsync("_s, u"/received/"_s + job + u"0101.LOC>)"_s}, released);
    EXPECT_TRUE(localSynced >= 0 && localSynced < registration) << trace.text().toStdString();
    EXPECT_GE(trace.first({u"fsync("_s, u"/received>)"_s}, localSynced), 0);
    for (const QString& name : {job + u".CII"_s, job + u"0101.LOC"_s}) {
        const qsizetype backedUp = trace.first({u"rename("_s, u"/backup/%1\")"_s.arg(name)});
        const qsizetype dataSynced = trace.first({u"fsync("_s, u"/backup/%1.part>)"_s.arg(name)});
        const qsizetype nameSynced = trace.first({u"fsync("_s, u"/backup>)"_s}, backedUp);
        EXPECT_TRUE(dataSynced >= 0 && dataSynced < backedUp) << name.toStdString();
        EXPECT_TRUE(nameSynced > backedUp && nameSynced < registration) << name.toStdString();
    }
    EXPECT_GT(trace.last({u"unlink"_s, commit}, trace.size()), registration);  // the job row
}

INSTANTIATE_TEST_SUITE_P(Sqlite, DurableHandOffTest, ::testing::Values(Backend::Sqlite),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace edi::test
