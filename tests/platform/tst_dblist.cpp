// The database list: the data drive, the entries and the position to select, the connection
// text of a position, the installed inventory version and the connection text in force.

#include "db/connection.h"
#include "platform/dblist.h"
#include "platform/settingsstore.h"
#include "support/scopedenv.h"
#include "support/testcatalog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using krt::testing::ScopedEnv;

namespace {

// Creates "<root>/<letter>/TMCS/DAT" with the given DAT folders.
void makeDrive(const QString &root, const QString &letter, const QList<int> &folders)
{
    const QString dat = root + QLatin1Char('/') + letter + QStringLiteral("/TMCS/DAT");
    QVERIFY(QDir().mkpath(dat));
    for (int n : folders)
        QVERIFY(QDir().mkpath(dat + QStringLiteral("/DAT") + QString::number(n)));
}

} // namespace

class TestDbList : public QObject
{
    Q_OBJECT

private slots:
    void driveFolders();
    void findDataDrive();
    void list_data();
    void list();
    void listWithoutDrive();
    void catalogOfText_data();
    void catalogOfText();
    void splice_data();
    void splice();
    void spliceOpensTheSelectedCatalog();
    void inventVersion_data();
    void inventVersion();
    void connectionTextInForce_data();
    void connectionTextInForce();
};

void TestDbList::driveFolders()
{
    {
        const ScopedEnv root("TMCS_DRIVE_ROOT", QStringLiteral("/srv/drives"));
        QCOMPARE(krt::dataDriveFolder(QStringLiteral("D")), QStringLiteral("/srv/drives/d/TMCS/DAT"));
        QCOMPARE(krt::databaseFolder(QStringLiteral("D"), 3), QStringLiteral("/srv/drives/d/TMCS/DAT/DAT3"));
    }
    // Without the variable the letters are WSL's drives.
    const ScopedEnv root("TMCS_DRIVE_ROOT", QString());
    QCOMPARE(krt::dataDriveFolder(QStringLiteral("C")), QStringLiteral("/mnt/c/TMCS/DAT"));
}

