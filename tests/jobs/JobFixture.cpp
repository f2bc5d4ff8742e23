#include "JobFixture.h"

#include "jobs/JobSequence.h"
#include "support/CiiBuilder.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace edi::test {

JobFixture::JobFixture()
    : database_(GetParam())
{
    // The workstation's name, for this process and the programs it starts.
    qputenv("EDI_MACHINE_NAME", kMachine.toUtf8());
    database_.createTables();
    database_.loadDemoData(kMachine);
    db_ = database_.open();
    for (const char* folder : {"received", "backup", "cvx/data/STS", "cvx/recv", "handover", "partner", "bin",
                               "registration/status", "registration/command"})
        QDir().mkpath(path(QString::fromLatin1(folder)));
    // The tests put their files a moment before the job: taken at once, unless a test of files
    // still being written sets a time of its own.
    settings_.reception.settleSeconds = 0;
    QFile::link(buildPath(u"tools/edi-linkpkg"_s), path(u"cvx/z_tcp"_s));
    QFile::link(buildPath(u"tools/edi-register"_s), path(u"bin/edi-register"_s));
    writeFile(path(u"partner/ZC01.CII"_s), demoCii());
    setPackage({});
    writeIni(path(u"bin/edi-register"_s) + u" --in "_s + path(u"received/"_s));

    settings_.configPath = path(u"EDI.ini"_s);
    settings_.paths.receivedFolder = path(u"received/"_s);
    settings_.paths.backupFolder = path(u"backup/"_s);
    settings_.paths.linkDataFolder = path(u"cvx/data/"_s);
    settings_.linkDriver.installFolder = path(u"cvx/"_s);
    settings_.linkDriver.program = u"z_tcp"_s;
    settings_.linkDriver.minimize = 1;
    settings_.operatorCode = u"OP01"_s;
    settings_.machineName = kMachine;
    settings_.programId = u"EDIAUTO"_s;
    settings_.conversionLogPath = path(u"ERR.LOG"_s);
    rebuildJobContext();
}

void JobFixture::rebuildJobContext()
{
    job_ = std::make_unique<JobContext>(*db_, clock_, settings_, mail_);
}

void JobFixture::setPackage(const QString& lines)
{
    writeFile(path(u"cvx/cvxlink-standin.ini"_s),
              (u"[PACKAGE]\nDATA="_s + path(u"cvx/data/"_s) + u"\n[05-12]\nSOURCE="_s + path(u"partner/ZC01.CII"_s)
               + u"\nTARGET="_s + path(u"cvx/recv/ZC01.DAT"_s) + u'\n' + lines + u'\n')
                  .toUtf8());
}

void JobFixture::writeIni(const QString& registrationCommand, const QString& categories, const QString& morePathKeys)
{
    const QString settings = u"[Setting0]\nLabelBackColor=0\nLabelForeColor=0\nTextBackColor=0\nTextFocusColor=0\n"
                             u"TextForeColor=0\nTitleBackColor=0\nTitleForeColor=0\n"
                             u"[LINKDRV]\nMINIMAIZE=1\nDEMOMODE=0\nINSTALLDIR=%1\nPROGRAM=z_tcp\n"
                             u"[PATH]\nCVXLINK_PATH=%2\nEDIINFIL=%3\nOLD_FILE=%4\nMGSTPATH=%5\nPRPATH=%6\nMGCMDLINEKR=%7\n%8"
                             u"[JKBN_K_J]\n%9\n"_s.arg(path(u"cvx/"_s), path(u"cvx/data/"_s), path(u"received/"_s),
                                                    path(u"backup/"_s), path(u"registration/status"_s),
                                                    path(u"registration/command"_s), registrationCommand, morePathKeys,
                                                    categories);
    writeFile(path(u"EDI.ini"_s), database_.environmentSection() + "SETTLE=" + QByteArray::number(settings_.reception.settleSeconds)
                                      + '\n' + (environmentKeys_ + settings).toUtf8());
}

QByteArray JobFixture::demoCii(int orders, const GroupFields& fields) const
{
    QList<QByteArray> bodies;
    for (int i = 1; i <= orders; ++i) {
        bodies << BodyBuilder()
                      .element(1, "PO" + QByteArray::number(i).rightJustified(8, '0'))
                      .element(2, "20030401")
                      .group()
                      .element(101, "PART-1")
                      .element(103, "1250")
                      .endGroup()
                      .bytes();
    }
    return ciiGroup(fields, bodies);
}

RowState JobFixture::run(const QString& centre)
{
    observer_ = {};
    return runScheduledJob(*job_, centre, observer_);
}

void JobFixture::replaceSchedule(const std::vector<Reception>& receptions)
{
    db_->execute({u"DELETE FROM FL1912EDIスケジュールマスタ"_s, {}});
    for (const Reception& reception : receptions)
        db_->execute({u"INSERT INTO FL1912EDIスケジュールマスタ (センターコード, 曜日, 起動時刻, 送受信種別) VALUES (?, ?, ?, ?)"_s,
                      {QString::fromLatin1(reception.centre), reception.weekday, reception.start, u"R"_s}});
}

QStringList JobFixture::history() const
{
    QStringList rows;
    const QString folder = database_.folder() + u'/';
    for (ResultSet row = db_->query({u"SELECT * FROM FL1102処理履歴ファイル ORDER BY 通番, 枝番"_s, {}}); !row.atEnd();
         row.next()) {
        QStringList fields;
        for (const char* column : {"通番", "枝番", "送受信種別", "相手先種別", "処理種別", "センターコード"})
            fields << row.value(QString::fromUtf8(column)).toString();
        fields << (row.value(u"処理終了日付"_s).isNull() ? u"open"_s : u"done"_s);
        for (const char* column : {"相手先企業コード", "BPID", "取引情報区分", "入力レコード数", "出力レコード数", "格納モード",
                                   "終了コード", "詳細コード", "ファイル名"}) {
            const QVariant value = row.value(QString::fromUtf8(column));
            fields << (value.isNull() ? u"-"_s : value.toString().replace(folder, QString()));
        }
        rows << fields.join(u'|');
    }
    return rows;
}

QStringList JobFixture::notes() const
{
    QStringList rows;
    for (ResultSet row = db_->query({u"SELECT 通番, 枝番, 備考 FROM FL1102処理履歴ファイル ORDER BY 通番, 枝番"_s, {}});
         !row.atEnd(); row.next())
        rows << row.value(0).toString() + u'|' + row.value(1).toString() + u'|'
                    + (row.value(2).isNull() ? u"-"_s : row.value(2).toString());
    return rows;
}

QStringList JobFixture::files(const QString& folder) const
{
    return QDir(path(folder)).entryList(QDir::Files, QDir::Name);
}

}  // namespace edi::test
