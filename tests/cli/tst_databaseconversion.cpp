#include "cli/krt550process.h"
#include "servertables/servertables.h"
#include "support/formrun.h"
#include "support/testcatalog.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QRegularExpression>

#include <csignal>
#include <map>
#include <set>

using namespace krt;
using namespace krt::testing;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString Rates = u"--method 1 --from 8 --to 10"_s;
// Goods rounded half up at the tens (exponent 2), add-on prices up at the hundreds (exponent 3).
const QString Rounding = u"--goods-rounding half-up --goods-digit 10 --addon-rounding up --addon-digit 100"_s;

CommandResult run(const FormFixture &f, const QString &arguments)
{
    return runCommand(f.root(), arguments.split(QLatin1Char(' ')));
}

// Every price of the goods, stock and movement rows, without the stamps of the run's moment.
QStringList prices(const FormFixture &f, int position)
{
    return f.rows(position, u"SELECT JAN_CD, HYOJYUN_PRC, KOURI_PRC, OROSI_PRC, H_ADD1_PRC, K_ADD1_PRC, "
                            "O_ADD1_PRC, H_ADD2_PRC, K_ADD2_PRC, O_ADD2_PRC FROM MGOODS ORDER BY JAN_CD"_s) +
           f.rows(position, u"SELECT TENPO_CD, JAN_CD, HYOJYUN_PRC, KOURI_PRC, OROSI_PRC FROM IZAIKO "
                            "ORDER BY TENPO_CD, JAN_CD"_s) +
           f.rows(position,
                  u"SELECT IO_SEQ, HYOJYUN_PRC, KOURI_PRC, OROSI_PRC FROM IIODATA ORDER BY IO_SEQ"_s);
}

// The converted or marked rows of the work list: what a refused command must not add to.
QStringList touched(const FormFixture &f, int position)
{
    return f.rows(position, u"SELECT ITEM_CD, DETAIL_NO, CHK, UPDATE_DATE FROM MITEMCNT "
                            "WHERE CHK IS NOT NULL OR UPDATE_DATE IS NOT NULL"_s);
}

QStringList runLog(const FormFixture &f)
{
    QFile file(QFileInfo(install::settingsFile(f.root())).absolutePath() + u"/KRT550.log"_s);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

std::set<QString> convertedCategories(const FormFixture &f)
{
    const QStringList keys = f.rows(
        0, u"SELECT ITEM_CD || '|' || IFNULL(DETAIL_NO, 0) FROM MITEMCNT WHERE UPDATE_DATE IS NOT NULL"_s);
    return {keys.cbegin(), keys.cend()};
}

// The goods prices by goods code, with the goods' category key "code|number".
using GoodsPrices = std::map<QString, std::pair<QString, QVariantList>>;
const QString GoodsQuery =
    u"SELECT JAN_CD, DAI_BUNRUI_CD || '|' || COALESCE(CHU_BUNRUI_CD, 0), HYOJYUN_PRC, "
    "KOURI_PRC, OROSI_PRC, H_ADD1_PRC, K_ADD1_PRC, O_ADD1_PRC, H_ADD2_PRC, K_ADD2_PRC, "
    "O_ADD2_PRC FROM MGOODS"_s;
template <typename Rows> GoodsPrices goodsPrices(const Rows &rows)
{
    GoodsPrices result;
    for (const QVariantList &row : rows)
        result[row[0].toString()] = {row[1].toString(), row.mid(2)};
    return result;
}
GoodsPrices goodsPrices(const FormFixture &f)
{
    return goodsPrices(f.records(0, GoodsQuery).value_or(QList<QVariantList>{}));
}

// Goods whose prices are neither converted exactly once with Rates and Rounding (their category
// converted) nor as they were (not converted).
QStringList halfDone(const GoodsPrices &before, const GoodsPrices &after, const std::set<QString> &converted)
{
    QStringList problems;
    for (const auto &[code, row] : before)
        for (int i = 0; i < row.second.size(); ++i) {
            const qint64 was = qRound64(row.second[i].toDouble());
            const qint64 expected = converted.count(row.first) == 0 ? was
                                    : i < 3 ? testing::exactPrice(was, 8, 10, HasuRoundHalfUp, 2)
                                            : testing::exactPrice(was, 8, 10, HasuRoundUp, 3);
            const QVariant now = after.at(code).second[i];
            if (row.second[i].isNull() ? !now.isNull() : qRound64(now.toDouble()) != expected)
                problems
                    << u"%1 %2 price %3: %4 -> %5"_s.arg(code, row.first).arg(i).arg(was).arg(now.toString());
        }
    return problems;
}

} // namespace

