#include "app/StateReport.h"

#include "app/AppState.h"

#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QString colourText(Colour colour)
{
    return u"&H%1"_s.arg(colour.value, 8, 16, QChar(u'0')).toUpper();
}

// The password is the connection string's last value and may itself hold ";": everything after
// the first ";PWD=" goes.
QString withoutPassword(const QString& connectionString)
{
    const qsizetype start = connectionString.indexOf(u";PWD="_s);
    if (start < 0)
        return connectionString;
    return connectionString.left(start + 5) + u"****;"_s;
}

}  // namespace

QString runStateText(int state)
{
    switch (state) {
    case int(RunState::Off): return u"自動実行停止"_s;
    case int(RunState::Running): return u"処理中"_s;
    case int(RunState::Waiting): return u"自動実行中"_s;
    case 9: return u"終了"_s;
    }
    return QString::number(state);
}

QStringList stateReport(const AppState& state)
{
    const PathSettings& paths = state.settings.paths;
    const LinkDriverSettings& link = state.settings.linkDriver;
    QStringList lines;
    auto add = [&](const QString& label, const QString& value) { lines << label + u": "_s + value; };
    add(u"プログラムID"_s, state.programId);
    add(u"端末名"_s, state.machineName);
    add(u"オペレータコード"_s, state.operatorCode);
    add(u"設定ファイル"_s, state.configPath);
    add(u"基準フォルダ"_s, state.baseFolder);
    add(u"DBSTRING"_s, u'[' + state.environment.dbString + u']');
    add(u"接続文字列"_s, withoutPassword(state.connectionString));
    add(u"実行状態"_s, QString::number(int(state.runState)));
    add(u"通信パッケージ"_s, link.installFolder + link.program
                                 + u" (MINIMAIZE=%1 DEMOMODE=%2)"_s.arg(link.minimize).arg(link.demoMode));
    add(u"受信フォルダ"_s, paths.receivedFolder);
    add(u"バックアップフォルダ"_s, paths.backupFolder);
    add(u"登録状態フォルダ"_s, paths.registrationStatusFolder);
    add(u"デバッグ"_s, state.settings.debugMode ? u"1"_s : u"0"_s);
    add(u"状態色"_s, u"通常=%1 処理中=%2 処理済=%3 エラー=%4"_s.arg(
                         colourText(state.statusColours.normal), colourText(state.statusColours.running),
                         colourText(state.statusColours.done), colourText(state.statusColours.error)));
    return lines;
}

}  // namespace edi
