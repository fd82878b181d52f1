#pragma once

#include "db/connection.h"
#include "pricing/conversionparams.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <map>
#include <optional>

namespace krt::pricing {

// What a run is about to do, read before it changes anything: the categories of the work list,
// the goods in them, and a few goods with their prices now and after the conversion, computed by
// the database with the very expressions the run will send.

// The goods of every category, counted in one statement by the database: "code-number" (the code
// without trailing blanks, a Null sub-category as 0) to its goods.
using GoodsCounts = std::map<QString, qint64>;
QString goodsCountKey(const QString &itemCd, int detailNo);
std::optional<GoodsCounts> goodsByCategory(Connection &connection);

// The standard and retail prices of the goods of one category, each followed by its converted
// value (HYOJYUN_NEW, KOURI_NEW) as the run's expression computes it. Nothing is written.
QString previewSql(const QString &itemCd, int detailNo, const ConversionParams &params, int calcMethod);

struct PreviewSample
{
    QString itemCd;
    int detailNo = 0;
    QVariant standard;
    QVariant standardNew;
    QVariant retail;
    QVariant retailNew;
};

struct RunPreview
{
    int categories = 0;
    qint64 goods = 0;
    QList<PreviewSample> samples;
};

// Reads the preview of a run with the panel's parameters; nothing when the database cannot be
// read (the connection's errors say why).
std::optional<RunPreview> previewRun(Connection &connection, const ConversionParams &params, int calcMethod,
                                     int sampleCount);

} // namespace krt::pricing
