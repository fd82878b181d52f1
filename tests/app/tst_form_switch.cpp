#include "support/formfixture.h"

#include "widgets/screenpointer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWheelEvent>

using namespace krt;
using namespace krt::testing;

namespace {

// A good of a major category that the category masters do not know.
const QString UnmatchedGood = QStringLiteral(
    "INSERT INTO MGOODS (JAN_CD, GOODS_NM, DAI_BUNRUI_CD, CHU_BUNRUI_CD, HYOJYUN_PRC, KOURI_PRC, OROSI_PRC, "
    "UPDATE_DT) VALUES ('4999999999994', '分類なし商品', 'Z99', NULL, 108, 108, 75, '2014/04/01')");

// The keys of the function-key bar that are enabled.
QList<int> enabledKeys(const KRT550F1 &form)
{
    QList<int> keys;
    for (int key = 1; key <= QLB347U1::KeyCount; ++key)
        if (QLB347U11(form)->FKeyEnabled(key))
            keys.append(key);
    return keys;
}

const QList<int> LoadStageKeys = {6, 12};
const QList<int> CheckedStageKeys = {1, 5, 6, 7, 8, 12};

} // namespace

// The program's start-up and the database switch on real installations: the list of databases,
// the connection, the system parameters of each database, the automatic category check and the
// way back after a database that cannot be used.
class TestFormSwitch : public QObject
{
    Q_OBJECT

private:
    static QString connectionTextFor(const FormFixture &f, const QString &catalog)
    {
        QString text = install::connectionText(f.root());
        text.replace(QStringLiteral("TMCS00"), catalog);
        return text;
    }

    static bool removeCatalog(const FormFixture &f, int position)
    {
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
            const QString file = f.catalog(position) + suffix;
            if (QFileInfo::exists(file) && !QFile::remove(file))
                return false;
        }
        return true;
    }

    static QString dataFolder(const FormFixture &f, int number)
    {
        return install::drivesFolder(f.root()) + QStringLiteral("/c/TMCS/DAT/DAT%1").arg(number);
    }

