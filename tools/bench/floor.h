#pragma once

#include "pricing/conversionparams.h"
#include "pricing/pricereadings.h"

#include <QString>

#include <array>

namespace krt::bench {

// The price tables a direct-mode run writes.
enum class PriceTable { MGoods, IIoData, IZaiko };
inline constexpr std::array<PriceTable, 3> PriceTables{PriceTable::MGoods, PriceTable::IIoData,
                                                       PriceTable::IZaiko};

// What the floor statements need besides the conversion parameters: the run values of the
// program's run.
struct FloorValues
{
    int calcMethod = 1;
    QString sysYm;     // the first month of IIODATA converted
    QString koushinDt; // the timestamp written into MGOODS and IZAIKO
    bool inventNewVersion = false;
    pricing::PriceReadings readings; // how the program reads each price column of the database
};

// How the floor reads the stored prices: as the program does, every price column read as
// DECIMAL(19, 4) for exact decimal arithmetic where its type needs it (the values' readings), or
// plain, every column as the engine stores it (what the exactness costs; its prices may differ
// where a column is not decimal).
enum class Reading { Exact, Plain };

// The condition of the rows of the categories a run over the whole work list converts: every
// category that is not tax-free.
extern const QString ListedCategories;

// The engine's floor for one price table: the program's price expressions applied by one UPDATE
// to every row of the table that a run over the whole work list converts (the rows of every
// category that is not tax-free; of IIODATA the months from the system month on, of IZAIKO the
// rows holding stock). The condition names no category key, so the engine reads the table from
// end to end instead of one category at a time.
QString floorStatement(PriceTable table, const ConversionParams &params, const FloorValues &values,
                       Reading reading = Reading::Exact);

// The floor's statement of a price table restricted to one category of the work list, with the
// run's own condition of the category's rows: what the engine's reading of a table one category
// at a time costs, without the program.
QString categoryFloorStatement(PriceTable table, const ConversionParams &params, const FloorValues &values,
                               const QString &itemCd, int detailNo);

// The name of a price table.
QString tableName(PriceTable table);

} // namespace krt::bench
