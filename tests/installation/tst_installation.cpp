// The installation tool: what an installation holds, that the program finds and opens it the
// way it finds a real one, that its data pass the category check and give the work list that
// was asked for, and that an existing installation is never overwritten by accident.

#include "category/categorycheck.h"
#include "db/connection.h"
#include "installation/installation.h"
#include "platform/dblist.h"
#include "platform/settingsstore.h"
#include "support/scopedenv.h"
#include "support/testcatalog.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using krt::install::Existing;
using krt::install::Options;
using krt::testing::FillMajors;
using krt::testing::FillSubs;
using krt::testing::ScopedEnv;

namespace {

Options small(const QString &root)
{
    Options options;
    options.root = root;
    options.databases = 3;
    options.categories = 37;
    options.goods = 1500;
    options.stock = 2500;
    options.movements = 4000;
    options.months = 4;
    options.sysYm = 202610;
    options.stockTake = QDate(2026, 10, 15);
    return options;
}

QVariant valueOf(krt::Connection &connection, const QString &sql)
{
    std::optional<krt::Recordset> result = connection.openRecordset(sql);
    if (!result || result->eof())
        return QStringLiteral("<failed: %1>").arg(connection.errors().value(0).description);
    return result->field(0);
}

// Price rows whose category key the masters lack: an unknown major category, or a sub-category
// number that is not a detail of kind '71' of its major.
QString unmatchedIn(const QString &table)
{
    return QStringLiteral(
               "SELECT COUNT(*) FROM %1 K WHERE NOT EXISTS (SELECT 1 FROM MITEMCD WHERE ITEM_CD = "
               "K.DAI_BUNRUI_CD) OR (IFNULL(K.CHU_BUNRUI_CD, 0) <> 0 AND NOT EXISTS (SELECT 1 FROM MITEMDTL "
               "WHERE D_BUNRUI_CD = K.DAI_BUNRUI_CD AND D_ITEM_NO = '71' AND D_DETAIL_NO = K.CHU_BUNRUI_CD))")
        .arg(table);
}

// Rows stored out of category order (Null sub-categories first, as the index orders them).
QString outOfOrderIn(const QString &table)
{
    return QStringLiteral("SELECT COUNT(*) FROM (SELECT DAI_BUNRUI_CD AS D, IFNULL(CHU_BUNRUI_CD, -1) AS C, "
                          "LAG(DAI_BUNRUI_CD) OVER (ORDER BY rowid) AS PD, LAG(IFNULL(CHU_BUNRUI_CD, -1)) "
                          "OVER (ORDER BY "
                          "rowid) AS PC FROM %1) WHERE PD > D OR (PD = D AND PC > C)")
        .arg(table);
}

QDateTime modified(const QString &file)
{
    return QFileInfo(file).lastModified();
}

} // namespace

class TestInstallation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void programFindsTheInstallation();
    void catalogContents();
    void workListFill();
    void unmatchedGoods();
    void sameSeedSameData();
    void existingInstallation();
    void replaceKeepsForeignFiles();
    void invalidOptions_data();
    void invalidOptions();
    void failedCreationLeavesNothing();
    void commandLine();

private:
    QTemporaryDir m_dir;
    QString m_root;
};

void TestInstallation::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = m_dir.filePath(QStringLiteral("demo"));
    const krt::install::Result result = krt::install::createInstallation(small(m_root));
    QCOMPARE(result.error, QString());
    QVERIFY(!result.kept);
    QCOMPARE(result.catalogs.size(), 3);
    for (const krt::install::CatalogFigures &figures : result.catalogs) {
        QCOMPARE(figures.workList, 37);
        QCOMPARE(figures.goods, 1500);
        QCOMPARE(figures.stock, 2500);
        QCOMPARE(figures.movements, 4000);
        QVERIFY(figures.seconds >= 0);
    }
}

