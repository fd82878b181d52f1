#pragma once

// The test catalogs of the unit tests, made with the store builder of the installation tool, which
// also makes the whole installations of the form tests, the robustness trials and the benchmark.

#include "catalog/catalogfile.h"
#include "db/connection.h"
#include "pgserver/pgserver.h"

#include <QDir>
#include <QTemporaryDir>
#include <QVariantList>

#include <memory>
#include <vector>

namespace krt::testing {

// Category masters: two taxable major categories (001 other goods, 002 inventory goods) and a
// tax-free one (003); details of kind '71' numbered 1 and 2 under 001 and 1 under 002 and 003, a
// detail number 0 and a detail of another kind under 001.
inline const QString CategoryMasters = QStringLiteral(R"(
INSERT INTO MITEMCD VALUES ('001', '食品', '0', '0');
INSERT INTO MITEMCD VALUES ('002', '酒類', '0', '1');
INSERT INTO MITEMCD VALUES ('003', '商品券', '1', '0');
INSERT INTO MITEMDTL VALUES ('001', '71', 1, '国産');
INSERT INTO MITEMDTL VALUES ('001', '71', 2, '輸入');
INSERT INTO MITEMDTL VALUES ('001', '71', 0, '全体');
INSERT INTO MITEMDTL VALUES ('001', '72', 1, '販売区分');
INSERT INTO MITEMDTL VALUES ('002', '71', 1, 'ビール');
INSERT INTO MITEMDTL VALUES ('003', '71', 1, '全国共通');
)");

// The statements that fill the work list MITEMCNT from the masters, to the letter as the program
// sends them to SQL Server (the family's "0FROM" included): the taxable major categories, then
// their details of kind '71' other than number 0.
inline const QString FillMajors =
    QStringLiteral("INSERT INTO MITEMCNT( ITEM_CD, ITEM_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG ,DETAIL_NO) "
                   "SELECT MITEMCD.ITEM_CD, MITEMCD.ITEM_NM, MITEMCD.TAX_FREE_FLG, MITEMCD.INV_FLG, '0' AS "
                   "COMP_FLG ,0FROM MITEMCD "
                   "WHERE (MITEMCD.TAX_FREE_FLG = '0')");
inline const QString FillSubs = QStringLiteral(
    "INSERT INTO MITEMCNT( ITEM_CD, ITEM_NM, DETAIL_NO, DETAIL_NM, TAX_FREE_FLG, INV_FLG, COMP_FLG ) "
    "SELECT MITEMCD.ITEM_CD, MITEMCD.ITEM_NM, MITEMDTL.D_DETAIL_NO, MITEMDTL.D_DETAIL_NM, "
    "MITEMCD.TAX_FREE_FLG, "
    "MITEMCD.INV_FLG, '0' AS COMP_FLG FROM MITEMCD INNER JOIN MITEMDTL ON MITEMCD.ITEM_CD = "
    "MITEMDTL.D_BUNRUI_CD "
    "WHERE (MITEMCD.TAX_FREE_FLG = '0') AND (MITEMDTL.D_ITEM_NO = '71') AND (MITEMDTL.D_DETAIL_NO <> 0) ");

// A catalog file TMCS00.db of the family built for one test in a folder of its own: every table
// created, filled by a script, and reached with the connection text the program uses.
class TestCatalog
{
public:
    // Creates the catalog and runs the script on it; an empty text on success, otherwise what
    // failed.
    QString create(const QString &script = {}, const install::Schema &schema = {}) const
    {
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");
        const QString error = install::createCatalog(file(), schema);
        if (!error.isEmpty() || script.isEmpty())
            return error;
        return run(script);
    }

    // Creates the catalog with the script and opens the program's connection on it.
    bool createAndOpen(Connection &conn, const QString &script = {}) const
    {
        const QString error = create(script);
        if (!error.isEmpty()) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        return conn.open(connectionText());
    }

    QString run(const QString &script) const { return install::runScript(file(), script); }

    QString file() const { return m_dir.filePath(QStringLiteral("TMCS00.db")); }

    QString connectionText() const
    {
        return QStringLiteral("Provider=SQLite;Initial Catalog=TMCS00;Data Source=%1;")
            .arg(QDir::toNativeSeparators(m_dir.path()));
    }

private:
    QTemporaryDir m_dir;
};

// A test's catalog with the program's connection open on it. Each open starts from a new catalog.
class OpenCatalog
{
public:
    bool open(const QString &script = {})
    {
        m_conn = std::make_unique<Connection>();
        m_catalog = std::make_unique<TestCatalog>();
        return m_catalog->createAndOpen(*m_conn, script);
    }

    // Closes the connection before the catalog's folder goes.
    void reset()
    {
        m_conn.reset();
        m_catalog.reset();
    }

    Connection &conn() const { return *m_conn; }
    const TestCatalog &catalog() const { return *m_catalog; }

private:
    std::unique_ptr<Connection> m_conn;
    std::unique_ptr<TestCatalog> m_catalog;
};

// In a Qt Test function: skips it with the reason where the tests' PostgreSQL server cannot be had
// on this machine (binaries or ODBC driver missing), and fails it where the server should have
// started and did not; never passes silently without the server.
#define KRT_REQUIRE_TEST_SERVER()                                                                            \
    do {                                                                                                     \
        const krt::test::PgServer &krtServer = krt::test::PgServer::instance();                              \
        if (!krtServer.skipReason().isEmpty())                                                               \
            QSKIP(qPrintable(krtServer.skipReason()));                                                       \
        QVERIFY2(krtServer.isRunning(), qPrintable(krtServer.error()));                                      \
    } while (false)

// A TMCS catalog made by the installation tool, with the program's connection open on it and a
// second connection for looking at the tables: an embedded catalog in a folder of its own, or a
// database of the tests' PostgreSQL server. The price columns take the given SQL type.
class PriceDb
{
public:
    explicit PriceDb(const QString &priceType = QStringLiteral("REAL"));
    PriceDb(test::PgServer &server, const QString &database, const QString &priceType);

    // Empty when the catalog was made and both connections opened, otherwise what failed.
    QString error() const { return m_error; }

    Connection &connection() { return m_connection; }
    QString connectionText() const;

    // Runs statements (";" at line ends) outside the program's connection: through the
    // installation tool on the embedded engine, through psql on the server; empty or what failed.
    QString fill(const QString &script) const;

    // Every row of a query, read through the second connection.
    std::vector<QVariantList> rows(const QString &sql);
    QVariant value(const QString &sql);

private:
    TestCatalog m_catalog;
    test::PgServer *m_server = nullptr;
    QString m_database;
    QString m_error;
    Connection m_connection;
    Connection m_look;
};

} // namespace krt::testing
