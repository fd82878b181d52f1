#include "category/categorycheck.h"
#include "category/categorysql.h"
#include "db/systemparameters.h"
#include "pricing/pricesql.h"
#include "pricing/pricestatements.h"
#include "pricing/runpreview.h"
#include "pricing/writeaccess.h"

#include <QRegularExpression>
#include <QTest>

#include <map>
#include <set>
#include <utility>
#include <vector>

using namespace krt;

namespace {

// The tables and columns a family database must have for the program, exactly as the README's
// "Database requirements" lists them. Any other name in a statement would fail on a database
// that has only these.
const std::map<QString, std::set<QString>> Required = {
    {QStringLiteral("MITEMCNT"),
     {QStringLiteral("ITEM_CD"), QStringLiteral("ITEM_NM"), QStringLiteral("DETAIL_NO"),
      QStringLiteral("DETAIL_NM"), QStringLiteral("TAX_FREE_FLG"), QStringLiteral("INV_FLG"),
      QStringLiteral("COMP_FLG"), QStringLiteral("COMP_DATE"), QStringLiteral("CHK"),
      QStringLiteral("UPDATE_DATE"), QStringLiteral("TAX_ST"), QStringLiteral("TAX_END"),
      QStringLiteral("GOODS_HASU_FLG"), QStringLiteral("GOODS_HASU_ICHI"), QStringLiteral("GADD_HASU_FLG"),
      QStringLiteral("GADD_HASU_ICHI")}},
    {QStringLiteral("MITEMCD"),
     {QStringLiteral("ITEM_CD"), QStringLiteral("ITEM_NM"), QStringLiteral("TAX_FREE_FLG"),
      QStringLiteral("INV_FLG")}},
    {QStringLiteral("MITEMDTL"),
     {QStringLiteral("D_BUNRUI_CD"), QStringLiteral("D_ITEM_NO"), QStringLiteral("D_DETAIL_NO"),
      QStringLiteral("D_DETAIL_NM")}},
    {QStringLiteral("INEFUDA_CNT"), {QStringLiteral("ZAIKOMENT_DT")}},
    {QStringLiteral("GDATECTL"), {QStringLiteral("SYS_YM1")}},
    {QStringLiteral("IZSELL_MENT"), {}},
    {QStringLiteral("MGOODS"),
     {QStringLiteral("DAI_BUNRUI_CD"), QStringLiteral("CHU_BUNRUI_CD"), QStringLiteral("HYOJYUN_PRC"),
      QStringLiteral("KOURI_PRC"), QStringLiteral("OROSI_PRC"), QStringLiteral("H_ADD1_PRC"),
      QStringLiteral("K_ADD1_PRC"), QStringLiteral("O_ADD1_PRC"), QStringLiteral("H_ADD2_PRC"),
      QStringLiteral("K_ADD2_PRC"), QStringLiteral("O_ADD2_PRC"), QStringLiteral("UPDATE_DT")}},
    {QStringLiteral("IZAIKO"),
     {QStringLiteral("DAI_BUNRUI_CD"), QStringLiteral("CHU_BUNRUI_CD"), QStringLiteral("ZAIKO_QTY"),
      QStringLiteral("JYUTAKU_QTY"), QStringLiteral("HYOJYUN_PRC"), QStringLiteral("KOURI_PRC"),
      QStringLiteral("OROSI_PRC"), QStringLiteral("KOUSHIN_DT")}},
    {QStringLiteral("IIODATA"),
     {QStringLiteral("IO_YM"), QStringLiteral("DAI_BUNRUI_CD"), QStringLiteral("CHU_BUNRUI_CD"),
      QStringLiteral("HYOJYUN_PRC"), QStringLiteral("KOURI_PRC"), QStringLiteral("OROSI_PRC")}},
    {QStringLiteral("MSYSPARM"), {QStringLiteral("PARM_NO"), QStringLiteral("NAIYO")}},
};

// Words of the SQL language the statements use, and the names the statements give their own
// derived tables and result columns.
const std::set<QString> Language = {
    QStringLiteral("SELECT"), QStringLiteral("DISTINCT"), QStringLiteral("FROM"),   QStringLiteral("WHERE"),
    QStringLiteral("AND"),    QStringLiteral("OR"),       QStringLiteral("NOT"),    QStringLiteral("EXISTS"),
    QStringLiteral("IS"),     QStringLiteral("NULL"),     QStringLiteral("AS"),     QStringLiteral("UNION"),
    QStringLiteral("ORDER"),  QStringLiteral("GROUP"),    QStringLiteral("BY"),     QStringLiteral("UPDATE"),
    QStringLiteral("SET"),    QStringLiteral("DELETE"),   QStringLiteral("INSERT"), QStringLiteral("INTO"),
    QStringLiteral("VALUES"), QStringLiteral("COUNT"),    QStringLiteral("ISNULL"), QStringLiteral("CAST"),
    QStringLiteral("INT"),    QStringLiteral("FLOOR"),    QStringLiteral("POWER"),  QStringLiteral("GETDATE"),
    QStringLiteral("MAX"),    QStringLiteral("IN"),       QStringLiteral("DESC"),   QStringLiteral("ASC"),
    QStringLiteral("CASE"),   QStringLiteral("WHEN"),     QStringLiteral("THEN"),   QStringLiteral("ELSE"),
    QStringLiteral("END"),    QStringLiteral("DECIMAL"),  QStringLiteral("INNER"),  QStringLiteral("LEFT"),
    QStringLiteral("JOIN"),   QStringLiteral("ON"),       QStringLiteral("RTRIM"),  QStringLiteral("ALL"),
};
const std::set<QString> OwnNames = {QStringLiteral("HYOJYUN_NEW"), QStringLiteral("KOURI_NEW"),
                                    QStringLiteral("SYSDATE"),     QStringLiteral("MAX_DATE"),
                                    QStringLiteral("K"),           QStringLiteral("CNT"),
                                    QStringLiteral("GOODS_CNT"),   QStringLiteral("STOCK_CNT")};

// The work list's fixed statements, each with its text to the letter as the database expects it.
std::vector<std::pair<QString, QString>> fixedStatements()
{
    return {
        {category::clearChecksSql(), QStringLiteral("UPDATE MITEMCNT SET CHK = Null")},
        {category::countSql({}), QStringLiteral("SELECT COUNT(*) AS CNT FROM MITEMCNT")},
        {category::markedCountSql(), QStringLiteral("SELECT COUNT(*) AS CNT FROM MITEMCNT WHERE CHK = 1")},
        {category::selectAllSql(), QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE UPDATE_DATE Is Null AND "
                                                  "(RTRIM(INV_FLG) IN ('0', '1'))")},
        {category::deleteWorkListSql(), QStringLiteral("DELETE FROM MITEMCNT")},
        {category::deleteSellMentSql(), QStringLiteral("DELETE FROM IZSELL_MENT")},
        {category::stockTakeSql(), QStringLiteral("SELECT MAX(ZAIKOMENT_DT) AS MAX_DATE FROM INEFUDA_CNT")},
        {category::serverDateSql(), QStringLiteral("SELECT GETDATE() AS SYSDATE")},
        {category::sysYmSql(), QStringLiteral("SELECT SYS_YM1 FROM GDATECTL")},
        {category::gridSql(),
         QStringLiteral("SELECT CHK, ITEM_CD, ITEM_NM, CAST(DETAIL_NO AS INT) AS DETAIL_NO, "
                        "DETAIL_NM, UPDATE_DATE, INV_FLG FROM MITEMCNT "
                        "ORDER BY UPDATE_DATE, ITEM_CD, DETAIL_NO")},
    };
}

