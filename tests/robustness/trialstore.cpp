#include "robustness/trialstore.h"

#include "catalog/catalogfile.h"
#include "db/sqltext.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <utility>

namespace krt::robustness {

namespace {

// A connection of its own to a catalog file with the pristine and the reference catalog attached
// as "p" and "r"; closed when it goes out of scope.
class Inspection
{
public:
    Inspection(const QString &file, const QString &pristine, const QString &reference)
        : m_connection(file)
        , m_error(m_connection.error())
    {
        for (const auto &[alias, other] :
             {std::pair{QStringLiteral("p"), pristine}, {QStringLiteral("r"), reference}})
            if (m_error.isEmpty())
                rows(QStringLiteral("ATTACH DATABASE '%1' AS %2").arg(sqlText(other), alias));
    }

    // Every row of a query, its fields joined by "|"; a failure is noted in error().
    QStringList rows(const QString &sql)
    {
        QSqlQuery query(m_connection.db());
        QStringList lines;
        if (!query.exec(sql)) {
            m_error = query.lastError().text() + QStringLiteral(": ") + sql.left(300);
            return lines;
        }
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < query.record().count(); ++i)
                fields.append(query.value(i).toString());
            lines.append(fields.join(QLatin1Char('|')));
        }
        return lines;
    }
    const QString &error() const { return m_error; }

private:
    install::CatalogConnection m_connection;
    QString m_error;
};

struct PriceTable
{
    const char *name;
    QStringList prices;
    const char *stamp; // the date column the statements write, or nullptr
};

std::array<PriceTable, 3> priceTables()
{
    const QStringList stockPrices = {QStringLiteral("HYOJYUN_PRC"), QStringLiteral("KOURI_PRC"),
                                     QStringLiteral("OROSI_PRC")};
    return {{
        {"MGOODS",
         stockPrices + QStringList{QStringLiteral("H_ADD1_PRC"), QStringLiteral("K_ADD1_PRC"),
                                   QStringLiteral("O_ADD1_PRC"), QStringLiteral("H_ADD2_PRC"),
                                   QStringLiteral("K_ADD2_PRC"), QStringLiteral("O_ADD2_PRC")},
         "UPDATE_DT"},
        {"IIODATA", stockPrices, nullptr},
        {"IZAIKO", stockPrices, "KOUSHIN_DT"},
    }};
}

bool copyFile(const QString &from, const QString &to)
{
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(to + suffix);
    return QFile::copy(from, to);
}

} // namespace

QString childProgram()
{
    return QStringLiteral(KRT_RUNCHILD);
}

// ---------------------------------------------------------------------------------------------

Child::Child(const QString &configFolder, const QString &drivesFolder, const QString &runtimeFolder,
             const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder);
    environment.insert(QStringLiteral("TMCS_DRIVE_ROOT"), drivesFolder);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Every child works on the same day, so that the days recorded compare with the reference's.
    m_process.start(childProgram(),
                    QStringList{QStringLiteral("--today"), QStringLiteral("2026-10-01")} + arguments);
}

void Child::readLines()
{
    m_pending += m_process.readAllStandardOutput();
    for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
        m_lines.append(QString::fromUtf8(m_pending.left(end)));
        m_pending.remove(0, end + 1);
    }
}

bool Child::waitFor(const QString &prefix, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    qsizetype seen = 0;
    for (;;) {
        readLines();
        for (; seen < m_lines.size(); ++seen)
            if (m_lines.at(seen).startsWith(prefix))
                return true;
        const qint64 left = milliseconds - timer.elapsed();
        if (left <= 0 || m_process.state() == QProcess::NotRunning)
            return false;
        m_process.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 100)));
    }
}

void Child::send(const QByteArray &line)
{
    m_process.write(line + '\n');
    m_process.waitForBytesWritten(5000);
}

void Child::kill()
{
    m_process.kill();
    m_process.waitForFinished(10000);
    readLines();
}

bool Child::endsWithin(int milliseconds)
{
    const bool ended = m_process.state() == QProcess::NotRunning || m_process.waitForFinished(milliseconds);
    readLines();
    return ended;
}

bool Child::finish(int milliseconds)
{
    const bool ended = endsWithin(milliseconds);
    if (!ended)
        kill();
    return ended;
}

