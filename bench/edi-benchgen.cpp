// Writes a CII file for benchmarks and demos, the SQLite masters that convert it, and a manifest
// of what the local conversion must produce.
//
//   edi-benchgen [--mib N | --kib N] [--seed N] [--demo-only] [--one-group] [--short-messages] [--first-message N]
//                [--masters FILE.sqlite] [--manifest FILE] [--schema schema.sql] OUTPUT.CII
//
// The file is made of message groups until it reaches the requested size (200 MiB by default):
//   0101/DEMO0101  the demo's firm order (one group of detail lines), storage modes M and S
//   0201/BENCH201  delivery instructions: a detail group holding a delivery group, numbered
//                  groups in the two-byte section, a long text with the three-byte length
//                  indicator, a three-byte tag; storage mode M, messages of one to nine blocks
//   0301/BENCH301  stock reports of up to 800 lines: storage mode S, many messages above 32000
//                  bytes (long-form prefix, continuation blocks)
// With --demo-only the file holds 0101 groups alone, which the demo database converts as it is.
// With --short-messages it holds groups of 50,000 messages of two short items (0401/BENCH401, a
// block each; fewer per group in a file below 100 MB, about eight groups): as XML, documents that
// are mostly tags.
// With --one-group it is a single message group of as many messages as reach the size: delivery
// instructions, or firm orders in storage mode M with --demo-only (the XML direction writes one
// document per group; message numbers and the trailer's count run on past 99999 modulo 100000).
// Everything follows from the seed: the same arguments give the same bytes. Messages are numbered
// through the file from 1, or from --first-message, and carry the number in their key (an order's
// "PO" + eight digits), so files made with separate ranges hold different orders.
//
// The manifest is text, one entry per line:
//   bytes N / groups N / messages N   the file's size, its message groups and messages
//   class CLASS COUNT              messages (= local lines) of an information class
//   check CLASS LINE POS HEX       bytes expected in a local line (1-based line of the class's
//                                  file, 1-based byte position, the 39-byte prefix included)

#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/database/SqlScript.h"
#include "app/text/ShiftJis.h"
#include "convert/localcii/CiiBlockWriter.h"
#include "convert/localcii/MessageGroupHeader.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