// Every statement text the program's builders produce, over every calculation method, rate
// text, rounding method and digit position, both stock modes and inventory versions, and keys
// with quotes in them.
QStringList everyStatement()
{
    QStringList texts;
    const QDate today(2026, 12, 9);
    const QString stamp = QStringLiteral("2026/12/09 10:00:00");
    for (const auto &[built, expected] : fixedStatements())
        texts << built;
    texts << category::fillMajorSql(0) << category::fillMajorSql(1) << category::fillDetailSql(0)
          << category::fillDetailSql(1)
          << category::setMarkSql(1, QStringLiteral("A'01"), QStringLiteral("3"))
          << category::setMarkSql(0, QStringLiteral("A01"), QString()) << category::selectAllInventorySql()
          << category::markedOtherCategoriesSql() << category::markCategorySql(QStringLiteral("A'01"), 0)
          << category::markCategorySql(QStringLiteral("A01"), 7) << pricing::goodsByCategorySql()
          << CategoryCheck::unmatchedSql(false) << CategoryCheck::unmatchedSql(true)
          << SysParmSource().lookupSql(1200) << SysParmSource().lookupSql(3080) << pricing::workListQuery()
          << pricing::pendingListQuery() << pricing::completionStatement(today)
          << pricing::pendingClaimStatement(QStringLiteral("B'02"), 3, today)
          << pricing::recordedRowsQuery(QStringLiteral("B'02"), 0, true) << category::missingCategoriesSql()
          << category::unknownFlagsSql(true) << category::unconvertedMarksSql();
    for (const int mode : {0, 1})
        for (const pricing::WriteProbe &probe : pricing::writeProbes(mode))
            texts << probe.read << probe.write;
    for (int method = 0; method < 3; ++method) {
        for (const QString &rate : {QString(), QStringLiteral("08"), QStringLiteral("10")}) {
            for (int code = HasuNone; code <= HasuRoundHalfUp; ++code) {
                for (int digit = 0; digit < 4; ++digit) {
                    ConversionParams params;
                    params.CalcMethod = method;
                    params.TAX_ST = {QStringLiteral("0"), rate, rate};
                    params.TAX_END = {rate, rate, QStringLiteral("0")};
                    params.HASU_FLG = {code, HasuRoundHalfUp - code};
                    params.HASU_ICHI = {digit, 3 - digit};
                    for (const int detail : {0, 12}) {
                        const QString key = detail == 0 ? QStringLiteral("A01") : QStringLiteral("O'K");
                        texts << pricing::previewSql(key, detail, params, method)
                              << pricing::CategoryStatements(params, method, stamp).mgoods(key, detail)
                              << pricing::CategoryStatements(params, method, stamp).izaiko(key, detail, true)
                              << pricing::CategoryStatements(params, method, stamp).izaiko(key, detail, false)
                              << pricing::CategoryStatements(params, method, {})
                                     .iioData(key, detail, QStringLiteral("202612"))
                                     .value_or(QString());
                        for (const QString &inv : {QStringLiteral("0"), QStringLiteral("1")})
                            texts << pricing::recordStatement(key, detail, inv, params, method, today)
                                         .value_or(QString());
                    }
                    pricing::StoredParams stored{8,
                                                 10,
                                                 QString::number(code),
                                                 QString::number(code ? digit + 1 : 0),
                                                 QString::number(code),
                                                 QString::number(digit)};
                    texts << pricing::pendingMGoodsStatement(QStringLiteral("B'02"), 0, stored, stamp)
                                 .value_or(QString());
                }
            }
        }
    }
    texts.removeAll(QString());
    texts.removeDuplicates();
    return texts;
}

