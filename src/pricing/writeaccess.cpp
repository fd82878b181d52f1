#include "pricing/writeaccess.h"

namespace krt::pricing {

QList<WriteProbe> writeProbes(int stockMode)
{
    // Each right the program uses: the work list is filled, marked and recorded, and emptied with
    // the price backup by the category clear; the price tables are updated.
    struct Right
    {
        const char *table;
        const char *right;
        const char *read;
        const char *write;
    };
    QList<Right> rights = {{"MITEMCNT", "UPDATE", "SELECT CHK FROM MITEMCNT WHERE 1 = 0",
                            "UPDATE MITEMCNT SET CHK = CHK WHERE 1 = 0"},
                           {"MITEMCNT", "INSERT", "SELECT ITEM_CD FROM MITEMCNT WHERE 1 = 0",
                            "INSERT INTO MITEMCNT (ITEM_CD) SELECT ITEM_CD FROM MITEMCNT WHERE 1 = 0"},
                           {"MITEMCNT", "DELETE", "SELECT ITEM_CD FROM MITEMCNT WHERE 1 = 0",
                            "DELETE FROM MITEMCNT WHERE 1 = 0"},
                           {"IZSELL_MENT", "DELETE", "SELECT COUNT(*) AS CNT FROM IZSELL_MENT WHERE 1 = 0",
                            "DELETE FROM IZSELL_MENT WHERE 1 = 0"},
                           {"MGOODS", "UPDATE", "SELECT HYOJYUN_PRC FROM MGOODS WHERE 1 = 0",
                            "UPDATE MGOODS SET HYOJYUN_PRC = HYOJYUN_PRC WHERE 1 = 0"}};
    if (stockMode != 0)
        rights += {{"IZAIKO", "UPDATE", "SELECT HYOJYUN_PRC FROM IZAIKO WHERE 1 = 0",
                    "UPDATE IZAIKO SET HYOJYUN_PRC = HYOJYUN_PRC WHERE 1 = 0"},
                   {"IIODATA", "UPDATE", "SELECT HYOJYUN_PRC FROM IIODATA WHERE 1 = 0",
                    "UPDATE IIODATA SET HYOJYUN_PRC = HYOJYUN_PRC WHERE 1 = 0"}};
    QList<WriteProbe> probes;
    for (const Right &r : rights)
        probes.append(
            {QLatin1String(r.table), QLatin1String(r.right), QLatin1String(r.read), QLatin1String(r.write)});
    return probes;
}

std::optional<WriteRefusal> findWriteRefusal(Connection &connection, int stockMode)
{
    // The write goes first and on its own: it changes no row, and taking the write lock first
    // waits for another operator's category instead of failing on a read snapshot that a commit
    // has overtaken.
    for (const WriteProbe &probe : writeProbes(stockMode)) {
        if (connection.execute(probe.write))
            continue;
        WriteRefusal refusal{probe.table, probe.right, connection.errors()};
        if (!connection.openRecordset(probe.read))
            return std::nullopt;
        return refusal;
    }
    return std::nullopt;
}

} // namespace krt::pricing
