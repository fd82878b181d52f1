#include "installation/installation.h"

#include "catalog/catalogfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSettings>

#include <cmath>
#include <optional>

namespace krt::install {

namespace {

QString catalogFile(const QString &root, int position)
{
    return QDir(catalogFolder(root))
        .filePath(QStringLiteral("TMCS%1.db").arg(position, 2, 10, QLatin1Char('0')));
}

QString dataFolder(const QString &root, int number)
{
    return QDir(drivesFolder(root)).filePath(QStringLiteral("c/TMCS/DAT/DAT") + QString::number(number));
}

bool pieceExists(const QString &root)
{
    if (QFileInfo::exists(settingsFile(root)))
        return true;
    for (int n = 1; n <= 5; ++n) {
        if (QFileInfo::exists(dataFolder(root, n)) || QFileInfo::exists(catalogFile(root, n - 1)))
            return true;
    }
    return false;
}

// Removes what an installation consists of, and nothing else: the settings file first, so that
// an interrupted removal never leaves an installation that looks complete.
QString removePieces(const QString &root)
{
    const QString settings = settingsFile(root);
    if (QFileInfo::exists(settings) && !QFile::remove(settings))
        return QStringLiteral("cannot remove ") + settings;
    for (int n = 1; n <= 5; ++n) {
        const QString folder = dataFolder(root, n);
        if (QFileInfo::exists(folder) && !QDir().rmdir(folder))
            return QStringLiteral("cannot remove ") + folder + QStringLiteral(" (not empty?)");
        const QString catalog = catalogFile(root, n - 1);
        for (const QString &suffix :
             {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")}) {
            const QString file = catalog + suffix;
            if (QFileInfo::exists(file) && !QFile::remove(file))
                return QStringLiteral("cannot remove ") + file;
        }
    }
    return {};
}

QString writeSettings(const Options &options)
{
    const QString file = settingsFile(options.root);
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return QStringLiteral("cannot create ") + QFileInfo(file).absolutePath();
    QSettings ini(file, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Common"));
    ini.setValue(QStringLiteral("DBPARMS"), connectionText(options.root));
    ini.setValue(QStringLiteral("area"), QString());
    // The change list names the goods by their code and name.
    ini.setValue(QStringLiteral("GoodsKeyColumns"), options.schema.goodsKey);
    ini.setValue(QStringLiteral("GoodsNameColumn"), QStringLiteral("GOODS_NM"));
    // Where the system parameters live, when not in the family's usual table.
    const Schema usual;
    const Schema &schema = options.schema;
    if (schema.sysParmTable != usual.sysParmTable || schema.sysParmNoColumn != usual.sysParmNoColumn ||
        schema.sysParmValueColumn != usual.sysParmValueColumn) {
        ini.setValue(QStringLiteral("SysParmTable"), schema.sysParmTable);
        ini.setValue(QStringLiteral("SysParmNoColumn"), schema.sysParmNoColumn);
        ini.setValue(QStringLiteral("SysParmValueColumn"), schema.sysParmValueColumn);
    }
    ini.endGroup();
    ini.beginGroup(QStringLiteral("Version"));
    ini.setValue(QStringLiteral("Invent"), options.invent);
    ini.endGroup();
    ini.sync();
    return ini.status() == QSettings::NoError ? QString() : QStringLiteral("cannot write ") + file;
}

Result build(const Options &options)
{
    Result result;
    if (!QDir().mkpath(catalogFolder(options.root))) {
        result.error = QStringLiteral("cannot create ") + catalogFolder(options.root);
        return result;
    }
    for (int p = 0; p < options.databases; ++p) {
        const Result catalog = createPopulatedCatalog(catalogFile(options.root, p), options,
                                                      options.seed + static_cast<quint32>(p));
        result.catalogs += catalog.catalogs;
        if (!catalog.error.isEmpty()) {
            result.error = catalog.error;
            return result;
        }
    }
    for (int n = 1; n <= options.databases; ++n) {
        if (!QDir().mkpath(dataFolder(options.root, n))) {
            result.error = QStringLiteral("cannot create ") + dataFolder(options.root, n);
            return result;
        }
    }
    result.error = writeSettings(options);
    return result;
}

std::optional<double> decimal(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

} // namespace

QString configFolder(const QString &root)
{
    return QDir(root).absoluteFilePath(QStringLiteral("config"));
}

QString settingsFile(const QString &root)
{
    return QDir(configFolder(root)).filePath(QStringLiteral("VELD/TMCS.ini"));
}

QString drivesFolder(const QString &root)
{
    return QDir(root).absoluteFilePath(QStringLiteral("drives"));
}

QString catalogFolder(const QString &root)
{
    return QDir(root).absoluteFilePath(QStringLiteral("db"));
}

QString connectionText(const QString &root)
{
    return QStringLiteral("Provider=SQLite;Initial Catalog=TMCS00;Data Source=") + catalogFolder(root) +
           QLatin1Char(';');
}

QString validate(const Options &options)
{
    if (options.root.isEmpty())
        return QStringLiteral("no installation folder given");
    if (catalogFolder(options.root).contains(QLatin1Char(';')))
        return QStringLiteral("the installation folder must not contain \";\": ") + options.root;
    if (options.databases < 1 || options.databases > 5)
        return QStringLiteral("databases: 1 to 5");
    if (options.categories < 1 || options.categories > 100000)
        return QStringLiteral("categories: 1 to 100000");
    if (options.goods < 0 || options.stock < 0 || options.movements < 0 || options.unmatched < 0)
        return QStringLiteral("goods, stock, movements and unmatched goods cannot be negative");
    if (options.goods == 0 && (options.stock > 0 || options.movements > 0))
        return QStringLiteral("stock and movements need goods");
    if (options.months < 1 || options.months > 120)
        return QStringLiteral("months: 1 to 120");
    if (options.stockMode != 0 && options.stockMode != 1)
        return QStringLiteral("stock mode: 0 or 1");
    const std::optional<double> tax = decimal(options.tax);
    if (!tax || *tax < 0 || *tax >= 1)
        return QStringLiteral("tax: a fraction such as 0.08");
    static const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    for (const QString &name : {options.schema.goodsKey, options.schema.sysParmTable,
                                options.schema.sysParmNoColumn, options.schema.sysParmValueColumn})
        if (!identifier.match(name).hasMatch())
            return QStringLiteral("not a plain column or table name: ") + name;
    if (options.sysYm != 0 && (options.sysYm / 100 < 1900 || options.sysYm / 100 > 9999 ||
                               options.sysYm % 100 < 1 || options.sysYm % 100 > 12))
        return QStringLiteral("system month: yyyymm");
    return {};
}

Result createPopulatedCatalog(const QString &file, const Options &options, quint32 seed)
{
    Result result;
    QElapsedTimer timer;
    timer.start();
    CatalogFigures figures;
    figures.file = file;
    result.error = createCatalog(file, options.schema);
    if (result.error.isEmpty()) {
        result.error = fillCatalog(file, options, seed, figures);
        // A catalog left half filled would pass for a real one.
        if (!result.error.isEmpty())
            QFile::remove(file);
    }
    figures.seconds = static_cast<double>(timer.elapsed()) / 1000.0;
    result.catalogs.append(figures);
    return result;
}

Result createInstallation(const Options &options, Existing existing)
{
    Result result;
    result.error = validate(options);
    if (!result.error.isEmpty())
        return result;
    if (pieceExists(options.root)) {
        result.existed = existing != Existing::Replace;
        switch (existing) {
        case Existing::Refuse:
            result.error = QStringLiteral("an installation already exists in ") + options.root;
            return result;
        case Existing::Keep:
            if (QFileInfo::exists(settingsFile(options.root)))
                result.kept = true;
            else
                result.error = QStringLiteral("an incomplete installation is in ") + options.root;
            return result;
        case Existing::Replace:
            result.error = removePieces(options.root);
            if (!result.error.isEmpty())
                return result;
            break;
        }
    }
    result = build(options);
    if (!result.error.isEmpty())
        removePieces(options.root);
    return result;
}

} // namespace krt::install
