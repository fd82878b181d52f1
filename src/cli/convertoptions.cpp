#include "cli/convertoptions.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace krt::cli {

namespace {

const QString ConvertCommand = QStringLiteral("convert");
const QStringList Roundings = {QStringLiteral("none"), QStringLiteral("up"), QStringLiteral("down"),
                               QStringLiteral("half-up")};
const QStringList Digits = {QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("100"),
                            QStringLiteral("1000")};
constexpr int AddOnDigits = 3; // add-on prices have no thousands

// A rate as the panel's box takes it: one or two digits.
bool isRate(const QString &text)
{
    static const QRegularExpression rate(QStringLiteral("^[0-9]{1,2}$"));
    return rate.match(text).hasMatch();
}

// "CODE" or "CODE-NO": the number after the last "-" when it is a whole number, 0 otherwise.
std::optional<CategoryChoice::Code> categoryCode(const QString &text)
{
    static const QRegularExpression withNumber(QStringLiteral("^(.+)-([0-9]{1,9})$"));
    if (text.isEmpty() || text.contains(QLatin1Char(' ')))
        return std::nullopt;
    const QRegularExpressionMatch match = withNumber.match(text);
    if (match.hasMatch())
        return CategoryChoice::Code{match.captured(1), match.captured(2).toInt(), text};
    if (text.endsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('-')))
        return std::nullopt;
    return CategoryChoice::Code{text, 0, text};
}

ParsedCommand refuse(const QString &error)
{
    ParsedCommand command;
    command.action = ParsedCommand::Error;
    command.error = error;
    return command;
}

} // namespace

ConversionParams ConvertOptions::params(const QString &taxPreset) const
{
    ConversionParams p;
    p.CalcMethod = calcMethod;
    p.TAX_ST[0] = QStringLiteral("0");
    p.TAX_END[2] = QStringLiteral("0");
    p.TAX_END[0] = taxPreset;
    const auto method = static_cast<std::size_t>(calcMethod);
    if (calcMethod != 0)
        p.TAX_ST[method] = oldRate;
    if (calcMethod != 2 && !newRate.isEmpty())
        p.TAX_END[method] = newRate;
    p.HASU_FLG = hasuFlg;
    p.HASU_ICHI = hasuIchi;
    return p;
}