// The command line converts as the window does, with the window's checks, refusals and texts.
class TestDatabaseConversion : public QObject
{
    Q_OBJECT

    QTemporaryDir m_large; // a store whose run lasts long enough to be stopped in its middle
    static constexpr int LargeCategories = 600;

private Q_SLOTS:
    void initTestCase()
    {
        install::Options options;
        options.root = m_large.path();
        options.databases = 1;
        options.categories = LargeCategories;
        options.goods = 60000;
        options.stock = 30000;
        options.movements = 60000;
        QCOMPARE(install::createInstallation(options).error, QString());
    }

    void theCommandConvertsAsTheWindowDoes_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::newRow("direct") << 1;
        QTest::newRow("deferred") << 0;
    }
    void theCommandConvertsAsTheWindowDoes()
    {
        QFETCH(int, stockMode);
        FormFixture f;
        install::Options options = f.smallOptions();
        options.stockMode = stockMode;
        QVERIFY(f.install(options));
        // Both catalogs hold the same data: the window converts the first, the command the second.
        QVERIFY(copyCatalog(f.catalog(0), f.catalog(1)));
        const QStringList before = prices(f, 1);
        KRT550F1 &form = f.load();
        typeRates(form);
        QTest::keyClick(&form, Qt::Key_F1);
        QCOMPARE(f.confirmations.size(), 1);

        const CommandResult result = run(f, u"convert --db DAT2 --yes "_s + Rates);
        QVERIFY2(result.exitCode == 0 && result.err.contains(u"DAT2: 10009"_s), qPrintable(result.err));
        // The texts name each run's own change list.
        static const QRegularExpression listName(u"\\d{8}-\\d{6}-TMCS0\\d\\.csv"_s);
        QVERIFY2(QString(result.out)
                     .replace(listName, u"LIST"_s)
                     .contains(u"TMCS01（DAT2）の売価を変換します。\n"_s +
                               QString(f.confirmations[0].details).replace(listName, u"LIST"_s)),
                 qPrintable(result.out + u"\n---\n"_s + f.confirmations[0].details));
        // The same goods converted the same way give the same change list.
        const QDir lists(install::configFolder(f.root()) + u"/VELD/KRT550-changes"_s);
        const QStringList files = lists.entryList({u"*.csv"_s}, QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 2);
        QFile window(lists.filePath(files.filter(u"TMCS00"_s).value(0)));
        QFile command(lists.filePath(files.filter(u"TMCS01"_s).value(0)));
        QVERIFY(window.open(QIODevice::ReadOnly) && command.open(QIODevice::ReadOnly));
        QCOMPARE(command.readAll(), window.readAll());
        QVERIFY(prices(f, 1) != before);
        QCOMPARE(prices(f, 1), prices(f, 0));
        const QString workList = u"SELECT * FROM MITEMCNT ORDER BY ITEM_CD, DETAIL_NO"_s;
        QCOMPARE(f.rows(1, workList), f.rows(0, workList));
        const QStringList log = runLog(f);
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[1].split(QLatin1Char('\t')).mid(1, 2), (QStringList{u"TMCS01"_s, u"DAT2"_s}));
        QCOMPARE(QString(log[1]).replace(listName, u"LIST"_s).split(QLatin1Char('\t')).mid(3),
                 QString(log[0]).replace(listName, u"LIST"_s).split(QLatin1Char('\t')).mid(3));
    }

    void aPreviewWritesNothing()
    {
        FormFixture f;
        QVERIFY(f.install());
        const QStringList before = prices(f, 0);
        const CommandResult result = run(f, u"convert --db DAT1 "_s + Rates + u" "_s + Rounding);
        QVERIFY2(result.exitCode == 0, qPrintable(result.err));
        QVERIFY2(result.out.startsWith(u"TMCS00（DAT1）の売価の変換内容です"_s) &&
                     result.out.contains(u"端数処理: 商品 四捨五入 １０の位、付加 切上げ １００の位"_s),
                 qPrintable(result.out));
        // Five goods, with the prices the run would write.
        const QRegularExpression sample(u"標準売価 (\\d+) → (\\d+)  売価 (\\d+) → (\\d+)"_s);
        int samples = 0;
        for (auto m = sample.globalMatch(result.out); m.hasNext(); ++samples) {
            const QRegularExpressionMatch line = m.next();
            for (int i : {1, 3})
                QCOMPARE(line.captured(i + 1).toLongLong(),
                         testing::exactPrice(line.captured(i).toLongLong(), 8, 10, HasuRoundHalfUp, 2));
        }
        QCOMPARE(samples, 5);
        QCOMPARE(prices(f, 0), before);
        QCOMPARE(f.value(0, u"SELECT COUNT(*) FROM MITEMCNT"_s).toInt(), 0);
        QCOMPARE(runLog(f), QStringList());
    }

    void refusalsChangeNothing_data()
    {
        QTest::addColumn<int>("stockMode");
        QTest::addColumn<int>("unmatched");
        QTest::addColumn<QString>("setup");      // SQL on the database before the command
        QTest::addColumn<QString>("connection"); // added to the stored connection text; "lock": held
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("said");
        QTest::newRow("category check fails")
            << 1 << 3 << QString() << QString() << Rates << u"DAT1: 40424"_s;
        QTest::newRow("unknown code") << 1 << 0 << QString() << QString()
                                      << Rates + u" --categories 001,099"_s << u"にない分類です: 099"_s;
        QTest::newRow("converted code")
            << 1 << 0
            << u"INSERT INTO MITEMCNT (ITEM_CD, DETAIL_NO, TAX_FREE_FLG, INV_FLG, COMP_FLG, UPDATE_DATE) "
               "VALUES ('001', 0, '0', '0', '1', '2031/01/01')"_s
            << QString() << Rates + u" --categories 002,001"_s << u"001（2031/01/01 に変換済み）"_s;
        QTest::newRow("nothing marked")
            << 1 << 0 << QString() << QString() << Rates + u" --categories marked"_s << u"DAT1: 40035"_s;
        QTest::newRow("stock-take older than the business date")
            << 0 << 0 << u"DELETE FROM INEFUDA_CNT;\nINSERT INTO INEFUDA_CNT VALUES ('0001', '2000/01/01')"_s
            << QString() << Rates + u" --categories 002,001"_s << u"DAT1: 40422"_s;
        QTest::newRow("system month no year and month") << 1 << 0 << u"UPDATE GDATECTL SET SYS_YM1 = 202413"_s
                                                        << QString() << Rates << u"SYS_YM1 = '202413'"_s;
        QTest::newRow("no tax rate in force for method 0")
            << 1 << 0 << u"DELETE FROM MSYSPARM WHERE PARM_NO = 3080"_s << QString() << u"--method 0"_s
            << u"DAT1: 40419"_s;
        QTest::newRow("read-only database")
            << 1 << 0 << QString() << u"Mode=Read;"_s << Rates << u"MITEMCNT に書き込めません"_s;
        QTest::newRow("another command converting")
            << 1 << 0 << QString() << u"lock"_s << Rates
            << u"別の KRT550 がこのデータベースを変換中です（端末 %1、プロセス %2 "_s.arg(
                   QSysInfo::machineHostName(), QString::number(QCoreApplication::applicationPid()));
    }
    void refusalsChangeNothing()
    {
        QFETCH(int, stockMode);
        QFETCH(int, unmatched);
        QFETCH(QString, setup);
        QFETCH(QString, connection);
        QFETCH(QString, arguments);
        QFETCH(QString, said);
        FormFixture f;
        install::Options options = f.smallOptions();
        options.stockMode = stockMode;
        options.unmatched = unmatched;
        QVERIFY(f.install(options));
        QVERIFY(setup.isEmpty() || f.sql(0, setup));
        QLockFile lock(install::drivesFolder(f.root()) + u"/c/TMCS/DAT/DAT1/KRT550.lock"_s);
        if (connection == u"lock"_s)
            QVERIFY(lock.tryLock(0));
        else if (!connection.isEmpty())
            f.setSetting(u"Common/DBPARMS"_s, install::connectionText(f.root()) + connection);
        const QStringList before = prices(f, 0);
        const QStringList marks = touched(f, 0);

        const CommandResult result = run(f, u"convert --db DAT1 --yes "_s + arguments);
        QVERIFY2(result.exitCode == 1 && result.err.contains(said), qPrintable(result.err));
        QCOMPARE(prices(f, 0), before);
        QCOMPARE(touched(f, 0), marks);
        QCOMPARE(runLog(f), QStringList());
    }

    void allDatabasesStopAtTheFirstRefusal()
    {
        FormFixture f;
        QVERIFY(f.install());
        // Goods of a category the masters of the second database do not know.
        QVERIFY(f.sql(
            1, u"INSERT INTO MGOODS (JAN_CD, DAI_BUNRUI_CD, HYOJYUN_PRC) VALUES ('4999', 'X99', 1080)"_s));
        const QStringList second = prices(f, 1);
        const CommandResult result = run(f, u"convert --db all --yes "_s + Rates);
        QVERIFY2(result.exitCode == 1 && result.err.contains(u"DAT2: 40424"_s) &&
                     result.err.contains(u"X99-0  商品 1 件"_s),
                 qPrintable(result.err));
        QCOMPARE(f.value(0, u"SELECT COUNT(*) FROM MITEMCNT WHERE UPDATE_DATE IS NULL"_s).toInt(), 0);
        QCOMPARE(prices(f, 1), second);
        QCOMPARE(touched(f, 1), QStringList());
        const QStringList log = runLog(f);
        QCOMPARE(log.size(), 1);
        QVERIFY2(log[0].contains(u"\tTMCS00\tDAT1\t"_s) && log[0].endsWith(u"結果=正常終了"_s),
                 qPrintable(log[0]));
    }

    void aFailedCategoryEndsTheRunWithItsCause()
    {
        FormFixture f;
        QVERIFY(f.install());
        QVERIFY(f.sql(0, u"CREATE TRIGGER refuse_003 BEFORE UPDATE ON MGOODS WHEN OLD.DAI_BUNRUI_CD = '003' "
                         "BEGIN SELECT RAISE(ABORT, 'rows of this category are locked'); END;"_s));
        const QString category = u"SELECT * FROM MGOODS WHERE DAI_BUNRUI_CD = '003'"_s;
        const QStringList before = f.rows(0, category);
        const CommandResult result = run(f, u"convert --db DAT1 --yes "_s + Rates);
        QVERIFY2(result.exitCode == 2 && result.err.contains(u"DAT1: 40275"_s) &&
                     result.err.contains(u"rows of this category are locked"_s),
                 qPrintable(result.err));
        QCOMPARE(f.rows(0, category), before);
        const std::set<QString> converted = convertedCategories(f);
        QVERIFY(!converted.empty() && converted.count(u"003|0"_s) == 0);
        const QStringList log = runLog(f);
        QCOMPARE(log.size(), 1);
        QVERIFY2(log[0].contains(u"分類=%1\t"_s.arg(converted.size())) &&
                     log[0].contains(u"結果=異常終了: "_s) &&
                     log[0].endsWith(u"rows of this category are locked"_s),
                 qPrintable(log[0]));
    }

    void aServerDatabaseIsPreviewedAndConvertedAsAFileIs()
    {
        KRT_REQUIRE_TEST_SERVER();
        testing::PriceDb server(test::PgServer::instance(), u"TMCS00"_s, u"numeric(12,2)"_s);
        QVERIFY2(server.error().isEmpty(), qPrintable(server.error()));
        FormFixture f;
        install::Options options = f.smallOptions();
        options.databases = 1;
        QVERIFY(f.install(options));
        install::CatalogFigures figures;
        QCOMPARE(install::fillServerTables(server.connection().database(), options, 7, figures), QString());
        f.setSetting(u"Common/DBPARMS"_s, server.connectionText());
        const GoodsPrices before = goodsPrices(server.rows(GoodsQuery));

        const CommandResult preview = run(f, u"convert --db DAT1 "_s + Rates + u" "_s + Rounding);
        QVERIFY2(preview.exitCode == 0 && preview.out.contains(u"変換例:"_s), qPrintable(preview.err));
        QCOMPARE(server.value(u"SELECT COUNT(*) FROM MITEMCNT"_s).toInt(), 0);
        const CommandResult converted = run(f, u"convert --db DAT1 --yes "_s + Rates + u" "_s + Rounding);
        QVERIFY2(converted.exitCode == 0, qPrintable(converted.err));
        std::set<QString> all;
        for (
            const QVariantList &key : server.rows(
                u"SELECT ITEM_CD || '|' || COALESCE(DETAIL_NO, 0) FROM MITEMCNT WHERE UPDATE_DATE IS NOT NULL"_s))
            all.insert(key[0].toString());
        QCOMPARE(static_cast<qint64>(all.size()), figures.workList);
        const QStringList problems = halfDone(before, goodsPrices(server.rows(GoodsQuery)), all);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void aStopEndsTheRunAfterTheCategoryUnderWay_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGKILL, the lock left behind") << int(SIGKILL);
    }
    void aStopEndsTheRunAfterTheCategoryUnderWay()
    {
        QFETCH(int, signal);
        FormFixture f;
        install::Options options = f.smallOptions();
        options.databases = 1;
        QVERIFY(f.install(options));
        QVERIFY(copyCatalog(install::catalogFolder(m_large.path()) + u"/TMCS00.db"_s, f.catalog(0)));
        const GoodsPrices before = goodsPrices(f);

        QProcess process;
        startCommand(process, f.root(),
                     (u"convert --db DAT1 --yes "_s + Rates + u" "_s + Rounding).split(u' '));
        QTRY_VERIFY_WITH_TIMEOUT(!convertedCategories(f).empty(), 60000);
        QCOMPARE(::kill(static_cast<pid_t>(process.processId()), signal), 0);
        const CommandResult stopped = finishCommand(process);
        QVERIFY2(signal == SIGKILL ? stopped.crashed : !stopped.crashed && stopped.exitCode == 4,
                 qPrintable(stopped.err));
        const std::set<QString> converted = convertedCategories(f);
        QVERIFY2(static_cast<int>(converted.size()) < LargeCategories, "the run ended before the stop");
        QVERIFY2(halfDone(before, goodsPrices(f), converted).isEmpty(),
                 qPrintable(halfDone(before, goodsPrices(f), converted).join(QLatin1Char('\n'))));

        // The categories not reached are still marked: the next run converts exactly them.
        const CommandResult rest =
            run(f, u"convert --db DAT1 --categories marked --yes "_s + Rates + u" "_s + Rounding);
        QVERIFY2(rest.exitCode == 0, qPrintable(rest.err));
        QCOMPARE(static_cast<int>(convertedCategories(f).size()), LargeCategories);
        QVERIFY(halfDone(before, goodsPrices(f), convertedCategories(f)).isEmpty());
        const QStringList log = runLog(f);
        QCOMPARE(log.size(), signal == SIGKILL ? 1 : 2);
        QVERIFY(log.first().endsWith(signal == SIGKILL ? u"結果=正常終了"_s : u"結果=中止"_s));
    }
};

QTEST_MAIN(TestDatabaseConversion)
#include "tst_databaseconversion.moc"
