#include "support/formfixture.h"

#include "db/sqltext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace krt;
using namespace krt::testing;

namespace {

// The password every stored connection text carries; no box may ever show it.
const QString Secret = QStringLiteral("Secr3t-Pw");
const QString Credentials = QStringLiteral("User ID=operator;Password=") + Secret + QLatin1Char(';');

// What the operator saw, box by box: the number of a numbered box, the text of a plain one, and
// "check failed" for the category check's own failure box.
// The plain box of a start without any data folder.
const QString NoDataFolder =
    QStringLiteral("データフォルダ（C:～Z:\\TMCS\\DAT\\DAT1～DAT5）が見つかりません。");

QStringList shown(const FormFixture &f)
{
    QStringList list;
    for (const BoxRequest &box : f.boxes) {
        if (box.kind != BoxRequest::Kind::Plain)
            list.append(box.msgNo);
        else if (box.title == QStringLiteral("KRT550:prsb_BuntuiCheck"))
            list.append(QStringLiteral("check failed"));
        else
            list.append(box.text);
    }
    return list;
}

// A box that shows the password or a part of it, or one that says nothing; empty when every box
// is clean.
QString badBox(const FormFixture &f)
{
    for (const BoxRequest &box : f.boxes) {
        const QString all = box.title + QLatin1Char('\n') + box.text + QLatin1Char('\n') + box.details;
        if (all.contains(QStringLiteral("Secr3t")))
            return QStringLiteral("a box shows the password: ") + all;
        if (box.text.trimmed().isEmpty())
            return QStringLiteral("a box without text: ") + all;
    }
    return {};
}

// Every row of the tables a run or a clear may change, in storage order, as one text per row.
QStringList contents(const FormFixture &f)
{
    QStringList all;
    for (const QString &table :
         {QStringLiteral("MGOODS"), QStringLiteral("IZAIKO"), QStringLiteral("IIODATA"),
          QStringLiteral("IZSELL_MENT"), QStringLiteral("MITEMCD"), QStringLiteral("MITEMDTL")})
        all += f.rows(0, QStringLiteral("SELECT '%1', * FROM %1 ORDER BY rowid").arg(table));
    return all;
}

// The conversion history of the work list: key, date, rates, rounding and completion of each row
// whose prices may have been converted. In deferred mode an inventory category that is not complete
// holds no converted price: a failed run may leave it recorded, waiting for the next one.
QStringList history(const FormFixture &f, int stockMode)
{
    return f.rows(
        0, QStringLiteral("SELECT ITEM_CD, DETAIL_NO, UPDATE_DATE, COMP_FLG, COMP_DATE, TAX_ST, TAX_END, "
                          "GOODS_HASU_FLG, GOODS_HASU_ICHI, GADD_HASU_FLG, GADD_HASU_ICHI FROM MITEMCNT "
                          "WHERE %1 ORDER BY ITEM_CD, DETAIL_NO")
               .arg(stockMode != 0 ? QStringLiteral("1 = 1")
                                   : QStringLiteral("NOT (INV_FLG = '1' AND COMP_FLG = '0')")));
}

// Builds a small installation whose stored connection text carries a user and a password.
bool installWithPassword(FormFixture &f, const install::Options &options)
{
    if (!f.install(options))
        return false;
    f.setSetting(QStringLiteral("Common/DBPARMS"), install::connectionText(f.root()) + Credentials);
    return true;
}

install::Options small(const FormFixture &f, int stockMode)
{
    install::Options options = f.smallOptions();
    options.databases = 1;
    options.stockMode = stockMode;
    return options;
}

// The first grid line of a non-inventory category, or -1.
int firstOtherLine(const KRT550F1 &form)
{
    for (int r = 0; r < lstTbl(form)->Rows(); ++r)
        if (lstTbl(form)->TextMatrix(r, 6) == QStringLiteral("0"))
            return r;
    return -1;
}

QString dataRoot(const FormFixture &f)
{
    return install::drivesFolder(f.root()) + QStringLiteral("/c/TMCS/DAT");
}

} // namespace

// Bad input of every kind the program meets: settings, connection texts, data folders, damaged
// catalogs, odd prices and parameters, malformed dates and odd category codes. Each ends with a
// clear message or a correct result; nothing crashes, nothing is lost, and no box shows the
// password of the connection text.
class TestBadInput : public QObject
{
    Q_OBJECT

    int m_tried = 0;

private Q_SLOTS:
    void cleanupTestCase() { qInfo("%d bad inputs tried", m_tried); }

