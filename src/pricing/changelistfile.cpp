#include "pricing/changelistfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace krt::pricing {

namespace {

const QString StartFormat = QStringLiteral("yyyyMMdd-HHmmss");

struct Records
{
    QList<QStringList> records;
    QString error;
};

Records parseCsv(const QString &text)
{
    Records result;
    QStringList fields;
    QString field;
    bool inQuotes = false;
    bool quotedField = false; // the field began with a quote
    const qsizetype size = text.size();
    const auto endField = [&] {
        fields.append(field);
        field.clear();
        quotedField = false;
    };
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c != QLatin1Char('"'))
                field += c;
            else if (i + 1 < size && text[i + 1] == QLatin1Char('"'))
                field += text[++i];
            else
                inQuotes = false;
        } else if (c == QLatin1Char('"') && field.isEmpty() && !quotedField) {
            inQuotes = true;
            quotedField = true;
        } else if (c == QLatin1Char(',')) {
            endField();
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < size && text[i + 1] == QLatin1Char('\n'))
                ++i;
            endField();
            result.records.append(fields);
            fields.clear();
        } else {
            field += c;
        }
    }
    if (inQuotes) {
        result.error = QStringLiteral("%1 行目の引用符が閉じていません").arg(result.records.size() + 1);
        return result;
    }
    // The last record may end without a line end.
    if (!field.isEmpty() || quotedField || !fields.isEmpty()) {
        endField();
        result.records.append(fields);
    }
    return result;
}

} // namespace

QString changeListFolder(const QString &runLogPath)
{
    return QFileInfo(runLogPath).absolutePath() + QStringLiteral("/KRT550-changes");
}

QString changeListFileName(const QDateTime &start, const QString &catalog)
{
    return start.toString(StartFormat) + QLatin1Char('-') + catalog + QStringLiteral(".csv");
}

QList<ChangeListRun> changeListFiles(const QString &folder, const QString &catalog)
{
    QList<ChangeListRun> runs;
    const QDir dir(folder);
    const QString suffix = QLatin1Char('-') + catalog + QStringLiteral(".csv");
    for (const QString &name : dir.entryList({QLatin1Char('*') + suffix}, QDir::Files)) {
        const QDateTime start = QDateTime::fromString(name.chopped(suffix.size()), StartFormat);
        if (!start.isValid())
            continue;
        const QString path = dir.filePath(name);
        runs.append({path, start, QFile::exists(path + QStringLiteral(".pending"))});
    }
    std::sort(runs.begin(), runs.end(),
              [](const ChangeListRun &a, const ChangeListRun &b) { return a.start > b.start; });
    return runs;
}

ChangeListContent readChangeList(const QString &path)
{
    ChangeListContent content;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        content.error = file.errorString();
        return content;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        content.error = file.errorString();
        return content;
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    Records parsed = parseCsv(QString::fromUtf8(bytes));
    if (!parsed.error.isEmpty() || parsed.records.isEmpty()) {
        content.error = parsed.records.isEmpty() && parsed.error.isEmpty()
                            ? QStringLiteral("空のファイルです")
                            : parsed.error;
        return content;
    }
    const QStringList header = parsed.records.takeFirst();
    for (qsizetype i = 0; i < parsed.records.size(); ++i) {
        if (parsed.records[i].size() != header.size()) {
            content.error = QStringLiteral("%1 行目の項目数 %2 が見出しの %3 と違います")
                                .arg(i + 2)
                                .arg(parsed.records[i].size())
                                .arg(header.size());
            return content;
        }
    }
    content.header = header;
    content.rows = std::move(parsed.records);
    return content;
}

} // namespace krt::pricing