// The words of a statement outside its quoted literals.
QStringList wordsOf(const QString &sql)
{
    static const QRegularExpression literal(QStringLiteral("'(?:[^']|'')*'"));
    static const QRegularExpression word(QStringLiteral("[A-Za-z_][A-Za-z0-9_]*"));
    QString bare = sql;
    bare.replace(literal, QStringLiteral(" "));
    QStringList words;
    for (auto it = word.globalMatch(bare); it.hasNext();)
        words.append(it.next().captured());
    return words;
}

} // namespace

class TestStatementNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each statement names only tables the program needs and, of those, only the columns that the
    // tables it names must have: a goods code column, say, is never needed.
    void everyStatementNamesOnlyTheRequiredTablesAndColumns()
    {
        const QStringList texts = everyStatement();
        QVERIFY2(texts.size() > 1000, qPrintable(QString::number(texts.size())));
        std::set<QString> seen;
        for (const QString &sql : texts) {
            const QStringList words = wordsOf(sql);
            std::set<QString> columns;
            for (const QString &w : words) {
                const auto table = Required.find(w.toUpper());
                if (table != Required.end())
                    columns.insert(table->second.begin(), table->second.end());
            }
            for (const QString &w : words) {
                const QString name = w.toUpper();
                seen.insert(name);
                const bool allowed = Required.count(name) || columns.count(name) || Language.count(name) ||
                                     OwnNames.count(name);
                QVERIFY2(allowed, qPrintable(QStringLiteral("%1 in: %2").arg(w, sql)));
            }
        }
        // Every required name is really used by some statement, so that the list says no more than
        // the program needs.
        for (const auto &[table, required] : Required) {
            QVERIFY2(seen.count(table), qPrintable(table));
            for (const QString &column : required)
                QVERIFY2(seen.count(column), qPrintable(table + QLatin1Char('.') + column));
        }
    }

    void fixedStatementsReadAsTheDatabaseExpectsThem()
    {
        for (const auto &[built, expected] : fixedStatements())
            QCOMPARE(built, expected);
    }

    void literalsAreNotTakenForNames()
    {
        QCOMPARE(wordsOf(QStringLiteral(
                     "UPDATE MITEMCNT SET CHK = 1 WHERE ITEM_CD = 'JAN_CD''X' AND DETAIL_NO = 0")),
                 (QStringList{QStringLiteral("UPDATE"), QStringLiteral("MITEMCNT"), QStringLiteral("SET"),
                              QStringLiteral("CHK"), QStringLiteral("WHERE"), QStringLiteral("ITEM_CD"),
                              QStringLiteral("AND"), QStringLiteral("DETAIL_NO")}));
    }
};

QTEST_MAIN(TestStatementNames)
#include "tst_statementnames.moc"
