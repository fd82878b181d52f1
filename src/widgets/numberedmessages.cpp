#include "widgets/numberedmessages.h"

#include "widgets/messagebox.h"

#include <QFile>
#include <QTextStream>

namespace krt {

namespace {

QString &catalogPath()
{
    static QString path;
    return path;
}

const QString DefaultCatalog = QStringLiteral(":/krt/family/messages.tsv");

std::optional<QHash<QString, QString>> loadCatalog(const QString &path)
{
    QFile file(path);
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

QString describe(const DbErrors &errors, const CurrentError &current)
{
    QStringList lines;
    for (const DbError &e : errors) {
        QString line = e.source.isEmpty() ? e.description : e.source + QStringLiteral(": ") + e.description;
        if (!e.nativeCode.isEmpty())
            line += QStringLiteral(" (") + e.nativeCode + QStringLiteral(")");
        lines.append(line);
        if (!e.statement.isEmpty())
            lines.append(QStringLiteral("SQL: ") + e.statement);
    }
    if (current.number != 0 || !current.description.isEmpty())
        lines.append(QStringLiteral("Error: %1 Source: %2 %3")
                         .arg(current.number)
                         .arg(current.source, current.description));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QLB318C1::QLB318C1(QHash<QString, QString> texts)
    : m_texts(std::move(texts))
{}

std::unique_ptr<QLB318C1> QLB318C1::create()
{
    auto texts = loadCatalog(catalogPath().isEmpty() ? DefaultCatalog : catalogPath());
    if (!texts)
        return nullptr;
    return std::unique_ptr<QLB318C1>(new QLB318C1(std::move(*texts)));
}

void QLB318C1::setCatalogPath(const QString &path)
{
    catalogPath() = path;
}

std::optional<int> QLB318C1::Msgdsp(const QString &msgNo, std::optional<int> buttons, const QString &title,
                                    const QString &details)
{
    if (!m_texts.contains(msgNo))
        return std::nullopt;
    BoxRequest request;
    request.kind = BoxRequest::Kind::Numbered;
    request.msgNo = msgNo;
    request.title = title;
    request.style = buttons.value_or(mb::OkOnly);
    request.text = m_texts.value(msgNo);
    request.details = details;
    return MessageBoxes::show(request);
}

std::optional<int> QLB318C1::DBERRDSP(const QString &msgNo, const DbErrors &errors, int number,
                                      const QString &title)
{
    if (!m_texts.contains(msgNo))
        return std::nullopt;
    BoxRequest request;
    request.kind = BoxRequest::Kind::DbError;
    request.msgNo = msgNo;
    request.title = title;
    request.style = mb::OkOnly;
    request.text = m_texts.value(msgNo);
    request.details = describe(errors, m_errObject);
    if (number != 0)
        request.details += QStringLiteral("\n(%1)").arg(number);
    return MessageBoxes::show(request);
}

} // namespace krt
