#include "platform/settingsstore.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <memory>

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
#endif

} // namespace

QString GetSetting(const QString &section, const QString &key, const QString &defaultValue)
{
    const auto store = openSection(section);
    const QString group = groupOf(section);
    if (!group.isEmpty())
        store->beginGroup(group);
    const QVariant value = store->value(key);
    return value.isValid() ? value.toString() : defaultValue;
}

void SaveSetting(const QString &section, const QString &key, const QString &value)
{
    const auto store = openSection(section);
    const QString group = groupOf(section);
    if (!group.isEmpty())
        store->beginGroup(group);
    store->setValue(key, value);
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