void TestDbList::findDataDrive()
{
    QTemporaryDir drives;
    QVERIFY(drives.isValid());
    const ScopedEnv root("TMCS_DRIVE_ROOT", drives.path());
    QCOMPARE(krt::prfn_FindDataDrive(), QString());

    // A drive whose TMCS\DAT is a file, or a link to nowhere, has no data folder.
    QVERIFY(QDir().mkpath(drives.filePath(QStringLiteral("d/TMCS"))));
    QFile file(drives.filePath(QStringLiteral("d/TMCS/DAT")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(QDir().mkpath(drives.filePath(QStringLiteral("e/TMCS"))));
    QVERIFY(QFile::link(drives.filePath(QStringLiteral("nowhere")),
                        drives.filePath(QStringLiteral("e/TMCS/DAT"))));
    // An upper-case folder is not the drive's folder.
    QVERIFY(QDir().mkpath(drives.filePath(QStringLiteral("F/TMCS/DAT"))));
    QCOMPARE(krt::prfn_FindDataDrive(), QString());

    makeDrive(drives.path(), QStringLiteral("z"), {});
    QCOMPARE(krt::prfn_FindDataDrive(), QStringLiteral("Z"));
    makeDrive(drives.path(), QStringLiteral("g"), {1});
    QCOMPARE(krt::prfn_FindDataDrive(), QStringLiteral("G"));
    makeDrive(drives.path(), QStringLiteral("c"), {});
    QCOMPARE(krt::prfn_FindDataDrive(), QStringLiteral("C"));
}

void TestDbList::list_data()
{
    QTest::addColumn<QList<int>>("folders");
    QTest::addColumn<QString>("catalog");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("selected");

    const QStringList three = {QStringLiteral("DAT1"), QStringLiteral("DAT2"), QStringLiteral("DAT3")};
    QTest::newRow("catalog of the second folder")
        << QList<int>{1, 2, 3} << QStringLiteral("TMCS01") << three << 1;
    QTest::newRow("catalog of the last folder")
        << QList<int>{1, 2, 3} << QStringLiteral("TMCS02") << three << 2;
    QTest::newRow("no folder matches") << QList<int>{1, 2, 3} << QStringLiteral("TMCS04") << three << 0;
    QTest::newRow("other name") << QList<int>{1, 2, 3} << QStringLiteral("SALES") << three << 0;
    QTest::newRow("case counts") << QList<int>{1, 2, 3} << QStringLiteral("tmcs01") << three << 0;
    QTest::newRow("two digits count") << QList<int>{1, 2, 3} << QStringLiteral("TMCS1") << three << 0;
    // A stored text without "Initial Catalog" names no catalog: the list starts on its first
    // entry, like a catalog that no folder matches.
    QTest::newRow("no catalog") << QList<int>{1, 2, 3} << QString() << three << 0;
    QTest::newRow("all five") << QList<int>{1, 2, 3, 4, 5} << QStringLiteral("TMCS04")
                              << QStringList{QStringLiteral("DAT1"), QStringLiteral("DAT2"),
                                             QStringLiteral("DAT3"), QStringLiteral("DAT4"),
                                             QStringLiteral("DAT5")}
                              << 4;
    QTest::newRow("a sixth folder is no database")
        << QList<int>{1, 6} << QStringLiteral("TMCS05") << QStringList{QStringLiteral("DAT1")} << 0;
    // With gaps, list positions and folder numbers part: position p is still the catalog
    // TMCSpp. A folder number within the list selects that position ...
    QTest::newRow("gap, position within the list")
        << QList<int>{2, 3, 4} << QStringLiteral("TMCS01")
        << QStringList{QStringLiteral("DAT2"), QStringLiteral("DAT3"), QStringLiteral("DAT4")} << 1;
    // ... and one beyond the end selects the first entry: no position of this list opens the
    // stored catalog, and the first entry is what the list shows when nothing matches.
    QTest::newRow("gap, position beyond the end")
        << QList<int>{2, 3} << QStringLiteral("TMCS02")
        << QStringList{QStringLiteral("DAT2"), QStringLiteral("DAT3")} << 0;
    QTest::newRow("gaps, last folder")
        << QList<int>{1, 3, 5} << QStringLiteral("TMCS04")
        << QStringList{QStringLiteral("DAT1"), QStringLiteral("DAT3"), QStringLiteral("DAT5")} << 0;
    QTest::newRow("drive without databases")
        << QList<int>{} << QStringLiteral("TMCS00") << QStringList{} << -1;
}

void TestDbList::list()
{
    QFETCH(QList<int>, folders);
    QFETCH(QString, catalog);
    QFETCH(QStringList, entries);
    QFETCH(int, selected);
    QTemporaryDir drives;
    QVERIFY(drives.isValid());
    const ScopedEnv root("TMCS_DRIVE_ROOT", drives.path());
    makeDrive(drives.path(), QStringLiteral("d"), folders);
    // A DAT folder that is a file is no database.
    QFile file(
        drives.filePath(QStringLiteral("d/TMCS/DAT/DAT%1").arg(folders.isEmpty() ? 1 : folders.size() + 1)));
    if (!QFileInfo::exists(file.fileName())) {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
    }

    const krt::DbList list = krt::buildDbList(krt::prfn_FindDataDrive(), catalog);
    QCOMPARE(list.entries, entries);
    QCOMPARE(list.selected, selected);
}

void TestDbList::listWithoutDrive()
{
    const krt::DbList list = krt::buildDbList(QString(), QStringLiteral("TMCS00"));
    QVERIFY(list.entries.isEmpty());
    QCOMPARE(list.selected, -1);
}

void TestDbList::catalogOfText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("catalog");

    QTest::newRow("plain") << QStringLiteral("Provider=SQLOLEDB;Initial Catalog=TMCS01;Data Source=S;")
                           << QStringLiteral("TMCS01");
    QTest::newRow("key case and blanks")
        << QStringLiteral("Provider=P; initial catalog = TMCS03 ;Data Source=S") << QStringLiteral("TMCS03");
    QTest::newRow("last entry, no semicolon")
        << QStringLiteral("Data Source=S;Initial Catalog=TMCS02") << QStringLiteral("TMCS02");
    QTest::newRow("none") << QStringLiteral("Provider=P;Data Source=S;") << QString();
    QTest::newRow("empty text") << QString() << QString();
    QTest::newRow("only the tail of the key")
        << QStringLiteral("Provider=P;Catalog=TMCS01;Data Source=S;") << QString();
    // Quoted values as the connection reads them: the catalog it opens is the one to select.
    QTest::newRow("quoted catalog") << QStringLiteral("Provider=P;Initial Catalog=\"TMCS02\";Data Source=S;")
                                    << QStringLiteral("TMCS02");
    QTest::newRow("braced catalog") << QStringLiteral("Provider=P;Initial Catalog = {TMCS03} ;Data Source=S;")
                                    << QStringLiteral("TMCS03");
    QTest::newRow("catalog entry inside a quoted password")
        << QStringLiteral(
               "Provider=P;Password='a;Initial Catalog=TMCS04';Initial Catalog=TMCS01;Data Source=S;")
        << QStringLiteral("TMCS01");
}

void TestDbList::catalogOfText()
{
    QFETCH(QString, text);
    QFETCH(QString, catalog);
    QCOMPARE(krt::currentCatalog(text), catalog);
}

void TestDbList::splice_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("spliced"); // empty: the text cannot be spliced

    QTest::newRow("second entry") << QStringLiteral("Provider=P;Initial Catalog=TMCS00;Data Source=S;") << 1
                                  << QStringLiteral("Provider=P;Initial Catalog=TMCS01;Data Source=S;");
    QTest::newRow("first entry") << QStringLiteral("Provider=P;Initial Catalog=TMCS03;Data Source=S;") << 0
                                 << QStringLiteral("Provider=P;Initial Catalog=TMCS00;Data Source=S;");
    QTest::newRow("fifth entry, entries after the source kept")
        << QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;Initial Catalog=TMCS00;"
                          "Data Source=srv,1433;User ID=sa;Password=x;")
        << 4
        << QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;Initial Catalog=TMCS04;"
                          "Data Source=srv,1433;User ID=sa;Password=x;");
    QTest::newRow("catalog without its key's head")
        << QStringLiteral("Provider=P;Catalog=X;Data Source=S") << 2
        << QStringLiteral("Provider=P;Catalog=TMCS02;Data Source=S");
    QTest::newRow("no catalog") << QStringLiteral("Provider=P;Data Source=S;") << 0 << QString();
    QTest::newRow("no data source") << QStringLiteral("Provider=P;Initial Catalog=TMCS00;Server=S;") << 0
                                    << QString();
    QTest::newRow("key case differs")
        << QStringLiteral("Provider=P;Initial catalog=TMCS00;Data Source=S;") << 0 << QString();
    // Joined, this text would name the catalog twice, the old one last.
    QTest::newRow("data source before the catalog")
        << QStringLiteral("Provider=P;Data Source=S;Initial Catalog=TMCS00;") << 1 << QString();
    QTest::newRow("empty text") << QString() << 0 << QString();
}

