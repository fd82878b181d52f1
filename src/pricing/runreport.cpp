#include "pricing/runreport.h"

#include <QLocale>

namespace krt::pricing {

namespace {

// How many category codes the confirmation names before it counts the rest.
constexpr int NamedCategories = 60;

QString categoryCodes(const QStringList &codes)
{
    if (codes.size() <= NamedCategories)
        return codes.join(QStringLiteral(", "));
    return QStringList(codes.mid(0, NamedCategories)).join(QStringLiteral(", ")) +
           QStringLiteral(" …ほか %1 分類").arg(codes.size() - NamedCategories);
}

QString priceText(const QVariant &price)
{
    return price.isNull() ? QStringLiteral("(Null)") : QLocale::c().toString(price.toDouble(), 'f', 0);
}

} // namespace

RoundingCaptions roundingCaptions(const ConversionParams &params)
{
    RoundingCaptions captions;
    for (const PriceKind kind : {Goods, AddOn}) {
        captions.method[kind] = HasuCaptions[static_cast<std::size_t>(qBound(0, params.HASU_FLG[kind], 3))];
        captions.digit[kind] = KetaCaptions[static_cast<std::size_t>(qBound(0, params.HASU_ICHI[kind], 3))];
    }
    return captions;
}

QString conditionsText(const ConversionParams &params, int calcMethod, const RoundingCaptions &captions)
{
    const QString rates = calcMethod == 0 ? QStringLiteral("税抜き → 税込 %1%").arg(params.TAX_END[0])
                          : calcMethod == 1
                              ? QStringLiteral("税込 %1% → 税込 %2%").arg(params.TAX_ST[1], params.TAX_END[1])
                              : QStringLiteral("税込 %1% → 税抜き").arg(params.TAX_ST[2]);
    const auto rounding = [&](PriceKind kind) {
        return params.HASU_FLG[kind] == HasuNone
                   ? captions.method[kind]
                   : captions.method[kind] + QLatin1Char(' ') + captions.digit[kind];
    };
    return QStringLiteral("計算方法: %1\n端数処理: 商品 %2、付加 %3")
        .arg(rates, rounding(Goods), rounding(AddOn));
}

QString stockModeText(int stockMode, const QString &stockModeSource, const QString &taxPresetSource)
{
    const QString mode =
        stockMode != 0 ? QStringLiteral("在庫も変換する") : QStringLiteral("在庫は棚卸後に変換");
    const QString modeSource = stockModeSource.isEmpty()
                                   ? QStringLiteral("システムパラメータ 1200 が読めないため既定値")
                                   : QStringLiteral("システムパラメータ 1200 = %1").arg(stockModeSource);
    const QString presetSource = taxPresetSource.isEmpty()
                                     ? QStringLiteral("システムパラメータ 3080 が読めないため初期値なし")
                                     : QStringLiteral("システムパラメータ 3080 = %1").arg(taxPresetSource);
    return QStringLiteral("在庫: %1（%2）\n税抜き → 税込の新税率の初期値: %3")
        .arg(mode, modeSource, presetSource);
}

QString confirmationDetails(const RunPreview &preview, const QStringList &categories,
                            const QString &conditions, const QString &stockMode, const QString &changeList)
{
    const QLocale c = QLocale::c();
    QStringList samples;
    for (const PreviewSample &s : preview.samples)
        samples << QStringLiteral("  %1-%2  標準売価 %3 → %4  売価 %5 → %6")
                       .arg(s.itemCd)
                       .arg(s.detailNo)
                       .arg(priceText(s.standard), priceText(s.standardNew), priceText(s.retail),
                            priceText(s.retailNew));
    return QStringLiteral("対象: %1 分類、商品 %2 件\n")
               .arg(c.toString(preview.categories), c.toString(preview.goods)) +
           QStringLiteral("分類: %1\n").arg(categoryCodes(categories)) + conditions + QLatin1Char('\n') +
           stockMode + QLatin1Char('\n') + changeList +
           (samples.isEmpty() ? QString() : QStringLiteral("\n変換例:\n") + samples.join(QLatin1Char('\n')));
}

QStringList summaryLines(const RunCounts &counts, int stockMode)
{
    const QLocale c = QLocale::c();
    QStringList lines = {QStringLiteral("変換した分類: %1 件").arg(c.toString(counts.categories)),
                         QStringLiteral("商品マスタ (MGOODS): %1 行").arg(c.toString(counts.mgoods))};
    if (stockMode != 0)
        lines << QStringLiteral("在庫 (IZAIKO): %1 行").arg(c.toString(counts.izaiko))
              << QStringLiteral("入出庫 (IIODATA): %1 行").arg(c.toString(counts.iiodata));
    if (counts.skipped > 0)
        lines << QStringLiteral("他の担当者が先に変換した分類: %1 件").arg(c.toString(counts.skipped));
    return lines;
}

QStringList warningLines(const QStringList &warnings)
{
    if (warnings.isEmpty())
        return {};
    return QStringList{QStringLiteral("警告:")} + warnings;
}

DbErrors failureReport(const PriceUpdater &updater, int stockMode)
{
    return updater.failure() +
           DbErrors{programError(summaryLines(updater.counts(), stockMode).join(QLatin1Char('\n')))};
}

QString runSummary(const PriceUpdater &updater, int stockMode, const ChangeList *changes)
{
    QStringList lines = summaryLines(updater.counts(), stockMode);
    if (changes)
        lines.append(changeListSummary(*changes));
    return (lines + warningLines(updater.warnings())).join(QLatin1Char('\n'));
}

QString runLogLine(const RunRecord &record)
{
    const ConversionParams &p = record.params;
    const QStringList fields = {
        record.at.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")),
        record.catalog,
        record.entry,
        QStringLiteral("在庫区分=%1").arg(record.stockMode),
        QStringLiteral("計算方法=%1").arg(record.calcMethod),
        QStringLiteral("旧税率=%1").arg(record.oldRate),
        QStringLiteral("新税率=%1").arg(record.newRate),
        QStringLiteral("商品端数=%1").arg(p.HASU_FLG[Goods]),
        QStringLiteral("商品桁=%1").arg(p.exponent(Goods)),
        QStringLiteral("付加端数=%1").arg(p.HASU_FLG[AddOn]),
        QStringLiteral("付加桁=%1").arg(p.exponent(AddOn)),
        QStringLiteral("分類=%1").arg(record.counts.categories),
        QStringLiteral("MGOODS=%1").arg(record.counts.mgoods),
        QStringLiteral("IZAIKO=%1").arg(record.counts.izaiko),
        QStringLiteral("IIODATA=%1").arg(record.counts.iiodata),
        QStringLiteral("変換済み=%1").arg(record.counts.skipped),
    };
    // The outcome stays the last field.
    QStringList extra;
    if (!record.changeList.isEmpty())
        extra.append(QStringLiteral("変更一覧=%1").arg(record.changeList));
    for (const QString &warning : record.warnings)
        extra.append(
            QStringLiteral("警告=%1").arg(QString(warning).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    extra.append(
        QStringLiteral("結果=%1").arg(QString(record.outcome).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    return (fields + extra).join(QLatin1Char('\t'));
}

} // namespace krt::pricing