QStringList Child::boxes() const
{
    QStringList boxes;
    bool running = false;
    for (const QString &line : m_lines) {
        running = running || line == QStringLiteral("running");
        if (running && line.startsWith(QStringLiteral("box ")))
            boxes.append(line.mid(4));
    }
    return boxes;
}

int Child::doneValue(int position) const
{
    for (const QString &line : m_lines)
        if (line.startsWith(QStringLiteral("done ")))
            return line.section(QLatin1Char(' '), position, position).toInt();
    return -1;
}

// ---------------------------------------------------------------------------------------------

QString CatalogState::describe() const
{
    return QStringLiteral("integrity %1, %2 converted, %3 recorded, %4 untouched%5")
        .arg(integrity)
        .arg(converted)
        .arg(recorded)
        .arg(untouched)
        .arg(violations.isEmpty() ? QString() : QStringLiteral("; ") + violations.join(QStringLiteral("; ")));
}

TrialStore::TrialStore(install::Options options, int stockMode)
    : m_options(std::move(options))
    , m_stockMode(stockMode)
{
    m_options.root = m_dir.path();
    m_options.databases = 1;
    m_options.stockMode = stockMode;
    m_pristine = m_dir.filePath(QStringLiteral("pristine.db"));
    m_reference = m_dir.filePath(QStringLiteral("reference.db"));
    const install::Result built = install::createInstallation(m_options);
    if (!built.error.isEmpty()) {
        m_error = built.error;
        return;
    }
    m_categories = static_cast<int>(built.catalogs.value(0).workList);
    // The children's runtime folder, private as Qt wants it.
    const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
    if (!QDir().mkpath(runtime) ||
        !QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        m_error = QStringLiteral("cannot create ") + runtime;
        return;
    }
    // Every operator's settings folder names the same catalog.
    for (int operatorNo = 1; operatorNo <= 2; ++operatorNo) {
        const QString file = configFolder(operatorNo) + QStringLiteral("/VELD/TMCS.ini");
        if (!QDir().mkpath(QFileInfo(file).absolutePath()) ||
            !QFile::copy(install::settingsFile(m_dir.path()), file)) {
            m_error = QStringLiteral("cannot copy the settings to ") + file;
            return;
        }
    }
    if (!QFile::copy(catalog(), m_pristine)) {
        m_error = QStringLiteral("cannot keep the pristine catalog");
        return;
    }
    const std::unique_ptr<Child> child = start();
    if (!child->finish(120000) || child->exitCode() != 0) {
        m_error =
            QStringLiteral("the reference run did not complete: ") + child->lines().join(QLatin1Char('/'));
        return;
    }
    m_referenceMs = child->runMilliseconds();
    m_referenceConversionMs = child->runMillisecondsToLastStatement();
    m_referenceStatements = child->runStatements();
    if (!copyFile(catalog(), m_reference) || !reset())
        m_error = QStringLiteral("cannot keep the reference catalog");
}

QString TrialStore::catalog() const
{
    return QDir(install::catalogFolder(m_dir.path())).filePath(QStringLiteral("TMCS00.db"));
}

QString TrialStore::configFolder(int operatorNo) const
{
    return operatorNo == 0 ? install::configFolder(m_dir.path())
                           : m_dir.filePath(QStringLiteral("operator%1").arg(operatorNo));
}

bool TrialStore::reset() const
{
    return QDir(changeListFolder()).removeRecursively() && copyFile(m_pristine, catalog());
}

QString TrialStore::changeListFolder() const
{
    return configFolder(0) + QStringLiteral("/VELD/KRT550-changes");
}

namespace {

// The prices of every goods row by its code, as the change list writes them, and its update time.
std::map<QString, QStringList> goodsPrices(const QString &file)
{
    std::map<QString, QStringList> prices;
    const install::CatalogConnection connection(file);
    QSqlQuery q(connection.db());
    q.exec(QStringLiteral(
        "SELECT JAN_CD, HYOJYUN_PRC, KOURI_PRC, OROSI_PRC, H_ADD1_PRC, K_ADD1_PRC, O_ADD1_PRC, "
        "H_ADD2_PRC, K_ADD2_PRC, O_ADD2_PRC, UPDATE_DT FROM MGOODS"));
    while (q.next()) {
        QStringList fields;
        for (int i = 1; i <= 9; ++i)
            fields.append(q.isNull(i) ? QString() : QString::number(q.value(i).toDouble(), 'g', 15));
        fields.append(q.value(10).toString());
        prices[q.value(0).toString()] = fields;
    }
    return prices;
}

} // namespace

