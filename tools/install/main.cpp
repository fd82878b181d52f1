#include "installation/installation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <optional>

namespace {

struct NumberOption
{
    QString name;
    int *target;
};

std::optional<int> wholeNumber(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("krt550-install"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    krt::install::Options options;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Creates a KRT550 installation for demos, tests and benchmarks: the settings file\n"
        "DIR/config/VELD/TMCS.ini (for XDG_CONFIG_HOME=DIR/config), the data folders\n"
        "DIR/drives/c/TMCS/DAT/DAT1.. (for TMCS_DRIVE_ROOT=DIR/drives) and one SQLite catalog per\n"
        "folder, DIR/db/TMCS00.db.., filled with categories, goods, stock and stock movements."));
    parser.addHelpOption();
    const auto valueOption = [&](const QString &name, const QString &description, const QString &valueName,
                                 const QString &defaultValue) {
        parser.addOption(QCommandLineOption(
            name, description + QStringLiteral(" (default ") + defaultValue + QStringLiteral(")"), valueName,
            defaultValue));
    };
    parser.addOption(QCommandLineOption(QStringLiteral("root"), QStringLiteral("installation folder"),
                                        QStringLiteral("DIR")));
    valueOption(QStringLiteral("databases"), QStringLiteral("databases, 1 to 5"), QStringLiteral("N"),
                QString::number(options.databases));
    valueOption(QStringLiteral("categories"),
                QStringLiteral("work-list categories (majors and subs) per database"), QStringLiteral("N"),
                QString::number(options.categories));
    valueOption(QStringLiteral("goods"), QStringLiteral("goods per database"), QStringLiteral("N"),
                QString::number(options.goods));
    valueOption(QStringLiteral("stock"), QStringLiteral("stock rows per database"), QStringLiteral("N"),
                QString::number(options.stock));
    valueOption(QStringLiteral("movements"), QStringLiteral("stock movements per database"),
                QStringLiteral("N"), QString::number(options.movements));
    valueOption(QStringLiteral("months"), QStringLiteral("months of movements, ending with the system month"),
                QStringLiteral("N"), QString::number(options.months));
    valueOption(QStringLiteral("seed"), QStringLiteral("seed of the generated data"), QStringLiteral("N"),
                QString::number(options.seed));
    valueOption(QStringLiteral("stock-mode"), QStringLiteral("system parameter 1200: 1 direct, 0 deferred"),
                QStringLiteral("0|1"), QString::number(options.stockMode));
    valueOption(QStringLiteral("tax"), QStringLiteral("system parameter 3080, the tax rate in force"),
                QStringLiteral("RATE"), options.tax);
    valueOption(QStringLiteral("invent"), QStringLiteral("installed inventory version"),
                QStringLiteral("TEXT"), options.invent);
    valueOption(QStringLiteral("unmatched"),
                QStringLiteral("goods of unknown categories, failing the category check"),
                QStringLiteral("N"), QString::number(options.unmatched));
    valueOption(QStringLiteral("sys-ym"), QStringLiteral("system month yyyymm"), QStringLiteral("YYYYMM"),
                QStringLiteral("the current month"));
    valueOption(QStringLiteral("stock-take"), QStringLiteral("latest price-tag stock-take date"),
                QStringLiteral("YYYY-MM-DD"), QStringLiteral("today"));
    valueOption(QStringLiteral("goods-key"), QStringLiteral("name of the goods code column"),
                QStringLiteral("NAME"), options.schema.goodsKey);
    valueOption(QStringLiteral("sysparm"),
                QStringLiteral("table, number column and content column of the system parameters"),
                QStringLiteral("TABLE,NUMBER,CONTENT"),
                QStringList{options.schema.sysParmTable, options.schema.sysParmNoColumn,
                            options.schema.sysParmValueColumn}
                    .join(QLatin1Char(',')));
    parser.addOption(QCommandLineOption(QStringLiteral("extra-columns"),
                                        QStringLiteral("add columns of the family's own (a cost price, a "
                                                       "note) to the work list and the price tables")));
    parser.addOption(
        QCommandLineOption(QStringLiteral("force"), QStringLiteral("replace an existing installation")));
    parser.addOption(QCommandLineOption(QStringLiteral("keep"),
                                        QStringLiteral("leave an existing installation as it is; exit 0")));
    parser.process(app);