// The settings, the drive and the catalogs are where the program looks for them.
void TestInstallation::programFindsTheInstallation()
{
    const ScopedEnv config("XDG_CONFIG_HOME", krt::install::configFolder(m_root));
    const ScopedEnv drives("TMCS_DRIVE_ROOT", krt::install::drivesFolder(m_root));
    QCOMPARE(krt::settings::storeLocation(), krt::install::settingsFile(m_root));
    const QString stored = krt::storedConnectionText();
    QCOMPARE(stored, QStringLiteral("Provider=SQLite;Initial Catalog=TMCS00;Data Source=%1;")
                         .arg(QDir(m_root).absoluteFilePath(QStringLiteral("db"))));
    QCOMPARE(
        krt::settings::GetSetting(krt::settings::Common, QStringLiteral("area"), QStringLiteral("<none>")),
        QString());
    QCOMPARE(krt::settings::GetSetting(krt::settings::Version, QStringLiteral("Invent")),
             QStringLiteral("Ver1.00 R12"));

    QCOMPARE(krt::prfn_FindDataDrive(), QStringLiteral("C"));
    const krt::DbList list = krt::buildDbList(QStringLiteral("C"), krt::currentCatalog(stored));
    QCOMPARE(list.entries,
             QStringList({QStringLiteral("DAT1"), QStringLiteral("DAT2"), QStringLiteral("DAT3")}));
    QCOMPARE(list.selected, 0);

    const krt::SpliceResult parts = krt::splitConnectionText(stored);
    QVERIFY(parts.parts);
    for (int p = 0; p < list.entries.size(); ++p) {
        krt::Connection connection;
        QVERIFY2(connection.open(krt::catalogConnectionText(*parts.parts, p)),
                 qPrintable(connection.errors().value(0).description));
        QCOMPARE(valueOf(connection, QStringLiteral("PRAGMA journal_mode")).toString(),
                 QStringLiteral("wal"));
        QCOMPARE(valueOf(connection, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")).toInt(), 0);
    }
}

void TestInstallation::catalogContents()
{
    krt::Connection connection;
    QVERIFY(connection.open(krt::install::connectionText(m_root)));
    const auto value = [&](const QString &sql) { return valueOf(connection, sql); };

    QCOMPARE(value(QStringLiteral("SELECT NAIYO FROM MSYSPARM WHERE PARM_NO = 1200")).toString(),
             QStringLiteral("1"));
    QCOMPARE(value(QStringLiteral("SELECT NAIYO FROM MSYSPARM WHERE PARM_NO = 3080")).toString(),
             QStringLiteral("0.08"));
    QCOMPARE(value(QStringLiteral("SELECT SYS_YM1 FROM GDATECTL")).toInt(), 202610);
    QCOMPARE(value(QStringLiteral("SELECT MAX(ZAIKOMENT_DT) AS MAX_DATE FROM INEFUDA_CNT")).toString(),
             QStringLiteral("2026-10-15"));
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM IZSELL_MENT")).toInt() > 0);

    // Japanese names; tax-free and inventory majors; details the work list never takes.
    QCOMPARE(value(QStringLiteral("SELECT ITEM_NM FROM MITEMCD ORDER BY ITEM_CD")).toString(),
             QStringLiteral("食品"));
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM MITEMCD WHERE TAX_FREE_FLG = '1'")).toInt() > 0);
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM MITEMCD WHERE TAX_FREE_FLG = '0' AND INV_FLG = '1'"))
                .toInt() > 0);
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM MITEMCD WHERE TAX_FREE_FLG = '0' AND INV_FLG = '0'"))
                .toInt() > 0);
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM MITEMDTL WHERE D_ITEM_NO = '71' AND D_DETAIL_NO = 0"))
                .toInt() > 0);
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM MITEMDTL WHERE D_ITEM_NO <> '71'")).toInt() > 0);

    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM MGOODS")).toInt(), 1500);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM IZAIKO")).toInt(), 2500);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM IIODATA")).toInt(), 4000);
    QCOMPARE(
        value(QStringLiteral("SELECT COUNT(*) FROM IZAIKO WHERE JAN_CD NOT IN (SELECT JAN_CD FROM MGOODS)"))
            .toInt(),
        0);

    // Prices that look tax-inclusive at 8 %; goods of a major category both without a
    // sub-category (Null) and with sub-category 0; goods of tax-free majors.
    QCOMPARE(
        value(QStringLiteral("SELECT COUNT(*) FROM MGOODS WHERE HYOJYUN_PRC IN (108, 216, 1080)")).toInt() >
            0,
        true);
    QCOMPARE(
        value(QStringLiteral("SELECT COUNT(*) FROM MGOODS WHERE HYOJYUN_PRC <> CAST(HYOJYUN_PRC AS INT)"))
            .toInt(),
        0);
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM MGOODS WHERE H_ADD1_PRC > 0")).toInt() > 0);
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM MGOODS WHERE CHU_BUNRUI_CD IS NULL")).toInt() > 0);
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM MGOODS WHERE CHU_BUNRUI_CD = 0")).toInt() > 0);
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM MGOODS WHERE CHU_BUNRUI_CD > 0")).toInt() > 0);
    QVERIFY(
        value(QStringLiteral("SELECT COUNT(*) FROM MGOODS G JOIN MITEMCD C ON C.ITEM_CD = G.DAI_BUNRUI_CD "
                             "WHERE C.TAX_FREE_FLG = '1'"))
            .toInt() > 0);

    // Stock that the two row conditions of the stock statement tell apart.
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM IZAIKO WHERE ZAIKO_QTY > 0")).toInt() > 0);
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM IZAIKO WHERE ZAIKO_QTY <= 0 AND JYUTAKU_QTY > 0"))
                .toInt() > 0);
    QVERIFY(value(QStringLiteral("SELECT COUNT(*) FROM IZAIKO WHERE ZAIKO_QTY <= 0 AND JYUTAKU_QTY <= 0"))
                .toInt() > 0);

    // Movements over the months up to the system month.
    QCOMPARE(
        value(QStringLiteral(
                  "SELECT GROUP_CONCAT(IO_YM, ' ') FROM (SELECT DISTINCT IO_YM FROM IIODATA ORDER BY 1)"))
            .toString(),
        QStringLiteral("202607 202608 202609 202610"));

    // The family's category check passes, with and without the stock.
    for (const int honShiten : {0, 1}) {
        krt::CategoryCheck check(&connection);
        check.setHonShiten(honShiten);
        QCOMPARE(check.GetUnMutch(), short(0));
    }

    // Every price row matches the masters, and the price tables are stored in category order
    // with an index on the category key.
    for (const QString &table :
         {QStringLiteral("MGOODS"), QStringLiteral("IZAIKO"), QStringLiteral("IIODATA")}) {
        QCOMPARE(value(unmatchedIn(table)).toInt(), 0);
        QCOMPARE(value(outOfOrderIn(table)).toInt(), 0);
        for (const QString &sub : {QStringLiteral("(CHU_BUNRUI_CD = 1)"),
                                   QStringLiteral("((CHU_BUNRUI_CD Is Null) OR (CHU_BUNRUI_CD = 0))")}) {
            std::optional<krt::Recordset> plan = connection.openRecordset(
                QStringLiteral(
                    "EXPLAIN QUERY PLAN UPDATE %1 SET HYOJYUN_PRC = 0 WHERE (DAI_BUNRUI_CD = '001') AND %2")
                    .arg(table, sub));
            QVERIFY(plan);
            QString steps;
            for (; !plan->eof(); plan->moveNext())
                steps += plan->field(QStringLiteral("detail")).toString() + QLatin1Char(';');
            QVERIFY2(steps.contains(
                         QRegularExpression(QStringLiteral("SEARCH %1 USING (COVERING )?INDEX %1_BUNRUI "
                                                           "\\(DAI_BUNRUI_CD=\\? AND CHU_BUNRUI_CD=\\?\\)")
                                                .arg(table))),
                     qPrintable(steps));
        }
    }
}