    void withoutSettingsTheStartSaysWhy_data()
    {
        QTest::addColumn<bool>("dataFolders");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("no settings, data folders there")
            << true << QStringList{QStringLiteral("11002"), QStringLiteral("DAT1にはテーブルがありません。")};
        QTest::newRow("nothing installed at all") << false << QStringList{NoDataFolder};
    }
    void withoutSettingsTheStartSaysWhy()
    {
        QFETCH(bool, dataFolders);
        QFETCH(QStringList, expected);
        ++m_tried;
        FormFixture f;
        if (dataFolders) {
            QVERIFY(f.install(small(f, 1)));
            QVERIFY(QFile::remove(install::settingsFile(f.root())));
        }
        bool ran = true;
        const int code = f.runMain([](KRT550F1 &) {}, &ran);
        QCOMPARE(code, 0);
        QVERIFY(!ran);
        QVERIFY2(badBox(f).isEmpty(), qPrintable(badBox(f)));
        QVERIFY2(!f.boxes.isEmpty(), "the program ended without a message");
        QCOMPARE(shown(f), expected);
        if (dataFolders)
            QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")), 0);
    }

    void garbageConnectionTextsAreRefused_data()
    {
        QTest::addColumn<QString>("text"); // "%1": the catalog folder of the installation
        const QString secret = QStringLiteral("Password=") + Secret + QLatin1Char(';');
        QTest::newRow("empty") << QString();
        QTest::newRow("prose") << QStringLiteral("connect me to the shop please ") + secret;
        QTest::newRow("no data source") << QStringLiteral("Provider=SQLite;Initial Catalog=TMCS00;") + secret;
        QTest::newRow("no catalog") << QStringLiteral("Provider=SQLite;Data Source=%1;") + secret;
        QTest::newRow("data source before the catalog")
            << QStringLiteral("Provider=SQLite;") + secret +
                   QStringLiteral("Data Source=%1;Initial Catalog=TMCS00;");
        QTest::newRow("unknown provider")
            << QStringLiteral("Provider=Oracle.Bogus;Initial Catalog=TMCS00;Data Source=%1;") + Credentials;
        QTest::newRow("missing folder")
            << QStringLiteral("Provider=SQLite;Initial Catalog=TMCS00;Data Source=/no/such/folder;") +
                   Credentials;
        QTest::newRow("quoted password with a semicolon")
            << QStringLiteral("Provider=SQLite;Initial Catalog=TMCS00;Data Source=/no/such/folder;"
                              "Password=\"%1;x\";")
                   .arg(Secret);
        QTest::newRow("control characters and empty entries")
            << QStringLiteral("\x01\x02Provider=\x7f;;==;;Catalog=;Data Source=;") + secret;
        QTest::newRow("ten thousand characters")
            << QStringLiteral("Provider=SQLite;Initial Catalog=TMCS00;Data Source=") +
                   QString(10000, QLatin1Char('x')) + QLatin1Char(';') + secret;
        QTest::newRow("SQL Server nobody listens to")
            << QStringLiteral("Provider=SQLOLEDB;Initial Catalog=TMCS00;Data Source=127.0.0.1,9;") +
                   Credentials;
    }
    void garbageConnectionTextsAreRefused()
    {
        QFETCH(QString, text);
        ++m_tried;
        FormFixture f;
        QVERIFY(f.install(small(f, 1)));
        const QStringList before = contents(f);
        f.setSetting(QStringLiteral("Common/DBPARMS"),
                     text.contains(QStringLiteral("%1")) ? text.arg(install::catalogFolder(f.root())) : text);
        KRT550F1 &form = f.load();
        QCOMPARE(shown(f),
                 (QStringList{QStringLiteral("11002"), QStringLiteral("DAT1にはテーブルがありません。")}));
        QCOMPARE(f.boxes[0].kind, BoxRequest::Kind::DbError);
        QVERIFY(!f.boxes[0].details.isEmpty());
        QVERIFY2(badBox(f).isEmpty(), qPrintable(badBox(f)));
        QVERIFY(!form.connection());
        QVERIFY(!QLB347U11(form)->FKeyEnabled(1));

        // The commands that remain say what is wrong and change nothing.
        f.boxes.clear();
        QTest::keyClick(&form, Qt::Key_F6);
        QCOMPARE(shown(f), QStringList{QStringLiteral("check failed")});
        QVERIFY2(badBox(f).isEmpty(), qPrintable(badBox(f)));
        QCOMPARE(contents(f), before);
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")), 0);
    }

