#include "platform/messagecatalog.h"

#include <QFile>
#include <QTextStream>

namespace krt::messages {

namespace {

QString &catalogPath()
{
    static QString path;
    return path;
}

const QString DefaultCatalog = QStringLiteral(":/krt/family/messages.tsv");

} // namespace

std::optional<QHash<QString, QString>> loadCatalog()
{
    QFile file(catalogPath().isEmpty() ? DefaultCatalog : catalogPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    QHash<QString, QString> texts;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab <= 0)
            continue;
        QString text = line.mid(tab + 1);
        text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
        texts.insert(line.left(tab), text);
    }
    if (texts.isEmpty())
        return std::nullopt;
    return texts;
}

QString text(const QString &msgNo)
{
    const std::optional<QHash<QString, QString>> texts = loadCatalog();
    return texts ? texts->value(msgNo) : QString();
}

void setCatalogPath(const QString &path)
{
    catalogPath() = path;
}

} // namespace krt::messages
