#include "bench/installations.h"

#include "bench/figures.h"

#include "catalog/catalogfile.h"
#include "db/connection.h"
#include "servertables/servertables.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>

#include <optional>

namespace krt::bench {

namespace {

// A connection of its own to a catalog file, closed when it goes out of scope.
class Catalog
{
public:
    explicit Catalog(const QString &file)
        : m_connection(file)
    {}

    // The first value of a statement's result; nothing when it failed.
    std::optional<QVariant> value(const QString &sql) const
    {
        QSqlQuery query(m_connection.db());
        if (!query.exec(sql)) {
            qWarning().noquote() << "krt550-bench:" << query.lastError().text() << ":" << sql.left(200);
            return std::nullopt;
        }
        return query.next() ? query.value(0) : QVariant();
    }
    qint64 number(const QString &sql) const
    {
        const std::optional<QVariant> v = value(sql);
        return v ? v->toLongLong() : -1;
    }
    bool isOpen() const { return m_connection.error().isEmpty(); }

private:
    install::CatalogConnection m_connection;
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

// A store of goods, stock rows as many and three times as many movements.
install::Options storeOf(const QString &root, int categories, int goods, int months)
{
    install::Options options;
    options.root = root;
    options.databases = 1;
    options.categories = categories;
    options.goods = goods;
    options.stock = goods;
    options.movements = goods * 3;
    options.months = months;
    return options;
}

} // namespace

QString installationRoot(const QString &root, const QString &kind)
{
    return QDir(root).filePath(kind);
}

install::Options installationOptions(const QString &root, const QString &kind, const Sizes &sizes)
{
    const QString folder = installationRoot(root, kind);
    if (kind == WideKind)
        return storeOf(folder, sizes.wideCategories, sizes.wideGoods, sizes.months);
    // The server's store: the embedded store's categories and months, with goods, stock rows and
    // movements of their own number (by default the same).
    if (kind == ServerKind)
        return storeOf(folder, sizes.categories, sizes.serverGoods, sizes.months);
    if (kind == ScaleKinds[0])
        return storeOf(folder, sizes.scaleCategories, sizes.scaleGoods, sizes.months);
    if (kind == ScaleKinds[1])
        return storeOf(folder, sizes.scaleCategories, sizes.scaleLargeGoods, sizes.months);
    if (kind == ScaleKinds[2])
        return storeOf(folder, sizes.scaleWideCategories, sizes.scaleLargeGoods, sizes.months);
    install::Options options = storeOf(folder, sizes.categories, sizes.goods, sizes.months);
    options.stock = sizes.stock;
    options.movements = sizes.movements;
    return options;
}

QString catalogOf(const QString &installation)
{
    return QDir(install::catalogFolder(installation)).filePath(QStringLiteral("TMCS00.db"));
}

bool buildInChild(const QString &kind, const QString &serverStore)
{
    QStringList arguments = QCoreApplication::arguments().mid(1);
    arguments << QStringLiteral("--build") << kind;
    if (!serverStore.isEmpty())
        arguments << QStringLiteral("--server-store") << serverStore;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return fail(QStringLiteral("building the ") + kind + QStringLiteral(" installation failed"));
    return true;
}

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

// Every table with numeric(12,2) prices and the data of the embedded store's catalog.
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
    out << "  server database " << connection.catalog() << ": " << figures.workList
        << " work-list categories, " << figures.goods << " goods, " << figures.stock << " stock rows, "
        << figures.movements << " movements, numeric(12,2) prices, built over ODBC in "
        << fixed(secondsOf(timer), 1) << " s (peak memory of the build " << fixed(peakMiB(), 0) << " MiB)\n";
    return 0;
}

bool prepareRunInstallation(const QString &runRoot, const QString &storeRoot, const QString &connectionText)
{
    if (!QDir().mkpath(install::catalogFolder(runRoot)) ||
        !QDir().mkpath(QDir(install::drivesFolder(runRoot)).filePath(QStringLiteral("c/TMCS/DAT/DAT1"))))
        return fail(QStringLiteral("cannot prepare ") + runRoot);
    const QSettings store(install::settingsFile(storeRoot), QSettings::IniFormat);
    QSettings ini(install::settingsFile(runRoot), QSettings::IniFormat);
    // The store's own settings (the version, the goods key and name of the change list), with the
    // run's database.
    for (const QString &key : store.allKeys())
        ini.setValue(key, store.value(key));
    ini.setValue(QStringLiteral("Common/DBPARMS"), connectionText);
    ini.sync();
    return ini.status() == QSettings::NoError || fail(QStringLiteral("cannot prepare ") + runRoot);
}

} // namespace krt::bench
