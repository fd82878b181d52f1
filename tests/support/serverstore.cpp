#include "support/serverstore.h"

#include "category/categorytable.h"
#include "pgserver/pgserver.h"
#include "servertables/servertables.h"

#include <QSqlError>

namespace krt::testing {

namespace {

const QStringList Tables = {QStringLiteral("MITEMCNT"), QStringLiteral("MGOODS"), QStringLiteral("IZAIKO"),
                            QStringLiteral("IIODATA")};

// Whether the row r of a price table belongs to a category whose record in MITEMCNT is the
// uninterrupted run's (a major category's rows carry no sub-category number).
const QString RecordedAsTheRun = QStringLiteral(
    "EXISTS (SELECT 1 FROM (TABLE MITEMCNT INTERSECT TABLE R_MITEMCNT) d WHERE d.ITEM_CD = r.DAI_BUNRUI_CD "
    "AND COALESCE(d.DETAIL_NO, 0) = COALESCE(r.CHU_BUNRUI_CD, 0))");

} // namespace

TrialConversion eightToTen(int stockMode, HasuCode goods, int goodsDigit, HasuCode addOn, int addOnDigit)
{
    TrialConversion conversion;
    ConversionParams &p = conversion.params;
    p.CalcMethod = 1;
    p.TAX_ST = {QStringLiteral("0"), QStringLiteral("8"), QString()};
    p.TAX_END = {QString(), QStringLiteral("10"), QStringLiteral("0")};
    p.HASU_FLG = {goods, addOn};
    p.HASU_ICHI = {goodsDigit, addOnDigit};
    conversion.values = {1,
                         stockMode,
                         true,
                         QStringLiteral("2019/10/01 10:00:00"),
                         QStringLiteral("201909"),
                         QDate(2019, 10, 1)};
    return conversion;
}

ServerStore::ServerStore(const QString &database, int categories, int goods, quint32 seed,
                         TrialConversion conversion)
    : m_conversion(std::move(conversion))
    , m_db(test::PgServer::instance(), database, QStringLiteral("numeric(12,2)"))
    , m_sql(m_db.connection().database())
{
    m_error = m_db.error();
    if (!m_error.isEmpty())
        return;
    install::Options options;
    options.categories = categories;
    options.goods = goods;
    options.stock = goods;
    options.movements = 2 * goods;
    options.months = 2;
    options.sysYm = 201909;
    install::CatalogFigures figures;
    m_error = install::fillServerTables(look().database(), options, seed, figures);
    if (!m_error.isEmpty())
        return;
    if (category::fill(look(), 0) != 0 || !category::selectAll(look())) {
        m_error = QStringLiteral("the work list was not filled: ") + look().errors().value(0).description;
        return;
    }
    for (const QString &table : Tables)
        if (!m_sql.exec(QStringLiteral("CREATE TABLE P_%1 AS TABLE %1").arg(table))) {
            m_error = m_sql.lastError().text();
            return;
        }
    pricing::PriceUpdater updater(look(), m_conversion.params, m_conversion.values, [this] {
        m_error = QStringLiteral("the uninterrupted run failed: ") + look().errors().value(0).description;
    });
    if (updater.run() != pricing::RunOutcome::Completed || updater.counts().categories != figures.workList) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("the uninterrupted run converted %1 of %2 categories")
                          .arg(updater.counts().categories)
                          .arg(figures.workList);
        return;
    }
    m_reference = updater.counts();
    for (const QString &table : Tables)
        if (!m_sql.exec(QStringLiteral("CREATE TABLE R_%1 AS TABLE %1").arg(table))) {
            m_error = m_sql.lastError().text();
            return;
        }
    if (!restore())
        m_error = QStringLiteral("the store could not be put back: ") + m_sql.lastError().text();
}

bool ServerStore::restore()
{
    if (!m_sql.exec(QStringLiteral("TRUNCATE ") + Tables.join(QStringLiteral(", "))))
        return false;
    for (const QString &table : Tables)
        if (!m_sql.exec(QStringLiteral("INSERT INTO %1 SELECT * FROM P_%1").arg(table)))
            return false;
    return true;
}

qint64 ServerStore::count(const QString &sql, QStringList &failures)
{
    if (m_sql.exec(sql) && m_sql.next())
        return m_sql.value(0).toLongLong();
    failures << m_sql.lastError().text();
    return -1;
}

QStringList ServerStore::differences()
{
    QStringList found;
    for (const QString &table : Tables) {
        const qint64 extra = count(
            QStringLiteral("SELECT COUNT(*) FROM (TABLE %1 EXCEPT ALL TABLE R_%1) a").arg(table), found);
        const qint64 missing = count(
            QStringLiteral("SELECT COUNT(*) FROM (TABLE R_%1 EXCEPT ALL TABLE %1) a").arg(table), found);
        if (extra > 0 || missing > 0)
            found
                << QStringLiteral("%1: %2 rows not as the uninterrupted run left them").arg(table).arg(extra);
    }
    return found;
}

QStringList ServerStore::halfDone()
{
    QStringList found;
    // A work-list row is as built, as the run left it, or recorded and waiting for the pending
    // conversion (deferred mode, inventory categories only).
    const qint64 records =
        count(QStringLiteral("SELECT COUNT(*) FROM (TABLE MITEMCNT EXCEPT TABLE R_MITEMCNT "
                             "EXCEPT TABLE P_MITEMCNT) m WHERE NOT (m.INV_FLG = '1' "
                             "AND m.UPDATE_DATE IS NOT NULL AND m.COMP_FLG = '0')"),
              found);
    if (records > 0)
        found << QStringLiteral("MITEMCNT: %1 records neither as built, nor converted, nor waiting")
                     .arg(records);
    // The rows of a category recorded as the run did are the run's; all others are as built.
    for (const QString &table : Tables.mid(1)) {
        const QString expected =
            QStringLiteral("(SELECT r.* FROM R_%1 r WHERE %2 UNION ALL SELECT r.* FROM P_%1 r WHERE NOT %2)")
                .arg(table, RecordedAsTheRun);
        const qint64 extra = count(
            QStringLiteral("SELECT COUNT(*) FROM (TABLE %1 EXCEPT ALL %2) a").arg(table, expected), found);
        const qint64 missing = count(
            QStringLiteral("SELECT COUNT(*) FROM (%2 EXCEPT ALL TABLE %1) a").arg(table, expected), found);
        if (extra > 0 || missing > 0)
            found << QStringLiteral("%1: %2 rows converted apart from their category's record")
                         .arg(table)
                         .arg(extra);
    }
    return found;
}

} // namespace krt::testing