private Q_SLOTS:
    void aPassingDatabaseStartsToTheReadyForm()
    {
        FormFixture f;
        QVERIFY(f.install());
        bool ranLoop = false;
        const int code = f.runMain(
            [&f](KRT550F1 &form) {
                QVERIFY(form.isVisible());
                QCOMPARE(cmb_DAT(form)->count(), 2);
                QCOMPARE(cmb_DAT(form)->currentText(), QStringLiteral("DAT1"));
                QCOMPARE(form.prevListIndex(), 0);
                QVERIFY(form.connection());
                QVERIFY(!FirstConnect);
                QVERIFY(BunruiCheckOK);
                QVERIFY(form.inputEnabled());
                QCOMPARE(form.stockMode(), 1);
                QCOMPARE(pic_Jyoukein(form)->params().TAX_END[0], QStringLiteral("8"));
                QCOMPARE(enabledKeys(form), CheckedStageKeys);
                QCOMPARE(QLB347U11(form)->GuideMessage(), QString());
                QVERIFY(pic_Jyoukein(form)->isEnabled());
                QVERIFY(opt(form, "opt_Tax", 1)->isChecked());
                QTRY_COMPARE(QApplication::focusWidget(), txt(form, "txt_Tax_From", 1));
                const int rows = lstTbl(form)->Rows();
                QCOMPARE(rows, f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")));
                QVERIFY(rows > 0);
                for (int r = 0; r < rows; ++r)
                    QCOMPARE(lstTbl(form)->TextMatrix(r, 0), On);
                QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), rows);
                // Only the selected database was touched.
                QCOMPARE(f.count(1, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")), 0);
            },
            &ranLoop);
        QCOMPARE(code, 0);
        QVERIFY(ranLoop);
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QVERIFY(f.previews.isEmpty());
    }

    void aFailingCheckShowsTheListAndEndsTheProgram()
    {
        FormFixture f;
        install::Options options = f.smallOptions();
        options.unmatched = 5;
        QVERIFY(f.install(options));
        bool ranLoop = true;
        const int code = f.runMain([](KRT550F1 &) {}, &ranLoop);
        QCOMPARE(code, 0);
        QVERIFY(!ranLoop);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40424")});
        QCOMPARE(f.boxes[0].title, QStringLiteral("売価更新"));
        QCOMPARE(f.previews.size(), 1);
        for (const QString &unknown : {QStringLiteral("X01"), QStringLiteral("X02"), QStringLiteral("X03")})
            QVERIFY2(f.previews[0].contains(unknown), qPrintable(f.previews[0]));
        QVERIFY(!FirstConnect);
        QVERIFY(!BunruiCheckOK);

        // The form stays in its load stage.
        f.boxes.clear();
        KRT550F1 &form = f.load();
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40424")});
        QCOMPARE(enabledKeys(form), LoadStageKeys);
        QCOMPARE(QLB347U11(form)->GuideMessage(), QStringLiteral("分類チェックを行ってください"));
        QVERIFY(!pic_Jyoukein(form)->isEnabled());
        QVERIFY(!lstTbl(form)->isEnabled());
        QVERIFY(!form.inputEnabled());
        QVERIFY(!opt(form, "opt_Tax", 1)->isChecked());
    }

    void aDatabaseWithoutTheWorkListSendsTheSelectionBack()
    {
        FormFixture f;
        QVERIFY(f.install());
        QVERIFY(
            f.sql(1, QStringLiteral(
                         "DROP TABLE MITEMCNT;\nUPDATE MSYSPARM SET NAIYO = '0.10' WHERE PARM_NO = 3080;")));
        KRT550F1 &form = f.load();
        QVERIFY(f.boxes.isEmpty());
        const QStringList codes = f.gridColumn(1);
        const QStringList numbers = f.gridColumn(3);

        int pointerAtBox = -1;
        int entryAtBox = -1;
        f.answer = [&](const BoxRequest &box) {
            if (box.kind == BoxRequest::Kind::Plain) {
                pointerAtBox = screenPointer();
                entryAtBox = cmb_DAT(form)->currentIndex();
            }
            return mb::IdOk;
        };
        f.selectDatabase(1);
        QCOMPARE(f.numbers(),
                 (QStringList{QStringLiteral("11002"), QStringLiteral("DAT2にはテーブルがありません。")}));
        QCOMPARE(f.boxes[1].kind, BoxRequest::Kind::Plain);
        QCOMPARE(f.boxes[1].title, QString());
        QCOMPARE(f.boxes[1].style, mb::OkOnly);
        QCOMPARE(pointerAtBox, PointerDefault);
        QCOMPARE(entryAtBox, 1);

        // Back on DAT1, loaded again: its lines, every mark cleared, its own tax rate.
        QCOMPARE(cmb_DAT(form)->currentIndex(), 0);
        QCOMPARE(form.prevListIndex(), 0);
        QCOMPARE(f.gridColumn(1), codes);
        QCOMPARE(f.gridColumn(3), numbers);
        QCOMPARE(f.gridColumn(0), QStringList(codes.size(), Off));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK IS NOT NULL")), 0);
        QCOMPARE(pic_Jyoukein(form)->params().TAX_END[0], QStringLiteral("8"));
        QCOMPARE(screenPointer(), PointerDefault);
        QVERIFY(form.connection());
        f.clickLine(0);
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), 1);
        QCOMPARE(f.boxes.size(), 2);
    }

    void aFailedSwitchReturnsToTheEntryOfTheLastSuccess_data()
    {
        QTest::addColumn<QString>("damage"); // SQL run on DAT3's catalog
        QTest::newRow("no work list") << QStringLiteral("DROP TABLE MITEMCNT");
        QTest::newRow("no mark column") << QStringLiteral("ALTER TABLE MITEMCNT DROP COLUMN CHK");
    }
    void aFailedSwitchReturnsToTheEntryOfTheLastSuccess()
    {
        QFETCH(QString, damage);
        FormFixture f;
        install::Options options = f.smallOptions();
        options.databases = 3;
        QVERIFY(f.install(options));
        QVERIFY(f.sql(2, damage));
        KRT550F1 &form = f.load();
        f.selectDatabase(1);
        QVERIFY(f.boxes.isEmpty());
        QCOMPARE(form.prevListIndex(), 1);
        const QStringList codes = f.gridColumn(1);

        f.selectDatabase(2);
        QCOMPARE(f.numbers(),
                 (QStringList{QStringLiteral("11002"), QStringLiteral("DAT3にはテーブルがありません。")}));
        QCOMPARE(cmb_DAT(form)->currentText(), QStringLiteral("DAT2"));
        QCOMPARE(form.stockMode(), 1);
        QCOMPARE(f.gridColumn(1), codes);
        f.clickLine(0);
        QCOMPARE(f.count(1, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), 1);
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")),
                 f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")));
    }

    // A database without the usual parameter table is opened without a word; the members take the
    // start-up defaults, not what the database before it gave them.
    void parametersThatCannotBeReadAreNotReported()
    {
        FormFixture f;
        install::Options options = f.smallOptions();
        options.databases = 3;
        QVERIFY(f.install(options));
        QVERIFY(f.sql(1, QStringLiteral("UPDATE MSYSPARM SET NAIYO = '2' WHERE PARM_NO = 1200;\n"
                                        "UPDATE MSYSPARM SET NAIYO = '0.10' WHERE PARM_NO = 3080")));
        QVERIFY(f.sql(2, QStringLiteral("DROP TABLE MSYSPARM")));
        KRT550F1 &form = f.load();
        f.selectDatabase(1);
        f.selectDatabase(2);
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QCOMPARE(cmb_DAT(form)->currentText(), QStringLiteral("DAT3"));
        QCOMPARE(form.prevListIndex(), 2);
        // Nothing of the database before is kept: the start-up defaults stand, and the run's
        // confirmation says that they were assumed.
        QCOMPARE(form.stockMode(), 0);
        QCOMPARE(pic_Jyoukein(form)->params().TAX_END[0], QString());
        QVERIFY(lstTbl(form)->Rows() > 0);
    }

    void aFailedFirstEntryAttemptsNothingFurther()
    {
        FormFixture f;
        QVERIFY(f.install());
        QVERIFY(f.sql(0, QStringLiteral("DROP TABLE MITEMCNT")));
        const QStringList expected = {QStringLiteral("11002"),
                                      QStringLiteral("DAT1にはテーブルがありません。")};

        bool ranLoop = true;
        QCOMPARE(f.runMain([](KRT550F1 &) {}, &ranLoop), 0);
        QVERIFY(!ranLoop);
        QCOMPARE(f.numbers(), expected);

        f.boxes.clear();
        KRT550F1 &form = f.load();
        QCOMPARE(f.numbers(), expected);
        QCOMPARE(cmb_DAT(form)->currentIndex(), 0);
        QCOMPARE(form.prevListIndex(), 0);
        // The check runs after the first switch that loaded a grid; none did.
        QVERIFY(FirstConnect);
        QVERIFY(!BunruiCheckOK);
        QVERIFY(f.previews.isEmpty());
        QCOMPARE(enabledKeys(form), LoadStageKeys);
        QCOMPARE(lstTbl(form)->Rows(), 0);
        QCOMPARE(f.count(1, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")), 0);
    }

    void eachDatabaseBringsItsSystemParameters_data()
    {
        // A parameter that cannot be read leaves the start-up default (deferred mode, no preset),
        // never the value of the database before.
        QTest::addColumn<QVariant>("stockMode"); // DAT2's 1200; invalid: none
        QTest::addColumn<QVariant>("tax");       // DAT2's 3080; invalid: none
        QTest::addColumn<int>("expectedStockMode");
        QTest::addColumn<QString>("expectedTaxEnd");

        const QVariant none;
        QTest::newRow("2 and 0.29") << QVariant(QStringLiteral("2")) << QVariant(QStringLiteral("0.29")) << 2
                                    << QStringLiteral("29");
        QTest::newRow("1 and 0.10") << QVariant(QStringLiteral("1")) << QVariant(QStringLiteral("0.10")) << 1
                                    << QStringLiteral("10");
        QTest::newRow("0.05") << QVariant(QStringLiteral("3")) << QVariant(QStringLiteral("0.05")) << 3
                              << QStringLiteral("5");
        QTest::newRow("0.075 rounds down")
            << QVariant(QStringLiteral("1")) << QVariant(QStringLiteral("0.075")) << 1 << QStringLiteral("7");
        QTest::newRow("0.57") << QVariant(QStringLiteral("1")) << QVariant(QStringLiteral("0.57")) << 1
                              << QStringLiteral("57");
        QTest::newRow("a rate that is no number")
            << QVariant(QStringLiteral("2")) << QVariant(QStringLiteral("八％")) << 2 << QString();
        QTest::newRow("an empty rate")
            << QVariant(QStringLiteral("2")) << QVariant(QString()) << 2 << QString();
        QTest::newRow("no rate") << QVariant(QStringLiteral("2")) << none << 2 << QString();
        QTest::newRow("no stock mode")
            << none << QVariant(QStringLiteral("0.10")) << 0 << QStringLiteral("10");
        QTest::newRow("a rate over 1 is already percent")
            << QVariant(QStringLiteral("2")) << QVariant(QStringLiteral("10")) << 2 << QStringLiteral("10");
        QTest::newRow("numbers as a numeric column reads them")
            << QVariant(QStringLiteral(" 2.0 ")) << QVariant(QStringLiteral("0.1")) << 2
            << QStringLiteral("10");
        QTest::newRow("a stock mode that is no number")
            << QVariant(QStringLiteral("本店")) << QVariant(QStringLiteral("0.10")) << 0
            << QStringLiteral("10");
        QTest::newRow("a negative rate")
            << QVariant(QStringLiteral("2")) << QVariant(QStringLiteral("-0.05")) << 2 << QString();
    }
    void eachDatabaseBringsItsSystemParameters()
    {
        QFETCH(QVariant, stockMode);
        QFETCH(QVariant, tax);
        QFETCH(int, expectedStockMode);
        QFETCH(QString, expectedTaxEnd);

        FormFixture f;
        QVERIFY(f.install());
        for (const auto &[number, content] : {std::pair{1200, stockMode}, std::pair{3080, tax}}) {
            const QString sql = content.isValid()
                                    ? QStringLiteral("UPDATE MSYSPARM SET NAIYO = '%1' WHERE PARM_NO = %2")
                                          .arg(content.toString())
                                          .arg(number)
                                    : QStringLiteral("DELETE FROM MSYSPARM WHERE PARM_NO = %1").arg(number);
            QVERIFY(f.sql(1, sql));
        }
        KRT550F1 &form = f.load();
        ConditionPanel *panel = pic_Jyoukein(form);
        QCOMPARE(form.stockMode(), 1);
        QCOMPARE(panel->params().TAX_END[0], QStringLiteral("8"));
        panel->selectCalcMethod(0);
        QCOMPARE(txt(*panel, "txt_Tax_To", 0)->text(), QStringLiteral("8"));

        f.selectDatabase(1);
        QCOMPARE(cmb_DAT(form)->currentIndex(), 1);
        QCOMPARE(form.stockMode(), expectedStockMode);
        QCOMPARE(panel->params().TAX_END[0], expectedTaxEnd);
        QCOMPARE(txt(*panel, "txt_Tax_To", 0)->text(), expectedTaxEnd);
        QVERIFY(cmb_DAT(form)->isEnabled());

        f.selectDatabase(0);
        QCOMPARE(form.stockMode(), 1);
        QCOMPARE(panel->params().TAX_END[0], QStringLiteral("8"));
        QCOMPARE(txt(*panel, "txt_Tax_To", 0)->text(), QStringLiteral("8"));
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
    }

    void stockModeZeroLocksTheSelectionForGood()
    {
        FormFixture f;
        QVERIFY(f.install());
        QVERIFY(f.sql(1, QStringLiteral("UPDATE MSYSPARM SET NAIYO = '0' WHERE PARM_NO = 1200")));
        KRT550F1 &form = f.load();
        QVERIFY(cmb_DAT(form)->isEnabled());

        f.selectDatabase(1);
        QCOMPARE(form.stockMode(), 0);
        QVERIFY(!cmb_DAT(form)->isEnabled());
        f.answer = [](const BoxRequest &) { return mb::IdNo; };
        for (const Qt::Key key : {Qt::Key_F6, Qt::Key_F7, Qt::Key_F5})
            QTest::keyClick(&form, key);
        QVERIFY(!cmb_DAT(form)->isEnabled());
        QCOMPARE(cmb_DAT(form)->currentIndex(), 1);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40418")});
    }

    void stockModeZeroAtStartLocksTheSelection()
    {
        FormFixture f;
        install::Options options = f.smallOptions();
        options.stockMode = 0;
        QVERIFY(f.install(options));
        KRT550F1 &form = f.load();
        QVERIFY(f.boxes.isEmpty());
        QCOMPARE(form.stockMode(), 0);
        QCOMPARE(enabledKeys(form), CheckedStageKeys);
        QVERIFY(!cmb_DAT(form)->isEnabled());
        QCOMPARE(cmb_DAT(form)->currentIndex(), 0);
    }

    // The check belongs to the database selected: a database with unmatched categories opens in
    // the stage before a passed check, whatever an earlier database passed, and a database that
    // passes opens again when it is selected again.
    void everySwitchChecksTheDatabaseItOpens()
    {
        FormFixture f;
        QVERIFY(f.install());
        QVERIFY(f.sql(1, UnmatchedGood));
        KRT550F1 &form = f.load();
        QVERIFY(f.boxes.isEmpty());
        QVERIFY(!FirstConnect);
        QCOMPARE(enabledKeys(form), CheckedStageKeys);

        f.selectDatabase(1);
        QCOMPARE(cmb_DAT(form)->currentIndex(), 1);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40424")});
        QCOMPARE(f.previews.size(), 1);
        QVERIFY(f.previews[0].contains(QStringLiteral("Z99")));
        QVERIFY(!BunruiCheckOK);
        QCOMPARE(enabledKeys(form), LoadStageKeys);
        QVERIFY(!form.inputEnabled());
        QVERIFY(!pic_Jyoukein(form)->isEnabled());
        QCOMPARE(QLB347U11(form)->GuideMessage(), QStringLiteral("分類チェックを行ってください"));

        // Marking, F1, F5 and F7 are refused there and change nothing.
        const QStringList marks = f.gridColumn(0);
        f.boxes.clear();
        f.clickLine(0);
        QTest::keyClick(lstTbl(form), Qt::Key_Space);
        for (const Qt::Key key : {Qt::Key_F1, Qt::Key_F5, Qt::Key_F7})
            QTest::keyClick(&form, key);
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QCOMPARE(f.gridColumn(0), marks);
        QCOMPARE(f.count(1, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), 0);
        QCOMPARE(f.count(1, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE UPDATE_DATE IS NOT NULL")),
                 0);

        // Back on the first database its check runs again and passes.
        f.selectDatabase(0);
        QCOMPARE(f.previews.size(), 1);
        QVERIFY(f.boxes.isEmpty());
        QVERIFY(BunruiCheckOK);
        QCOMPARE(enabledKeys(form), CheckedStageKeys);
        f.clickLine(0);
        QCOMPARE(lstTbl(form)->TextMatrix(0, 0), On);

        // A failing F6 closes the stage again: the goods of a new category arrived meanwhile.
        QVERIFY(f.sql(0, UnmatchedGood));
        QTest::keyClick(&form, Qt::Key_F6);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40424")});
        QCOMPARE(enabledKeys(form), LoadStageKeys);
        QVERIFY(!form.inputEnabled());
        QVERIFY(!pic_Jyoukein(form)->isEnabled());
    }

    // The printed list names the database it is about, when the check ran and how much it found,
    // so that a list lying on the desk cannot be taken for another database's.
    void theUnmatchedListSaysWhatItIsAbout()
    {
        FormFixture f;
        QVERIFY(f.install());
        QVERIFY(f.sql(1, UnmatchedGood));
        QVERIFY(f.sql(1, QString(UnmatchedGood)
                             .replace(QStringLiteral("4999999999994"), QStringLiteral("4999999999987"))));
        QVERIFY(f.sql(1, QString(UnmatchedGood)
                             .replace(QStringLiteral("4999999999994"), QStringLiteral("4999999999970"))
                             .replace(QStringLiteral("'Z99'"), QStringLiteral("'Z98'"))));
        KRT550F1 &form = f.load();
        f.selectDatabase(1);
        QCOMPARE(cmb_DAT(form)->currentIndex(), 1);

        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
        QTest::keyClick(&form, Qt::Key_F6);
        const QDateTime after = QDateTime::currentDateTime();
        QVERIFY(!f.previews.isEmpty());
        const QStringList lines = f.previews.last().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(lines.size() > 4);
        QCOMPARE(lines[0], QStringLiteral("分類不一致リスト"));
        QCOMPARE(lines[1], QStringLiteral("データベース TMCS01"));
        QVERIFY2(lines[2].startsWith(QStringLiteral("チェック日時 ")), qPrintable(lines[2]));
        const QDateTime checkedAt =
            QDateTime::fromString(lines[2].mid(7), QStringLiteral("yyyy/MM/dd HH:mm:ss"));
        QVERIFY2(checkedAt.isValid(), qPrintable(lines[2]));
        QVERIFY2(checkedAt >= before && checkedAt <= after, qPrintable(lines[2]));
        // Two unknown keys, three goods, none of them in stock (the stock is checked: 1200 = 1).
        QCOMPARE(lines[3], QStringLiteral("不一致分類 2 件、商品 3 件、在庫 0 件"));
    }

    void aMissingCatalogEndsInTheConnectionMessage()
    {
        FormFixture f;
        QVERIFY(f.install());
        QVERIFY(removeCatalog(f, 1));
        KRT550F1 &form = f.load();
        QVERIFY(f.boxes.isEmpty());

        bool connectedAtMessage = true;
        f.answer = [&](const BoxRequest &box) {
            if (box.msgNo == QStringLiteral("11002"))
                connectedAtMessage = form.connection() != nullptr;
            return mb::IdOk;
        };
        f.selectDatabase(1);
        QCOMPARE(f.numbers(),
                 (QStringList{QStringLiteral("11002"), QStringLiteral("DAT2にはテーブルがありません。")}));
        QCOMPARE(f.boxes[0].kind, BoxRequest::Kind::DbError);
        QCOMPARE(f.boxes[0].title, QStringLiteral("売価更新"));
        QVERIFY(!f.boxes[0].details.isEmpty());
        QVERIFY(!connectedAtMessage);
        // No empty catalog was made by the attempt.
        QVERIFY(!QFileInfo::exists(f.catalog(1)));
        QCOMPARE(cmb_DAT(form)->currentIndex(), 0);
        QVERIFY(form.connection());
    }

    void aStoredTextThatCannotBeUsedLeavesNoConnection_data()
    {
        QTest::addColumn<QString>("text"); // "%1": the catalog folder of the installation
        QTest::newRow("no catalog") << QStringLiteral("Provider=SQLite;Data Source=%1;");
        QTest::newRow("no data source") << QStringLiteral("Provider=SQLite;Initial Catalog=TMCS00;");
        QTest::newRow("data source first")
            << QStringLiteral("Provider=SQLite;Data Source=%1;Initial Catalog=TMCS00;");
        QTest::newRow("unknown provider")
            << QStringLiteral("Provider=NoSuch;Initial Catalog=TMCS00;Data Source=%1;");
        QTest::newRow("empty") << QString();
    }
    void aStoredTextThatCannotBeUsedLeavesNoConnection()
    {
        QFETCH(QString, text);
        FormFixture f;
        QVERIFY(f.install());
        f.setSetting(QStringLiteral("Common/DBPARMS"),
                     text.contains(QStringLiteral("%1")) ? text.arg(install::catalogFolder(f.root())) : text);
        KRT550F1 &form = f.load();
        QCOMPARE(f.numbers(),
                 (QStringList{QStringLiteral("11002"), QStringLiteral("DAT1にはテーブルがありません。")}));
        QCOMPARE(f.boxes[0].kind, BoxRequest::Kind::DbError);
        QVERIFY(!f.boxes[0].details.isEmpty());
        QVERIFY(!form.connection());
        QVERIFY(FirstConnect);
        QCOMPARE(cmb_DAT(form)->currentIndex(), 0);
        QCOMPARE(enabledKeys(form), LoadStageKeys);
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")), 0);
    }

    void theAreaSettingChoosesTheStoredText_data()
    {
        QTest::addColumn<QString>("area");
        QTest::addColumn<bool>("usesDbparmc");
        QTest::newRow("area 1") << QStringLiteral("1") << true;
        QTest::newRow("area empty") << QString() << false;
        QTest::newRow("area 2") << QStringLiteral("2") << false;
    }
    void theAreaSettingChoosesTheStoredText()
    {
        QFETCH(QString, area);
        QFETCH(bool, usesDbparmc);
        FormFixture f;
        QVERIFY(f.install());
        const QString good = install::connectionText(f.root());
        const QString unusable = QStringLiteral("Provider=SQLite;Data Source=nowhere;");
        f.setSetting(QStringLiteral("Common/area"), area);
        f.setSetting(QStringLiteral("Common/DBPARMC"), usesDbparmc ? good : unusable);
        f.setSetting(QStringLiteral("Common/DBPARMS"), usesDbparmc ? unusable : good);
        KRT550F1 &form = f.load();
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QVERIFY(form.connection());
        QCOMPARE(enabledKeys(form), CheckedStageKeys);
    }

    void theListFollowsTheFoldersAndTheCatalog_data()
    {
        QTest::addColumn<QString>("catalog");
        QTest::addColumn<int>("selected");
        QTest::newRow("TMCS01") << QStringLiteral("TMCS01") << 1;
        QTest::newRow("TMCS02") << QStringLiteral("TMCS02") << 2;
        QTest::newRow("TMCS00") << QStringLiteral("TMCS00") << 0;
        QTest::newRow("no folder of its own") << QStringLiteral("TMCS04") << 0;
        QTest::newRow("lower case") << QStringLiteral("tmcs01") << 0;
        QTest::newRow("one digit") << QStringLiteral("TMCS1") << 0;
    }
    void theListFollowsTheFoldersAndTheCatalog()
    {
        QFETCH(QString, catalog);
        QFETCH(int, selected);
        FormFixture f;
        install::Options options = f.smallOptions();
        options.databases = 3;
        QVERIFY(f.install(options));
        f.setSetting(QStringLiteral("Common/DBPARMS"), connectionTextFor(f, catalog));
        KRT550F1 &form = f.load();
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QComboBox *list = cmb_DAT(form);
        QCOMPARE(list->count(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(list->itemText(i), QStringLiteral("DAT%1").arg(i + 1));
        QCOMPARE(list->currentIndex(), selected);
        QCOMPARE(form.prevListIndex(), selected);
        QCOMPARE(form.connParts().head, QStringLiteral("Provider=SQLite;Initial "));
        QCOMPARE(form.connParts().tail,
                 QStringLiteral("Data Source=%1;").arg(install::catalogFolder(f.root())));
        // Only the selected catalog was opened and filled.
        for (int p = 0; p < 3; ++p)
            QCOMPARE(f.count(p, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")) > 0, p == selected);
        QCOMPARE(lstTbl(form)->Rows(), f.count(selected, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")));
    }

    void withoutDataFoldersNothingIsListedOrOpened()
    {
        FormFixture f;
        QVERIFY(f.install());
        for (const int n : {1, 2})
            QVERIFY(QDir().rmdir(dataFolder(f, n)));
        KRT550F1 &form = f.load();
        QCOMPARE(f.boxes.size(), 1);
        QVERIFY(f.boxes[0].text.contains(QStringLiteral("DAT1～DAT5")));
        QCOMPARE(cmb_DAT(form)->count(), 0);
        QCOMPARE(cmb_DAT(form)->currentIndex(), -1);
        QVERIFY(!form.connection());
        QVERIFY(FirstConnect);
        QCOMPARE(lstTbl(form)->Rows(), 0);
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")), 0);
        QCOMPARE(enabledKeys(form), LoadStageKeys);
    }

    void theInventoryVersionDecidesTheNewConditions_data()
    {
        QTest::addColumn<QVariant>("invent"); // invalid: no setting at all
        QTest::addColumn<bool>("newVersion");
        QTest::newRow("Ver1.00 R11") << QVariant(QStringLiteral("Ver1.00 R11")) << false;
        QTest::newRow("Ver1.00 R12") << QVariant(QStringLiteral("Ver1.00 R12")) << true;
        QTest::newRow("Ver2.00 R01") << QVariant(QStringLiteral("Ver2.00 R01")) << true;
        QTest::newRow("Ver0.90 R99") << QVariant(QStringLiteral("Ver0.90 R99")) << false;
        QTest::newRow("empty") << QVariant(QString()) << false;
        QTest::newRow("absent") << QVariant() << false;
        QTest::newRow("no revision") << QVariant(QStringLiteral("Ver1.00")) << false;
        QTest::newRow("no number") << QVariant(QStringLiteral("Version R12")) << false;
        QTest::newRow("revision no number") << QVariant(QStringLiteral("Ver1.00 Rxx")) << false;
    }
    void theInventoryVersionDecidesTheNewConditions()
    {
        QFETCH(QVariant, invent);
        QFETCH(bool, newVersion);
        FormFixture f;
        QVERIFY(f.install());
        if (invent.isValid())
            f.setSetting(QStringLiteral("Version/Invent"), invent.toString());
        else
            f.removeSetting(QStringLiteral("Version/Invent"));
        KRT550F1 &form = f.load();
        QCOMPARE(form.inventNewVersion(), newVersion);
        // A version text that cannot be read keeps the database connection and the ready form.
        QVERIFY(form.connection());
        QVERIFY(form.connection()->isOpen());
        QCOMPARE(enabledKeys(form), CheckedStageKeys);
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        f.clickLine(0);
        QCOMPARE(lstTbl(form)->TextMatrix(0, 0), Off);
    }

    void theWheelOverTheListNeverChangesTheDatabase_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("delta"); // in eighths of a degree, as the wheel reports them
        QTest::newRow("one notch down from the first") << 0 << -120;
        QTest::newRow("a fast turn down from the first") << 0 << -360;
        QTest::newRow("one notch up from the second") << 1 << 120;
    }

    // DAT1 and DAT2 convert at once (1200 = 1) and DAT2 says so with another parameter value, so
    // a switch shows; a third database with 1200 = 0 would lock the list where the wheel left it.
    void theWheelOverTheListNeverChangesTheDatabase()
    {
        QFETCH(int, start);
        QFETCH(int, delta);
        FormFixture f;
        install::Options options = f.smallOptions();
        options.databases = 3;
        QVERIFY(f.install(options));
        QVERIFY(f.sql(1, QStringLiteral("UPDATE MSYSPARM SET NAIYO = '2' WHERE PARM_NO = 1200")));
        QVERIFY(f.sql(2, QStringLiteral("UPDATE MSYSPARM SET NAIYO = '0' WHERE PARM_NO = 1200")));
        KRT550F1 &form = f.load();
        if (start != 0)
            f.selectDatabase(start);
        QComboBox *list = cmb_DAT(form);
        QCOMPARE(list->currentIndex(), start);
        const int stockMode = form.stockMode();
        const QString catalog = form.connection()->database().databaseName();
        QVERIFY(catalog.endsWith(QStringLiteral("TMCS0%1.db").arg(start)));
        f.boxes.clear();

        for (int turn = 0; turn < 3; ++turn) {
            const QPointF at = QRectF(list->rect()).center();
            QWheelEvent wheel(at, list->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(list, &wheel);
        }
        QCOMPARE(list->currentIndex(), start);
        QCOMPARE(form.connection()->database().databaseName(), catalog);
        QCOMPARE(form.stockMode(), stockMode);
        QVERIFY(list->isEnabled());
        QVERIFY(f.boxes.isEmpty());

        // The keyboard still chooses: the entry below switches to its database.
        list->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentIndex(), start + 1);
        QVERIFY(form.connection()->database().databaseName().endsWith(
            QStringLiteral("TMCS0%1.db").arg(start + 1)));
    }

    void enterInTheListMovesToTheGrid()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        cmb_DAT(form)->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), cmb_DAT(form));
        QTest::keyClick(cmb_DAT(form), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), lstTbl(form));
        QCOMPARE(cmb_DAT(form)->currentIndex(), 0);
        QVERIFY(f.boxes.isEmpty());
    }
};

QTEST_MAIN(TestFormSwitch)
#include "tst_form_switch.moc"