    void unusableDataFoldersEndTheStart_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("missing") << QStringLiteral("missing");
        QTest::newRow("a file, not a folder") << QStringLiteral("file");
        QTest::newRow("empty") << QStringLiteral("empty");
        QTest::newRow("folders without catalogs") << QStringLiteral("no catalog");
    }
    void unusableDataFoldersEndTheStart()
    {
        QFETCH(QString, damage);
        ++m_tried;
        FormFixture f;
        QVERIFY(installWithPassword(f, small(f, 1)));
        QDir folders(dataRoot(f));
        if (damage == QStringLiteral("no catalog")) {
            QVERIFY(QFile::remove(f.catalog(0)));
        } else {
            QVERIFY(folders.removeRecursively());
            if (damage == QStringLiteral("file")) {
                QFile file(dataRoot(f));
                QVERIFY(file.open(QIODevice::WriteOnly));
            } else if (damage == QStringLiteral("empty")) {
                QVERIFY(QDir().mkpath(dataRoot(f)));
            }
        }
        bool ran = true;
        QCOMPARE(f.runMain([](KRT550F1 &) {}, &ran), 0);
        QVERIFY(!ran);
        QVERIFY2(badBox(f).isEmpty(), qPrintable(badBox(f)));
        if (damage == QStringLiteral("no catalog")) {
            QCOMPARE(shown(f), (QStringList{QStringLiteral("11002"),
                                            QStringLiteral("DAT1にはテーブルがありません。")}));
            QVERIFY(!QFileInfo::exists(f.catalog(0)));
            return;
        }
        QCOMPARE(shown(f), QStringList{NoDataFolder});
    }

    void aDamagedCatalogEndsWithAMessage_data()
    {
        QTest::addColumn<QString>("damage"); // SQL run on the catalog before the start
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<QString>("action"); // what the operator does after the start
        QTest::addColumn<QStringList>("expected");
        const QStringList noTable = {QStringLiteral("11002"),
                                     QStringLiteral("DAT1にはテーブルがありません。")};
        const QStringList checkFailed = {QStringLiteral("check failed")};
        const QStringList runFailed = {QStringLiteral("40275")};
        const QStringList done = {QStringLiteral("10009")};

        QTest::newRow("no MITEMCNT") << QStringLiteral("DROP TABLE MITEMCNT;") << 1 << QStringLiteral("start")
                                     << noTable;
        // The work list cannot be filled: said with the database's words, and the database counts
        // as one whose check failed.
        const QStringList fillFailed = {QStringLiteral("40426")};
        QTest::newRow("no MITEMCD") << QStringLiteral("DROP TABLE MITEMCD;") << 1 << QStringLiteral("start")
                                    << fillFailed;
        QTest::newRow("no MITEMDTL") << QStringLiteral("DROP TABLE MITEMDTL;") << 1 << QStringLiteral("start")
                                     << fillFailed;
        // Once for the load's select all, once for the refused mark.
        QTest::newRow("no INEFUDA_CNT, deferred mode: a mark")
            << QStringLiteral("DROP TABLE INEFUDA_CNT;") << 0 << QStringLiteral("mark")
            << QStringList{QStringLiteral("40420"), QStringLiteral("40420")};
        QTest::newRow("no GDATECTL") << QStringLiteral("DROP TABLE GDATECTL;") << 1 << QStringLiteral("run")
                                     << QStringList{QStringLiteral("40423")};
        QTest::newRow("no IZSELL_MENT: the category clear")
            << QStringLiteral("DROP TABLE IZSELL_MENT;") << 1 << QStringLiteral("clear")
            << QStringList{QStringLiteral("40418"), QStringLiteral("11002")};
        QTest::newRow("no MGOODS") << QStringLiteral("DROP TABLE MGOODS;") << 1 << QStringLiteral("start")
                                   << checkFailed;
        QTest::newRow("no IZAIKO, direct mode")
            << QStringLiteral("DROP TABLE IZAIKO;") << 1 << QStringLiteral("start") << checkFailed;
        QTest::newRow("no IZAIKO, deferred mode: not needed")
            << QStringLiteral("DROP TABLE IZAIKO;") << 0 << QStringLiteral("run") << done;
        QTest::newRow("no IIODATA, direct mode")
            << QStringLiteral("DROP TABLE IIODATA;") << 1 << QStringLiteral("run") << runFailed;
        QTest::newRow("no IIODATA, deferred mode: not needed")
            << QStringLiteral("DROP TABLE IIODATA;") << 0 << QStringLiteral("run") << done;
        // Parameters that cannot be read are not reported (the family keeps them where it likes).
        QTest::newRow("no MSYSPARM") << QStringLiteral("DROP TABLE MSYSPARM;") << 1 << QStringLiteral("start")
                                     << QStringList();
        QTest::newRow("no MGOODS.O_ADD2_PRC") << QStringLiteral("ALTER TABLE MGOODS DROP COLUMN O_ADD2_PRC;")
                                              << 1 << QStringLiteral("run") << runFailed;
        // The confirmation's preview reads the retail price before anything is written.
        QTest::newRow("no MGOODS.KOURI_PRC, deferred mode")
            << QStringLiteral("ALTER TABLE MGOODS DROP COLUMN KOURI_PRC;") << 0 << QStringLiteral("run")
            << QStringList{QStringLiteral("11002")};
        QTest::newRow("no IZAIKO.KOUSHIN_DT") << QStringLiteral("ALTER TABLE IZAIKO DROP COLUMN KOUSHIN_DT;")
                                              << 1 << QStringLiteral("run") << runFailed;
        QTest::newRow("no IIODATA.OROSI_PRC") << QStringLiteral("ALTER TABLE IIODATA DROP COLUMN OROSI_PRC;")
                                              << 1 << QStringLiteral("run") << runFailed;
        QTest::newRow("no MITEMCNT.GADD_HASU_ICHI")
            << QStringLiteral("ALTER TABLE MITEMCNT DROP COLUMN GADD_HASU_ICHI;") << 1
            << QStringLiteral("run") << runFailed;
        QTest::newRow("no MITEMCNT.CHK") << QStringLiteral("ALTER TABLE MITEMCNT DROP COLUMN CHK;") << 1
                                         << QStringLiteral("start") << noTable;
        QTest::newRow("no GDATECTL.SYS_YM1")
            << QStringLiteral("ALTER TABLE GDATECTL DROP COLUMN SYS_YM1;") << 1 << QStringLiteral("run")
            << QStringList{QStringLiteral("40423")};
        QTest::newRow("no MSYSPARM.NAIYO") << QStringLiteral("ALTER TABLE MSYSPARM DROP COLUMN NAIYO;") << 1
                                           << QStringLiteral("start") << QStringList();
    }
    void aDamagedCatalogEndsWithAMessage()
    {
        QFETCH(QString, damage);
        QFETCH(int, stockMode);
        QFETCH(QString, action);
        QFETCH(QStringList, expected);
        ++m_tried;
        FormFixture f;
        QVERIFY(installWithPassword(f, small(f, stockMode)));
        if (action != QStringLiteral("start")) {
            // A first start fills the work list, as the program has done for years.
            f.load();
            QVERIFY2(f.boxes.isEmpty(), qPrintable(shown(f).join(QLatin1Char(','))));
            f.form.reset();
        }
        QVERIFY(f.sql(0, damage));
        const QStringList before = contents(f);
        const QStringList historyBefore = history(f, stockMode);
        KRT550F1 &form = f.load();
        const int line = firstOtherLine(form);
        if (action == QStringLiteral("mark")) {
            QVERIFY(line >= 0);
            const QString mark = lstTbl(form)->TextMatrix(line, 0);
            f.clickLine(line);
            QCOMPARE(lstTbl(form)->TextMatrix(line, 0), mark);
        } else if (action == QStringLiteral("run")) {
            typeRates(form);
            QTest::keyClick(&form, Qt::Key_F1);
        } else if (action == QStringLiteral("clear")) {
            f.answer = [](const BoxRequest &) { return mb::IdYes; };
            QTest::keyClick(&form, Qt::Key_F5);
        }
        QVERIFY2(badBox(f).isEmpty(), qPrintable(badBox(f)));
        QCOMPARE(shown(f), expected);

        // Nothing was lost: only a successful run changes prices and the work list's history.
        if (expected == QStringList{QStringLiteral("10009")}) {
            QVERIFY(contents(f) != before);
            QVERIFY(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE UPDATE_DATE IS NULL")) ==
                    0);
        } else {
            QCOMPARE(contents(f), before);
            if (action != QStringLiteral("start"))
                QCOMPARE(history(f, stockMode), historyBefore);
        }
        QVERIFY(form.isVisible());
    }

    void unusualPricesConvertExactly_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("exponent");
        QTest::newRow("round half up at the tens") << int(HasuRoundHalfUp) << 2;
        QTest::newRow("round up at the ones") << int(HasuRoundUp) << 1;
        QTest::newRow("no rounding") << int(HasuNone) << 0;
    }
    void unusualPricesConvertExactly()
    {
        QFETCH(int, code);
        QFETCH(int, exponent);
        // Null, zero, negative and huge prices, beyond 32 bits too.
        const QList<std::optional<qint64>> prices = {
            std::nullopt, 0,          -1,         -9,         -1050,       -999999999,   1,
            999999999,    1000000000, 2147483647, 2147483648, 99999999999, 1000000000000};
        m_tried += static_cast<int>(prices.size());
        FormFixture f;
        QVERIFY(installWithPassword(f, small(f, 1)));
        f.load();
        f.form.reset();
        const QString category = f.value(0, QStringLiteral("SELECT ITEM_CD FROM MITEMCNT WHERE INV_FLG = '0' "
                                                           "ORDER BY ITEM_CD LIMIT 1"))
                                     .toString();
        QVERIFY(!category.isEmpty());
        QStringList script;
        for (int i = 0; i < prices.size(); ++i) {
            const QString value = prices[i] ? QString::number(*prices[i]) : QStringLiteral("NULL");
            const QString jan = QStringLiteral("77%1").arg(i, 11, 10, QLatin1Char('0'));
            script.append(
                QStringLiteral("INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, HYOJYUN_PRC, "
                               "KOURI_PRC, OROSI_PRC, H_ADD1_PRC, K_ADD1_PRC, O_ADD1_PRC, H_ADD2_PRC, "
                               "K_ADD2_PRC, O_ADD2_PRC) VALUES ('%1', '%2', 0, %3, %3, %3, %3, %3, %3, "
                               "%3, %3, %3);")
                    .arg(jan, sqlText(category), value));
            script.append(
                QStringLiteral("INSERT INTO IZAIKO (TENPO_CD, JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, "
                               "ZAIKO_QTY, HYOJYUN_PRC, KOURI_PRC, OROSI_PRC) VALUES ('9999', '%1', "
                               "'%2', NULL, 1, %3, %3, %3);")
                    .arg(jan, sqlText(category), value));
            script.append(QStringLiteral("INSERT INTO IIODATA (IO_YM, TENPO_CD, JAN_CD, IO_KBN, IO_SEQ, "
                                         "DAI_BUNRUI_CD, CHU_BUNRUI_CD, HYOJYUN_PRC, KOURI_PRC, OROSI_PRC) "
                                         "SELECT SYS_YM1, '9999', '%1', '1', %2, '%3', 0, %4, %4, %4 "
                                         "FROM GDATECTL;")
                              .arg(jan)
                              .arg(900000 + i)
                              .arg(sqlText(category), value));
        }
        QVERIFY(f.sql(0, script.join(QLatin1Char('\n'))));

        KRT550F1 &form = f.load();
        typeRates(form);
        const char *const methods[] = {"opt_Int", "opt_RoundUp", "opt_RoundDown", "opt_Round"};
        QTest::mouseClick(opt(form, methods[code]), Qt::LeftButton);
        QTest::mouseClick(opt(form, "opt_Int_Add"), Qt::LeftButton);
        if (code != HasuNone)
            QTest::mouseClick(opt(form, "opt_Keta", exponent - 1), Qt::LeftButton);
        QCOMPARE(pic_Jyoukein(form)->params().exponent(Goods), exponent);
        QTest::keyClick(&form, Qt::Key_F1);
        QCOMPARE(shown(f), QStringList{QStringLiteral("10009")});
        QVERIFY2(badBox(f).isEmpty(), qPrintable(badBox(f)));

        for (int i = 0; i < prices.size(); ++i) {
            const QString jan = QStringLiteral("77%1").arg(i, 11, 10, QLatin1Char('0'));
            for (const QString &table :
                 {QStringLiteral("MGOODS"), QStringLiteral("IZAIKO"), QStringLiteral("IIODATA")}) {
                const std::optional<QList<QVariantList>> found = f.records(
                    0, QStringLiteral("SELECT HYOJYUN_PRC, KOURI_PRC, OROSI_PRC FROM %1 WHERE JAN_CD = '%2'")
                           .arg(table, jan));
                QVERIFY(found && found->size() == 1);
                for (const QVariant &price : found->first()) {
                    const QString what =
                        QStringLiteral("%1: %2 became %3")
                            .arg(table, prices[i] ? QString::number(*prices[i]) : QStringLiteral("Null"),
                                 price.isNull() ? QStringLiteral("Null")
                                                : QString::number(price.toDouble(), 'f'));
                    if (!prices[i]) {
                        QVERIFY2(price.isNull(), qPrintable(what));
                        continue;
                    }
                    const qint64 expected = exactPrice(*prices[i], 8, 10, code, exponent);
                    QVERIFY2(!price.isNull() && price.toDouble() == static_cast<double>(expected),
                             qPrintable(what + QStringLiteral(", not %1").arg(expected)));
                }
            }
        }
    }

    void aSystemMonthThatIsNoMonth_data()
    {
        QTest::addColumn<QString>("month"); // SQL for SYS_YM1
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<QString>("expected");
        // Refused before anything changes, naming the value.
        QTest::newRow("letters") << QStringLiteral("'abc'") << 1 << QStringLiteral("40423");
        QTest::newRow("full-width digits")
            << QStringLiteral("'２０３１１０'") << 1 << QStringLiteral("40423");
        QTest::newRow("with a slash") << QStringLiteral("'2031/10'") << 1 << QStringLiteral("40423");
        QTest::newRow("month 13") << QStringLiteral("'203113'") << 1 << QStringLiteral("40423");
        QTest::newRow("a condition of its own")
            << QStringLiteral("'0) OR (1 = 1'") << 1 << QStringLiteral("40423");
        QTest::newRow("blank") << QStringLiteral("'  '") << 1 << QStringLiteral("40423");
        QTest::newRow("a fraction") << QStringLiteral("203110.5") << 1 << QStringLiteral("40423");
        QTest::newRow("no row") << QString() << 1 << QStringLiteral("40423");
        QTest::newRow("letters, deferred mode: not needed")
            << QStringLiteral("'abc'") << 0 << QStringLiteral("10009");
    }
    void aSystemMonthThatIsNoMonth()
    {
        QFETCH(QString, month);
        QFETCH(int, stockMode);
        QFETCH(QString, expected);
        ++m_tried;
        FormFixture f;
        QVERIFY(installWithPassword(f, small(f, stockMode)));
        QVERIFY(f.sql(0, month.isEmpty() ? QStringLiteral("DELETE FROM GDATECTL;")
                                         : QStringLiteral("UPDATE GDATECTL SET SYS_YM1 = %1;").arg(month)));
        const QStringList before = contents(f);
        KRT550F1 &form = f.load();
        const QStringList historyBefore = history(f, stockMode);
        typeRates(form);
        QTest::keyClick(&form, Qt::Key_F1);
        QCOMPARE(shown(f), QStringList{expected});
        QVERIFY2(badBox(f).isEmpty(), qPrintable(badBox(f)));
        if (stockMode != 0 && month.startsWith(QLatin1Char('\'')) &&
            !month.trimmed().remove(QLatin1Char('\'')).trimmed().isEmpty())
            QVERIFY2(f.boxes.constLast().details.contains(QStringLiteral("GDATECTL.SYS_YM1 = ")),
                     qPrintable(f.boxes.constLast().details));
        if (expected == QStringLiteral("10009")) {
            QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE COMP_FLG = '1'")),
                     f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")));
            return;
        }
        QCOMPARE(contents(f), before);
        QCOMPARE(history(f, stockMode), historyBefore);
    }

    void systemParametersThatAreNoNumbers_data()
    {
        QTest::addColumn<int>("parameter");
        QTest::addColumn<QString>("content"); // SQL for NAIYO
        QTest::newRow("tax rate: letters") << 3080 << QStringLiteral("'abc'");
        QTest::newRow("tax rate: empty") << 3080 << QStringLiteral("''");
        QTest::newRow("tax rate: Null") << 3080 << QStringLiteral("NULL");
        QTest::newRow("tax rate: with a percent sign") << 3080 << QStringLiteral("'0.08%'");
        QTest::newRow("tax rate: beyond any number") << 3080 << QStringLiteral("'1e999'");
        QTest::newRow("tax rate: full-width digits") << 3080 << QStringLiteral("'０．０８'");
        QTest::newRow("tax rate: 100 percent") << 3080 << QStringLiteral("'100'");
        QTest::newRow("tax rate: negative") << 3080 << QStringLiteral("'-0.05'");
        QTest::newRow("stock mode: letters") << 1200 << QStringLiteral("'abc'");
        QTest::newRow("stock mode: empty") << 1200 << QStringLiteral("''");
        QTest::newRow("stock mode: Null") << 1200 << QStringLiteral("NULL");
        QTest::newRow("stock mode: full-width digit") << 1200 << QStringLiteral("'１'");
    }
    void systemParametersThatAreNoNumbers()
    {
        QFETCH(int, parameter);
        QFETCH(QString, content);
        ++m_tried;
        FormFixture f;
        QVERIFY(installWithPassword(f, small(f, 1)));
        QVERIFY(f.sql(0, QStringLiteral("UPDATE MSYSPARM SET NAIYO = %1 WHERE PARM_NO = %2;")
                             .arg(content)
                             .arg(parameter)));
        const QStringList before = contents(f);
        KRT550F1 &form = f.load();
        QVERIFY2(badBox(f).isEmpty(), qPrintable(badBox(f)));
        if (parameter == 1200) {
            // A mode that is no number is not reported and keeps the mode the program had; it does
            // not lock the selection, which only a mode read as 0 does.
            QVERIFY2(f.boxes.isEmpty(), qPrintable(shown(f).join(QLatin1Char(','))));
            QCOMPARE(form.stockMode(), 0);
            QVERIFY(cmb_DAT(form)->isEnabled());
            QCOMPARE(contents(f), before);
            return;
        }
        // No preset for the rate without tax: the run asks for it.
        QVERIFY2(f.boxes.isEmpty(), qPrintable(shown(f).join(QLatin1Char(','))));
        QCOMPARE(pic_Jyoukein(form)->params().TAX_END[0], QString());
        QTest::mouseClick(opt(form, "opt_Tax", 0), Qt::LeftButton);
        QCOMPARE(txt(form, "txt_Tax_To", 0)->text(), QString());
        QTest::keyClick(&form, Qt::Key_F1);
        QCOMPARE(shown(f), QStringList{QStringLiteral("40419")});
        QCOMPARE(QApplication::focusWidget(), txt(form, "txt_Tax_To", 0));
        QCOMPARE(contents(f), before);
    }

    void malformedStockTakeDatesRefuseTheMark_data()
    {
        QTest::addColumn<QString>("date");
        QTest::newRow("letters") << QStringLiteral("garbage");
        QTest::newRow("month 13, day 45") << QStringLiteral("2031-13-45");
        QTest::newRow("no separators") << QStringLiteral("20311001");
        QTest::newRow("hour 25") << QStringLiteral("2031/10/01 25:99:00");
        QTest::newRow("empty") << QString();
        QTest::newRow("full-width digits") << QStringLiteral("２０３１／１０／０１");
        QTest::newRow("quote") << QStringLiteral("2031'10'01");
    }
    void malformedStockTakeDatesRefuseTheMark()
    {
        QFETCH(QString, date);
        ++m_tried;
        FormFixture f;
        QVERIFY(installWithPassword(f, small(f, 0)));
        QVERIFY(f.sql(
            0, QStringLiteral("DELETE FROM INEFUDA_CNT;\nINSERT INTO INEFUDA_CNT VALUES ('0001', '%1');")
                   .arg(sqlText(date))));
        // The load's select all finds the date unreadable once and leaves other categories
        // unmarked; a click on one is refused the same way.
        KRT550F1 &form = f.load();
        QCOMPARE(shown(f), QStringList{QStringLiteral("40420")});
        f.boxes.clear();
        const int line = firstOtherLine(form);
        QVERIFY(line >= 0);
        QCOMPARE(lstTbl(form)->TextMatrix(line, 0), Off);
        f.clickLine(line);
        QCOMPARE(shown(f), QStringList{QStringLiteral("40420")});
        QVERIFY2(badBox(f).isEmpty(), qPrintable(badBox(f)));
        QCOMPARE(lstTbl(form)->TextMatrix(line, 0), Off);
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")),
                 f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE INV_FLG <> '0'")));
        // Inventory categories need no stock-take and are marked as ever.
        for (int r = 0; r < lstTbl(form)->Rows(); ++r) {
            if (lstTbl(form)->TextMatrix(r, 6) != QStringLiteral("1"))
                continue;
            f.boxes.clear();
            f.clickLine(r);
            QVERIFY(f.boxes.isEmpty());
            QCOMPARE(lstTbl(form)->TextMatrix(r, 0), Off);
            break;
        }
    }

    void oddCategoryCodesAndNamesConvertLikeAnyOther_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("name");
        QTest::newRow("quote in the code") << QStringLiteral("A'B") << QStringLiteral("O'Neil's \"best\"");
        QTest::newRow("statement in the code")
            << QStringLiteral("X'); DELETE FROM MGOODS; --") << QStringLiteral("'; DROP TABLE MITEMCNT; --");
        QTest::newRow("full-width") << QStringLiteral("Ｘ１２") << QStringLiteral("全角の分類名「特選」");
        QTest::newRow("200 characters")
            << QString(200, QLatin1Char('C')) << QString(200, QChar(0x540D)); // 名
        QTest::newRow("200 full-width characters with quotes")
            << QString(99, QChar(0xFF21)) + QStringLiteral("''") + QString(99, QChar(0xFF22))
            << QString(100, QLatin1Char('\'')) + QString(100, QChar(0x3042));
    }
    void oddCategoryCodesAndNamesConvertLikeAnyOther()
    {
        QFETCH(QString, code);
        QFETCH(QString, name);
        ++m_tried;
        FormFixture f;
        QVERIFY(installWithPassword(f, small(f, 1)));
        const QString q = sqlText(code);
        const QString subName = name + QStringLiteral("（小）");
        QVERIFY(f.sql(
            0,
            QStringLiteral(
                "INSERT INTO MITEMCD (ITEM_CD, ITEM_NM, TAX_FREE_FLG, INV_FLG) VALUES ('%1', '%2', '0', "
                "'0');\n"
                "INSERT INTO MITEMDTL VALUES ('%1', '71', 5, '%3');\n"
                "INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, HYOJYUN_PRC, KOURI_PRC, "
                "OROSI_PRC, "
                "H_ADD1_PRC, K_ADD1_PRC, O_ADD1_PRC, H_ADD2_PRC, K_ADD2_PRC, O_ADD2_PRC) VALUES "
                "('7700000000001', '%1', NULL, 1080, 1080, 756, 108, 108, 75, 0, 0, 0), "
                "('7700000000002', '%1', 5, 2160, 1944, 1512, 0, 0, 0, NULL, NULL, NULL);\n"
                "INSERT INTO IZAIKO (TENPO_CD, JAN_CD, DAI_BUNRUI_CD, CHU_BUNRUI_CD, ZAIKO_QTY, HYOJYUN_PRC, "
                "KOURI_PRC, OROSI_PRC) VALUES ('9999', '7700000000002', '%1', 5, 3, 2160, 1944, 1512);\n"
                "INSERT INTO IIODATA (IO_YM, TENPO_CD, JAN_CD, IO_KBN, IO_SEQ, DAI_BUNRUI_CD, CHU_BUNRUI_CD, "
                "HYOJYUN_PRC, KOURI_PRC, OROSI_PRC) SELECT SYS_YM1, '9999', '7700000000001', '1', 990001, "
                "'%1', "
                "NULL, 1080, 1080, 756 FROM GDATECTL;")
                .arg(q, sqlText(name), sqlText(subName))));
        const int goods = f.count(0, QStringLiteral("SELECT COUNT(*) FROM MGOODS"));

        KRT550F1 &form = f.load();
        QVERIFY2(f.boxes.isEmpty(), qPrintable(shown(f).join(QLatin1Char(','))));
        const int major = f.lineOf(code, QStringLiteral("0"));
        const int sub = f.lineOf(code, QStringLiteral("5"));
        QVERIFY(major >= 0 && sub >= 0);
        QCOMPARE(lstTbl(form)->TextMatrix(major, 2), name);
        QCOMPARE(lstTbl(form)->TextMatrix(sub, 4), subName);

        // Only the odd categories are marked; both are converted, nothing else.
        for (int r = 0; r < lstTbl(form)->Rows(); ++r)
            if ((r == major || r == sub) != (lstTbl(form)->TextMatrix(r, 0) == On))
                f.clickLine(r);
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), 2);
        typeRates(form);
        QTest::keyClick(&form, Qt::Key_F1);
        QCOMPARE(shown(f), QStringList{QStringLiteral("10009")});
        QVERIFY2(badBox(f).isEmpty(), qPrintable(badBox(f)));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MGOODS")), goods);
        QCOMPARE(
            f.rows(0, QStringLiteral("SELECT ITEM_CD, DETAIL_NO FROM MITEMCNT WHERE UPDATE_DATE IS NOT NULL "
                                     "ORDER BY DETAIL_NO")),
            (QStringList{code + QStringLiteral("|0"), code + QStringLiteral("|5")}));
        QCOMPARE(f.rows(0, QStringLiteral(
                               "SELECT JAN_CD, HYOJYUN_PRC, KOURI_PRC, OROSI_PRC, H_ADD1_PRC, O_ADD1_PRC, "
                               "H_ADD2_PRC FROM MGOODS WHERE JAN_CD LIKE '77%' ORDER BY JAN_CD")),
                 (QStringList{QStringLiteral("7700000000001|1100|1100|770|110|77|0"),
                              QStringLiteral("7700000000002|2200|1980|1540|0|0|<null>")}));
        QCOMPARE(
            f.rows(0, QStringLiteral(
                          "SELECT HYOJYUN_PRC, KOURI_PRC, OROSI_PRC FROM IZAIKO WHERE TENPO_CD = '9999'")),
            QStringList{QStringLiteral("2200|1980|1540")});
        QCOMPARE(
            f.rows(0, QStringLiteral(
                          "SELECT HYOJYUN_PRC, KOURI_PRC, OROSI_PRC FROM IIODATA WHERE IO_SEQ = 990001")),
            QStringList{QStringLiteral("1100|1100|770")});
        QCOMPARE(
            f.count(0, QStringLiteral("SELECT COUNT(*) FROM MGOODS WHERE UPDATE_DT <> '2014/04/01 00:00:00' "
                                      "AND JAN_CD NOT LIKE '77%'")),
            0);
        QCOMPARE(lstTbl(form)->TextMatrix(f.lineOf(code, QStringLiteral("0")), 2), name);
    }
};

QTEST_MAIN(TestBadInput)
#include "tst_bad_input.moc"
