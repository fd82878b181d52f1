#include "catalog/catalogfile.h"
#include "db/dialect.h"
#include "installation/installation.h"
#include "pricing/pricestatements.h"
#include "robustness/trialstore.h"

#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace krt;

// The run converts a store one category at a time; it keeps up with one UPDATE over the whole
// table only when each statement reads nothing but its own category's rows. The statement of a
// major category's own goods (sub-category 0 or none) must therefore seek both parts of the
// category key, not read the whole major category with all its sub-categories, on a catalog
// large enough that the engine's statistics decide it.
class TestCategoryPlan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        install::Options options = robustness::trialOptions(300, 100000);
        options.root = m_dir.path();
        options.databases = 1;
        const install::Result result = install::createInstallation(options);
        QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    }

    void everyStatementSeeksTheWholeCategoryKey_data()
    {
        ConversionParams params;
        params.TAX_ST = {QStringLiteral("0"), QStringLiteral("8"), QStringLiteral("8")};
        params.TAX_END = {QStringLiteral("8"), QStringLiteral("10"), QStringLiteral("0")};
        params.HASU_FLG = {HasuRoundHalfUp, HasuRoundDown};
        const QString now = QStringLiteral("2026/10/01 12:00:00");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("statement");
        for (const int detailNo : {0, 1}) {
            QTest::addRow("MGOODS, sub-category %d", detailNo)
                << QStringLiteral("MGOODS")
                << pricing::CategoryStatements(params, 1, now).mgoods(QStringLiteral("002"), detailNo);
            QTest::addRow("IIODATA, sub-category %d", detailNo)
                << QStringLiteral("IIODATA")
                << *pricing::CategoryStatements(params, 1, {})
                        .iioData(QStringLiteral("002"), detailNo, QStringLiteral("202610"));
            for (const bool newVersion : {true, false})
                QTest::addRow("IZAIKO, sub-category %d, %s inventory version", detailNo,
                              newVersion ? "new" : "old")
                    << QStringLiteral("IZAIKO")
                    << pricing::CategoryStatements(params, 1, now)
                           .izaiko(QStringLiteral("002"), detailNo, newVersion);
        }
    }
    void everyStatementSeeksTheWholeCategoryKey()
    {
        QFETCH(QString, table);
        QFETCH(QString, statement);
        QStringList steps;
        {
            const install::CatalogConnection connection(
                QDir(install::catalogFolder(m_dir.path())).filePath(QStringLiteral("TMCS00.db")));
            QVERIFY2(connection.error().isEmpty(), qPrintable(connection.error()));
            QSqlQuery plan(connection.db());
            QVERIFY(plan.exec(QStringLiteral("EXPLAIN QUERY PLAN ") + toSqliteDialect(statement)));
            while (plan.next())
                steps << plan.value(QStringLiteral("detail")).toString();
        }
        const QStringList searches = steps.filter(QStringLiteral("SEARCH ") + table);
        QVERIFY2(!searches.isEmpty(), qPrintable(steps.join(QLatin1Char(';'))));
        for (const QString &search : searches)
            QVERIFY2(search.contains(QStringLiteral("(DAI_BUNRUI_CD=? AND CHU_BUNRUI_CD=?")),
                     qPrintable(steps.join(QLatin1Char(';'))));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestCategoryPlan)
#include "tst_categoryplan.moc"
