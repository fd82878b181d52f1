// krt550-bench: measures the conversion run of the real main form on the database of a large
// store against the engine's floor, the start-up of the form and the peak memory of the process.
#include "bench/floor.h"

#include "app/krt550f1.h"
#include "app/krt550h1.h"
#include "catalog/catalogfile.h"
#include "category/categorytable.h"
#include "db/sqltext.h"
#include "installation/installation.h"
#include "params/conditionpanel.h"
#include "pgserver/pgserver.h"
#include "pricing/pricestatements.h"
#include "servertables/servertables.h"
#include "widgets/categorygrid.h"
#include "widgets/messagebox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>

namespace {

using namespace krt;
using bench::PriceTable;

constexpr std::array<PriceTable, 3> PriceTables{PriceTable::MGoods, PriceTable::IIoData, PriceTable::IZaiko};

// A control of the main form by the name the family gives it.
template <class T> T *control(const KRT550F1 &form, const char *name)
{
    return form.findChild<T *>(QString::fromLatin1(name));
}

struct Sizes
{
    int categories = 1000;
    int goods = 1000000;
    int stock = 1000000;
    int movements = 3000000;
    int months = 6;
    int wideCategories = 10000;
    int wideGoods = 100000;
    // Goods and stock rows of the server's store, three times as many movements: by default the
    // embedded store's sizes, which the ODBC path builds in about a minute.
    int serverGoods = 1000000;
};

double secondsOf(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// The largest resident set of this process so far, in MiB.
double peakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

// ---------------------------------------------------------------------------------------------
// The installations, built in a child process so that the builder's page cache does not count
// in the peak memory of the measured process.

QString storeRoot(const QString &root)
{
    return QDir(root).filePath(QStringLiteral("store"));
}

QString wideRoot(const QString &root)
{
    return QDir(root).filePath(QStringLiteral("wide"));
}

// The installation the runs work on: its catalog is a fresh copy of the store's before each run.
QString runRoot(const QString &root)
{
    return QDir(root).filePath(QStringLiteral("run"));
}

// The installation the runs on the server work on: its connection text names the server's run
// database, a fresh copy of the server's store before each run.
QString serverRunRoot(const QString &root)
{
    return QDir(root).filePath(QStringLiteral("server-run"));
}

// The databases of the benchmark's server: the store, and the copy a run works on, named as the
// program names the catalog of the first data folder.
const QString ServerStore = QStringLiteral("store");
const QString ServerRun = QStringLiteral("TMCS00");

QString catalogOf(const QString &installation)
{
    return QDir(install::catalogFolder(installation)).filePath(QStringLiteral("TMCS00.db"));
}

install::Options storeOptions(const QString &root, const Sizes &sizes)
{
    install::Options options;
    options.root = storeRoot(root);
    options.databases = 1;
    options.categories = sizes.categories;
    options.goods = sizes.goods;
    options.stock = sizes.stock;
    options.movements = sizes.movements;
    options.months = sizes.months;
    return options;
}

// The server's store: the embedded store's categories and months, with goods, stock rows and
// movements of their own number (by default the same).
install::Options serverOptions(const QString &root, const Sizes &sizes)
{
    install::Options options = storeOptions(root, sizes);
    options.goods = sizes.serverGoods;
    options.stock = sizes.serverGoods;
    options.movements = sizes.serverGoods * 3;
    return options;
}

install::Options wideOptions(const QString &root, const Sizes &sizes)
{
    install::Options options;
    options.root = wideRoot(root);
    options.databases = 1;
    options.categories = sizes.wideCategories;
    options.goods = sizes.wideGoods;
    options.stock = sizes.wideGoods;
    options.movements = sizes.wideGoods * 3;
    options.months = sizes.months;
    return options;
}

// A connection of its own to a catalog file (and optionally a second one attached as "other"),
// closed when it goes out of scope.
class Catalog
{
public:
    explicit Catalog(const QString &file, const QString &other = {})
        : m_connection(file)
        , m_open(m_connection.error().isEmpty())
    {
        if (m_open && !other.isEmpty())
            m_open =
                value(QStringLiteral("ATTACH DATABASE '") + sqlText(other) + QStringLiteral("' AS other"),
                      true)
                    .has_value();
    }

    // The first value of a statement's result; nothing when it failed.
    std::optional<QVariant> value(const QString &sql, bool noResult = false) const
    {
        QSqlQuery query(m_connection.db());
        if (!query.exec(sql)) {
            qWarning().noquote() << "krt550-bench:" << query.lastError().text() << ":" << sql.left(200);
            return std::nullopt;
        }
        if (noResult)
            return QVariant();
        return query.next() ? query.value(0) : QVariant();
    }
    qint64 number(const QString &sql) const
    {
        const std::optional<QVariant> v = value(sql);
        return v ? v->toLongLong() : -1;
    }
    bool isOpen() const { return m_open; }

private:
    install::CatalogConnection m_connection;
    bool m_open = false;
};

// Whether a kept installation holds what the options ask for.
bool holdsSizes(const install::Options &options)
{
    const QString file = catalogOf(options.root);
    if (!QFileInfo::exists(install::settingsFile(options.root)) || !QFileInfo::exists(file))
        return false;
    const Catalog catalog(file);
    return catalog.isOpen() &&
           catalog.number(QStringLiteral("SELECT COUNT(*) FROM MGOODS")) == options.goods &&
           catalog.number(QStringLiteral("SELECT COUNT(*) FROM IZAIKO")) == options.stock &&
           catalog.number(QStringLiteral("SELECT COUNT(*) FROM IIODATA")) == options.movements &&
           catalog.number(QStringLiteral(
               "SELECT (SELECT COUNT(*) FROM MITEMCD WHERE TAX_FREE_FLG = '0') + (SELECT COUNT(*) FROM "
               "MITEMDTL D JOIN MITEMCD C ON C.ITEM_CD = D.D_BUNRUI_CD WHERE C.TAX_FREE_FLG = '0' AND "
               "D.D_ITEM_NO = '71' AND D.D_DETAIL_NO <> 0)")) == options.categories;
}

// The child process: builds one installation, or keeps it when it holds the requested sizes.
int buildInstallation(const install::Options &options, bool keep)
{
    QTextStream out(stdout);
    if (keep && holdsSizes(options)) {
        out << "  " << QDir::toNativeSeparators(options.root) << ": kept\n";
        return 0;
    }
    const install::Result result = install::createInstallation(options, install::Existing::Replace);
    if (!result.error.isEmpty()) {
        out << "krt550-bench: " << result.error << "\n";
        return 1;
    }
    for (const install::CatalogFigures &catalog : result.catalogs)
        out << "  " << QDir::toNativeSeparators(catalog.file) << ": " << catalog.workList
            << " work-list categories, " << catalog.goods << " goods, " << catalog.stock << " stock rows, "
            << catalog.movements << " movements, built in " << fixed(catalog.seconds, 1)
            << " s (peak memory of the build " << fixed(peakMiB(), 0) << " MiB)\n";
    // The copies of the catalog are taken from the file alone.
    const Catalog catalog(catalogOf(options.root));
    return catalog.value(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) ? 0 : 1;
}

// The child process that fills the server's store: every table with numeric(12,2) prices and the
// data of the embedded store's catalog, over the program's ODBC path.
int buildServerStore(const install::Options &options, const QString &connectionText)
{
    QTextStream out(stdout);
    Connection connection;
    if (!connection.open(connectionText)) {
        out << "krt550-bench: cannot open the server's store: " << connection.errors().value(0).description
            << "\n";
        return 1;
    }
    QString error = install::createServerTables(connection.database(), QStringLiteral("numeric(12,2)"));
    install::CatalogFigures figures;
    QElapsedTimer timer;
    timer.start();
    if (error.isEmpty())
        error = install::fillServerTables(connection.database(), options, options.seed, figures);
    if (!error.isEmpty()) {
        out << "krt550-bench: " << error << "\n";
        return 1;
    }
    out << "  server database " << ServerStore << ": " << figures.workList << " work-list categories, "
        << figures.goods << " goods, " << figures.stock << " stock rows, " << figures.movements
        << " movements, numeric(12,2) prices, built over ODBC in " << fixed(secondsOf(timer), 1)
        << " s (peak memory of the build " << fixed(peakMiB(), 0) << " MiB)\n";
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The measured process

// The shortest of the times measured for one figure.
double best(double sofar, double measured)
{
    return sofar == 0 ? measured : std::min(sofar, measured);
}

// The floor's times and rows of one measurement.
struct FloorFigures
{
    std::array<double, 3> table{};
    std::array<qint64, 3> rows{};
    double commit = 0;
    double total = 0;
};

// Applies the floor's statement to each price table in one transaction and times it; nothing,
// with what failed, when a statement fails.
std::optional<FloorFigures> timeFloor(Connection &connection, const ConversionParams &params,
                                      const bench::FloorValues &values, QString &error)
{
    FloorFigures figures;
    QElapsedTimer total;
    total.start();
    if (!connection.beginTrans()) {
        error = QStringLiteral("BEGIN failed");
        return std::nullopt;
    }
    for (std::size_t t = 0; t < PriceTables.size(); ++t) {
        QElapsedTimer timer;
        timer.start();
        if (!connection.execute(bench::floorStatement(PriceTables[t], params, values))) {
            error = connection.errors().value(0).description;
            return std::nullopt;
        }
        figures.table[t] = secondsOf(timer);
        figures.rows[t] = connection.rowsAffected();
    }
    QElapsedTimer commit;
    commit.start();
    if (!connection.commitTrans()) {
        error = QStringLiteral("COMMIT failed");
        return std::nullopt;
    }
    figures.commit = secondsOf(commit);
    figures.total = secondsOf(total);
    return figures;
}

// One measured line of the report.
struct Figure
{
    QString what;
    qint64 rows = 0;
    double seconds = 0;
    double floorSeconds = 0; // 0: no ratio
};

// The figures of the conversion runs and the floor on one engine.
struct EngineFigures
{
    FloorFigures floor;
    double direct = 0;
    double deferred = 0;
    int lines = 0; // work-list categories of the runs
};

// What identifies the prices of a table: its row count and a digest of the category and price
// columns of every row, independent of the rows' order.
struct PriceDigest
{
    qint64 rows = -1;
    QString digest;
    bool operator==(const PriceDigest &other) const { return rows == other.rows && digest == other.digest; }
};

class StoreBench
{
public:
    StoreBench(QString root, Sizes sizes, int repeat, bool keep, bool verify, bool withServer)
        : m_root(std::move(root))
        , m_sizes(sizes)
        , m_repeat(repeat)
        , m_keep(keep)
        , m_verify(verify)
        , m_withServer(withServer)
    {
        MessageBoxes::setResponder([this](const BoxRequest &request) {
            if (request.kind == BoxRequest::Kind::Confirmation)
                return mb::IdYes;
            m_boxes.append(request.kind == BoxRequest::Kind::Plain ? request.text : request.msgNo);
            return mb::IdOk;
        });
    }
    ~StoreBench() { MessageBoxes::setResponder({}); }
    StoreBench(const StoreBench &) = delete;
    StoreBench &operator=(const StoreBench &) = delete;

    int run();

private:
    bool build(const QString &kind, const QString &connectionText = {});
    bool prepareRunInstallation(const QString &root, const QString &connectionText) const;
    bool restoreRunCatalog(int stockMode) const;
    std::unique_ptr<KRT550F1> loadForm(const QString &installation, double &seconds);
    bool convert(KRT550F1 &form, double &seconds);
    // Each measures once and keeps the shortest time of every figure so far; with verify the
    // prices left behind are compared.
    bool measureDirect(bool verify);
    bool measureFloor(bool verify);
    bool measureDeferred(bool verify);
    bool measureWide();
    // The same on the benchmark's PostgreSQL server, when it can be had.
    bool measureServer();
    bool restoreServerRun(int stockMode) const;
    bool measureServerDirect(bool verify);
    bool measureServerFloor(bool verify);
    bool measureServerDeferred(bool verify);
    bool serverDigests(const QString &database, std::array<PriceDigest, 3> &digests) const;
    qint64 listedRows(PriceTable table) const;
    bool sameRows(const QString &other, const QList<PriceTable> &tables) const;
    bool fail(const QString &what) const;
    void report();
    void reportRuns(const QString &engine, const EngineFigures &figures);

    QString m_root;
    Sizes m_sizes;
    int m_repeat;
    bool m_keep;
    bool m_verify;
    bool m_withServer;
    QStringList m_boxes;
    mutable QTextStream m_out{stdout};

    // What the direct run worked with, for the floor.
    ConversionParams m_params;
    bench::FloorValues m_values;
    QString m_engineSettings;

    std::array<qint64, 3> m_listed{}; // the rows a run converts, per table
    bool m_counted = false;
    EngineFigures m_embedded;
    // The server's figures; the reason when there is no server to measure on.
    EngineFigures m_server;
    QString m_serverSkip;
    QString m_serverSettings;
    bench::FloorValues m_serverValues;
    std::array<PriceDigest, 3> m_serverStore{};
    std::array<PriceDigest, 3> m_serverDirect{};
    PriceDigest m_serverFloorGoods;
    double m_startStore = 0;
    double m_startWide = 0;
    double m_restartWide = 0;
    double m_gridLoad = 0;
    int m_wideLines = 0;
};

bool StoreBench::fail(const QString &what) const
{
    m_out << "krt550-bench: " << what << "\n";
    return false;
}

bool StoreBench::build(const QString &kind, const QString &connectionText)
{
    QStringList arguments = QCoreApplication::arguments().mid(1);
    arguments << QStringLiteral("--build") << kind;
    if (!connectionText.isEmpty())
        arguments << QStringLiteral("--server-store") << connectionText;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return fail(QStringLiteral("building the ") + kind + QStringLiteral(" installation failed"));
    return true;
}

// A run installation: settings of its own whose connection text names the run's database, and
// the data folder of its one database.
bool StoreBench::prepareRunInstallation(const QString &root, const QString &connectionText) const
{
    if (!QDir().mkpath(install::catalogFolder(root)) ||
        !QDir().mkpath(QDir(install::drivesFolder(root)).filePath(QStringLiteral("c/TMCS/DAT/DAT1"))))
        return false;
    const QSettings store(install::settingsFile(storeRoot(m_root)), QSettings::IniFormat);
    QSettings ini(install::settingsFile(root), QSettings::IniFormat);
    ini.setValue(QStringLiteral("Common/DBPARMS"), connectionText);
    ini.setValue(QStringLiteral("Version/Invent"), store.value(QStringLiteral("Version/Invent")));
    ini.sync();
    return ini.status() == QSettings::NoError;
}

bool StoreBench::restoreRunCatalog(int stockMode) const
{
    const QString file = catalogOf(runRoot(m_root));
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(file + suffix);
    if (!QFile::copy(catalogOf(storeRoot(m_root)), file))
        return false;
    // The copy reaches the disk before the measurement, so that its write-back does not slow the
    // measured commits down.
    QFile copy(file);
    if (!copy.open(QIODevice::ReadWrite) || ::fsync(copy.handle()) != 0)
        return false;
    copy.close();
    return install::runScript(
               file, QStringLiteral("UPDATE MSYSPARM SET NAIYO = '%1' WHERE PARM_NO = 1200;").arg(stockMode))
        .isEmpty();
}

// Loads the real main form on an installation as the start-up routine does: Form_Load with the
// first database switch, the category check and the marking of every category, then showing it.
std::unique_ptr<KRT550F1> StoreBench::loadForm(const QString &installation, double &seconds)
{
    qputenv("XDG_CONFIG_HOME", install::configFolder(installation).toUtf8());
    qputenv("TMCS_DRIVE_ROOT", install::drivesFolder(installation).toUtf8());
    FirstConnect = true;
    BunruiCheckOK = false;
    m_boxes.clear();
    QElapsedTimer timer;
    timer.start();
    auto form = std::make_unique<KRT550F1>();
    form->Form_Load();
    form->show();
    QCoreApplication::processEvents();
    seconds = secondsOf(timer);
    if (form->selectedCalcMethod() != 1 || !m_boxes.isEmpty()) {
        fail(QStringLiteral("the form did not reach the ready state on ") + installation +
             QStringLiteral(" (messages: ") + m_boxes.join(QLatin1Char(',')) + QLatin1Char(')'));
        return nullptr;
    }
    return form;
}

// Enters the conditions (method 1 from 8 % to 10 %, goods prices rounded half up and add-on prices
// rounded down at the ones, the digit position a rounding method selects first) and gives the
// Execute command.
bool StoreBench::convert(KRT550F1 &form, double &seconds)
{
    control<QLineEdit>(form, "txt_Tax_From(1)")->setText(QStringLiteral("8"));
    control<QLineEdit>(form, "txt_Tax_To(1)")->setText(QStringLiteral("10"));
    control<QRadioButton>(form, "opt_Round")->setChecked(true);
    control<QRadioButton>(form, "opt_RoundDown_Add")->setChecked(true);
    m_boxes.clear();
    QElapsedTimer timer;
    timer.start();
    form.QLB347U11_FKeyClick(1);
    seconds = secondsOf(timer);
    if (m_boxes != QStringList{QStringLiteral("10009")})
        return fail(QStringLiteral("the run ended with the messages ") + m_boxes.join(QLatin1Char(',')));
    return true;
}

// The rows of a price table that a run over the whole work list converts.
qint64 StoreBench::listedRows(PriceTable table) const
{
    QString rows;
    if (table == PriceTable::IIoData)
        rows = QStringLiteral("WHERE IO_YM >= ") + m_values.sysYm;
    else if (table == PriceTable::IZaiko)
        rows = m_values.inventNewVersion ? QStringLiteral("WHERE ZAIKO_QTY > 0")
                                         : QStringLiteral("WHERE ZAIKO_QTY > 0 OR JYUTAKU_QTY > 0");
    const Catalog catalog(catalogOf(runRoot(m_root)));
    return catalog.number(
        QStringLiteral(
            "SELECT IFNULL(SUM(K.N), 0) FROM (SELECT DAI_BUNRUI_CD AS D, IFNULL(CHU_BUNRUI_CD, 0) AS C, "
            "COUNT(*) AS N FROM %1 %2 GROUP BY 1, 2) K WHERE EXISTS (SELECT 1 FROM MITEMCNT M WHERE "
            "M.ITEM_CD = K.D AND IFNULL(M.DETAIL_NO, 0) = K.C)")
            .arg(bench::tableName(table), rows));
}

// Whether the prices of the run catalog equal those of another catalog, row by row.
bool StoreBench::sameRows(const QString &other, const QList<PriceTable> &tables) const
{
    const Catalog catalog(catalogOf(runRoot(m_root)), other);
    for (const PriceTable table : tables) {
        const QString name = bench::tableName(table);
        QStringList columns = {QStringLiteral("HYOJYUN_PRC"), QStringLiteral("KOURI_PRC"),
                               QStringLiteral("OROSI_PRC")};
        if (table == PriceTable::MGoods)
            columns << QStringLiteral("H_ADD1_PRC") << QStringLiteral("K_ADD1_PRC")
                    << QStringLiteral("O_ADD1_PRC") << QStringLiteral("H_ADD2_PRC")
                    << QStringLiteral("K_ADD2_PRC") << QStringLiteral("O_ADD2_PRC");
        QStringList differs;
        for (const QString &column : columns)
            differs << QStringLiteral("A.%1 IS NOT B.%1").arg(column);
        const qint64 rows = catalog.number(QStringLiteral("SELECT COUNT(*) FROM main.%1").arg(name));
        const qint64 matched = catalog.number(
            QStringLiteral("SELECT COUNT(*) FROM main.%1 A JOIN other.%1 B ON B.rowid = A.rowid").arg(name));
        const qint64 differing = catalog.number(
            QStringLiteral("SELECT COUNT(*) FROM main.%1 A JOIN other.%1 B ON B.rowid = A.rowid "
                           "WHERE %2")
                .arg(name, differs.join(QStringLiteral(" OR "))));
        if (rows < 0 || matched != rows || differing != 0)
            return fail(QStringLiteral("%1: %2 of %3 rows differ from %4")
                            .arg(name)
                            .arg(differing)
                            .arg(rows)
                            .arg(other));
    }
    return true;
}

bool StoreBench::measureDirect(bool verify)
{
    if (!restoreRunCatalog(1))
        return fail(QStringLiteral("cannot copy the store's catalog"));
    double start = 0;
    std::unique_ptr<KRT550F1> form = loadForm(runRoot(m_root), start);
    if (!form)
        return false;
    m_startStore = best(m_startStore, start);
    m_embedded.lines = control<CategoryGrid>(*form, "lstTbl")->Rows();
    m_values.sysYm = Catalog(catalogOf(runRoot(m_root)))
                         .value(QStringLiteral("SELECT SYS_YM1 FROM GDATECTL"))
                         .value_or(QVariant())
                         .toString();
    QStringList settings;
    for (const char *pragma : {"journal_mode", "synchronous", "cache_size", "busy_timeout"}) {
        QSqlQuery query(form->connection()->database());
        if (query.exec(QStringLiteral("PRAGMA ") + QLatin1String(pragma)) && query.next())
            settings << QLatin1String(pragma) + QLatin1Char(' ') + query.value(0).toString();
    }
    m_engineSettings = settings.join(QStringLiteral(", "));
    m_values.calcMethod = 1;
    m_values.inventNewVersion = form->inventNewVersion();
    // Every measurement starts from the same copy: its rows are counted once.
    for (std::size_t t = 0; t < PriceTables.size() && !m_counted; ++t)
        m_listed[t] = listedRows(PriceTables[t]);
    m_counted = true;
    double run = 0;
    if (!convert(*form, run))
        return false;
    m_embedded.direct = best(m_embedded.direct, run);
    m_params = control<ConditionPanel>(*form, "pic_Jyoukein")->params();
    m_values.calcMethod = form->selectedCalcMethod();
    form.reset();
    if (verify &&
        !QFile::rename(catalogOf(runRoot(m_root)), QDir(m_root).filePath(QStringLiteral("direct.db"))))
        return fail(QStringLiteral("cannot keep the direct run's catalog"));
    return true;
}

bool StoreBench::measureFloor(bool verify)
{
    if (!restoreRunCatalog(1))
        return fail(QStringLiteral("cannot copy the store's catalog"));
    {
        Connection connection;
        if (!connection.open(install::connectionText(runRoot(m_root))))
            return fail(QStringLiteral("cannot open the run catalog"));
        const std::optional<QString> now = category::serverDate(connection);
        m_values.koushinDt = now.value_or(QString());
        QString error;
        const std::optional<FloorFigures> measured = timeFloor(connection, m_params, m_values, error);
        if (!measured)
            return fail(error);
        const FloorFigures &figures = *measured;
        for (std::size_t t = 0; t < PriceTables.size(); ++t)
            if (figures.rows[t] != m_listed[t])
                return fail(QStringLiteral("the floor converted %1 rows of %2, the run %3")
                                .arg(figures.rows[t])
                                .arg(bench::tableName(PriceTables[t]))
                                .arg(m_listed[t]));
        if (m_embedded.floor.total == 0 || figures.total < m_embedded.floor.total)
            m_embedded.floor = figures;
    }
    if (!verify)
        return true;
    const QString direct = QDir(m_root).filePath(QStringLiteral("direct.db"));
    const bool same = sameRows(direct, {PriceTable::MGoods, PriceTable::IIoData, PriceTable::IZaiko});
    QFile::remove(direct);
    if (!same)
        return fail(QStringLiteral("the direct run and the floor disagree"));
    if (!QFile::rename(catalogOf(runRoot(m_root)), QDir(m_root).filePath(QStringLiteral("floor.db"))))
        return fail(QStringLiteral("cannot keep the floor's catalog"));
    return true;
}

bool StoreBench::measureDeferred(bool verify)
{
    if (!restoreRunCatalog(0))
        return fail(QStringLiteral("cannot copy the store's catalog"));
    double start = 0;
    std::unique_ptr<KRT550F1> form = loadForm(runRoot(m_root), start);
    if (!form)
        return false;
    if (form->stockMode() != 0)
        return fail(QStringLiteral("the deferred run's catalog is not in deferred mode"));
    double run = 0;
    if (!convert(*form, run))
        return false;
    m_embedded.deferred = best(m_embedded.deferred, run);
    form.reset();
    if (!verify)
        return true;
    const QString floor = QDir(m_root).filePath(QStringLiteral("floor.db"));
    const bool same = sameRows(floor, {PriceTable::MGoods}) &&
                      sameRows(catalogOf(storeRoot(m_root)), {PriceTable::IIoData, PriceTable::IZaiko});
    QFile::remove(floor);
    return same || fail(QStringLiteral("the deferred run and the floor disagree"));
}

// Start-up on the wide catalog from an empty work list (the first start, which fills it from the
// masters), one more grid load, and the start-up of a later start that finds the work list kept.
bool StoreBench::measureWide()
{
    if (!install::runScript(catalogOf(wideRoot(m_root)), QStringLiteral("DELETE FROM MITEMCNT;")).isEmpty())
        return fail(QStringLiteral("cannot empty the wide catalog's work list"));
    double start = 0;
    std::unique_ptr<KRT550F1> form = loadForm(wideRoot(m_root), start);
    if (!form)
        return false;
    m_startWide = best(m_startWide, start);
    QElapsedTimer timer;
    timer.start();
    if (form->prfn_LoadItemGrid() != 0)
        return fail(QStringLiteral("the grid load failed"));
    m_gridLoad = best(m_gridLoad, secondsOf(timer));
    m_wideLines = control<CategoryGrid>(*form, "lstTbl")->Rows();
    form.reset();
    form = loadForm(wideRoot(m_root), start);
    if (!form)
        return false;
    m_restartWide = best(m_restartWide, start);
    return true;
}

// The digests of the three price tables of a database on the server, read over the ODBC path.
bool StoreBench::serverDigests(const QString &database, std::array<PriceDigest, 3> &digests) const
{
    const test::PgServer &server = test::PgServer::instance();
    const QString name = QStringLiteral("krt550-bench-digest");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
        db.setDatabaseName(server.odbcText(database));
        ok = db.open();
        for (std::size_t t = 0; ok && t < PriceTables.size(); ++t) {
            QStringList columns = {QStringLiteral("DAI_BUNRUI_CD"), QStringLiteral("CHU_BUNRUI_CD")};
            for (int i = 0; i < (PriceTables[t] == PriceTable::MGoods ? 9 : 3); ++i)
                columns << QLatin1String(pricing::MGoodsColumns[static_cast<std::size_t>(i)].name);
            QSqlQuery query(db);
            ok = query.exec(QStringLiteral("SELECT COUNT(*), md5(string_agg(r, '|' ORDER BY r)) FROM (SELECT "
                                           "CAST(ROW(%1) AS TEXT) AS r FROM %2) x")
                                .arg(columns.join(QStringLiteral(", ")), bench::tableName(PriceTables[t]))) &&
                 query.next();
            if (ok)
                digests[t] = {query.value(0).toLongLong(), query.value(1).toString()};
            else
                qWarning().noquote() << "krt550-bench:" << query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok || fail(QStringLiteral("cannot read the prices of the server's database ") + database);
}

// A fresh copy of the server's store as the run database, in the given stock mode.
bool StoreBench::restoreServerRun(int stockMode) const
{
    const test::PgServer &server = test::PgServer::instance();
    QString error = server.psql(QStringLiteral("postgres"),
                                QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(ServerRun));
    if (error.isEmpty())
        error = server.psql(QStringLiteral("postgres"),
                            QStringLiteral("CREATE DATABASE \"%1\" TEMPLATE \"%2\" STRATEGY FILE_COPY")
                                .arg(ServerRun, ServerStore));
    if (error.isEmpty())
        error = server.psql(
            ServerRun,
            QStringLiteral("UPDATE MSYSPARM SET NAIYO = '%1' WHERE PARM_NO = 1200").arg(stockMode));
    return error.isEmpty() || fail(QStringLiteral("cannot copy the server's store: ") + error);
}

bool StoreBench::measureServerDirect(bool verify)
{
    if (!restoreServerRun(1))
        return false;
    double start = 0;
    std::unique_ptr<KRT550F1> form = loadForm(serverRunRoot(m_root), start);
    if (!form)
        return false;
    m_server.lines = control<CategoryGrid>(*form, "lstTbl")->Rows();
    QStringList settings;
    for (const char *setting : {"server_version", "transaction_isolation", "synchronous_commit", "fsync"}) {
        QSqlQuery query(form->connection()->database());
        if (query.exec(QStringLiteral("SHOW ") + QLatin1String(setting)) && query.next())
            settings << QLatin1String(setting) + QLatin1Char(' ') + query.value(0).toString();
    }
    m_serverSettings = settings.join(QStringLiteral(", "));
    double run = 0;
    if (!convert(*form, run))
        return false;
    m_server.direct = best(m_server.direct, run);
    form.reset();
    return !verify || serverDigests(ServerRun, m_serverDirect);
}

bool StoreBench::measureServerFloor(bool verify)
{
    if (!restoreServerRun(1))
        return false;
    const test::PgServer &server = test::PgServer::instance();
    {
        Connection connection;
        if (!connection.open(server.connectionText(ServerRun)))
            return fail(QStringLiteral("cannot open the server's run database"));
        const std::optional<Recordset> month =
            connection.openRecordset(QStringLiteral("SELECT SYS_YM1 FROM GDATECTL"));
        m_serverValues = m_values;
        m_serverValues.sysYm = month && !month->eof() ? month->field(0).toString() : QString();
        m_serverValues.koushinDt = category::serverDate(connection).value_or(QString());
        QString error;
        const std::optional<FloorFigures> measured = timeFloor(connection, m_params, m_serverValues, error);
        if (!measured)
            return fail(error + QStringLiteral(" on the server"));
        const FloorFigures &figures = *measured;
        if (m_server.floor.total == 0 || figures.total < m_server.floor.total)
            m_server.floor = figures;
    }
    if (!verify)
        return true;
    std::array<PriceDigest, 3> floor{};
    if (!serverDigests(ServerRun, floor))
        return false;
    if (floor != m_serverDirect)
        return fail(QStringLiteral("on the server, the direct run and the floor disagree"));
    m_serverFloorGoods = floor[0];
    return true;
}

bool StoreBench::measureServerDeferred(bool verify)
{
    if (!restoreServerRun(0))
        return false;
    double start = 0;
    std::unique_ptr<KRT550F1> form = loadForm(serverRunRoot(m_root), start);
    if (!form)
        return false;
    if (form->stockMode() != 0)
        return fail(QStringLiteral("the server's deferred run is not in deferred mode"));
    double run = 0;
    if (!convert(*form, run))
        return false;
    m_server.deferred = best(m_server.deferred, run);
    form.reset();
    if (!verify)
        return true;
    std::array<PriceDigest, 3> deferred{};
    if (!serverDigests(ServerRun, deferred))
        return false;
    const bool same = deferred[0] == m_serverFloorGoods && deferred[1] == m_serverStore[1] &&
                      deferred[2] == m_serverStore[2];
    return same || fail(QStringLiteral("on the server, the deferred run and the floor disagree"));
}

// Starts the benchmark's own server, builds its store in a child process and measures the runs
// and the floor on it. Without PostgreSQL or its ODBC driver, only the reason is kept.
bool StoreBench::measureServer()
{
    test::PgServer &server = test::PgServer::instance();
    if (!server.skipReason().isEmpty()) {
        m_serverSkip = server.skipReason();
        m_out << "No server engine: " << m_serverSkip << "; measuring the embedded engine only\n";
        return true;
    }
    if (!server.isRunning())
        return fail(QStringLiteral("the server did not start: ") + server.error());
    m_out << "Server engine: PostgreSQL in " << QDir::toNativeSeparators(server.socketFolder())
          << ", reached over QODBC\n";
    m_out.flush();
    const QString error = server.createDatabase(ServerStore);
    if (!error.isEmpty())
        return fail(QStringLiteral("cannot create the server's store: ") + error);
    if (!build(QStringLiteral("server"), server.connectionText(ServerStore)))
        return false;
    // The planner's statistics and the visibility map are taken over by every copy of the store.
    const QString analyze = server.psql(ServerStore, QStringLiteral("VACUUM ANALYZE"));
    if (!analyze.isEmpty())
        return fail(QStringLiteral("VACUUM ANALYZE failed on the server: ") + analyze);
    if (!serverDigests(ServerStore, m_serverStore) ||
        !prepareRunInstallation(serverRunRoot(m_root), server.connectionText(ServerRun)))
        return false;
    for (int round = 1; round <= m_repeat; ++round) {
        m_out << "Measuring on the server " << round << " of " << m_repeat
              << ": direct run, floor, deferred run\n";
        m_out.flush();
        const bool verify = m_verify && round == 1;
        if (!measureServerDirect(verify) || !measureServerFloor(verify) || !measureServerDeferred(verify))
            return false;
    }
    return true;
}

// The floor's lines and the two runs' lines of one engine.
void StoreBench::reportRuns(const QString &engine, const EngineFigures &figures)
{
    const auto line = [this, &engine](const Figure &figure) {
        m_out << (engine + QStringLiteral(": ") + figure.what).leftJustified(50)
              << QString::number(figure.rows).rightJustified(10)
              << fixed(figure.seconds, 2).rightJustified(10)
              << QString::number(qRound64(static_cast<double>(figure.rows) / figure.seconds))
                     .rightJustified(12);
        if (figure.floorSeconds > 0)
            m_out << fixed(figure.seconds / figure.floorSeconds, 2).rightJustified(11);
        m_out << "\n";
    };
    const FloorFigures &floor = figures.floor;
    for (std::size_t t = 0; t < PriceTables.size(); ++t)
        line({QStringLiteral("floor, one UPDATE of ") + bench::tableName(PriceTables[t]), floor.rows[t],
              floor.table[t], 0});
    m_out << (engine + QStringLiteral(": floor, commit")).leftJustified(50) << QString().rightJustified(10)
          << fixed(floor.commit, 2).rightJustified(10) << "\n";
    const qint64 floorRows = floor.rows[0] + floor.rows[1] + floor.rows[2];
    line({QStringLiteral("floor, three tables, one transaction"), floorRows, floor.total, 0});
    line({QStringLiteral("run, direct mode (%1 categories)").arg(figures.lines), floorRows, figures.direct,
          floor.total});
    line({QStringLiteral("run, deferred mode (MGOODS only)"), floor.rows[0], figures.deferred,
          floor.table[0]});
}

void StoreBench::report()
{
    m_out << "\nShortest of " << m_repeat << " measurements each.\n"
          << "embedded engine (" << m_sizes.goods
          << " goods), settings of the program's connection: " << m_engineSettings << "\n";
    if (m_serverSkip.isEmpty())
        m_out << "server engine (" << m_sizes.serverGoods
              << " goods, numeric(12,2) prices, over QODBC), settings: " << m_serverSettings << "\n";
    else
        m_out << "server engine not measured: " << m_serverSkip << "\n";
    m_out << "\n"
          << QStringLiteral("").leftJustified(50) << QStringLiteral("rows").rightJustified(10)
          << QStringLiteral("seconds").rightJustified(10) << QStringLiteral("rows/s").rightJustified(12)
          << QStringLiteral("run/floor").rightJustified(11) << "\n";
    reportRuns(QStringLiteral("embedded"), m_embedded);
    if (m_serverSkip.isEmpty())
        reportRuns(QStringLiteral("server"), m_server);
    m_out << "\n"
          << QStringLiteral("start-up to ready, %1 categories, %2 goods")
                 .arg(m_embedded.lines)
                 .arg(m_sizes.goods)
          << ": " << fixed(m_startStore, 2) << " s\n"
          << QStringLiteral("start-up to ready, %1 categories, %2 goods, work list filled from the masters")
                 .arg(m_wideLines)
                 .arg(m_sizes.wideGoods)
          << ": " << fixed(m_startWide, 2) << " s\n"
          << QStringLiteral("start-up to ready, %1 categories, %2 goods, work list kept")
                 .arg(m_wideLines)
                 .arg(m_sizes.wideGoods)
          << ": " << fixed(m_restartWide, 2) << " s\n"
          << QStringLiteral("grid load, %1 work-list rows").arg(m_wideLines) << ": " << fixed(m_gridLoad, 3)
          << " s\n"
          << "peak memory of this process (the builds ran in processes of their own): " << fixed(peakMiB(), 0)
          << " MiB\n";
    if (m_verify)
        m_out << "checked: the direct run, the deferred run and the floor leave the same prices"
              << (m_serverSkip.isEmpty() ? " on both engines\n" : "\n");

    const double ratio = m_embedded.direct / m_embedded.floor.total;
    const double startUp = std::max(m_startWide, m_restartWide);
    const double peak = peakMiB() * 1024.0 * 1024.0 / 1e6;
    const auto verdict = [](bool met) { return met ? QStringLiteral("met") : QStringLiteral("MISSED"); };
    m_out << "\nTargets\n"
          << "  direct run within 1.25 x the floor (embedded engine): " << fixed(ratio, 2) << " x, "
          << verdict(ratio <= 1.25) << "\n"
          << "  peak memory under 200 MB: " << fixed(peak, 0) << " MB, " << verdict(peak < 200) << "\n"
          << "  start-up to ready under 1 s with " << m_wideLines << " categories: " << fixed(startUp, 2)
          << " s, " << verdict(startUp < 1.0) << "\n";
}

int StoreBench::run()
{
    m_out << "krt550-bench in " << QDir::toNativeSeparators(QDir(m_root).absolutePath()) << "\n"
          << "Installations (built by krt::install in child processes"
          << (m_keep ? ", kept when complete" : "") << "):\n";
    m_out.flush();
    if (!build(QStringLiteral("store")) || !build(QStringLiteral("wide")))
        return 1;
    if (!prepareRunInstallation(runRoot(m_root), install::connectionText(runRoot(m_root)))) {
        fail(QStringLiteral("cannot prepare ") + runRoot(m_root));
        return 1;
    }
    for (int round = 1; round <= m_repeat; ++round) {
        m_out << "Measuring " << round << " of " << m_repeat
              << ": direct run, floor, deferred run, start-up\n";
        m_out.flush();
        const bool verify = m_verify && round == 1;
        if (!measureDirect(verify) || !measureFloor(verify) || !measureDeferred(verify) || !measureWide())
            return 1;
    }
    if (m_withServer && !measureServer())
        return 1;
    if (!m_withServer)
        m_serverSkip = QStringLiteral("left out (--no-server)");
    report();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool building =
        std::any_of(argv + 1, argv + argc, [](const char *a) { return std::strcmp(a, "--build") == 0; });
    if (!building && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app = building ? std::make_unique<QCoreApplication>(argc, argv)
                                                     : std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("krt550-bench"));

    Sizes sizes;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures the KRT550 conversion run on the database of a large store, side by side with the\n"
        "engine's floor (the same price expressions in one UPDATE per table), the start-up of the form\n"
        "and the peak memory. The installations are built under DIR by krt::install."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("root"), QStringLiteral("folder of the benchmark's installations"),
                      QStringLiteral("DIR")});
    struct NumberOption
    {
        const char *name;
        const char *description;
        int *target;
    };
    int repeat = 3;
    const std::array<NumberOption, 9> numbers{{
        {"repeat", "measurements of each run, the shortest is reported", &repeat},
        {"categories", "work-list categories of the store", &sizes.categories},
        {"goods", "goods of the store", &sizes.goods},
        {"stock", "stock rows of the store", &sizes.stock},
        {"movements", "stock movements of the store", &sizes.movements},
        {"months", "months of movements", &sizes.months},
        {"wide-categories", "work-list categories of the start-up catalog", &sizes.wideCategories},
        {"wide-goods", "goods and stock rows of the start-up catalog (three times as many movements)",
         &sizes.wideGoods},
        {"server-goods", "goods and stock rows of the server's store (three times as many movements)",
         &sizes.serverGoods},
    }};
    for (const NumberOption &option : numbers)
        parser.addOption({QLatin1String(option.name),
                          QLatin1String(option.description) + QStringLiteral(" (default ") +
                              QString::number(*option.target) + QLatin1Char(')'),
                          QStringLiteral("N")});
    parser.addOption(
        {QStringLiteral("keep"), QStringLiteral("reuse installations that hold the requested sizes")});
    parser.addOption({QStringLiteral("no-verify"),
                      QStringLiteral("skip comparing the prices left by the runs with the floor's")});
    parser.addOption(
        {QStringLiteral("no-server"),
         QStringLiteral("measure the embedded engine only, without starting a PostgreSQL server")});
    QCommandLineOption buildOption(QStringLiteral("build"),
                                   QStringLiteral("(internal) build one installation"),
                                   QStringLiteral("store|wide|server"));
    buildOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(buildOption);
    QCommandLineOption serverStoreOption(QStringLiteral("server-store"),
                                         QStringLiteral("(internal) connection text of the server's store"),
                                         QStringLiteral("TEXT"));
    serverStoreOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(serverStoreOption);
    parser.process(*app);

    QTextStream err(stderr);
    if (!parser.isSet(QStringLiteral("root"))) {
        err << "krt550-bench: --root DIR is required\n" << parser.helpText();
        return 2;
    }
    for (const NumberOption &option : numbers) {
        const QString name = QLatin1String(option.name);
        if (!parser.isSet(name))
            continue;
        bool ok = false;
        *option.target = parser.value(name).toInt(&ok);
        if (!ok || *option.target < 0) {
            err << "krt550-bench: --" << name << ": not a whole number of 0 or more\n";
            return 2;
        }
    }
    const QString root = QDir(parser.value(QStringLiteral("root"))).absolutePath();
    const bool keep = parser.isSet(QStringLiteral("keep"));
    if (building) {
        const QString kind = parser.value(buildOption);
        if (kind == QStringLiteral("server"))
            return buildServerStore(serverOptions(root, sizes), parser.value(serverStoreOption));
        return buildInstallation(
            kind == QStringLiteral("wide") ? wideOptions(root, sizes) : storeOptions(root, sizes), keep);
    }
    StoreBench bench(root, sizes, std::max(1, repeat), keep, !parser.isSet(QStringLiteral("no-verify")),
                     !parser.isSet(QStringLiteral("no-server")));
    return bench.run();
}
