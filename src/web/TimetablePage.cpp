#include "web/WebPages.h"

#include "app/text/TextHelpers.h"
#include "web/HtmlPage.h"
#include "web/PageText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QString methodName(const MonitorSnapshot& snapshot, const QString& method)
{
    const auto found = snapshot.methodNames.find(method);
    return found == snapshot.methodNames.end() ? QString() : found->second;
}

}  // namespace

QByteArray timetableHtml(const MonitorSnapshot& snapshot, const QString& machine, const std::vector<TimetableLine>& lines)
{
    HtmlPage page(u"タイムテーブル "_s + machine, true);
    takenAt(page, snapshot);
    page.paragraph(u"14 日分 %1 件"_s.arg(lines.size()));
    page.beginTable({u"日付"_s, u"時刻"_s, u"センターコード"_s, u"センター名"_s, u"受信方式"_s, u"状態"_s, u"通番"_s},
                    u"timetable"_s);
    for (const TimetableLine& line : lines) {
        const ScheduleRow& row = line.row;
        page.row({{row.date.toString(u"yyyy/MM/dd"_s)}, {row.startTime.toString(u"HH:mm"_s)}, {row.centreCode},
                  {row.centreName}, {methodName(snapshot, row.transferMethod)}, {line.stateText()},
                  line.serial ? HtmlCell{serialText(line.serial), jobLink(line.serial)} : HtmlCell{}},
                 line.stateClass(), line.tip);
    }
    page.endTable();
    return page.finish();
}

QByteArray timetableJson(const MonitorSnapshot& snapshot, const QString& machine, const std::vector<TimetableLine>& lines)
{
    QJsonArray rows;
    for (const TimetableLine& line : lines) {
        const ScheduleRow& row = line.row;
        rows.append(QJsonObject{{u"date"_s, row.date.toString(u"yyyy-MM-dd"_s)},
                                {u"time"_s, row.startTime.toString(u"HH:mm"_s)},
                                {u"centre"_s, row.centreCode},
                                {u"name"_s, row.centreName},
                                {u"method"_s, row.transferMethod},
                                {u"state"_s, line.stateKey()},
                                {u"serial"_s, line.serial ? QJsonValue(line.serial) : QJsonValue()},
                                {u"tip"_s, line.tip}});
    }
    return QJsonDocument(QJsonObject{{u"machine"_s, machine}, {u"taken"_s, jsonMoment(snapshot.taken)},
                                     {u"problem"_s, snapshot.problem.isEmpty() ? QJsonValue() : QJsonValue(snapshot.problem)},
                                     {u"rows"_s, rows}})
        .toJson(QJsonDocument::Compact);
}

}  // namespace edi
