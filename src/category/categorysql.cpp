#include "category/categorysql.h"

#include "category/inventoryflag.h"
#include "db/sqltext.h"

namespace krt::category {

namespace {

// The guard pieces shared by both fills up to the sub-category comparison.
QString notYetListedGuard()
{
    return QStringLiteral(" and (not exists (") + QStringLiteral("select MITEMCNT.ITEM_CD") +
           QStringLiteral(" from MITEMCNT") + QStringLiteral(" where MITEMCNT.ITEM_CD = MITEMCD.ITEM_CD");
}

// A major category is listed by its row with number 0, or with a Null number, which stands for
// the same and which rows the program did not create may hold.
QString majorRowGuard()
{
    return QStringLiteral(" and ((MITEMCNT.DETAIL_NO Is Null) or (MITEMCNT.DETAIL_NO = '0'))))");
}

QString detailRowGuard()
{
    return QStringLiteral(" and MITEMCNT.DETAIL_NO = MITEMDTL.D_DETAIL_NO))");
}

} // namespace

QString fillMajorSql(int inAdd)
{
    QString sql = QStringLiteral("INSERT INTO MITEMCNT( ") + QStringLiteral("ITEM_CD, ITEM_NM, ") +
                  QStringLiteral("TAX_FREE_FLG, INV_FLG, COMP_FLG ,DETAIL_NO") + QStringLiteral(") ") +
                  QStringLiteral("SELECT MITEMCD.ITEM_CD, MITEMCD.ITEM_NM, ") +
                  QStringLiteral("MITEMCD.TAX_FREE_FLG, MITEMCD.INV_FLG, '0' AS COMP_FLG ,0") +
                  QStringLiteral("FROM MITEMCD ") + QStringLiteral("WHERE (MITEMCD.TAX_FREE_FLG = '0')");
    if (inAdd == 1)
        sql += notYetListedGuard() + majorRowGuard();
    return sql;
}

QString fillDetailSql(int inAdd)
{
    QString sql = QStringLiteral("INSERT INTO MITEMCNT( ") + QStringLiteral("ITEM_CD, ITEM_NM, ") +
                  QStringLiteral("DETAIL_NO, DETAIL_NM, ") +
                  QStringLiteral("TAX_FREE_FLG, INV_FLG, COMP_FLG ") + QStringLiteral(") ") +
                  QStringLiteral("SELECT MITEMCD.ITEM_CD, MITEMCD.ITEM_NM, ") +
                  QStringLiteral("MITEMDTL.D_DETAIL_NO, MITEMDTL.D_DETAIL_NM, ") +
                  QStringLiteral("MITEMCD.TAX_FREE_FLG, MITEMCD.INV_FLG, '0' AS COMP_FLG ") +
                  QStringLiteral("FROM MITEMCD INNER JOIN MITEMDTL ") +
                  QStringLiteral("ON MITEMCD.ITEM_CD = MITEMDTL.D_BUNRUI_CD ") +
                  QStringLiteral("WHERE (MITEMCD.TAX_FREE_FLG = '0') ") +
                  QStringLiteral("AND (MITEMDTL.D_ITEM_NO = '71') ") +
                  QStringLiteral("AND (MITEMDTL.D_DETAIL_NO <> 0) ");
    if (inAdd == 1)
        sql += notYetListedGuard() + detailRowGuard();
    return sql;
}

QString missingCategoriesSql()
{
    return QStringLiteral("SELECT MITEMCD.ITEM_CD, 0 AS DETAIL_NO FROM MITEMCD ") +
           QStringLiteral("WHERE (MITEMCD.TAX_FREE_FLG = '0')") + notYetListedGuard() + majorRowGuard() +
           QStringLiteral(" UNION ALL ") +
           QStringLiteral("SELECT MITEMCD.ITEM_CD, MITEMDTL.D_DETAIL_NO AS DETAIL_NO ") +
           QStringLiteral("FROM MITEMCD INNER JOIN MITEMDTL ") +
           QStringLiteral("ON MITEMCD.ITEM_CD = MITEMDTL.D_BUNRUI_CD ") +
           QStringLiteral("WHERE (MITEMCD.TAX_FREE_FLG = '0') ") +
           QStringLiteral("AND (MITEMDTL.D_ITEM_NO = '71') ") +
           QStringLiteral("AND (MITEMDTL.D_DETAIL_NO <> 0) ") + notYetListedGuard() + detailRowGuard() +
           QStringLiteral(" ORDER BY 1, 2");
}

QString unconvertedMarksSql()
{
    return QStringLiteral("SELECT ITEM_CD, CAST(DETAIL_NO AS INT) AS DETAIL_NO, CHK FROM MITEMCNT ") +
           QStringLiteral("WHERE UPDATE_DATE Is Null");
}

QString clearChecksSql()
{
    return QStringLiteral("UPDATE MITEMCNT ") + QStringLiteral("SET CHK = Null");
}

QString countSql(const QString &strWhere)
{
    return QStringLiteral("SELECT COUNT(*) AS CNT FROM MITEMCNT") + strWhere;
}

QString markedCountSql()
{
    return countSql(QStringLiteral(" WHERE CHK = 1"));
}

QString selectAllSql()
{
    return QStringLiteral("UPDATE MITEMCNT ") + QStringLiteral("SET CHK = 1 ") +
           QStringLiteral("WHERE UPDATE_DATE Is Null AND ") + knownFlagCondition();
}

QString selectAllInventorySql()
{
    return QStringLiteral("UPDATE MITEMCNT ") + QStringLiteral("SET CHK = 1 ") +
           QStringLiteral("WHERE UPDATE_DATE Is Null AND ") + inventoryCondition();
}

QString markCategorySql(const QString &itemCd, int detailNo)
{
    QString sql = QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE (ITEM_CD = '") + sqlText(itemCd) +
                  QStringLiteral("') ");
    if (detailNo != 0)
        return sql + QStringLiteral("AND (DETAIL_NO = %1)").arg(detailNo);
    return sql + QStringLiteral("AND ((DETAIL_NO Is Null) OR (DETAIL_NO = 0))");
}

QString markedOtherCategoriesSql()
{
    return QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, ITEM_NM FROM MITEMCNT ") +
           QStringLiteral("WHERE (CHK = 1) AND (UPDATE_DATE Is Null) AND ") + otherCondition() +
           QStringLiteral(" ORDER BY ITEM_CD, DETAIL_NO");
}

QString unknownFlagsSql(bool markedOnly)
{
    return QStringLiteral("SELECT ITEM_CD, ISNULL(DETAIL_NO, 0) AS DETAIL_NO, INV_FLG FROM MITEMCNT ") +
           QStringLiteral("WHERE (UPDATE_DATE Is Null) AND ") + unknownFlagCondition() +
           (markedOnly ? QStringLiteral(" AND (CHK = 1)") : QString()) +
           QStringLiteral(" ORDER BY ITEM_CD, DETAIL_NO");
}

QString deleteWorkListSql()
{
    return QStringLiteral("DELETE FROM MITEMCNT");
}

QString deleteSellMentSql()
{
    return QStringLiteral("DELETE FROM IZSELL_MENT");
}

QString stockTakeSql()
{
    return QStringLiteral("SELECT MAX(ZAIKOMENT_DT) AS MAX_DATE FROM INEFUDA_CNT");
}

QString serverDateSql()
{
    return QStringLiteral("SELECT GETDATE() AS SYSDATE");
}

QString sysYmSql()
{
    return QStringLiteral("SELECT SYS_YM1 FROM GDATECTL");
}

QString gridSql()
{
    return QStringLiteral("SELECT CHK, ITEM_CD, ITEM_NM, CAST(DETAIL_NO AS INT) AS DETAIL_NO, DETAIL_NM, "
                          "UPDATE_DATE, INV_FLG ") +
           QStringLiteral("FROM MITEMCNT ORDER BY UPDATE_DATE, ITEM_CD, DETAIL_NO");
}

QString setMarkSql(int mark, const QString &itemCd, const QString &detailNo)
{
    QString sql = QStringLiteral("UPDATE MITEMCNT ") + QStringLiteral("SET CHK = ") + QString::number(mark) +
                  QStringLiteral(" ") + QStringLiteral("WHERE (ITEM_CD = '") + sqlText(itemCd) +
                  QStringLiteral("') ");
    if (detailNo.isEmpty())
        sql += QStringLiteral("AND (DETAIL_NO IS NULL) ");
    else
        sql += QStringLiteral("AND (DETAIL_NO = '") + sqlText(detailNo) + QStringLiteral("') ");
    return sql;
}

} // namespace krt::category
