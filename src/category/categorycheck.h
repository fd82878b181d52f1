#pragma once

#include "db/connection.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace krt {

// A failure inside one of the family's components, as its caller reports it: number, source
// and description.
struct ComponentError
{
    long number = 0;
    QString source;
    QString description;
};

// The data part of the family's category check (QLM522.QLM522C1; the component with its print
// preview is QLM522C1 in widgets/unmatchedpreview.h). A category key in use that the category masters
// do not know is unmatched: its goods would never be converted. The keys in use are those of the
// goods master MGOODS and, when HonShiten is not 0, also those of the stock table IZAIKO (the
// stock is then converted directly). A key is unmatched when its DAI_BUNRUI_CD has no MITEMCD
// row, or when its CHU_BUNRUI_CD (neither Null nor 0) has no MITEMDTL row of detail kind '71'
// under that major category. Reads through the program's connection; a database that cannot be
// read throws ComponentError.
class CategoryCheck
{
public:
    // One unmatched key with the number of goods (MGOODS rows) and, when the stock is checked,
    // of stock rows (IZAIKO, one per store and goods) that carry it.
    struct UnmatchedKey
    {
        QString daiBunruiCd;
        QString chuBunruiCd; // "0" for goods without a sub-category
        int goodsCount = 0;
        int stockCount = 0;
    };

    explicit CategoryCheck(Connection *connection);

    // The statement that lists the unmatched keys with their number of goods, and of stock rows
    // when the stock is checked too.
    static QString unmatchedSql(bool withStock);

    void setHonShiten(int value);
    int HonShiten() const { return m_honShiten; }

    // The number of unmatched keys: 0 exactly when there are none, capped at the largest short.
    // "UnMutch" (unmatched) here and in PrintUnMutch is the family's own spelling of the method names.
    short GetUnMutch();

    // The unmatched keys in category order, read once per HonShiten value.
    const QList<UnmatchedKey> &unmatched();
    // The database checked (its catalog) and when its keys were read.
    QString catalog() const;
    QDateTime checkedAt() const { return m_checkedAt; }

private:
    Connection *m_connection;
    int m_honShiten = 0;
    std::optional<QList<UnmatchedKey>> m_unmatched; // read once per HonShiten value
    QDateTime m_checkedAt;                          // when m_unmatched was read
};

} // namespace krt
