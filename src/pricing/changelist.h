#pragma once

#include "db/connection.h"
#include "pricing/pricestatements.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace krt::pricing {

// The change list of a run: one CSV file per run and database (UTF-8 with a byte-order mark, CRLF,
// RFC 4180 quoting) with a row for every MGOODS row the run converted, its prices as stored before
// and after, read by the database inside the category's transaction. A category's rows reach the
// file only once its transaction has committed, exactly once: they are staged in a journal beside
// the file before the commit and appended after it; a journal a killed run left is completed or
// discarded by recover(), by whether the category's conversion was committed.
class ChangeList
{
public:
    struct Options
    {
        QString folder;         // KRT550-changes beside the run log
        QString catalog;        // TMCS00 ...
        QDateTime start;        // the run's start, which names the file
        QStringList keyColumns; // the goods key; empty: MGOODS's primary key, if it has one
        QString nameColumn;     // an optional goods-name column
    };

    ChangeList(Connection &connection, Options options);

    // Resolves the goods key and checks the column names; false (with why()) when a setting names
    // something that is no plain column name.
    bool prepare();
    bool hasKey() const { return !m_key.isEmpty(); }
    const QString &why() const { return m_why; }
    QString path() const;

    // Around the MGOODS statement of one category, inside its transaction: the rows before, then
    // the rows after, paired by the goods key. Without a key the new prices are the database's
    // own evaluation of the statement's expressions, read with the old ones just before the
    // statement. False when a read failed (the connection's errors say why).
    using ExpressionOf = std::function<QString(const PriceColumn &column)>;
    bool readBefore(const QString &itemCd, int detailNo, const ExpressionOf &expression);
    bool readAfter();

    // The category's rows: written to the journal before the commit (false when it cannot be
    // written, or when the rows of a committed category that could not be appended still cannot
    // be), appended to the list after it, or dropped after a rollback. Rows that could not be
    // appended stay in the journal, which the next category's staging or the next start appends.
    bool stage(const QString &koushinDt);
    std::optional<QString> appendStaged();
    void discardStaged();
    // Writes the list through to the disk, once at the end of a run: the journal and the list's
    // blocks survive a killed program in the system's file cache, and the engine's own commits
    // reach the disk no sooner on the embedded engine. What failed, if anything.
    std::optional<QString> syncToDisk();

    // The goods rows of the categories staged or appended so far in this run, and those changed.
    qint64 rows() const { return m_rows; }
    qint64 changed() const { return m_changed; }

    // Completes (the category was committed) or discards (it was not) every journal a run on this
    // catalog left behind. The files completed, or nothing when a journal could not be handled.
    static std::optional<QStringList> recover(Connection &connection, const QString &folder,
                                              const QString &catalog);

private:
    // The journal that holds the rows staged for a commit.
    QString journalPath() const;
    // The columns given, then the prices and, with expressions, their evaluation, of a category's
    // goods in key order.
    QString selectSql(QStringList columns, const QString &itemCd, int detailNo,
                      const ExpressionOf &expression) const;
    QByteArray headerLine() const;
    // Appends the rows of the committed category not appended yet and removes their journal; what
    // failed, if anything (the rows and the journal then wait for the next try).
    std::optional<QString> appendUnappended();
    // Appends a row to the staged block: its leading fields and new prices from the query standing
    // on the row after the statement, or else from the values given; the old prices from before
    // (none: the row was added meanwhile, its old prices stay empty).
    void appendRow(const QSqlQuery *after, const QVariant *leading, const QVariant *before,
                   const QVariant *afterPrices);

    Connection &m_connection;
    Options m_options;
    QStringList m_key;
    QStringList m_leading; // the category, key and name columns that lead a row of the list
    QString m_why;
    // The category under way: its rows before, in key order (the keys, and the prices row by row;
    // without a key every field of a row), and the lines staged for the transaction.
    QString m_pendingItemCd;
    int m_pendingDetailNo = 0;
    QStringList m_beforeKeys;
    std::vector<QVariant> m_before;
    QByteArray m_block;
    std::string m_line;    // the row being written, kept for its buffer
    QString m_blockItemCd; // the first category with rows in the block
    int m_blockDetailNo = 0;
    qint64 m_sizeBefore = 0; // the list's size before the staged block
    bool m_journalWritten = false;
    // A committed category's rows not appended yet, kept in its journal meanwhile.
    struct Unappended
    {
        qint64 sizeBefore = 0;
        QByteArray block;
        qint64 rows = 0;
        qint64 changed = 0;
    };
    std::optional<Unappended> m_unappended;
    qint64 m_blockRows = 0;
    qint64 m_blockChanged = 0;
    qint64 m_rows = 0;
    qint64 m_changed = 0;
};

// The change list of a run on a database, as the settings ask for it: [Common] ChangeList=0 writes
// none, GoodsKeyColumns names the goods key (else MGOODS's primary key), GoodsNameColumn a name
// column (setting gives the value of a [Common] key). What a killed run on this database left
// half-written is completed or discarded first.
struct PreparedChangeList
{
    std::unique_ptr<ChangeList> list; // none when the settings turn the list off or it failed
    DbErrors recoveryFailure;         // why an earlier run's list could not be completed
    QString why;                      // why this run's list cannot be written
};
PreparedChangeList prepareChangeList(Connection &connection, const QString &folder, const QString &catalog,
                                     const QDateTime &start,
                                     const std::function<QString(const QString &)> &setting);

// What a run's confirmation says of its change list; without one, that none is written.
QString changeListNote(const ChangeList *changes);
// The line of a run's summary that names its change list and its rows.
QString changeListSummary(const ChangeList &changes);

} // namespace krt::pricing