QString TrialStore::checkChangeLists() const
{
    const QDir folder(changeListFolder());
    if (!folder.entryList({QStringLiteral("*.pending")}, QDir::Files).isEmpty())
        return QStringLiteral("a change-list journal was left");
    const std::map<QString, QStringList> pristine = goodsPrices(m_pristine);
    const std::map<QString, QStringList> now = goodsPrices(catalog());
    std::set<QString> listed;
    for (const QString &name : folder.entryList({QStringLiteral("*.csv")}, QDir::Files)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot read ") + name;
        QStringList lines = QString::fromUtf8(file.readAll().mid(3)).split(QStringLiteral("\r\n"));
        if (lines.takeLast() != QString())
            return name + QStringLiteral(" ends in the middle of a line");
        // The goods code and the first old price stand where the header names them.
        const QStringList header = lines.value(0).split(QLatin1Char(','));
        const qsizetype key = header.indexOf(QStringLiteral("JAN_CD"));
        const qsizetype prices = header.indexOf(QStringLiteral("HYOJYUN_PRC_旧"));
        if (key < 0 || prices < 0)
            return name + QStringLiteral(": no goods code or prices in the header");
        for (const QString &line : lines.mid(1)) {
            const QStringList f = line.split(QLatin1Char(','));
            const QString jan = f.value(key);
            if (f.size() != header.size() || !now.count(jan))
                return QStringLiteral("%1: malformed: %2").arg(name, line);
            if (!listed.insert(jan).second)
                return QStringLiteral("%1: listed twice: %2").arg(name, line);
            for (int p = 0; p < 9; ++p)
                if (f[prices + 2 * p] != pristine.at(jan).value(p) ||
                    f[prices + 1 + 2 * p] != now.at(jan).value(p))
                    return QStringLiteral("%1: not as the catalog holds it: %2").arg(name, line);
        }
    }
    // A run stamps the goods it converts with its time.
    for (const auto &[jan, prices] : now)
        if (prices.value(9) != pristine.at(jan).value(9) && !listed.count(jan))
            return QStringLiteral("converted goods %1 missing from the change lists").arg(jan);
    return {};
}

std::unique_ptr<Child> TrialStore::start(const QStringList &arguments, int operatorNo) const
{
    return std::make_unique<Child>(configFolder(operatorNo), install::drivesFolder(m_dir.path()),
                                   m_dir.filePath(QStringLiteral("runtime")), arguments);
}

bool TrialStore::runToEnd(QString *why) const
{
    const std::unique_ptr<Child> child = start();
    const bool completed = child->finish(120000) && child->exitCode() == 0;
    if (!completed && why)
        *why =
            QStringLiteral("exit %1: %2").arg(child->exitCode()).arg(child->lines().join(QLatin1Char('/')));
    return completed;
}