// splitmix64: the same sequence on every platform and library, unlike the std distributions.
class Random {
public:
    explicit Random(quint64 seed) : state_(seed) {}
    quint64 next()
    {
        quint64 z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    qint64 between(qint64 low, qint64 high) { return low + qint64(next() % quint64(high - low + 1)); }
    bool chance(int percent) { return between(1, 100) <= percent; }
    template <typename T>
    const T& pick(const std::vector<T>& values) { return values[size_t(between(0, qint64(values.size()) - 1))]; }

private:
    quint64 state_;
};

// One row of a layout; the local layout has the same items (each its own counterpart) with
// the positions packed in order, except where localLength differs.
struct ItemDef {
    int level = 0;
    int number = 0;  // 項目№, the tag
    const char* name = "";
    char attribute = 'X';
    int length = 0;
    int decimals = 0;
    int multiDetail = 0;  // groups: マルチ明細番号
    int repeat = 0;       // groups: 繰返し数
    bool wide = false;    // the body switches to the two-byte section before this item
    int localLength = 0;  // 0: as length
};

struct FormatDef {
    QString infoClass;
    QString bpid;
    QString formIdentifier;
    std::vector<ItemDef> items;
};

// The demo's firm order, as db/demo-data.sql has it.
const FormatDef kOrder{u"0101"_s, u"DEMO0101"_s, u"ORDERS"_s, {
    {.level = 0, .number = 1, .name = "発注番号", .attribute = 'X', .length = 10},
    {.level = 0, .number = 2, .name = "発注日", .attribute = 'Y', .length = 8},
    {.level = 0, .number = 3, .name = "発注者名", .attribute = 'K', .length = 20},
    {.level = 0, .number = 4, .name = "納入場所コード", .attribute = 'X', .length = 6},
    {.level = 0, .number = 5, .name = "明細", .attribute = 'M', .multiDetail = 1, .repeat = 5},
    {.level = 1, .number = 101, .name = "品番", .attribute = 'X', .length = 15},
    {.level = 1, .number = 102, .name = "品名", .attribute = 'K', .length = 30},
    {.level = 1, .number = 103, .name = "数量", .attribute = '9', .length = 7, .decimals = 2},
    {.level = 1, .number = 104, .name = "単価", .attribute = '9', .length = 9, .decimals = 2},
    {.level = 1, .number = 105, .name = "納期", .attribute = 'Y', .length = 8},
    {.level = 0, .number = 1001, .name = "備考", .attribute = 'K', .length = 40, .wide = true},
}};

const FormatDef kDelivery{u"0201"_s, u"BENCH201"_s, u"DELINS"_s, {
    {.level = 0, .number = 1, .name = "指示番号", .attribute = 'X', .length = 12},
    {.level = 0, .number = 2, .name = "発行日", .attribute = 'Y', .length = 6, .localLength = 8},
    {.level = 0, .number = 3, .name = "取引先名", .attribute = 'K', .length = 30},
    {.level = 0, .number = 4, .name = "調整額", .attribute = 'N', .length = 9},
    {.level = 0, .number = 5, .name = "摘要", .attribute = 'X', .length = 300},
    {.level = 0, .number = 6, .name = "明細", .attribute = 'M', .multiDetail = 1, .repeat = 12, .wide = true},
    {.level = 1, .number = 201, .name = "品番", .attribute = 'X', .length = 10},
    {.level = 1, .number = 202, .name = "品名", .attribute = 'K', .length = 20},
    {.level = 1, .number = 203, .name = "数量", .attribute = '9', .length = 8, .decimals = 3},
    {.level = 1, .number = 204, .name = "増減", .attribute = 'N', .length = 7},
    {.level = 1, .number = 205, .name = "納入", .attribute = 'M', .multiDetail = 2, .repeat = 4},
    {.level = 2, .number = 301, .name = "納入日", .attribute = 'Y', .length = 8},
    {.level = 2, .number = 302, .name = "納入数", .attribute = '9', .length = 6},
    {.level = 2, .number = 303, .name = "受入場所", .attribute = 'X', .length = 5},
    {.level = 0, .number = 1001, .name = "備考", .attribute = 'K', .length = 40},
    {.level = 0, .number = 7, .name = "注記", .attribute = 'M', .multiDetail = 300, .repeat = 3},
    {.level = 1, .number = 401, .name = "注記文", .attribute = 'X', .length = 20},
    {.level = 0, .number = 70000, .name = "管理番号", .attribute = 'X', .length = 8},
}};

const FormatDef kStock{u"0301"_s, u"BENCH301"_s, u"STOCK"_s, {
    {.level = 0, .number = 1, .name = "報告番号", .attribute = 'X', .length = 16},
    {.level = 0, .number = 2, .name = "基準日", .attribute = 'Y', .length = 8},
    {.level = 0, .number = 3, .name = "倉庫名", .attribute = 'K', .length = 40},
    {.level = 0, .number = 4, .name = "在庫明細", .attribute = 'M', .multiDetail = 1, .repeat = 800},
    {.level = 1, .number = 11, .name = "品番", .attribute = 'X', .length = 14},
    {.level = 1, .number = 12, .name = "品名", .attribute = 'K', .length = 24},
    {.level = 1, .number = 13, .name = "在庫数", .attribute = '9', .length = 11, .decimals = 2},
    {.level = 1, .number = 14, .name = "差異", .attribute = 'N', .length = 9},
    {.level = 1, .number = 15, .name = "棚卸日", .attribute = 'Y', .length = 8},
    {.level = 0, .number = 20, .name = "件数", .attribute = '9', .length = 5},
}};

// Short slips: two short items, a message of a few bytes in a block of its own; as XML mostly tags.
const FormatDef kSlip{u"0401"_s, u"BENCH401"_s, u"SLIPS"_s, {
    {.level = 0, .number = 1, .name = "伝票番号", .attribute = 'X', .length = 10},
    {.level = 0, .number = 2, .name = "区分", .attribute = 'X', .length = 2},
}};

int localLength(const ItemDef& item) { return item.localLength != 0 ? item.localLength : item.length; }
int fieldWidth(const ItemDef& item) { return localLength(item) + (item.decimals != 0 ? 1 : 0); }

// The local layout: 1-based positions packed in order, and each group's length (one occurrence).
struct LocalPlan {
    std::vector<int> position;
    std::vector<int> groupLength;
};

LocalPlan planLocal(const FormatDef& format)
{
    const std::vector<ItemDef>& items = format.items;
    LocalPlan plan{std::vector<int>(items.size()), std::vector<int>(items.size(), 0)};
    struct Open {
        size_t item;
        int start;
    };
    std::vector<Open> open;
    int cursor = 1;
    for (size_t i = 0; i < items.size(); ++i) {
        while (!open.empty() && items[open.back().item].level >= items[i].level) {
            const Open group = open.back();
            open.pop_back();
            plan.groupLength[group.item] = cursor - group.start;
            cursor = group.start + plan.groupLength[group.item] * items[group.item].repeat;
        }
        plan.position[i] = cursor;
        if (items[i].attribute == 'M')
            open.push_back({i, cursor});
        else
            cursor += fieldWidth(items[i]);
    }
    while (!open.empty()) {
        const Open group = open.back();
        open.pop_back();
        plan.groupLength[group.item] = cursor - group.start;
        cursor = group.start + plan.groupLength[group.item] * items[group.item].repeat;
    }
    return plan;
}

QByteArray sjis(const char* utf8) { return edi::threadShiftJis().encode(QString::fromUtf8(utf8)); }

std::vector<QByteArray> sjisList(std::initializer_list<const char*> texts)
{
    std::vector<QByteArray> list;
    for (const char* text : texts)
        list.push_back(sjis(text));
    return list;
}

struct Words {
    std::vector<QByteArray> companies = sjisList({"東日本自動車", "関西精機工業", "中部電装", "北陸樹脂加工",
        "九州金属", "山田製作所", "佐藤部品商会", "鈴木鋼材", "高橋工機", "田中化成", "渡辺プレス工業",
        "伊藤螺子製作所", "株式会社小林鋳造", "加藤ゴム工業"});
    std::vector<QByteArray> products = sjisList({"ボルト", "ナット", "座金", "ブラケット", "配線束", "軸受",
        "歯車", "油圧ホース", "樹脂カバー", "防振ゴム", "燃料ポンプ", "制御基板", "締結部品", "冷却ファン",
        "端子台", "六角穴付ボルト", "ばね座金"});
    std::vector<QByteArray> warehouses = sjisList({"第一倉庫", "東京物流センター", "大阪配送所",
        "名古屋部品倉庫", "福岡中継倉庫", "仙台第二倉庫"});
    std::vector<QByteArray> remarks = sjisList({"至急", "分納可", "午前着指定", "検査成績書添付",
        "梱包仕様変更あり", "納期厳守のこと", "前回不良品の代替分", "土曜日納入不可"});
    std::vector<QByteArray> places = sjisList({"ｿｳｺ1", "ﾄｳｷｮｳ", "ｵｵｻｶ", "ﾅｺﾞﾔ", "D-01", "ﾆｭｳｶ"});
};

// A check of the local record: bytes at a 0-based offset.
struct FieldCheck {
    qint64 offset;
    QByteArray bytes;
};

// What the local record holds for a value of an item (for the values this generator writes:
// double-byte text of whole characters in even lengths, numbers without leading zeros).
QByteArray localForm(const ItemDef& item, const QByteArray& value)
{
    const int length = localLength(item);
    switch (item.attribute) {
    case 'X':
        return value + QByteArray(length - value.size(), ' ');
    case 'K':
        return value + QByteArray("\x81\x40").repeated((length - value.size()) / 2);
    case '9': {
        QByteArray digits = value.rightJustified(item.length, '0');
        if (item.decimals != 0)
            digits.insert(digits.size() - item.decimals, '.');
        return digits;
    }
    case 'N': {  // callers check non-negative values only
        QByteArray text = value.startsWith('+') ? value.mid(1) : value;
        const qsizetype point = text.indexOf('.');
        if (point >= 0)
            text.truncate(point);
        return text.rightJustified(length, '0');
    }
    case 'Y':
        if (value.size() == 6)
            return (value.left(2).toInt() <= 50 ? "20" : "19") + value;
        return value;
    default:
        return {};
    }
}

// The value a local field has when the message does not carry it.
QByteArray blankForm(const ItemDef& item)
{
    const int length = localLength(item);
    switch (item.attribute) {
    case '9':
    case 'N':
    case 'Y':
        return QByteArray(length - item.decimals, '0')
             + (item.decimals != 0 ? '.' + QByteArray(item.decimals, '0') : QByteArray());
    case 'K':
        return QByteArray("\x81\x40").repeated(length / 2);
    default:
        return QByteArray(length, ' ');
    }
}

// Encodes one message body item by item and, when asked, notes where each value lands in the
// local record.
class MessageWriter {
public:
    MessageWriter(const FormatDef& format, const LocalPlan& plan, QByteArray& body, std::vector<FieldCheck>* checks)
        : format_(format), plan_(plan), body_(body), checks_(checks)
    {
        body_.clear();
    }

