#pragma once

#include "db/connection.h"

#include <QSqlDatabase>
#include <QString>

#include <array>

namespace krt::bench {

// What identifies the prices of a table: its row count and a digest of the category and price
// columns of every row.
struct PriceDigest
{
    qint64 rows = -1;
    QString digest;
    bool operator==(const PriceDigest &other) const { return rows == other.rows && digest == other.digest; }
    bool operator!=(const PriceDigest &other) const { return !(*this == other); }
};

// The digests of the price tables MGOODS, IIODATA and IZAIKO, in that order.
using PriceDigests = std::array<PriceDigest, 3>;

// An engine the benchmark measures on: its store, and the run database that every measurement
// starts from as a fresh copy of the store. What fails is said on standard output, and false
// returned.
class BenchEngine
{
public:
    virtual ~BenchEngine() = default;

    // The engine's name in the report ("embedded", "server") and what its store holds.
    virtual QString label() const = 0;
    virtual QString description() const = 0;
    // Builds the store (or keeps it) and prepares the run installation.
    virtual bool prepare() = 0;
    // Makes the run database a copy of the store, with system parameter 1200 (the stock mode) set.
    virtual bool restoreRun(int stockMode) = 0;
    // The installation whose settings name the run database.
    virtual QString runRoot() const = 0;
    // Opens a connection of the program on the run database.
    bool openRun(Connection &connection) const;
    // The engine's settings as a connection of the program has them.
    virtual QString settings(const QSqlDatabase &db) const = 0;
    // The digests of the run database's price tables; they are equal when every row holds the
    // same prices (of a copy of the same store).
    virtual bool digests(PriceDigests &digests) const = 0;

protected:
    virtual QString runConnectionText() const = 0;
};

// The embedded engine: a catalog file of an installation built under the benchmark's root, and
// the run installation beside it, whose catalog is a copy of the file.
class EmbeddedEngine : public BenchEngine
{
public:
    EmbeddedEngine(QString root, QString kind, QString description);

    QString label() const override { return QStringLiteral("embedded"); }
    QString description() const override { return m_description; }
    bool prepare() override;
    bool restoreRun(int stockMode) override;
    QString runRoot() const override;
    QString settings(const QSqlDatabase &db) const override;
    bool digests(PriceDigests &digests) const override;

protected:
    QString runConnectionText() const override;

private:
    QString m_root;
    QString m_kind;
    QString m_description;
};

// The benchmark's PostgreSQL server (reached over QODBC): the store is a database of it, the run
// database a copy made from it as a template.
class ServerEngine : public BenchEngine
{
public:
    ServerEngine(QString root, QString description);

    // Why the benchmark's server cannot be had on this machine; empty when it can.
    static QString unavailable();

    QString label() const override { return QStringLiteral("server"); }
    QString description() const override { return m_description; }
    bool prepare() override;
    bool restoreRun(int stockMode) override;
    QString runRoot() const override;
    QString settings(const QSqlDatabase &db) const override;
    bool digests(PriceDigests &digests) const override;

protected:
    QString runConnectionText() const override;

private:
    QString m_root;
    QString m_description;
};

} // namespace krt::bench
