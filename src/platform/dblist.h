#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace krt {

// The highest database number of an installation; data folders DAT1 to DAT5.
inline constexpr int MaxDatabases = 5;

// The folder ":\TMCS\DAT" of a drive letter. On Windows it is "<L>:\TMCS\DAT"; elsewhere the
// letter stands for the folder "<root>/<l>" (lower case), with the root taken from the
// environment variable TMCS_DRIVE_ROOT (default /mnt), so that under WSL the real C:\TMCS\DAT is
// /mnt/c/TMCS/DAT.
QString dataDriveFolder(const QString &letter);

// The first letter from "C" to "Z" whose data folder exists and can be read, or an empty text.
// A letter whose folder cannot be read (a drive that is not ready) counts as missing.
QString prfn_FindDataDrive();

// The data folder of database number n (1 to 5) on a data drive: ...\TMCS\DAT\DAT<n>.
QString databaseFolder(const QString &letter, int number);

// The entries of the database list and the position to select.
struct DbList
{
    QStringList entries; // "DAT1" .. "DAT5", one per existing data folder, in ascending order
    int selected = -1;   // position to select; -1 when the list is empty
};

// Builds the list for a data drive (empty: no entries) and the catalog named by the stored
// connection text. The catalog "TMCS" followed by n - 1 as two digits (exact, case-sensitive)
// selects position n - 1 when folder n exists. Nothing matching, no catalog at all, or a
// position beyond the end of the list (folders with gaps) selects the first entry.
DbList buildDbList(const QString &letter, const QString &currentCatalog);

// The value of the "Initial Catalog" entry of a connection text, read as the connection reads it
// (quotes or braces around the value taken off), or an empty text when the text has none.
QString currentCatalog(const QString &connectionText);

// The stored connection text around its catalog: the text before the first "Catalog=" and the
// text from the first "Data Source=" to the end.
struct ConnParts
{
    QString head;
    QString tail;
};

struct SpliceResult
{
    std::optional<ConnParts> parts;
    QString error; // why the text cannot be split, when parts is empty
};

// Splits a stored connection text. A text without "Catalog=" or without "Data Source=" cannot
// be split; neither can one whose "Data Source=" comes before "Catalog=", since the joined text
// would then name the old catalog a second time.
SpliceResult splitConnectionText(const QString &connectionText);

// The catalog name of a list position: "TMCS" followed by the position as two digits.
QString catalogName(int position);

// The connection text of a list position: head, "Catalog=TMCS" with the position as two digits
// and ";", then tail.
QString catalogConnectionText(const ConnParts &parts, int position);

// Reads the version text of the installed inventory product ("Ver1.00 R12"): true when it is
// 1 with a revision above 11, or above 1. Empty when the text is malformed (no second word where
// one is needed, a part that is not a number, an empty text).
std::optional<bool> inventNewVersion(const QString &invent);

// The stored connection text in force: DBPARMC when the setting "area" is "1", otherwise
// DBPARMS.
QString storedConnectionText();

} // namespace krt
