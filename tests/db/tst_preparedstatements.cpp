// A statement shape with string literals goes prepared once per connection with its literals bound:
// every statement kind of a run leaves the same rows and counts as the same text sent with its
// literals, on the embedded engine and on the tests' PostgreSQL server, and what cannot be bound
// safely still goes as text.

#include "db/connection.h"
#include "pgserver/pgserver.h"
#include "pricing/pricestatements.h"
#include "support/testcatalog.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using krt::Connection;
using krt::testing::PriceDb;
using namespace krt::pricing;

namespace {

const QString Store = QStringLiteral(R"(
INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, INV_FLG, COMP_FLG, CHK) VALUES ('001', '食品', 0, '0', '0', 1);
INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, INV_FLG, COMP_FLG, CHK) VALUES ('001', '食品', 1, '0', '0', 1);
INSERT INTO MITEMCNT (ITEM_CD, ITEM_NM, DETAIL_NO, INV_FLG, COMP_FLG, CHK) VALUES ('002', '酒類', 0, '1', '0', 1);
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, HYOJYUN_PRC, KOURI_PRC, K_ADD1_PRC) VALUES ('4901', '001', NULL, 1080, 545, 108);
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, HYOJYUN_PRC, KOURI_PRC, K_ADD1_PRC) VALUES ('4902', '001', 0, 2160, 99, 10);
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, HYOJYUN_PRC, KOURI_PRC, K_ADD1_PRC) VALUES ('4903', '001', 1, 324, 1, 0);
INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, HYOJYUN_PRC, KOURI_PRC, K_ADD1_PRC) VALUES ('4904', '002', 0, 5400, 777, 54);
INSERT INTO IZAIKO (TENPO_CD, JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, ZAIKO_QTY, HYOJYUN_PRC, KOURI_PRC) VALUES ('0001', '4901', '001', NULL, 1, 1080, 545);
INSERT INTO IZAIKO (TENPO_CD, JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, ZAIKO_QTY, HYOJYUN_PRC, KOURI_PRC) VALUES ('0001', '4904', '002', 0, 2, 5400, 777);
INSERT INTO IIODATA (IO_YM, TENPO_CD, JAN_CD, IO_KBN, IO_SEQ, DAI_BUNRUI_CD, CHU_BUNRUI_CD, HYOJYUN_PRC) VALUES (202609, '0001', '4903', '1', 1, '001', 1, 324);
INSERT INTO IIODATA (IO_YM, TENPO_CD, JAN_CD, IO_KBN, IO_SEQ, DAI_BUNRUI_CD, CHU_BUNRUI_CD, HYOJYUN_PRC) VALUES (202608, '0001', '4904', '1', 2, '002', 1, 5400);
)");

const QString Food = QStringLiteral("001");
const QString Liquor = QStringLiteral("002");
const QString WorkList = QStringLiteral("SELECT * FROM MITEMCNT ORDER BY ITEM_CD, DETAIL_NO");
const QString Goods = QStringLiteral("SELECT * FROM MGOODS ORDER BY JAN_CD");

krt::ConversionParams eightToTen()
{
    krt::ConversionParams params;
    params.CalcMethod = 1;
    params.TAX_ST = {QString(), QStringLiteral("8"), QStringLiteral("0")};
    params.TAX_END = {QString(), QStringLiteral("10"), QStringLiteral("0")};
    params.HASU_FLG = {krt::HasuRoundHalfUp, krt::HasuRoundUp};
    params.HASU_ICHI = {0, 1};
    return params;
}

// A row as texts, Null apart from the empty text.
QStringList texts(int fields, const std::function<QVariant(int)> &value)
{
    QStringList row;
    for (int i = 0; i < fields; ++i)
        row << (value(i).isNull() ? QStringLiteral("Null") : value(i).toString());
    return row;
}

// What one statement did: refused or not, the rows it changed and the rows it gave.
QStringList outcome(bool done, int changed, const QList<QStringList> &rows)
{
    QStringList all{done ? QStringLiteral("done %1").arg(changed) : QStringLiteral("refused")};
    for (const QStringList &row : rows)
        all << row.join(QLatin1Char('|'));
    return all;
}

// The statement sent as its text with the literals in it, past the connection's prepared queries.
QStringList asLiteral(Connection &connection, const QString &sql, bool reads)
{
    const auto adapt =
        connection.engine() == krt::Engine::Sqlite ? krt::toSqliteDialect : krt::toPostgresDialect;
    QSqlQuery query(connection.database());
    const bool done = query.exec(adapt(sql));
    QList<QStringList> rows;
    while (reads && done && query.next())
        rows << texts(query.record().count(),
                      [&](int i) { return query.isNull(i) ? QVariant() : query.value(i); });
    return outcome(done, reads ? 0 : query.numRowsAffected(), rows);
}