    void element(int item, const QByteArray& value)
    {
        const ItemDef& def = format_.items[size_t(item - 1)];
        enterSection(def);
        edi::appendDataElement(body_, def.number, value, twoByte_);
        if (checks_ && !(def.attribute == 'N' && value.startsWith('-')))
            checks_->push_back({offsetOf(item), localForm(def, value)});
    }

    // An item the message leaves out: its field keeps the blank value.
    void omit(int item)
    {
        if (checks_)
            checks_->push_back({offsetOf(item), blankForm(format_.items[size_t(item - 1)])});
    }

    void openGroup(int item)
    {
        const ItemDef& def = format_.items[size_t(item - 1)];
        enterSection(def);
        edi::appendGroupStart(body_, def.multiDetail, twoByte_);
        open_.push_back({item, 1});
    }
    void nextOccurrence()
    {
        body_ += '\xFB';
        ++open_.back().occurrence;
    }
    void closeGroup()
    {
        body_ += '\xFC';
        open_.pop_back();
    }
    // The occurrence after the last one written of the innermost group, for blank checks.
    void omitInNextOccurrence(int item)
    {
        ++open_.back().occurrence;
        omit(item);
        --open_.back().occurrence;
    }

private:
    void enterSection(const ItemDef& def)
    {
        if (!twoByte_ && (def.wide || def.number > 239)) {
            body_ += '\xF0';
            twoByte_ = true;
        }
    }
    qint64 offsetOf(int item) const
    {
        qint64 offset = plan_.position[size_t(item - 1)] - 1;
        for (const Open& group : open_)
            offset += qint64(group.occurrence - 1) * plan_.groupLength[size_t(group.item - 1)];
        return offset;
    }