void TestDbList::splice()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(QString, spliced);
    const krt::SpliceResult result = krt::splitConnectionText(text);
    if (spliced.isEmpty()) {
        QVERIFY(!result.parts);
        QVERIFY(!result.error.isEmpty());
        return;
    }
    QVERIFY2(result.parts, qPrintable(result.error));
    QCOMPARE(krt::catalogConnectionText(*result.parts, position), spliced);
}

// Folders DAT1 to DAT3 and the stored catalog TMCS01: the second entry is selected and its
// connection opens the catalog TMCS01.
void TestDbList::spliceOpensTheSelectedCatalog()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const ScopedEnv root("TMCS_DRIVE_ROOT", dir.filePath(QStringLiteral("drives")));
    makeDrive(dir.filePath(QStringLiteral("drives")), QStringLiteral("e"), {1, 2, 3});
    for (int p = 0; p < 3; ++p) {
        const QString file = dir.filePath(krt::catalogName(p) + QStringLiteral(".db"));
        QCOMPARE(krt::install::createCatalog(file), QString());
        QCOMPARE(krt::install::runScript(
                     file, QStringLiteral("INSERT INTO GDATECTL VALUES (1, %1);").arg(202600 + p)),
                 QString());
    }
    const QString stored =
        QStringLiteral("Provider=SQLite;Initial Catalog=TMCS01;Data Source=%1;").arg(dir.path());
    const krt::DbList list = krt::buildDbList(krt::prfn_FindDataDrive(), krt::currentCatalog(stored));
    QCOMPARE(list.entries,
             QStringList({QStringLiteral("DAT1"), QStringLiteral("DAT2"), QStringLiteral("DAT3")}));
    QCOMPARE(list.selected, 1);

    const krt::SpliceResult parts = krt::splitConnectionText(stored);
    QVERIFY(parts.parts);
    krt::Connection connection;
    QVERIFY(connection.open(krt::catalogConnectionText(*parts.parts, list.selected)));
    std::optional<krt::Recordset> month =
        connection.openRecordset(QStringLiteral("SELECT SYS_YM1 FROM GDATECTL"));
    QVERIFY(month);
    QCOMPARE(month->field(QStringLiteral("SYS_YM1")).toInt(), 202601);
}

