#pragma once

#include "app/Clock.h"
#include "app/database/Database.h"
#include "jobs/JobContext.h"
#include "jobs/JobObserver.h"
#include "support/CiiBuilder.h"
#include "support/TestDatabase.h"
#include "support/TestMail.h"
#include "transport/MailTransport.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <memory>

namespace edi::test {

// What a job told its window.
struct RecordingObserver final : JobObserver {
    void statusText(StatusColumn column, const QString& text) override
    {
        texts << QString::number(int(column)) + u':' + text;
    }
    void rowState(RowState state) override { states << int(state); }
    void note(const QString& text) override { notes << text; }
    void report(const QStringList& lines) override { reported = lines; }
    QStringList texts;
    QList<int> states;
    QStringList notes;
    QStringList reported;
};

// A workstation for jobs, named TESTPC: the demo masters for it in a real database, the folders the
// configuration names (EDI.ini complete enough for the program itself), the stand-in
// communication package and registration program in place, and partner data waiting. Centres of the demo data: ZC01 (package, CII), WC01 (hand-over, CII),
// WX01 (hand-over, XML), MX01 and MC01 (mail). The mail transport is the real one; EDI.ini names
// no mail store until a test adds [MAPI].
class JobFixture : public ::testing::TestWithParam<Backend> {
protected:
    static inline const QString kMachine = QStringLiteral("TESTPC");

    JobFixture();

    QString path(const QString& relative) const { return database_.folder() + u'/' + relative; }
    // The stand-in package's settings for the demo partner (05-12), on top of the defaults.
    void setPackage(const QString& lines);
    // Writes EDI.ini with the database, the settle time of the job settings, the folders and the
    // registration keys, and more keys of [PATH] ("MGTIMELIMIT=1\n"). A test appends sections of
    // its own.
    void writeIni(const QString& registrationCommand, const QString& categories = QStringLiteral("0101"),
                  const QString& morePathKeys = {});
    void rebuildJobContext();
    // A CII file of the demo format with the given number of orders, in a message group with
    // the given header fields.
    QByteArray demoCii(int orders = 2, const GroupFields& fields = {}) const;

    RowState run(const QString& centre);
    // The schedule master holds exactly these receptions ("R") of the demo centres, which belong
    // to this workstation.
    struct Reception {
        const char* centre;
        int weekday;  // 1 = Sunday
        QTime start;
    };
    void replaceSchedule(const std::vector<Reception>& receptions);
    // The history, one line per row: serial|branch|direction|kind|processing|centre|end date set|
    // company|BPID|category|in|out|mode|end|detail|file (file names relative to the test folder,
    // "-" for a null).
    QStringList history() const;
    // The rows' notes: serial|branch|note ("-" for none).
    QStringList notes() const;
    QStringList files(const QString& folder) const;

    // Keys writeIni adds to [動作環境]. The demo partners send the same demo data again and again:
    // the check for duplicate deliveries is off, except where a test turns it on.
    QString environmentKeys_ = QStringLiteral("DUPDAYS=0\n");
    TestDatabase database_;
    std::unique_ptr<Database> db_;
    ManualClock clock_{QDateTime(QDate(2003, 4, 1), QTime(9, 5, 7))};
    RecordingMailProgress mailProgress_;
    MailTransport mail_{path(QStringLiteral("EDI.ini")), path(QStringLiteral("received/")), mailProgress_};
    JobSettings settings_;
    std::unique_ptr<JobContext> job_;
    RecordingObserver observer_;
};

}  // namespace edi::test