    struct Open {
        int item;
        int occurrence;
    };
    const FormatDef& format_;
    const LocalPlan& plan_;
    QByteArray& body_;
    std::vector<FieldCheck>* checks_;
    std::vector<Open> open_;
    bool twoByte_ = false;
};

QByteArray digits(qint64 value) { return QByteArray::number(value); }
QByteArray padded(qint64 value, int width) { return QByteArray::number(value).rightJustified(width, '0'); }

QByteArray date8(Random& random)
{
    return padded(random.between(2024, 2027), 4) + padded(random.between(1, 12), 2) + padded(random.between(1, 28), 2);
}

// Six-digit dates on both sides of the century the local side completes.
QByteArray date6(Random& random)
{
    static const std::vector<int> years{97, 98, 99, 0, 1, 24, 25, 26, 27, 50};
    return padded(random.pick(years), 2) + padded(random.between(1, 12), 2) + padded(random.between(1, 28), 2);
}

// A number that fits `width` characters, with sign and fraction now and then.
QByteArray signedValue(Random& random, int width)
{
    qint64 limit = 1;  // digits, fraction and sign stay within width
    for (int i = 0; i < width - 4; ++i)
        limit *= 10;
    QByteArray text = digits(random.between(0, limit));
    if (random.chance(15))
        text += '.' + digits(random.between(1, 9));
    if (random.chance(35))
        text.prepend('-');
    else if (random.chance(15))
        text.prepend('+');
    return text;
}

QByteArray amount(Random& random, int length)
{
    qint64 limit = 1;
    for (int i = 0; i < length; ++i)
        limit *= 10;
    // Mostly small quantities, some near the field's limit.
    return digits(random.chance(90) ? random.between(1, 99999) % limit : random.between(1, limit - 1));
}

// Double-byte text of whole words that fits length bytes.
QByteArray kanji(Random& random, const std::vector<QByteArray>& words, int length)
{
    QByteArray text = random.pick(words);
    while (text.size() > length)
        text = random.pick(words);
    if (random.chance(30)) {
        const QByteArray more = random.pick(words);
        if (text.size() + more.size() <= length)
            text += more;
    }
    return text;
}

QByteArray partNumber(Random& random, int length)
{
    static const char letters[] = "ABCDEFGHJKLMNPRSTUVWXYZ";
    QByteArray part;
    part += letters[random.between(0, 22)];
    part += letters[random.between(0, 22)];
    part += '-';
    part += padded(random.between(0, 99999999), 8);
    return part.left(length - qsizetype(random.between(0, 3)));
}

void writeOrder(MessageWriter& w, Random& random, const Words& words, qint64 serial)
{
    w.element(1, "PO" + padded(serial % 100000000, 8));
    w.element(2, date8(random));
    w.element(3, kanji(random, words.companies, 20));
    w.element(4, "TKY" + padded(random.between(0, 999), 3));
    w.openGroup(5);
    const int lines = int(random.between(1, 5));
    for (int line = 1; line <= lines; ++line) {
        if (line > 1)
            w.nextOccurrence();
        w.element(6, partNumber(random, 15));
        if (random.chance(85))
            w.element(7, kanji(random, words.products, 30));
        else
            w.omit(7);
        w.element(8, amount(random, 7));
        w.element(9, amount(random, 9));
        w.element(10, date8(random));
    }
    if (lines < 5)
        w.omitInNextOccurrence(8);
    w.closeGroup();
    if (random.chance(60))
        w.element(11, kanji(random, words.remarks, 40));
}

void writeDelivery(MessageWriter& w, Random& random, const Words& words, qint64 serial)
{
    w.element(1, "DI" + padded(serial % 10000000000, 10));
    w.element(2, date6(random));
    w.element(3, kanji(random, words.companies, 30));
    w.element(4, signedValue(random, 9));
    if (random.chance(40)) {  // a long text: the three-byte length indicator
        QByteArray text;
        const qsizetype size = random.between(200, 300);
        while (text.size() < size)
            text += "LOT" + padded(random.between(0, 99999), 5) + ' ';
        text.truncate(size);
        while (text.endsWith(' '))
            text.chop(1);
        w.element(5, text);
    }
    w.openGroup(6);
    const int lines = int(random.between(1, 12));
    for (int line = 1; line <= lines; ++line) {
        if (line > 1)
            w.nextOccurrence();
        w.element(7, partNumber(random, 10));
        w.element(8, kanji(random, words.products, 20));
        w.element(9, amount(random, 8));
        w.element(10, signedValue(random, 7));
        const int deliveries = int(random.between(0, 4));
        if (deliveries > 0) {
            w.openGroup(11);
            for (int delivery = 1; delivery <= deliveries; ++delivery) {
                if (delivery > 1)
                    w.nextOccurrence();
                w.element(12, date8(random));
                w.element(13, amount(random, 6));
                w.element(14, random.pick(words.places));
            }
            if (deliveries < 4)
                w.omitInNextOccurrence(13);
            w.closeGroup();
        }
    }
    w.closeGroup();
    if (random.chance(50))
        w.element(15, kanji(random, words.remarks, 40));
    const int notes = int(random.between(0, 3));
    if (notes > 0) {
        w.openGroup(16);
        for (int note = 1; note <= notes; ++note) {
            if (note > 1)
                w.nextOccurrence();
            w.element(17, "NOTE-" + padded(random.between(0, 9999999), 7));
        }
        w.closeGroup();
    }
    w.element(18, padded(serial % 100000000, 8));
}

void writeStock(MessageWriter& w, Random& random, const Words& words, qint64 serial)
{
    w.element(1, "SR" + padded(serial % 100000000, 14));
    w.element(2, date8(random));
    w.element(3, kanji(random, words.warehouses, 40));
    // Small reports fit one block; the others fall around and above 32000 bytes.
    const int roll = int(random.between(1, 100));
    const int lines = roll <= 30 ? int(random.between(1, 60)) : roll <= 65 ? int(random.between(380, 480))
                                                                            : int(random.between(480, 800));
    w.openGroup(4);
    for (int line = 1; line <= lines; ++line) {
        if (line > 1)
            w.nextOccurrence();
        w.element(5, partNumber(random, 14));
        w.element(6, kanji(random, words.products, 24));
        w.element(7, amount(random, 11));
        w.element(8, signedValue(random, 9));
        w.element(9, date8(random));
    }
    if (lines < 800)
        w.omitInNextOccurrence(7);
    w.closeGroup();
    w.element(10, digits(lines));
}

void writeSlip(MessageWriter& w, Random& random, const Words&, qint64 serial)
{
    w.element(1, "SL" + padded(serial % 100000000, 8));
    w.element(2, padded(random.between(0, 99), 2));
}

enum class Kind { OrderM, OrderS, Delivery, Stock, Slip };

struct KindInfo {
    const FormatDef* format;
    char mode;
    void (*write)(MessageWriter&, Random&, const Words&, qint64);
    int minMessages;
    int maxMessages;
};

KindInfo kindInfo(Kind kind)
{
    switch (kind) {
    case Kind::OrderM: return {&kOrder, 'M', writeOrder, 50, 800};
    case Kind::OrderS: return {&kOrder, 'S', writeOrder, 50, 400};
    case Kind::Delivery: return {&kDelivery, 'M', writeDelivery, 50, 600};
    case Kind::Stock: return {&kStock, 'S', writeStock, 4, 30};
    case Kind::Slip: return {&kSlip, 'M', writeSlip, 1, 50000};
    }
    return {};
}

// The local line of a message begins with this prefix.
QByteArray linePrefix(const QString& infoClass, const QByteArray& sender, const QByteArray& receiver)
{
    return QByteArray(5, ' ') + infoClass.toLatin1() + QByteArray(6, ' ') + sender.leftJustified(12, ' ')
         + receiver.leftJustified(12, ' ');
}

// The exchange reference comes from the seed, so that files made with different seeds never hold
// groups whose headers are alike (a receiving system takes such a group for one it received).
edi::MessageGroupHeader groupHeader(const FormatDef& format, char mode, const QByteArray& sender,
                                    const QByteArray& receiver, qint64 group, quint64 seed)
{
    edi::MessageGroupHeader header;
    header.fill(1, edi::FixedRecord::kSize, QString());
    header.fill(26, 12, QString::fromLatin1(sender));
    header.fill(62, 12, QString::fromLatin1(receiver));
    header.fill(74, 8, format.bpid);
    header.fill(94, 4, format.infoClass);
    header.fill(104, 2, mode == 'S' ? u"10"_s : u"11"_s);
    header.fill(106, 10, QString::number(seed % 10000000000ULL));
    header.fill(116, 12, u"2612%1%2"_s.arg(group % 28 + 1, 2, 10, QChar(u'0')).arg(group % 86400, 6, 10, QChar(u'0')));
    header.fill(146, 1, u"E"_s);
    header.data()[146] = mode;
    header.data()[148] = 'M';
    return header;
}

class Manifest {
public:
    void count(const QString& infoClass) { ++lines_[infoClass]; }
    qint64 lines(const QString& infoClass) const
    {
        const auto found = lines_.find(infoClass);
        return found == lines_.end() ? 0 : found->second;
    }
    void check(const QString& infoClass, qint64 line, qint64 position, const QByteArray& bytes)
    {
        text_ += "check " + infoClass.toLatin1() + ' ' + digits(line) + ' ' + digits(position) + ' ' + bytes.toHex()
               + '\n';
    }
    QByteArray text(qint64 bytes, qint64 groups, qint64 messages) const
    {
        QByteArray out = "bytes " + digits(bytes) + "\ngroups " + digits(groups) + "\nmessages " + digits(messages)
                       + '\n';
        for (const auto& [infoClass, lines] : lines_)
            out += "class " + infoClass.toLatin1() + ' ' + digits(lines) + '\n';
        return out + text_;
    }

private:
    std::map<QString, qint64> lines_;
    QByteArray text_;
};

void createMasters(const QString& path, const QString& schema, const std::vector<const FormatDef*>& formats)
{
    QFile::remove(path);
    edi::ConnectionSettings settings;
    settings.kind = edi::DatabaseKind::Sqlite;
    settings.dataSource = QFileInfo(path).absoluteFilePath();
    settings.environmentName = u"BENCH"_s;
    settings.createIfMissing = true;
    auto database = edi::Database::open(settings);
    edi::runSqlScript(*database, schema);
    database->inTransaction([&] {
        for (const FormatDef* format : formats) {
            database->execute({u"INSERT INTO FL1902フォーマット情報マスタ (情報区分コード, BPID, 様式識別, シンタックスIDバージョン,"
                               u" 格納モード, \"1バイト文字集合\", \"2バイト文字集合\", ローカル形式, XML文字コード)"
                               u" VALUES (?, ?, ?, 'CII300', 'M', 'K', 'M', 'FIX', 'M')"_s,
                               {format->infoClass, format->bpid, format->formIdentifier}});
            const LocalPlan plan = planLocal(*format);
            for (const QChar kind : {u'E', u'L'}) {
                for (size_t i = 0; i < format->items.size(); ++i) {
                    const ItemDef& item = format->items[i];
                    const bool group = item.attribute == 'M';
                    const bool local = kind == u'L';
                    database->execute(
                        {u"INSERT INTO FL1903レコードフォーマット情報マスタ (フォーマット種別, 情報区分コード, BPID, 項目通番,"
                         u" 対応項目通番, レベル番号, 項目№, 項目位置, 項目名称, 属性, 長さ, 小数部長さ, マルチ明細番号, 繰返し数)"
                         u" VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                         {QString(kind), format->infoClass, format->bpid, int(i + 1), int(i + 1), item.level, item.number,
                          local ? QVariant(QString::number(plan.position[i])) : QVariant(QMetaType::fromType<QString>()),
                          QString::fromUtf8(item.name), QString(QChar::fromLatin1(item.attribute)),
                          local ? localLength(item) : item.length, item.decimals,
                          group ? QVariant(QString::number(item.multiDetail)) : QVariant(QMetaType::fromType<QString>()),
                          group ? item.repeat : 0}});
                }
            }
        }
    });
}

