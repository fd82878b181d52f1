#include "platform/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <memory>
#include <optional>

namespace krt::settings {

namespace {

#ifdef Q_OS_WIN
std::unique_ptr<QSettings> openSection(const QString &section)
{
    return std::make_unique<QSettings>(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\VELD\\") + section,
        QSettings::NativeFormat);
}
QString groupOf(const QString &)
{
    return {};
}
#else
QString iniPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/VELD/TMCS.ini");
}
std::unique_ptr<QSettings> openSection(const QString &)
{
    return std::make_unique<QSettings>(iniPath(), QSettings::IniFormat);
}
// "TMCS\Common" is the group "Common" of TMCS.ini.
QString groupOf(const QString &section)
{
    return section.section(QLatin1Char('\\'), 1);
}

// The value of a key as it stands in the file, when it is not quoted. Qt reads an unquoted ";" as
// the start of a comment and "," as a list separator, which would cut a connection text such as
// Provider=...;Initial Catalog=TMCS00;Data Source=srv,1433 after its provider; the family's own
// tools and people editing the file by hand write such texts unquoted. Quoted values (Qt writes
// every value with ";", "," or "=" quoted) are left to Qt, which undoes its own escapes.
std::optional<QString> unquotedValue(const QString &group, const QString &key)
{
    QFile file(iniPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    const QString wanted = QLatin1Char('[') + group + QLatin1Char(']');
    std::optional<QString> found;
    bool inGroup = false;
    for (const QString &raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line.compare(wanted, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inGroup || equals <= 0 || line.left(equals).trimmed() != key)
            continue;
        const QString value = line.mid(equals + 1).trimmed();
        found = value.startsWith(QLatin1Char('"')) ? std::nullopt : std::optional<QString>(value);
    }
    return found;
}
#endif

} // namespace

QString GetSetting(const QString &section, const QString &key, const QString &defaultValue)
{
    const auto store = openSection(section);
    const QString group = groupOf(section);
    if (!group.isEmpty())
        store->beginGroup(group);
    const QVariant value = store->value(key);
    if (!value.isValid())
        return defaultValue;
#ifndef Q_OS_WIN
    if (const std::optional<QString> whole = unquotedValue(group, key))
        return *whole;
#endif
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

void SaveSetting(const QString &section, const QString &key, const QString &value)
{
    const auto store = openSection(section);
    const QString group = groupOf(section);
    if (!group.isEmpty())
        store->beginGroup(group);
    store->setValue(key, value);
}

QDate fixedBusinessDate()
{
    return QDate::fromString(GetSetting(Common, QStringLiteral("BusinessDate")),
                             QStringLiteral("yyyy/MM/dd"));
}

QString runLogPath()
{
#ifdef Q_OS_WIN
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/VELD/KRT550.log");
#else
    return QFileInfo(iniPath()).absolutePath() + QStringLiteral("/KRT550.log");
#endif
}

std::optional<QString> appendLine(const QString &path, const QString &text)
{
    // A folder that cannot be made fails the open, which gives the reason.
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return file.errorString();
    const QByteArray line = (text + QLatin1Char('\n')).toUtf8();
    // The write only fills a buffer: the disk answers at the flush.
    if (file.write(line) != line.size() || !file.flush())
        return file.errorString();
    file.close();
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return std::nullopt;
}

QString storeLocation()
{
#ifdef Q_OS_WIN
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\VELD");
#else
    return iniPath();
#endif
}

} // namespace krt::settings
