#include "support/formfixture.h"

#include <QFile>
#include <QFileInfo>

using namespace krt;
using namespace krt::testing;

namespace {

// A database of the family as shops have it: the goods code column has a name of its own, every
// table the program writes carries columns of its own (a cost price among them), and the system
// parameters live in a table of the family's own that the settings name.
install::Schema familySchema()
{
    install::Schema schema;
    schema.goodsKey = QStringLiteral("SHOHIN_CODE");
    schema.sysParmTable = QStringLiteral("SYS_PRM");
    schema.sysParmNoColumn = QStringLiteral("PRM_ID");
    schema.sysParmValueColumn = QStringLiteral("PRM_VAL");
    schema.extraColumns = true;
    return schema;
}

// One price row: its prices and what decides whether the run converts it.
struct Row
{
    QList<qint64> prices;
    QList<bool> nullPrice;
    qint64 month = 0;  // IIODATA.IO_YM
    double onHand = 0; // IZAIKO.ZAIKO_QTY
    QString costAndNote;
    bool taxFree = false;
};

std::map<QString, Row> readRows(const FormFixture &f)
{
    std::map<QString, Row> rows;
    const auto read = [&](const QString &table, const QString &prices, const QString &extra) {
        // Goods of tax-free categories are not on the work list and keep their prices.
        const auto records = f.records(
            0, QStringLiteral("SELECT rowid, GENKA_PRC || '/' || BIKOU, (SELECT TAX_FREE_FLG FROM MITEMCD "
                              "WHERE ITEM_CD = DAI_BUNRUI_CD), %1, %2 FROM %3")
                   .arg(extra, prices, table));
        if (!records)
            return;
        for (const QVariantList &r : *records) {
            Row row;
            row.costAndNote = r[1].toString();
            row.taxFree = r[2].toString() != QStringLiteral("0");
            row.month = r[3].toLongLong();
            row.onHand = r[3].toDouble();
            for (qsizetype i = 4; i < r.size(); ++i) {
                row.nullPrice.append(r[i].isNull());
                row.prices.append(r[i].toLongLong());
            }
            rows[table + QLatin1Char(' ') + r[0].toString()] = row;
        }
    };
    read(QStringLiteral("MGOODS"),
         QStringLiteral("HYOJYUN_PRC, KOURI_PRC, OROSI_PRC, H_ADD1_PRC, K_ADD1_PRC, O_ADD1_PRC, H_ADD2_PRC, "
                        "K_ADD2_PRC, O_ADD2_PRC"),
         QStringLiteral("0"));
    read(QStringLiteral("IZAIKO"), QStringLiteral("HYOJYUN_PRC, KOURI_PRC, OROSI_PRC"),
         QStringLiteral("ZAIKO_QTY"));
    read(QStringLiteral("IIODATA"), QStringLiteral("HYOJYUN_PRC, KOURI_PRC, OROSI_PRC"),
         QStringLiteral("IO_YM"));
    return rows;
}

} // namespace

class TestFamilyDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsWithoutABoxAndConvertsExactly_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::newRow("stock converted at once") << 1;
        QTest::newRow("inventory categories converted later") << 0;
    }

    void startsWithoutABoxAndConvertsExactly()
    {
        QFETCH(int, stockMode);
        FormFixture f;
        install::Options options = f.smallOptions();
        options.databases = 1;
        options.stockMode = stockMode;
        options.schema = familySchema();
        QVERIFY(f.install(options));
        QVERIFY(!f.records(0, QStringLiteral("SELECT * FROM MSYSPARM")));
        QVERIFY(!f.records(0, QStringLiteral("SELECT JAN_CD FROM MGOODS")));
        const std::map<QString, Row> before = readRows(f);
        QVERIFY(before.size() > 500);
        const qint64 sysYm = f.value(0, QStringLiteral("SELECT SYS_YM1 FROM GDATECTL")).toLongLong();

        bool ready = false;
        bool ran = false;
        const int code = f.runMain(
            [&](KRT550F1 &form) {
                ready = QLB347U11(form)->FKeyEnabled(1) && form.stockMode() == stockMode && f.boxes.isEmpty();
                typeRates(form);
                QTest::keyClick(&form, Qt::Key_F1);
            },
            &ran);
        QCOMPARE(code, 0);
        QVERIFY(ran);
        QVERIFY2(ready, qPrintable(f.numbers().join(QLatin1Char(','))));
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("10009")});
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE UPDATE_DATE IS NULL")), 0);

        // Goods always; stock and movements only when they are converted at once. The family's own
        // columns keep their values, the cost price among them.
        const std::map<QString, Row> after = readRows(f);
        QCOMPARE(after.size(), before.size());
        int converted = 0;
        for (const auto &[id, old] : before) {
            const Row &now = after.at(id);
            QCOMPARE(now.costAndNote, QStringLiteral("100.0/備考"));
            const bool goods = id.startsWith(QStringLiteral("MGOODS"));
            const bool changes =
                !old.taxFree &&
                (goods || (stockMode != 0 &&
                           (id.startsWith(QStringLiteral("IZAIKO")) ? old.onHand > 0 : old.month >= sysYm)));
            for (qsizetype i = 0; i < old.prices.size(); ++i) {
                QCOMPARE(now.nullPrice[i], old.nullPrice[i]);
                const qint64 expected =
                    changes && !old.nullPrice[i] ? exactPrice(old.prices[i], 8, 10, 0, 0) : old.prices[i];
                QVERIFY2(now.prices[i] == expected, qPrintable(QStringLiteral("%1 price %2: %3, expected %4")
                                                                   .arg(id)
                                                                   .arg(i)
                                                                   .arg(now.prices[i])
                                                                   .arg(expected)));
                converted += changes && old.prices[i] != now.prices[i];
            }
        }
        QVERIFY(converted > 500);
    }

    // A database that can be read but not written (a read-only file, a login without the right
    // to update): the operator learns that cause at once, and nothing is filled or marked there.
    void aDatabaseThatCannotBeWrittenSaysSoBeforeAnythingIsWritten()
    {
        FormFixture f;
        install::Options options = f.smallOptions();
        options.databases = 1;
        QVERIFY(f.install(options));
        f.setSetting(QStringLiteral("Common/DBPARMS"),
                     install::connectionText(f.root()) + QStringLiteral("Mode=Read;"));
        bool ran = true;
        QCOMPARE(f.runMain([](KRT550F1 &) {}, &ran), 0);
        QVERIFY(!ran);
        QCOMPARE(f.numbers(),
                 (QStringList{QStringLiteral("11002"),
                              QStringLiteral("DAT1には書き込めません（書き込みの権限がありません）。")}));
        const QString details = f.boxes.constFirst().details;
        QVERIFY2(details.contains(QStringLiteral("MITEMCNT に書き込めません")), qPrintable(details));
        QVERIFY2(details.contains(QStringLiteral("readonly")), qPrintable(details));
        QVERIFY2(!details.contains(QStringLiteral("テーブルがありません")), qPrintable(details));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")), 0);
    }

    // A database that goes away while the program runs: every command says so and changes
    // nothing; choosing the database again reconnects without a restart.
    void aDatabaseThatWentAwayIsReportedAndReconnectedBySelectingItAgain()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        QVERIFY(QLB347U11(form)->FKeyEnabled(7));
        const QString file = f.catalog(0);
        const QString kept = f.root() + QStringLiteral("/kept.db");
        {
            const install::CatalogConnection copy(file);
            QVERIFY(QSqlQuery(copy.db()).exec(QStringLiteral("VACUUM INTO '%1'").arg(kept)));
        }
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(file + suffix);
        const QStringList marks = f.gridColumn(0);

        const auto lost = [&f] {
            return f.boxes.size() == 1 && f.boxes[0].msgNo == QStringLiteral("11002") &&
                   f.boxes[0].details.contains(QStringLiteral("データベースとの接続が切れました"));
        };
        QTest::keyClick(&form, Qt::Key_F7);
        QVERIFY2(lost(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QCOMPARE(f.gridColumn(0), marks);
        QVERIFY(!form.connection());
        for (const Qt::Key key : {Qt::Key_F1, Qt::Key_F5, Qt::Key_F6}) {
            f.boxes.clear();
            QTest::keyClick(&form, key);
            QVERIFY2(lost(), qPrintable(f.numbers().join(QLatin1Char(','))));
        }
        f.boxes.clear();
        f.clickLine(0);
        QVERIFY(lost());
        QCOMPARE(f.gridColumn(0), marks);
        QVERIFY(!QFileInfo::exists(file));
        QVERIFY(cmb_DAT(form)->isEnabled());

        // The database is back (the server restarted, the share mounted again).
        QVERIFY(QFile::rename(kept, file));
        f.boxes.clear();
        emit cmb_DAT(form)->activated(0);
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QVERIFY(form.connection());
        QTest::keyClick(&form, Qt::Key_F7);
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QVERIFY(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")) > 0);
    }
};

QTEST_MAIN(TestFamilyDatabase)
#include "tst_family_database.moc"