QStringList throughTheConnection(Connection &connection, const QString &sql, bool reads)
{
    if (!reads) {
        const bool done = connection.execute(sql);
        return outcome(done, connection.rowsAffected(), {});
    }
    QList<QStringList> rows;
    const bool done = connection.readRows(sql, [&](const QSqlQuery &query) {
        rows << texts(query.record().count(),
                      [&](int i) { return query.isNull(i) ? QVariant() : query.value(i); });
    });
    std::optional<krt::Recordset> read = connection.openRecordset(sql);
    QList<QStringList> again;
    for (; read && !read->eof(); read->moveNext())
        again << texts(read->fieldCount(), [&](int i) { return read->field(i); });
    return done && read && again == rows ? outcome(true, 0, rows)
                                         : QStringList{QStringLiteral("readers differ")};
}

// The statements the connection holds prepared: the engine's own list of its compiled statements.
int preparedStatements(Connection &connection)
{
    std::optional<krt::Recordset> count = connection.openRecordset(
        connection.engine() == krt::Engine::Sqlite
            ? QStringLiteral("SELECT COUNT(*) FROM sqlite_stmt WHERE sql NOT LIKE '%sqlite_stmt%'")
            : QStringLiteral("SELECT COUNT(*) FROM pg_prepared_statements"));
    return count && !count->eof() ? count->field(0).toInt() : -1;
}

} // namespace

class TestPreparedStatements : public QObject
{
    Q_OBJECT

    // Per engine, a store for the statements sent as text and one for the connection.
    std::unique_ptr<PriceDb> m_literal[2];
    std::unique_ptr<PriceDb> m_prepared[2];

    bool storesFor(bool server)
    {
        const int e = server ? 1 : 0;
        if (m_literal[e])
            return true;
        krt::test::PgServer &pg = krt::test::PgServer::instance();
        for (auto *db : {&m_literal[e], &m_prepared[e]}) {
            const QString name = db == &m_literal[e] ? QStringLiteral("LITERAL") : QStringLiteral("PREPARED");
            *db = server ? std::make_unique<PriceDb>(pg, name, QStringLiteral("numeric(12,2)"))
                         : std::make_unique<PriceDb>();
            if (!(*db)->error().isEmpty() || !(*db)->fill(Store).isEmpty())
                return false;
        }
        return true;
    }

private slots:
    void sameAsLiteral_data();
    void sameAsLiteral();
    void failuresReportTheProgramsText();
    void aRevivedSessionPreparesAgain();
};

void TestPreparedStatements::sameAsLiteral_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("shapes"); // prepared by the statements
    QTest::addColumn<bool>("embeddedRefuses");

    const krt::ConversionParams params = eightToTen();
    const QDate day(2026, 10, 1);
    const QString moment = QStringLiteral("2026/10/01 09:30:00");
    for (const bool server : {false, true}) {
        const char *engine = server ? "server" : "embedded";
        QTest::addRow("record, %s", engine)
            << server
            << QStringList{*recordStatement(Food, 0, QStringLiteral("0"), params, 1, day),
                           *recordStatement(Liquor, 0, QStringLiteral("0"), params, 1, day)}
            << WorkList << 1 << false;
        QTest::addRow("goods of major categories, %s", engine)
            << server
            << QStringList{CategoryStatements(params, 1, moment).mgoods(Food, 0),
                           CategoryStatements(params, 1, moment).mgoods(Liquor, 0)}
            << Goods << 1 << false;
        QTest::addRow("goods of a sub-category, %s", engine)
            << server << QStringList{CategoryStatements(params, 1, moment).mgoods(Food, 1)} << Goods << 1
            << false;
        QTest::addRow("movements, %s", engine)
            << server
            << QStringList{*CategoryStatements(params, 1, {}).iioData(Food, 1, QStringLiteral("202609")),
                           *CategoryStatements(params, 1, {}).iioData(Liquor, 1, QStringLiteral("202609"))}
            << QStringLiteral("SELECT * FROM IIODATA ORDER BY IO_SEQ") << 1 << false;
        QTest::addRow("stock, %s", engine)
            << server
            << QStringList{CategoryStatements(params, 1, moment).izaiko(Food, 0, true),
                           CategoryStatements(params, 1, moment).izaiko(Liquor, 0, true)}
            << QStringLiteral("SELECT * FROM IZAIKO ORDER BY JAN_CD") << 1 << false;
        QTest::addRow("pending claim, %s", engine)
            << server
            << QStringList{pendingClaimStatement(Food, 0, day), pendingClaimStatement(Liquor, 0, day)}
            << WorkList << 1 << false;
        QTest::addRow("doubled quotes, Japanese and empty texts, %s", engine)
            << server
            << QStringList{QStringLiteral("UPDATE MITEMCNT SET ITEM_NM = 'O''B 食品', DETAIL_NM = '' WHERE "
                                          "ITEM_CD = '001'"),
                           QStringLiteral("UPDATE MITEMCNT SET ITEM_NM = '酒''類', DETAIL_NM = '''' WHERE "
                                          "ITEM_CD = '002'")}
            << WorkList << 1 << false;
        // Texts where the engine needs a whole number and a moment.
        QTest::addRow("number and time contexts, %s", engine)
            << server
            << QStringList{QStringLiteral("UPDATE MITEMCNT SET TAX_ST = '5' WHERE (DETAIL_NO = '1') AND "
                                          "(GETDATE() > '2019/10/01 10:00:00')")}
            << WorkList << 1 << false;
        QTest::addRow("national texts, %s", engine)
            << server
            << QStringList{QStringLiteral("UPDATE MITEMCNT SET ITEM_NM = N'日用品' WHERE ITEM_CD = N'001'")}
            << WorkList << 0 << true;
        QTest::addRow("placeholder in a literal, %s", engine)
            << server
            << QStringList{QStringLiteral("UPDATE MITEMCNT SET DETAIL_NM = 'どれ?' WHERE ITEM_CD = '001'")}
            << WorkList << 0 << false;
        QTest::addRow("read, %s", engine)
            << server
            << QStringList{recordedRowsQuery(Food, 0, false), recordedRowsQuery(Liquor, 0, false),
                           QStringLiteral("SELECT ITEM_CD, ITEM_NM, DETAIL_NM FROM MITEMCNT WHERE ITEM_CD = "
                                          "'001' ORDER BY DETAIL_NO")}
            << QString() << 2 << false;
    }
}

