#pragma once

#include "pricing/conversionparams.h"
#include "pricing/pricereadings.h"

#include <QDate>
#include <QString>

#include <array>
#include <optional>

namespace krt::pricing {

// A price column of MGOODS and the kind of price it holds, which decides its rounding.
struct PriceColumn
{
    const char *name;
    PriceKind kind;
};

// The price columns of MGOODS in the order the statements assign them: three goods prices, then
// six add-on prices.
inline constexpr std::array<PriceColumn, 9> MGoodsColumns{{{"HYOJYUN_PRC", Goods},
                                                           {"KOURI_PRC", Goods},
                                                           {"OROSI_PRC", Goods},
                                                           {"H_ADD1_PRC", AddOn},
                                                           {"K_ADD1_PRC", AddOn},
                                                           {"O_ADD1_PRC", AddOn},
                                                           {"H_ADD2_PRC", AddOn},
                                                           {"K_ADD2_PRC", AddOn},
                                                           {"O_ADD2_PRC", AddOn}}};

// The statements of the price update run, each one text built from fixed fragments, price
// expressions and values. Text values between single quotes have their quotes doubled. The price
// expressions read each column as the readings give (by default, exactly).

// The parameters a run recorded for a category in MITEMCNT, as the pending conversion reads them.
struct StoredParams
{
    int oldRate = 0;
    int newRate = 0;
    QString goodsCode;     // GOODS_HASU_FLG
    QString goodsExponent; // GOODS_HASU_ICHI
    QString addOnCode;     // GADD_HASU_FLG
    QString addOnExponent; // GADD_HASU_ICHI
};

// The rows of one sub-category, or for 0 the rows without a sub-category, in the given column.
QString subCategoryClause(const QString &column, int detailNo);

// The price rows of one category: "(DAI_BUNRUI_CD = '...') " and the sub-category clause.
QString categoryCondition(const QString &itemCd, int detailNo);

// The marked categories not converted yet, inventory categories first.
QString workListQuery();

// The price statements of a run's categories, converted with the panel parameters. What they
// assign is the same for every category of a run: it is built once, and each statement adds the
// category's rows.
class CategoryStatements
{
public:
    CategoryStatements(const ConversionParams &params, int calcMethod, const QString &koushinDt,
                       const PriceReadings &readings = {});

    // The converted and rounded price of an MGOODS price column, as the statements assign it.
    QString goodsPrice(const PriceColumn &column) const;
    // The MGOODS prices of a category.
    QString mgoods(const QString &itemCd, int detailNo) const;
    // The IIODATA prices of a category from the system month on. The month goes into the
    // statement unquoted, so anything but a year and month "yyyymm" fails (no text).
    std::optional<QString> iioData(const QString &itemCd, int detailNo, const QString &sysYm) const;
    // The IZAIKO prices of a category in the rows that hold stock: with the new inventory version
    // the rows with a stock quantity, otherwise also those with a consignment quantity.
    QString izaiko(const QString &itemCd, int detailNo, bool inventNewVersion) const;

private:
    std::array<QString, MGoodsColumns.size()> m_goodsPrices; // in the order of MGoodsColumns
    QString m_mgoods;                                        // up to its WHERE
    QString m_iioData;                                       // up to its WHERE
    QString m_izaiko;                                        // up to the rows that hold stock
};

// The inventory categories recorded by a run and not completed yet, with their parameters.
QString pendingListQuery();

// The converted and rounded price of an MGOODS price column with the parameters recorded for a
// category; no text when a recorded exponent is not a whole number.
std::optional<QString> pendingGoodsPrice(const PriceColumn &column, const StoredParams &stored,
                                         const PriceReadings &readings);

// The MGOODS prices of a recorded category converted with its recorded parameters; no text when
// a recorded exponent is not a whole number.
std::optional<QString> pendingMGoodsStatement(const QString &itemCd, int detailNo, const StoredParams &stored,
                                              const QString &koushinDt, const PriceReadings &readings = {});

// Records a category as converted today with the panel parameters, and completes it at once when
// its inventory flag is "0" (trailing blanks ignored). Only a row still unconverted is recorded, so that a
// category read into two operators' work lists is converted once. No text when a rate of the method is not a
// whole number.
std::optional<QString> recordStatement(const QString &itemCd, int detailNo, const QString &invFlg,
                                       const ConversionParams &params, int calcMethod, const QDate &today);

// Completes every recorded inventory category.
QString completionStatement(const QDate &today);

// The goods of every category: DAI_BUNRUI_CD, CHU_BUNRUI_CD, CNT.
QString goodsByCategorySql();

// How many rows of a category key are recorded (UPDATE_DATE set), or with completed also
// complete: what the run reads back when its record or claim changed no row, to tell a category
// another operator converted from one that is gone from the work list.
QString recordedRowsQuery(const QString &itemCd, int detailNo, bool completed);

// Completes one recorded inventory category, only while it is still recorded and not completed:
// the pending conversion claims each category with it and converts the category's prices only
// when it changed the row, so that a category two operators read as pending is converted once.
QString pendingClaimStatement(const QString &itemCd, int detailNo, const QDate &today);

} // namespace krt::pricing