// The program's fill makes exactly the requested work list, and never takes tax-free majors,
// details of other kinds or number 0.
void TestInstallation::workListFill()
{
    const QString file = QDir(krt::install::catalogFolder(m_root)).filePath(QStringLiteral("TMCS01.db"));
    const QString copy = m_dir.filePath(QStringLiteral("fill/TMCS01.db"));
    QVERIFY(QDir().mkpath(QFileInfo(copy).absolutePath()));
    QVERIFY(QFile::copy(file, copy));
    krt::Connection connection;
    QVERIFY(connection.open(QStringLiteral("Provider=SQLite;Initial Catalog=TMCS01;Data Source=%1;")
                                .arg(QFileInfo(copy).absolutePath())));
    QVERIFY(connection.execute(FillMajors));
    QVERIFY(connection.execute(FillSubs));
    QCOMPARE(valueOf(connection, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT")).toInt(), 37);
    QCOMPARE(valueOf(connection,
                     QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE ITEM_CD IN (SELECT ITEM_CD FROM "
                                    "MITEMCD WHERE TAX_FREE_FLG <> '0')"))
                 .toInt(),
             0);
    QVERIFY(valueOf(connection, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE INV_FLG = '1'")).toInt() >
            0);
    QCOMPARE(
        valueOf(connection,
                QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE DETAIL_NO NOT IN (SELECT D_DETAIL_NO "
                               "FROM MITEMDTL WHERE D_BUNRUI_CD = ITEM_CD AND D_ITEM_NO = '71') AND "
                               "DETAIL_NO <> 0"))
            .toInt(),
        0);
    // Every work-list category owns goods to convert.
    QCOMPARE(
        valueOf(connection,
                QStringLiteral("SELECT COUNT(*) FROM MITEMCNT W WHERE NOT EXISTS (SELECT 1 FROM MGOODS G "
                               "WHERE G.DAI_BUNRUI_CD = W.ITEM_CD AND IFNULL(G.CHU_BUNRUI_CD, 0) = "
                               "W.DETAIL_NO)"))
            .toInt(),
        0);
}

void TestInstallation::unmatchedGoods()
{
    Options options = small(m_dir.filePath(QStringLiteral("unmatched")));
    options.databases = 1;
    options.unmatched = 7;
    options.stockMode = 0;
    options.tax = QStringLiteral("0.10");
    options.invent = QStringLiteral("Ver1.00 R11");
    const krt::install::Result result = krt::install::createInstallation(options);
    QCOMPARE(result.error, QString());
    QCOMPARE(result.catalogs.constFirst().goods, 1507);
    krt::Connection connection;
    QVERIFY(connection.open(krt::install::connectionText(options.root)));
    QCOMPARE(valueOf(connection, unmatchedIn(QStringLiteral("MGOODS"))).toInt(), 7);
    krt::CategoryCheck check(&connection);
    check.setHonShiten(1);
    QCOMPARE(check.GetUnMutch(), short(3));
    QCOMPARE(
        valueOf(connection,
                QStringLiteral("SELECT COUNT(DISTINCT DAI_BUNRUI_CD) FROM MGOODS WHERE DAI_BUNRUI_CD NOT "
                               "IN (SELECT ITEM_CD FROM MITEMCD)"))
            .toInt(),
        3);
    QCOMPARE(
        valueOf(connection, QStringLiteral("SELECT NAIYO FROM MSYSPARM WHERE PARM_NO = 1200")).toString(),
        QStringLiteral("0"));
    QCOMPARE(
        valueOf(connection, QStringLiteral("SELECT NAIYO FROM MSYSPARM WHERE PARM_NO = 3080")).toString(),
        QStringLiteral("0.10"));
    const QSettings ini(krt::install::settingsFile(options.root), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Version/Invent")).toString(), QStringLiteral("Ver1.00 R11"));
}

// The same options give the same data, so benchmark runs compare like with like; the
// databases of one installation differ.
void TestInstallation::sameSeedSameData()
{
    const QString digest = QStringLiteral("SELECT SUM(LENGTH(JAN_CD || GOODS_NM || DAI_BUNRUI_CD || "
                                          "IFNULL(CHU_BUNRUI_CD, 'N')) * rowid + HYOJYUN_PRC) "
                                          "FROM MGOODS");
    const QString other = m_dir.filePath(QStringLiteral("again"));
    QCOMPARE(krt::install::createInstallation(small(other)).error, QString());
    QStringList digests;
    for (const QString &root : {m_root, other}) {
        for (int p = 0; p < 2; ++p) {
            krt::Connection connection;
            QVERIFY(connection.open(QStringLiteral("Provider=SQLite;Initial Catalog=TMCS0%1;Data Source=%2;")
                                        .arg(p)
                                        .arg(krt::install::catalogFolder(root))));
            digests << valueOf(connection, digest).toString() +
                           valueOf(connection, QStringLiteral("SELECT SUM(ZAIKO_QTY * rowid) FROM IZAIKO"))
                               .toString();
        }
    }
    QCOMPARE(digests.at(2), digests.at(0));
    QCOMPARE(digests.at(3), digests.at(1));
    QVERIFY(digests.at(0) != digests.at(1));
}

void TestInstallation::existingInstallation()
{
    Options options = small(m_dir.filePath(QStringLiteral("existing")));
    options.databases = 2;
    QCOMPARE(krt::install::createInstallation(options).error, QString());
    const QString catalog =
        QDir(krt::install::catalogFolder(options.root)).filePath(QStringLiteral("TMCS00.db"));
    const QDateTime before = modified(catalog);

    // Refused: nothing changes.
    krt::install::Result result = krt::install::createInstallation(options);
    QVERIFY(!result.error.isEmpty());
    QVERIFY(result.existed);
    QCOMPARE(modified(catalog), before);

    // Kept: nothing changes, and it is no failure.
    result = krt::install::createInstallation(options, Existing::Keep);
    QCOMPARE(result.error, QString());
    QVERIFY(result.kept);
    QCOMPARE(modified(catalog), before);

    // Replaced, with one database instead of two: the second one's folder and catalog go.
    options.databases = 1;
    options.goods = 10;
    options.stock = 5;
    options.movements = 5;
    result = krt::install::createInstallation(options, Existing::Replace);
    QCOMPARE(result.error, QString());
    QVERIFY(!QFileInfo::exists(
        QDir(krt::install::catalogFolder(options.root)).filePath(QStringLiteral("TMCS01.db"))));
    QVERIFY(
        !QFileInfo::exists(krt::install::drivesFolder(options.root) + QStringLiteral("/c/TMCS/DAT/DAT2")));
    krt::Connection connection;
    QVERIFY(connection.open(krt::install::connectionText(options.root)));
    QCOMPARE(valueOf(connection, QStringLiteral("SELECT COUNT(*) FROM MGOODS")).toInt(), 10);
    connection.close();

    // Without its settings file an installation is incomplete: keeping it is refused.
    QVERIFY(QFile::remove(krt::install::settingsFile(options.root)));
    result = krt::install::createInstallation(options, Existing::Keep);
    QVERIFY(!result.error.isEmpty());
    QVERIFY(!result.kept);
    QVERIFY(QFileInfo::exists(catalog));
    QCOMPARE(krt::install::createInstallation(options, Existing::Replace).error, QString());
    QVERIFY(QFileInfo::exists(krt::install::settingsFile(options.root)));
}

// Replacing removes the installation's own files only; a file someone put into a data folder
// stops the replacement before anything is lost.
void TestInstallation::replaceKeepsForeignFiles()
{
    Options options = small(m_dir.filePath(QStringLiteral("foreign")));
    options.databases = 1;
    QCOMPARE(krt::install::createInstallation(options).error, QString());
    const QString note =
        krt::install::drivesFolder(options.root) + QStringLiteral("/c/TMCS/DAT/DAT1/note.txt");
    const QString other =
        QDir(krt::install::catalogFolder(options.root)).filePath(QStringLiteral("other.db"));
    for (const QString &file : {note, other}) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    const krt::install::Result result = krt::install::createInstallation(options, Existing::Replace);
    QVERIFY(!result.error.isEmpty());
    QVERIFY(QFileInfo::exists(note));
    QVERIFY(QFileInfo::exists(other));
    QVERIFY(QFile::remove(note));
    QCOMPARE(krt::install::createInstallation(options, Existing::Replace).error, QString());
    QVERIFY(QFileInfo::exists(other));
}

void TestInstallation::invalidOptions_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");

    QTest::newRow("no root") << QStringLiteral("root") << QString();
    QTest::newRow("root with a semicolon") << QStringLiteral("root") << QStringLiteral("a;b");
    QTest::newRow("no database") << QStringLiteral("databases") << QStringLiteral("0");
    QTest::newRow("six databases") << QStringLiteral("databases") << QStringLiteral("6");
    QTest::newRow("no category") << QStringLiteral("categories") << QStringLiteral("0");
    QTest::newRow("negative goods") << QStringLiteral("goods") << QStringLiteral("-1");
    QTest::newRow("stock without goods") << QStringLiteral("goods") << QStringLiteral("0");
    QTest::newRow("no month") << QStringLiteral("months") << QStringLiteral("0");
    QTest::newRow("stock mode 2") << QStringLiteral("stockMode") << QStringLiteral("2");
    QTest::newRow("tax as percent") << QStringLiteral("tax") << QStringLiteral("8");
    QTest::newRow("tax not a number") << QStringLiteral("tax") << QStringLiteral("0,08");
    QTest::newRow("month 13") << QStringLiteral("sysYm") << QStringLiteral("202613");
}

void TestInstallation::invalidOptions()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    Options options = small(m_dir.filePath(QStringLiteral("invalid")));
    if (field == QStringLiteral("root"))
        options.root = value.isEmpty() ? QString() : m_dir.filePath(value);
    else if (field == QStringLiteral("databases"))
        options.databases = value.toInt();
    else if (field == QStringLiteral("categories"))
        options.categories = value.toInt();
    else if (field == QStringLiteral("goods"))
        options.goods = value.toInt();
    else if (field == QStringLiteral("months"))
        options.months = value.toInt();
    else if (field == QStringLiteral("stockMode"))
        options.stockMode = value.toInt();
    else if (field == QStringLiteral("tax"))
        options.tax = value;
    else if (field == QStringLiteral("sysYm"))
        options.sysYm = value.toInt();
    QVERIFY(!krt::install::validate(options).isEmpty());
    const krt::install::Result result = krt::install::createInstallation(options);
    QVERIFY(!result.error.isEmpty());
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("invalid"))));
}

