#include "pricing/runreport.h"

#include <QLocale>

namespace krt::pricing {

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