ParsedCommand parseCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption db(QStringLiteral("db"), QString(), QStringLiteral("DAT"));
    const QCommandLineOption method(QStringLiteral("method"), QString(), QStringLiteral("METHOD"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("RATE"));
    const QCommandLineOption to(QStringLiteral("to"), QString(), QStringLiteral("RATE"));
    const QCommandLineOption goodsRounding(QStringLiteral("goods-rounding"), QString(),
                                           QStringLiteral("WAY"));
    const QCommandLineOption goodsDigit(QStringLiteral("goods-digit"), QString(), QStringLiteral("DIGIT"));
    const QCommandLineOption addOnRounding(QStringLiteral("addon-rounding"), QString(),
                                           QStringLiteral("WAY"));
    const QCommandLineOption addOnDigit(QStringLiteral("addon-digit"), QString(), QStringLiteral("DIGIT"));
    const QCommandLineOption categories(QStringLiteral("categories"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption yes(QStringLiteral("yes"));
    parser.addOptions({help, version, db, method, from, to, goodsRounding, goodsDigit, addOnRounding,
                       addOnDigit, categories, yes});
    if (!parser.parse(arguments))
        return refuse(parser.errorText());

    ParsedCommand command;
    if (parser.isSet(help)) {
        command.action = ParsedCommand::Help;
        return command;
    }
    if (parser.isSet(version)) {
        command.action = ParsedCommand::Version;
        return command;
    }
    if (parser.positionalArguments() != QStringList{ConvertCommand})
        return refuse(
            parser.positionalArguments().isEmpty()
                ? QStringLiteral("コマンド（convert）がありません。")
                : QStringLiteral("不明な引数: %1").arg(parser.positionalArguments().join(QLatin1Char(' '))));
    for (const QCommandLineOption &single :
         {method, from, to, goodsRounding, goodsDigit, addOnRounding, addOnDigit, categories})
        if (parser.values(single).size() > 1)
            return refuse(QStringLiteral("--%1 が二度以上あります。").arg(single.names().constFirst()));

    ConvertOptions &o = command.options;
    // Databases: list entries in the order given, or all of them.
    const QStringList entries = parser.values(db);
    if (entries.isEmpty())
        return refuse(QStringLiteral("--db がありません（DAT1～DAT5 か all）。"));
    static const QRegularExpression entry(QStringLiteral("^DAT[1-5]$"));
    for (const QString &value : entries) {
        if (value == QStringLiteral("all")) {
            if (entries.size() > 1)
                return refuse(QStringLiteral("--db all はほかの --db と一緒に使えません。"));
            o.allDatabases = true;
        } else if (!entry.match(value).hasMatch()) {
            return refuse(QStringLiteral("--db %1: データベースは DAT1～DAT5 か all です。").arg(value));
        } else if (o.databases.contains(value)) {
            return refuse(QStringLiteral("--db %1 が二度あります。").arg(value));
        } else {
            o.databases.append(value);
        }
    }

    // The method and its rates, as the panel's boxes of that method take them.
    if (parser.isSet(method)) {
        const QString value = parser.value(method);
        if (value != QStringLiteral("0") && value != QStringLiteral("1") && value != QStringLiteral("2"))
            return refuse(QStringLiteral("--method %1: 計算方法は 0、1、2 です。").arg(value));
        o.calcMethod = value.toInt();
    }
    for (const QCommandLineOption &rate : {from, to})
        if (parser.isSet(rate) && !isRate(parser.value(rate)))
            return refuse(QStringLiteral("--%1 %2: 税率は 1～2 桁の数字です。")
                              .arg(rate.names().constFirst(), parser.value(rate)));
    if (o.calcMethod == 0 && parser.isSet(from))
        return refuse(QStringLiteral("計算方法 0（税抜き → 税込）に旧税率（--from）はありません。"));
    if (o.calcMethod == 2 && parser.isSet(to))
        return refuse(QStringLiteral("計算方法 2（税込 → 税抜き）に新税率（--to）はありません。"));
    if (o.calcMethod != 0 && !parser.isSet(from))
        return refuse(QStringLiteral("計算方法 %1 には旧税率（--from）が要ります。").arg(o.calcMethod));
    if (o.calcMethod == 1 && !parser.isSet(to))
        return refuse(QStringLiteral("計算方法 1 には新税率（--to）が要ります。"));
    o.oldRate = parser.value(from);
    o.newRate = parser.value(to);

    // Rounding of goods and of add-on prices: a method and the digit at which it acts.
    const struct
    {
        PriceKind kind;
        const QCommandLineOption &rounding;
        const QCommandLineOption &digit;
        int digits;
    } kinds[] = {{Goods, goodsRounding, goodsDigit, static_cast<int>(Digits.size())},
                 {AddOn, addOnRounding, addOnDigit, AddOnDigits}};
    for (const auto &k : kinds) {
        if (parser.isSet(k.rounding)) {
            const qsizetype code = Roundings.indexOf(parser.value(k.rounding));
            if (code < 0)
                return refuse(QStringLiteral("--%1 %2: 端数処理は none、up、down、half-up です。")
                                  .arg(k.rounding.names().constFirst(), parser.value(k.rounding)));
            o.hasuFlg[k.kind] = static_cast<int>(code);
        }
        if (parser.isSet(k.digit)) {
            const qsizetype position = Digits.mid(0, k.digits).indexOf(parser.value(k.digit));
            if (position < 0)
                return refuse(QStringLiteral("--%1 %2: 桁は %3 です。")
                                  .arg(k.digit.names().constFirst(), parser.value(k.digit),
                                       Digits.mid(0, k.digits).join(QStringLiteral("、"))));
            o.hasuIchi[k.kind] = static_cast<int>(position);
        }
    }

    // The categories.
    const QString list = parser.isSet(categories) ? parser.value(categories) : QStringLiteral("all");
    if (list == QStringLiteral("all")) {
        o.categories.kind = CategoryChoice::All;
    } else if (list == QStringLiteral("marked")) {
        o.categories.kind = CategoryChoice::Marked;
    } else {
        o.categories.kind = CategoryChoice::Codes;
        for (const QString &text : list.split(QLatin1Char(','))) {
            const std::optional<CategoryChoice::Code> code = categoryCode(text);
            if (!code)
                return refuse(QStringLiteral("--categories %1: 分類は all、marked か、コード（02）と"
                                             "コード-中分類番号（01-1）のカンマ区切りです。")
                                  .arg(list));
            const bool repeated =
                std::any_of(o.categories.codes.cbegin(), o.categories.codes.cend(),
                            [&code](const CategoryChoice::Code &c) {
                                return c.itemCd == code->itemCd && c.detailNo == code->detailNo;
                            });
            if (!repeated)
                o.categories.codes.append(*code);
        }
    }
    o.yes = parser.isSet(yes);
    command.action = ParsedCommand::Convert;
    return command;
}

QString usageText()
{
    return QStringLiteral(
        "使い方:\n"
        "  krt550 convert --db DAT1 [--db DAT2 …] | --db all\n"
        "                 --method 0|1|2  --from RATE  --to RATE\n"
        "                 [--goods-rounding none|up|down|half-up] [--goods-digit 1|10|100|1000]\n"
        "                 [--addon-rounding none|up|down|half-up] [--addon-digit 1|10|100]\n"
        "                 [--categories all|marked|CODE[-NO],…]  [--yes]\n"
        "  krt550 --help | --version\n"
        "\n"
        "  --db          ＤＢ選択の項目（DAT1～DAT5）。複数なら順に、all なら一覧のすべてを順に変換します。\n"
        "  --method      0 税抜き → 税込（--to、省略時はシステムパラメータ 3080 の税率）\n"
        "                1 税込 → 税込（--from と --to、既定）\n"
        "                2 税込 → 税抜き（--from）\n"
        "  --from, --to  旧税率と新税率（%、1～2 桁の数字）。\n"
        "  --goods-rounding, --addon-rounding\n"
        "                商品と商品加算の端数処理: none なし（既定）、up 切上げ、down 切捨て、half-up "
        "四捨五入。\n"
        "  --goods-digit, --addon-digit\n"
        "                端数処理の桁: 1 １の位（既定）、10 １０の位、100 １００の位、1000 "
        "１０００の位（商品のみ）。\n"
        "  --categories  all 全選択（F7）と同じ分類（既定）、marked 作業リストで選択済みの分類、\n"
        "                または分類コード（02）とコード-中分類番号（01-1）のカンマ区切り。\n"
        "  --yes         変換します。ないときは変換の内容を表示するだけで、何も書き込みません。\n"
        "\n"
        "終了コード: 0 変換した（--yes なしでは表示した）、1 変換前に断った（何も変更していない）、\n"
        "  2 分類の変換に失敗した（それまでの分類は変換済み）、3 引数か設定の誤り、\n"
        "  4 SIGINT/SIGTERM で中止した（変換中の分類は確定済み）。");
}

} // namespace krt::cli