CatalogState TrialStore::inspect() const
{
    CatalogState state;
    Inspection look(catalog(), m_pristine, m_reference);
    state.integrity = look.rows(QStringLiteral("PRAGMA main.integrity_check")).value(0);

    // A category counts as converted when its record says so: in direct mode the record itself,
    // in deferred mode its completion (an inventory category's prices wait for the pending
    // conversion).
    const QString converted =
        m_stockMode == 0 ? QStringLiteral("C.COMP_FLG = '1'") : QStringLiteral("C.UPDATE_DATE IS NOT NULL");
    for (const PriceTable &table : priceTables()) {
        QStringList fromReference;
        QStringList fromPristine;
        for (const QString &column : table.prices) {
            fromReference << QStringLiteral("T.%1 IS NOT R.%1").arg(column);
            fromPristine << QStringLiteral("T.%1 IS NOT P.%1").arg(column);
        }
        if (table.stamp) {
            // A converted row carries a new date exactly where the reference run wrote one.
            fromReference << QStringLiteral("((T.%1 IS NOT P.%1) <> (R.%1 IS NOT P.%1))")
                                 .arg(QLatin1String(table.stamp));
            fromPristine << QStringLiteral("T.%1 IS NOT P.%1").arg(QLatin1String(table.stamp));
        }
        const QStringList wrong = look.rows(
            QStringLiteral(
                "SELECT T.DAI_BUNRUI_CD, IFNULL(T.CHU_BUNRUI_CD, 0), COUNT(*), IFNULL(%5, 0) FROM main.%1 T "
                "JOIN p.%1 P ON P.rowid = T.rowid JOIN r.%1 R ON R.rowid = T.rowid "
                "LEFT JOIN main.MITEMCNT C ON C.ITEM_CD = T.DAI_BUNRUI_CD "
                "AND C.DETAIL_NO = IFNULL(T.CHU_BUNRUI_CD, 0) "
                "WHERE CASE WHEN IFNULL(%5, 0) THEN (%2) ELSE (%3) END GROUP BY 1, 2, 4 ORDER BY 1, 2 LIMIT "
                "%4")
                .arg(QLatin1String(table.name), fromReference.join(QStringLiteral(" OR ")),
                     fromPristine.join(QStringLiteral(" OR ")))
                .arg(5)
                .arg(converted));
        for (const QString &row : wrong) {
            const QStringList f = row.split(QLatin1Char('|'));
            state.violations << QStringLiteral("%1 of category %2/%3: %4 rows not as %5")
                                    .arg(QLatin1String(table.name), f.value(0), f.value(1), f.value(2),
                                         f.value(3) == QStringLiteral("1") ? QStringLiteral("converted once")
                                                                           : QStringLiteral("built"));
        }
    }

    // The records: a converted category's record as the reference run wrote it, a recorded one
    // (deferred mode, inventory only) without its completion, an untouched one empty.
    const QString sameRecord = QStringLiteral(
        "T.UPDATE_DATE IS R.UPDATE_DATE AND T.TAX_ST IS R.TAX_ST AND T.TAX_END IS R.TAX_END AND "
        "T.GOODS_HASU_FLG IS R.GOODS_HASU_FLG AND T.GOODS_HASU_ICHI IS R.GOODS_HASU_ICHI AND "
        "T.GADD_HASU_FLG IS R.GADD_HASU_FLG AND T.GADD_HASU_ICHI IS R.GADD_HASU_ICHI");
    const QString records =
        QStringLiteral("SELECT T.ITEM_CD, T.DETAIL_NO, CASE "
                       "WHEN T.UPDATE_DATE IS NULL THEN CASE WHEN T.COMP_FLG = '0' AND T.COMP_DATE IS NULL "
                       "AND T.TAX_ST IS NULL "
                       "AND T.TAX_END IS NULL AND T.GOODS_HASU_FLG IS NULL AND T.GADD_HASU_FLG IS NULL THEN "
                       "'untouched' END "
                       "WHEN %1 AND T.COMP_FLG IS R.COMP_FLG AND T.COMP_DATE IS R.COMP_DATE THEN 'converted' "
                       "WHEN %1 AND %2 AND T.INV_FLG = '1' AND T.COMP_FLG = '0' AND T.COMP_DATE IS NULL THEN "
                       "'recorded' END "
                       "FROM main.MITEMCNT T LEFT JOIN r.MITEMCNT R ON R.ITEM_CD = T.ITEM_CD AND R.DETAIL_NO "
                       "IS T.DETAIL_NO")
            .arg(sameRecord, m_stockMode == 0 ? QStringLiteral("1") : QStringLiteral("0"));
    for (const QString &row : look.rows(records)) {
        const QStringList f = row.split(QLatin1Char('|'));
        const QString kind = f.value(2);
        if (kind == QStringLiteral("converted"))
            ++state.converted;
        else if (kind == QStringLiteral("recorded"))
            ++state.recorded;
        else if (kind == QStringLiteral("untouched"))
            ++state.untouched;
        else if (state.violations.size() < 20)
            state.violations << QStringLiteral(
                                    "record of category %1/%2 neither converted once nor untouched")
                                    .arg(f.value(0), f.value(1));
    }
    const int listed = look.rows(QStringLiteral("SELECT COUNT(*) FROM r.MITEMCNT")).value(0).toInt();
    if (state.converted + state.recorded + state.untouched != listed)
        state.violations
            << QStringLiteral("the work list holds other categories than the reference run's %1").arg(listed);
    if (!look.error().isEmpty())
        state.violations << look.error();
    return state;
}

} // namespace krt::robustness
