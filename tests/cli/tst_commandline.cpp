#include "cli/krt550process.h"

#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace krt;
using namespace krt::testing;
using namespace Qt::Literals::StringLiterals;

// The command line refuses what it cannot use before it opens any database: exit status 3, the
// reason and the usage on standard error, and the installation as it was.
class TestCommandLine : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;

    // The first catalog's work list and prices: what a refused command must leave as they are.
    QString catalogState() const
    {
        const install::CatalogConnection catalog(install::catalogFolder(m_root.path()) +
                                                 QStringLiteral("/TMCS00.db"));
        QSqlQuery q(catalog.db());
        if (!q.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM MITEMCNT), (SELECT SUM(HYOJYUN_PRC + "
                                   "KOURI_PRC + H_ADD1_PRC) FROM MGOODS)")) ||
            !q.next())
            return QStringLiteral("<unreadable>");
        return q.value(0).toString() + QLatin1Char('|') + q.value(1).toString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        install::Options options;
        options.root = m_root.path();
        options.databases = 2;
        options.categories = 6;
        options.goods = 60;
        options.stock = 60;
        options.movements = 60;
        QCOMPARE(install::createInstallation(options).error, QString());
    }

    void badArgumentsAreRefusedWithTheUsage_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no command") << u"--db DAT1 --from 8 --to 10"_s << u"convert"_s;
        QTest::newRow("unknown command") << u"conver --db DAT1 --from 8 --to 10"_s << u"conver"_s;
        QTest::newRow("unknown option") << u"convert --db DAT1 --from 8 --to 10 --rate 3"_s << u"rate"_s;
        QTest::newRow("no database") << u"convert --from 8 --to 10"_s << u"--db"_s;
        QTest::newRow("no list entry") << u"convert --db DAT9 --from 8 --to 10"_s << u"DAT9"_s;
        QTest::newRow("all with another") << u"convert --db all --db DAT1 --from 8 --to 10"_s << u"all"_s;
        QTest::newRow("database twice") << u"convert --db DAT1 --db DAT1 --from 8 --to 10"_s << u"DAT1"_s;
        QTest::newRow("database not installed")
            << u"convert --db DAT3 --from 8 --to 10"_s << u"DAT3 はＤＢ選択の一覧にありません"_s;
        QTest::newRow("method 3") << u"convert --db DAT1 --method 3 --from 8 --to 10"_s << u"--method 3"_s;
        QTest::newRow("method twice")
            << u"convert --db DAT1 --method 1 --method 1 --from 8 --to 10"_s << u"--method"_s;
        QTest::newRow("three-digit rate") << u"convert --db DAT1 --from 8 --to 100"_s << u"--to 100"_s;
        QTest::newRow("rate with a sign") << u"convert --db DAT1 --from 8% --to 10"_s << u"--from 8%"_s;
        QTest::newRow("method 1 without old rate") << u"convert --db DAT1 --to 10"_s << u"--from"_s;
        QTest::newRow("method 1 without new rate") << u"convert --db DAT1 --from 8"_s << u"--to"_s;
        QTest::newRow("method 0 with old rate") << u"convert --db DAT1 --method 0 --from 8"_s << u"--from"_s;
        QTest::newRow("method 2 with new rate")
            << u"convert --db DAT1 --method 2 --from 8 --to 10"_s << u"--to"_s;
        QTest::newRow("unknown rounding")
            << u"convert --db DAT1 --from 8 --to 10 --goods-rounding nearest"_s << u"nearest"_s;
        QTest::newRow("goods digit 5")
            << u"convert --db DAT1 --from 8 --to 10 --goods-digit 5"_s << u"--goods-digit 5"_s;
        QTest::newRow("add-on thousands")
            << u"convert --db DAT1 --from 8 --to 10 --addon-digit 1000"_s << u"--addon-digit 1000"_s;
        QTest::newRow("code without number")
            << u"convert --db DAT1 --from 8 --to 10 --categories 001-"_s << u"001-"_s;
        QTest::newRow("empty code") << u"convert --db DAT1 --from 8 --to 10 --categories 001,,002"_s
                                    << u"001,,002"_s;
    }
    void badArgumentsAreRefusedWithTheUsage()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, reason);
        const QString before = catalogState();
        const CommandResult result = runCommand(m_root.path(), (arguments + u" --yes"_s).split(u' '));
        QVERIFY2(!result.crashed, qPrintable(result.err));
        QCOMPARE(result.exitCode, 3);
        QVERIFY2(result.err.contains(reason) && result.err.contains(u"使い方:"_s), qPrintable(result.err));
        QCOMPARE(result.out, QString());
        QCOMPARE(catalogState(), before);
    }

    void unusableSettingsAreRefusedWithTheUsage_data()
    {
        QTest::addColumn<QString>("connectionText"); // empty: no installation at all
        QTest::addColumn<QString>("reason");
        QTest::newRow("no data folder") << QString() << u"データフォルダ"_s;
        QTest::newRow("data source before catalog")
            << u"Provider=SQLite;Data Source=/nowhere;Initial Catalog=TMCS00;"_s << u"接続文字列"_s;
    }
    void unusableSettingsAreRefusedWithTheUsage()
    {
        QFETCH(QString, connectionText);
        QFETCH(QString, reason);
        QTemporaryDir root;
        if (!connectionText.isEmpty()) {
            install::Options options;
            options.root = root.path();
            options.databases = 1;
            options.categories = 2;
            options.goods = options.stock = options.movements = 4;
            QCOMPARE(install::createInstallation(options).error, QString());
            QSettings(install::settingsFile(root.path()), QSettings::IniFormat)
                .setValue(QStringLiteral("Common/DBPARMS"), connectionText);
        }
        const CommandResult result =
            runCommand(root.path(), u"convert --db all --from 8 --to 10"_s.split(u' '));
        QCOMPARE(result.exitCode, 3);
        QVERIFY2(result.err.contains(reason) && result.err.contains(u"使い方:"_s), qPrintable(result.err));
    }

    void helpAndVersionNeedNoDatabase()
    {
        QTemporaryDir nowhere;
        const CommandResult help = runCommand(nowhere.path(), {QStringLiteral("--help")});
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.out.contains(QStringLiteral("krt550 convert --db DAT1")) &&
                     help.out.contains(QStringLiteral("終了コード")),
                 qPrintable(help.out));
        const CommandResult version = runCommand(nowhere.path(), {QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QStringLiteral("krt550 %1\n").arg(QStringLiteral(KRT550_VERSION)));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