struct Options {
    qint64 bytes = 200ll << 20;
    quint64 seed = 20261208;
    bool demoOnly = false;
    bool oneGroup = false;
    bool shortMessages = false;
    qint64 firstMessage = 1;
    QString masters;
    QString manifest;
    QString schema = QStringLiteral(EDI_SCHEMA_FILE);
    QString output;
};

[[noreturn]] void usage(const char* message)
{
    std::fprintf(stderr,
                 "edi-benchgen: %s\nusage: edi-benchgen [--mib N | --kib N] [--seed N] [--demo-only] [--one-group] [--short-messages]"
                 " [--first-message N] [--masters FILE.sqlite] [--manifest FILE] [--schema schema.sql] OUTPUT.CII\n",
                 message);
    std::exit(2);
}

Options parseOptions(const QStringList& arguments)
{
    Options options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        auto value = [&]() -> QString {
            if (i + 1 >= arguments.size())
                usage("an option needs a value");
            return arguments[++i];
        };
        auto number = [&]() -> qint64 {
            bool ok = false;
            const qint64 n = value().toLongLong(&ok);
            if (!ok || n < 0)
                usage("a number is needed");
            return n;
        };
        if (argument == u"--mib"_s)
            options.bytes = number() << 20;
        else if (argument == u"--kib"_s)
            options.bytes = number() << 10;
        else if (argument == u"--seed"_s)
            options.seed = quint64(number());
        else if (argument == u"--demo-only"_s)
            options.demoOnly = true;
        else if (argument == u"--one-group"_s)
            options.oneGroup = true;
        else if (argument == u"--short-messages"_s)
            options.shortMessages = true;
        else if (argument == u"--first-message"_s)
            options.firstMessage = std::max<qint64>(1, number());
        else if (argument == u"--masters"_s)
            options.masters = value();
        else if (argument == u"--manifest"_s)
            options.manifest = value();
        else if (argument == u"--schema"_s)
            options.schema = value();
        else if (argument.startsWith(u"--"_s) || !options.output.isEmpty())
            usage("unknown argument");
        else
            options.output = argument;
    }
    if (options.output.isEmpty())
        usage("no output file");
    return options;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const Options options = parseOptions(application.arguments().mid(1));

    const std::vector<const FormatDef*> formats = options.shortMessages ? std::vector<const FormatDef*>{&kSlip}
                                                : options.demoOnly      ? std::vector<const FormatDef*>{&kOrder}
                                                                        : std::vector<const FormatDef*>{&kOrder, &kDelivery, &kStock};
    if (!options.masters.isEmpty()) {
        try {
            createMasters(options.masters, options.schema, formats);
        } catch (const edi::DatabaseError& error) {
            std::fprintf(stderr, "edi-benchgen: %s\n", error.message().toUtf8().constData());
            return 1;
        }
    }

    std::FILE* out = std::fopen(QFile::encodeName(options.output).constData(), "wb");
    if (!out) {
        std::fprintf(stderr, "edi-benchgen: cannot write %s\n", QFile::encodeName(options.output).constData());
        return 1;
    }
    std::map<const FormatDef*, LocalPlan> plans;
    for (const FormatDef* format : formats)
        plans.emplace(format, planLocal(*format));

    Random random(options.seed);
    const Words words;
    const std::vector<QByteArray> senders{"S0001", "S0002", "K0005", "TOKYO-EDI", "OSAKA-C"};
    const std::vector<QByteArray> receivers{"R0001", "R0002", "MAKER-01"};
    // Every kind shows up early, so that a small file has them all; then a mix by weight.
    const std::vector<Kind> opening = options.demoOnly ? std::vector<Kind>{Kind::OrderM, Kind::OrderS}
                                                       : std::vector<Kind>{Kind::OrderM, Kind::Delivery, Kind::Stock,
                                                                           Kind::OrderS};
    const std::vector<Kind> weighted = options.demoOnly
        ? std::vector<Kind>{Kind::OrderM, Kind::OrderM, Kind::OrderM, Kind::OrderS}
        : std::vector<Kind>{Kind::OrderM, Kind::OrderM, Kind::OrderM, Kind::OrderS, Kind::Delivery, Kind::Delivery,
                            Kind::Delivery, Kind::Delivery, Kind::Stock, Kind::Stock};

    Manifest manifest;
    qint64 written = 0;
    qint64 groups = 0;
    qint64 messages = 0;
    QByteArray buffer;
    QByteArray body;
    std::vector<FieldCheck> checks;
    // The buffer goes out whole groups at a time, and in pieces while one large group grows.
    auto flush = [&] {
        if (std::fwrite(buffer.constData(), 1, size_t(buffer.size()), out) != size_t(buffer.size()))
            return false;
        written += buffer.size();
        buffer.clear();
        return true;
    };
    for (qint64 group = 0; written < options.bytes; ++group) {
        const Kind kind = options.shortMessages ? Kind::Slip
                        : options.oneGroup      ? (options.demoOnly ? Kind::OrderM : Kind::Delivery)
                        : group < qint64(opening.size()) ? opening[size_t(group)]
                                                         : random.pick(weighted);
        const KindInfo info = kindInfo(kind);
        const FormatDef& format = *info.format;
        const LocalPlan& plan = plans.at(info.format);
        const QByteArray sender = random.pick(senders);
        const QByteArray receiver = random.pick(receivers);
        // A small file gets small groups, so that it still holds several of them.
        const qint64 maxMessages = std::max<qint64>(info.minMessages / 10 + 1,
                                                    std::min<qint64>(info.maxMessages, options.bytes / (1 << 16)));
        // Short messages come in groups of 50,000 (a block each), fewer in a small file so that it
        // still holds about eight; the last group ends where the file reaches its size.
        const qint64 slipsPerGroup = std::clamp<qint64>(options.bytes / edi::blockSizesFor(info.mode).block / 8, 1, info.maxMessages);
        qint64 count = options.shortMessages ? slipsPerGroup
                     : options.oneGroup      ? std::numeric_limits<qint64>::max()
                                             : random.between(std::min<qint64>(info.minMessages, maxMessages), maxMessages);

        edi::appendHeaderBlock(buffer, groupHeader(format, info.mode, sender, receiver, group, options.seed));
        for (qint64 number = 1; number <= count; ++number) {
            if ((options.oneGroup || options.shortMessages) && written + buffer.size() >= options.bytes) {
                count = number - 1;  // the group has filled the file
                break;
            }
            ++messages;
            const qint64 messageNumber = options.firstMessage + messages - 1;
            manifest.count(format.infoClass);
            // The first and the last message of each group and one in 997 are checked.
            const bool sampled = number == 1 || number == count || messages % 997 == 0;
            checks.clear();
            MessageWriter writer(format, plan, body, sampled ? &checks : nullptr);
            info.write(writer, random, words, messageNumber);
            edi::appendMessageBlocks(buffer, qint32(number), body, info.mode);
            if (sampled) {
                const qint64 line = manifest.lines(format.infoClass);
                manifest.check(format.infoClass, line, 1, linePrefix(format.infoClass, sender, receiver));
                // All fields of a small message; about twenty of a large one.
                for (size_t i = 0; i < checks.size(); ++i) {
                    if (checks.size() <= 40 || random.between(1, qint64(checks.size())) <= 20)
                        manifest.check(format.infoClass, line, 40 + checks[i].offset, checks[i].bytes);
                }
            }
            if (buffer.size() >= (1 << 20) && !flush()) {
                std::fprintf(stderr, "edi-benchgen: writing failed\n");
                return 1;
            }
        }
        // The count has five digits, as the message numbers have.
        edi::MessageGroupTrailer trailer;
        trailer.fill(1, edi::FixedRecord::kSize, QString::number(count % 100000).rightJustified(5, u'0'));
        edi::appendTrailerBlock(buffer, trailer);
        if (!flush()) {
            std::fprintf(stderr, "edi-benchgen: writing failed\n");
            return 1;
        }
        ++groups;
    }
    if (std::fclose(out) != 0) {
        std::fprintf(stderr, "edi-benchgen: writing failed\n");
        return 1;
    }

    if (!options.manifest.isEmpty()) {
        QFile file(options.manifest);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(manifest.text(written, groups, messages)) < 0) {
            std::fprintf(stderr, "edi-benchgen: cannot write the manifest\n");
            return 1;
        }
    }
    std::printf("%s: %lld bytes, %lld message groups, %lld messages\n",
                QFile::encodeName(options.output).constData(), static_cast<long long>(written),
                static_cast<long long>(groups), static_cast<long long>(messages));
    return 0;
}