void TestPreparedStatements::sameAsLiteral()
{
    QFETCH(bool, server);
    QFETCH(QStringList, statements);
    QFETCH(QString, table);
    QFETCH(int, shapes);
    QFETCH(bool, embeddedRefuses);
    if (server)
        KRT_REQUIRE_TEST_SERVER();
    QVERIFY(storesFor(server));
    PriceDb &literal = *m_literal[server ? 1 : 0];
    PriceDb &prepared = *m_prepared[server ? 1 : 0];
    const int before = preparedStatements(prepared.connection());
    for (const QString &sql : statements) {
        const bool reads = sql.startsWith(QStringLiteral("SELECT"));
        const QStringList expected = asLiteral(literal.connection(), sql, reads);
        QCOMPARE(expected.constFirst() == QStringLiteral("refused"), embeddedRefuses && !server);
        QCOMPARE(throughTheConnection(prepared.connection(), sql, reads), expected);
    }
    if (!table.isEmpty())
        QCOMPARE(prepared.rows(table), literal.rows(table));
    QCOMPARE(preparedStatements(prepared.connection()) - before, shapes);
}

// A prepared statement that fails reports the statement as the program wrote it, and its shape is
// prepared again for the next statement; the statement hook sees the text with its literals.
void TestPreparedStatements::failuresReportTheProgramsText()
{
    const QString duplicate =
        QStringLiteral("UPDATE MITEMCNT SET DETAIL_NO = 0 WHERE (ITEM_CD = '001') AND (DETAIL_NO = 1)");
    for (const bool server : {false, true}) {
        if (server)
            KRT_REQUIRE_TEST_SERVER();
        QVERIFY(storesFor(server));
        Connection &c = m_prepared[server ? 1 : 0]->connection();
        QStringList seen;
        c.setStatementHook([&](const QString &sql) {
            seen << sql;
            return std::optional<QString>();
        });
        QVERIFY(c.beginTrans());
        QVERIFY(!c.execute(duplicate));
        QCOMPARE(c.errors().value(0).statement, duplicate);
        QVERIFY(c.rollbackTrans());
        QVERIFY(c.execute(QString(duplicate).replace(QStringLiteral("'001'"), QStringLiteral("'002'"))));
        QCOMPARE(c.rowsAffected(), 0);
        c.setStatementHook({});
        QCOMPARE(seen.value(1), duplicate);
    }
}

// The server ends the session: the next statement fails, the one after it runs on a new session,
// and a shape prepared on the old session is prepared again on the new one.
void TestPreparedStatements::aRevivedSessionPreparesAgain()
{
    KRT_REQUIRE_TEST_SERVER();
    QVERIFY(storesFor(true));
    Connection c;
    QVERIFY(c.open(m_prepared[1]->connectionText()));
    const QString mark = QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE ITEM_CD = '%1'");
    const QString read = QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE ITEM_CD = '%1'");
    QVERIFY(c.execute(mark.arg(QStringLiteral("001"))));
    QVERIFY(c.openRecordset(read.arg(QStringLiteral("001"))));
    const QString pid = c.openRecordset(QStringLiteral("SELECT pg_backend_pid()"))->field(0).toString();
    QCOMPARE(krt::test::PgServer::instance().psql(QStringLiteral("PREPARED"),
                                                  QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid)),
             QString());
    QVERIFY(!c.openRecordset(read.arg(QStringLiteral("002"))));
    QVERIFY2(c.execute(mark.arg(QStringLiteral("002"))), qPrintable(c.errors().value(0).description));
    QCOMPARE(c.rowsAffected(), 1);
    QCOMPARE(preparedStatements(c), 1);
}

QTEST_GUILESS_MAIN(TestPreparedStatements)
#include "tst_preparedstatements.moc"
