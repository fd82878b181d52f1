#pragma once

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace krt::install {

// A connection of its own to one catalog file, outside the program's connection; closed and
// removed again when it goes out of scope.
class CatalogConnection
{
public:
    explicit CatalogConnection(const QString &file);
    ~CatalogConnection();
    CatalogConnection(const CatalogConnection &) = delete;
    CatalogConnection &operator=(const CatalogConnection &) = delete;

    QSqlDatabase db() const;
    // Empty when the file was opened, otherwise the driver's text.
    const QString &error() const { return m_error; }

private:
    QString m_name;
    QString m_error;
};

// How a family database's tables may differ from the demo's without the program caring: the
// goods code column and the system-parameter table have names of the family's own, the tables
// carry columns of their own (among them a cost price that no conversion may touch), and the
// price columns have the shop's type.
struct Schema
{
    QString goodsKey = QStringLiteral("JAN_CD");
    QString sysParmTable = QStringLiteral("MSYSPARM");
    QString sysParmNoColumn = QStringLiteral("PARM_NO");
    QString sysParmValueColumn = QStringLiteral("NAIYO");
    bool extraColumns = false; // GENKA_PRC (REAL, 100) and BIKOU (TEXT) in MITEMCNT and the price tables
    QString priceType = QStringLiteral("REAL");
};

// Creates a new, empty catalog file with every table of the family that the program uses.
// Returns an empty text on success, otherwise what failed.
QString createCatalog(const QString &file, const Schema &schema = {});

// Runs SQL statements (separated by ";" at line ends) on an existing catalog file.
QString runScript(const QString &file, const QString &script);

// The statements that create every table of the family that the program uses, with the names,
// own columns and price column type (of the columns ending in _PRC) of the schema; the embedded
// engine's catalogs take REAL.
QStringList schemaStatements(const Schema &schema = {});

// What an installation holds. Every catalog gets the same sizes; its data differ by the seed.
struct Options
{
    QString root;                                   // the installation folder
    int databases = 2;                              // data folders DAT1..DATn and catalogs TMCS00..
    int categories = 40;                            // work-list rows the masters yield (majors + subs)
    int goods = 3000;                               // goods of known categories
    int stock = 3000;                               // IZAIKO rows
    int movements = 9000;                           // IIODATA rows
    int months = 3;                                 // months of movements, ending with the system month
    quint32 seed = 550;                             // data of catalog p come from seed + p
    int stockMode = 1;                              // system parameter 1200
    QString tax = QStringLiteral("0.08");           // system parameter 3080: the rate in force
    QString invent = QStringLiteral("Ver1.00 R12"); // [Version] Invent
    int unmatched = 0;                              // goods of a major category the masters lack
    int sysYm = 0;                                  // GDATECTL.SYS_YM1 as yyyymm; 0: the current month
    QDate stockTake;                                // latest INEFUDA_CNT date; null: today
    Schema schema;                                  // names and extra columns of the tables
};

// What an existing installation folder does to a new creation.
enum class Existing {
    Refuse,  // fail and leave everything as it is
    Keep,    // leave a complete installation as it is and report it kept
    Replace, // remove the installation's own files and folders first
};

// Rows written into one catalog and how long that took.
struct CatalogFigures
{
    QString file;
    qint64 workList = 0; // rows the fill of MITEMCNT will create
    qint64 goods = 0;    // MGOODS rows, unmatched ones included
    qint64 stock = 0;
    qint64 movements = 0;
    double seconds = 0;
};

struct Result
{
    QString error;        // empty on success
    bool existed = false; // an installation, complete or not, was found and left as it is
    bool kept = false;    // ... and it was complete
    QList<CatalogFigures> catalogs;
};

// Paths of an installation under its root folder.
QString configFolder(const QString &root);   // XDG_CONFIG_HOME of the installation
QString settingsFile(const QString &root);   // <config>/VELD/TMCS.ini
QString drivesFolder(const QString &root);   // TMCS_DRIVE_ROOT of the installation
QString catalogFolder(const QString &root);  // the Data Source of the connection text
QString connectionText(const QString &root); // DBPARMS of the installation

// Checks the options; an empty text when they describe an installation that can be built.
QString validate(const Options &options);

// Builds an installation: the catalogs with data, the data folders on drive C under
// drivesFolder(), and last the settings file, which marks the installation complete.
Result createInstallation(const Options &options, Existing existing = Existing::Refuse);

// Creates a catalog file with every table and the data of an installation's catalog made from
// the given seed; MITEMCNT stays empty, as the program fills it. The result holds one catalog.
Result createPopulatedCatalog(const QString &file, const Options &options, quint32 seed);

// Creates every table of the family in the database of an open connection to a database server,
// with the price columns of the given type (for example "numeric(12,2)" or "integer"), in one
// transaction. Returns an empty text on success, otherwise what failed.
QString createServerTables(const QSqlDatabase &db, const QString &priceType);

// Writes the data of an installation's catalog made from the given seed into the (empty) tables
// of an open connection to a database server, in one transaction; MITEMCNT stays empty.
QString fillServerTables(const QSqlDatabase &db, const Options &options, quint32 seed,
                         CatalogFigures &figures);

} // namespace krt::install
