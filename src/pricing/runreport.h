#pragma once

#include "pricing/changelist.h"
#include "pricing/priceupdate.h"
#include "pricing/runpreview.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>

namespace krt::pricing {

// The texts of a run, the same whether the window asks and reports in its boxes or the command
// line writes them out.

// The captions of the rounding options as the condition panel shows them: the rounding methods
// by code, the digit positions by position (add-on prices offer the first three).
inline const std::array<QString, 4> HasuCaptions = {QStringLiteral("なし"), QStringLiteral("切上げ"),
                                                    QStringLiteral("切捨て"), QStringLiteral("四捨五入")};
inline const std::array<QString, 4> KetaCaptions = {QStringLiteral("１の位"), QStringLiteral("１０の位"),
                                                    QStringLiteral("１００の位"),
                                                    QStringLiteral("１０００の位")};

// The captions of the rounding chosen for each price kind (indexed by PriceKind): the method, and
// the digit position (not shown when the method is なし).
struct RoundingCaptions
{
    std::array<QString, 2> method;
    std::array<QString, 2> digit;
};
// The captions of the rounding the parameters hold.
RoundingCaptions roundingCaptions(const ConversionParams &params);

// The method with its old and new rates, and the rounding of goods and add-on prices.
QString conditionsText(const ConversionParams &params, int calcMethod, const RoundingCaptions &captions);

// The stock mode of the run and where it and the tax preset came from: the parameter's value as
// read, or, when the source is empty, that it could not be read and was assumed.
QString stockModeText(int stockMode, const QString &stockModeSource, const QString &taxPresetSource);

// What the confirmation of a run shows under its question: the categories and goods, the codes of
// the categories (the first 60, then a count), the conditions, the stock mode and a few goods with
// their prices now and after; the change list line before the goods.
QString confirmationDetails(const RunPreview &preview, const QStringList &categories,
                            const QString &conditions, const QString &stockMode, const QString &changeList);

// The lines that tell the operator what a run converted: categories, and rows in each table.
QStringList summaryLines(const RunCounts &counts, int stockMode);

// What a failed category is reported with (message 40275): why it failed, as the database or the
// run said it, then what the run had committed before it.
DbErrors failureReport(const PriceUpdater &updater, int stockMode);

// What ends a run: what it converted, its change list when it wrote one, and its warnings.
QString runSummary(const PriceUpdater &updater, int stockMode, const ChangeList *changes);

// The warnings of a run under a heading, for the box that ends it; nothing without warnings.
QStringList warningLines(const QStringList &warnings);

// One line of the run log, so that the shop can tell later what was converted when: the moment,
// the database, the parameters, the counts and the outcome, as tab-separated "name=value" fields
// after the moment and the database.
struct RunRecord
{
    QDateTime at;
    QString catalog; // e.g. TMCS01
    QString entry;   // the list entry, e.g. DAT2
    int stockMode = 0;
    int calcMethod = 0;
    QString oldRate;
    QString newRate;
    ConversionParams params;
    RunCounts counts;
    QString outcome;
    QString changeList;   // the run's change list, empty when none is written
    QStringList warnings; // what the run found wrong without failing
};
QString runLogLine(const RunRecord &record);

} // namespace krt::pricing
