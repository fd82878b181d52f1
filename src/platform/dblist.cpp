#include "platform/dblist.h"

#include "conntext/entries.h"
#include "platform/settingsstore.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <cmath>

namespace krt {

namespace {

// A folder counts only when it exists and its contents can be reached.
bool folderUsable(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable())
        return false;
#ifdef Q_OS_WIN
    return true;
#else
    return info.isExecutable();
#endif
}

const QString CatalogKey = QStringLiteral("Catalog=");
const QString DataSourceKey = QStringLiteral("Data Source=");

// A whole text as a number, as the version reader takes it: no blanks, no other characters.
std::optional<double> number(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

QString dataDriveFolder(const QString &letter)
{
#ifdef Q_OS_WIN
    return letter.toUpper() + QStringLiteral(":\\TMCS\\DAT");
#else
    QString root = qEnvironmentVariable("TMCS_DRIVE_ROOT");
    if (root.isEmpty())
        root = QStringLiteral("/mnt");
    return QDir(root).filePath(letter.toLower() + QStringLiteral("/TMCS/DAT"));
#endif
}

QString prfn_FindDataDrive()
{
    for (char c = 'C'; c <= 'Z'; ++c) {
        const QString letter(QLatin1Char{c});
        if (folderUsable(dataDriveFolder(letter)))
            return letter;
    }
    return {};
}

QString databaseFolder(const QString &letter, int number)
{
#ifdef Q_OS_WIN
    return dataDriveFolder(letter) + QStringLiteral("\\DAT") + QString::number(number);
#else
    return dataDriveFolder(letter) + QStringLiteral("/DAT") + QString::number(number);
#endif
}

DbList buildDbList(const QString &letter, const QString &currentCatalog)
{
    DbList list;
    if (letter.isEmpty())
        return list;
    int remembered = 0;
    for (int n = 1; n <= MaxDatabases; ++n) {
        if (!folderUsable(databaseFolder(letter, n)))
            continue;
        list.entries.append(QStringLiteral("DAT") + QString::number(n));
        if (catalogName(n - 1) == currentCatalog)
            remembered = n - 1;
    }
    if (list.entries.isEmpty())
        return list;
    // With gaps in the folder numbers the remembered position may lie beyond the last entry; no
    // entry then stands for the stored catalog, and the list starts on its first entry as when
    // nothing matched.
    list.selected = remembered < list.entries.size() ? remembered : 0;
    return list;
}

QString currentCatalog(const QString &connectionText)
{
    return entryValue(connectionEntries(connectionText), QStringLiteral("Initial Catalog"));
}

SpliceResult splitConnectionText(const QString &connectionText)
{
    const qsizetype catalogAt = connectionText.indexOf(CatalogKey);
    if (catalogAt < 0)
        return {std::nullopt, QStringLiteral("接続文字列に \"Catalog=\" がありません。")};
    const qsizetype sourceAt = connectionText.indexOf(DataSourceKey);
    if (sourceAt < 0)
        return {std::nullopt, QStringLiteral("接続文字列に \"Data Source=\" がありません。")};
    if (sourceAt < catalogAt)
        return {std::nullopt,
                QStringLiteral("接続文字列の \"Data Source=\" が \"Catalog=\" より前にあります。")};
    return {ConnParts{connectionText.left(catalogAt), connectionText.mid(sourceAt)}, {}};
}

QString catalogName(int position)
{
    return QStringLiteral("TMCS%1").arg(position, 2, 10, QLatin1Char('0'));
}

QString catalogConnectionText(const ConnParts &parts, int position)
{
    return parts.head + QStringLiteral("Catalog=") + catalogName(position) + QLatin1Char(';') + parts.tail;
}

std::optional<bool> inventNewVersion(const QString &invent)
{
    const QStringList words = invent.split(QLatin1Char(' '));
    const std::optional<double> major = number(words.at(0).mid(3));
    if (!major)
        return std::nullopt;
    if (*major < 1)
        return false;
    if (*major > 1)
        return true;
    if (words.size() < 2)
        return std::nullopt;
    const std::optional<double> revision = number(words.at(1).mid(1));
    if (!revision)
        return std::nullopt;
    return *revision > 11;
}

QString storedConnectionText()
{
    const bool areaC = settings::GetSetting(settings::Common, QStringLiteral("area")) == QStringLiteral("1");
    return settings::GetSetting(settings::Common,
                                areaC ? QStringLiteral("DBPARMC") : QStringLiteral("DBPARMS"));
}

} // namespace krt