void TestDbList::inventVersion_data()
{
    QTest::addColumn<QString>("invent");
    QTest::addColumn<int>("result"); // 1 true, 0 false, -1 malformed

    QTest::newRow("1.00 R11") << QStringLiteral("Ver1.00 R11") << 0;
    QTest::newRow("1.00 R12") << QStringLiteral("Ver1.00 R12") << 1;
    QTest::newRow("2.00 R01") << QStringLiteral("Ver2.00 R01") << 1;
    QTest::newRow("0.90 R99") << QStringLiteral("Ver0.90 R99") << 0;
    QTest::newRow("1 R100") << QStringLiteral("Ver1 R100") << 1;
    QTest::newRow("1.5 without revision") << QStringLiteral("Ver1.50") << 1;
    QTest::newRow("0.9 without revision") << QStringLiteral("Ver0.90") << 0;
    QTest::newRow("third word ignored") << QStringLiteral("Ver1.00 R12 beta") << 1;
    QTest::newRow("empty") << QString() << -1;
    QTest::newRow("1.00 without revision") << QStringLiteral("Ver1.00") << -1;
    QTest::newRow("two blanks") << QStringLiteral("Ver1.00  R12") << -1;
    QTest::newRow("version not a number") << QStringLiteral("VerX.00 R12") << -1;
    QTest::newRow("revision not a number") << QStringLiteral("Ver1.00 Rev12") << -1;
    QTest::newRow("empty revision") << QStringLiteral("Ver1.00 R") << -1;
    QTest::newRow("too short") << QStringLiteral("V1") << -1;
    QTest::newRow("not finite") << QStringLiteral("Verinf R12") << -1;
}

void TestDbList::inventVersion()
{
    QFETCH(QString, invent);
    QFETCH(int, result);
    const std::optional<bool> version = krt::inventNewVersion(invent);
    if (result < 0) {
        QVERIFY(!version);
        return;
    }
    QVERIFY(version);
    QCOMPARE(*version, result == 1);
}

void TestDbList::connectionTextInForce_data()
{
    QTest::addColumn<QString>("area"); // "<none>": not stored
    QTest::addColumn<QString>("expected");

    QTest::newRow("area absent") << QStringLiteral("<none>") << QStringLiteral("S-text");
    QTest::newRow("area empty") << QString() << QStringLiteral("S-text");
    QTest::newRow("area 1") << QStringLiteral("1") << QStringLiteral("C-text");
    QTest::newRow("area 2") << QStringLiteral("2") << QStringLiteral("S-text");
    QTest::newRow("area 01") << QStringLiteral("01") << QStringLiteral("S-text");
}

void TestDbList::connectionTextInForce()
{
    QFETCH(QString, area);
    QFETCH(QString, expected);
    QTemporaryDir config;
    QVERIFY(config.isValid());
    const ScopedEnv home("XDG_CONFIG_HOME", config.path());
    QCOMPARE(krt::storedConnectionText(), QString());
    krt::settings::SaveSetting(krt::settings::Common, QStringLiteral("DBPARMS"), QStringLiteral("S-text"));
    krt::settings::SaveSetting(krt::settings::Common, QStringLiteral("DBPARMC"), QStringLiteral("C-text"));
    if (area != QStringLiteral("<none>"))
        krt::settings::SaveSetting(krt::settings::Common, QStringLiteral("area"), area);
    QCOMPARE(krt::storedConnectionText(), expected);
}

QTEST_GUILESS_MAIN(TestDbList)
#include "tst_dblist.moc"
