#include "writeaccess.h"

namespace krt::pricing {

QList<WriteProbe> writeProbes(int stockMode)
{
    QList<std::pair<const char *, const char *>> columns = {{"MITEMCNT", "CHK"}, {"MGOODS", "HYOJYUN_PRC"}};
    if (stockMode != 0)
        columns += {{"IZAIKO", "HYOJYUN_PRC"}, {"IIODATA", "HYOJYUN_PRC"}};
    QList<WriteProbe> probes;
    for (const auto &[table, column] : columns) {
        const QString t = QLatin1String(table);
        const QString c = QLatin1String(column);
        probes.append({t, QStringLiteral("SELECT %1 FROM %2 WHERE 1 = 0").arg(c, t),
                       QStringLiteral("UPDATE %2 SET %1 = %1 WHERE 1 = 0").arg(c, t)});
    }
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
        WriteRefusal refusal{probe.table, connection.errors()};
        if (!connection.openRecordset(probe.read))
            return std::nullopt;
        return refusal;
    }
    return std::nullopt;
}

} // namespace krt::pricing