// A creation that fails half-way removes what it made, and leaves no settings file that would
// make the installation look complete.
void TestInstallation::failedCreationLeavesNothing()
{
    Options options = small(m_dir.filePath(QStringLiteral("failing")));
    // The data drive cannot be made: a file stands where its folder belongs.
    QVERIFY(QDir().mkpath(options.root));
    QFile blocker(krt::install::drivesFolder(options.root));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const krt::install::Result result = krt::install::createInstallation(options);
    QVERIFY(!result.error.isEmpty());
    QVERIFY(!QFileInfo::exists(krt::install::settingsFile(options.root)));
    QCOMPARE(QDir(krt::install::catalogFolder(options.root)).entryList(QDir::Files), QStringList());
}

void TestInstallation::commandLine()
{
    const QString root = m_dir.filePath(QStringLiteral("cli"));
    const auto run = [](const QStringList &arguments, QString *output) {
        QProcess process;
        process.start(QStringLiteral(KRT_INSTALL_TOOL), arguments);
        if (!process.waitForFinished(120000))
            return -1;
        *output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    };
    const QStringList sizes = {
        QStringLiteral("--databases"), QStringLiteral("2"),        QStringLiteral("--categories"),
        QStringLiteral("12"),          QStringLiteral("--goods"),  QStringLiteral("200"),
        QStringLiteral("--stock"),     QStringLiteral("300"),      QStringLiteral("--movements"),
        QStringLiteral("400"),         QStringLiteral("--invent"), QStringLiteral("Ver2.00 R01")};
    QString output;
    QCOMPARE(run(QStringList{QStringLiteral("--root"), root} + sizes, &output), 0);
    QVERIFY2(output.contains(QStringLiteral(
                 "TMCS01.db: 12 work-list categories, 200 goods, 300 stock rows, 400 movements")),
             qPrintable(output));
    const QSettings ini(krt::install::settingsFile(root), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Version/Invent")).toString(), QStringLiteral("Ver2.00 R01"));

    QCOMPARE(run({QStringLiteral("--root"), root}, &output), 1);
    QVERIFY2(output.contains(QStringLiteral("--force")) && output.contains(QStringLiteral("--keep")),
             qPrintable(output));
    QCOMPARE(run({QStringLiteral("--root"), root, QStringLiteral("--keep")}, &output), 0);
    QVERIFY2(output.contains(QStringLiteral("kept")), qPrintable(output));
    QCOMPARE(
        run({QStringLiteral("--root"), root, QStringLiteral("--force"), QStringLiteral("--databases"),
             QStringLiteral("1"), QStringLiteral("--goods"), QStringLiteral("20"), QStringLiteral("--stock"),
             QStringLiteral("20"), QStringLiteral("--movements"), QStringLiteral("20")},
            &output),
        0);
    QVERIFY(
        !QFileInfo::exists(QDir(krt::install::catalogFolder(root)).filePath(QStringLiteral("TMCS01.db"))));

    QCOMPARE(run({QStringLiteral("--databases"), QStringLiteral("1")}, &output), 2);
    QCOMPARE(
        run({QStringLiteral("--root"), root, QStringLiteral("--force"), QStringLiteral("--keep")}, &output),
        2);
    QCOMPARE(
        run({QStringLiteral("--root"), root, QStringLiteral("--databases"), QStringLiteral("9")}, &output),
        2);
    QCOMPARE(
        run({QStringLiteral("--root"), root, QStringLiteral("--goods"), QStringLiteral("many")}, &output), 2);
    QCOMPARE(
        run({QStringLiteral("--root"), root, QStringLiteral("--stock-take"), QStringLiteral("2026/10/15")},
            &output),
        2);
    QCOMPARE(run({QStringLiteral("--root"), root, QStringLiteral("extra")}, &output), 2);
}

QTEST_GUILESS_MAIN(TestInstallation)
#include "tst_installation.moc"