    const auto usage = [&](const QString &message) {
        err << "krt550-install: " << message << "\n" << parser.helpText();
        return 2;
    };
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("unexpected argument ") + parser.positionalArguments().constFirst());
    if (!parser.isSet(QStringLiteral("root")))
        return usage(QStringLiteral("--root DIR is required"));
    if (parser.isSet(QStringLiteral("force")) && parser.isSet(QStringLiteral("keep")))
        return usage(QStringLiteral("--force and --keep exclude each other"));
    options.root = parser.value(QStringLiteral("root"));

    int seed = static_cast<int>(options.seed);
    const NumberOption numbers[] = {
        {QStringLiteral("databases"), &options.databases},
        {QStringLiteral("categories"), &options.categories},
        {QStringLiteral("goods"), &options.goods},
        {QStringLiteral("stock"), &options.stock},
        {QStringLiteral("movements"), &options.movements},
        {QStringLiteral("months"), &options.months},
        {QStringLiteral("seed"), &seed},
        {QStringLiteral("stock-mode"), &options.stockMode},
        {QStringLiteral("unmatched"), &options.unmatched},
    };
    for (const NumberOption &option : numbers) {
        const std::optional<int> value = wholeNumber(parser.value(option.name));
        if (!value)
            return usage(QStringLiteral("--") + option.name + QStringLiteral(": not a whole number"));
        *option.target = *value;
    }
    if (seed < 0)
        return usage(QStringLiteral("--seed: not a whole number of 0 or more"));
    options.seed = static_cast<quint32>(seed);
    if (parser.isSet(QStringLiteral("sys-ym"))) {
        const std::optional<int> value = wholeNumber(parser.value(QStringLiteral("sys-ym")));
        if (!value)
            return usage(QStringLiteral("--sys-ym: yyyymm"));
        options.sysYm = *value;
    }
    if (parser.isSet(QStringLiteral("stock-take"))) {
        options.stockTake =
            QDate::fromString(parser.value(QStringLiteral("stock-take")), QStringLiteral("yyyy-MM-dd"));
        if (!options.stockTake.isValid())
            return usage(QStringLiteral("--stock-take: YYYY-MM-DD"));
    }
    options.tax = parser.value(QStringLiteral("tax"));
    options.invent = parser.value(QStringLiteral("invent"));
    options.schema.goodsKey = parser.value(QStringLiteral("goods-key"));
    const QStringList sysParm = parser.value(QStringLiteral("sysparm")).split(QLatin1Char(','));
    if (sysParm.size() != 3)
        return usage(QStringLiteral("--sysparm: TABLE,NUMBER,CONTENT"));
    options.schema.sysParmTable = sysParm[0];
    options.schema.sysParmNoColumn = sysParm[1];
    options.schema.sysParmValueColumn = sysParm[2];
    options.schema.extraColumns = parser.isSet(QStringLiteral("extra-columns"));
    const QString invalid = krt::install::validate(options);
    if (!invalid.isEmpty())
        return usage(invalid);

    const krt::install::Existing existing =
        parser.isSet(QStringLiteral("force"))  ? krt::install::Existing::Replace
        : parser.isSet(QStringLiteral("keep")) ? krt::install::Existing::Keep
                                               : krt::install::Existing::Refuse;
    const krt::install::Result result = krt::install::createInstallation(options, existing);
    if (!result.error.isEmpty()) {
        err << "krt550-install: " << result.error << "\n";
        if (result.existed)
            err << "(--force replaces it"
                << (existing == krt::install::Existing::Refuse ? ", --keep leaves it" : "") << ")\n";
        return 1;
    }
    const QString root = QDir(options.root).absolutePath();
    if (result.kept) {
        out << "krt550-install: the installation in " << root << " exists and is kept as it is\n";
        return 0;
    }
    for (const krt::install::CatalogFigures &catalog : result.catalogs)
        out << QDir::toNativeSeparators(catalog.file) << ": " << catalog.workList << " work-list categories, "
            << catalog.goods << " goods, " << catalog.stock << " stock rows, " << catalog.movements
            << " movements in " << QString::number(catalog.seconds, 'f', 1) << " s\n";
    out << "Start the program on it with\n"
        << "  XDG_CONFIG_HOME=" << krt::install::configFolder(root)
        << " TMCS_DRIVE_ROOT=" << krt::install::drivesFolder(root) << " krt550\n";
    return 0;
}
