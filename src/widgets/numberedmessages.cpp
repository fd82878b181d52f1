#include "widgets/numberedmessages.h"

#include "platform/messagecatalog.h"
#include "widgets/messagebox.h"

namespace krt {

namespace {

QString describe(const DbErrors &errors, const CurrentError &current)
{
    QStringList lines = errorLines(errors);
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
    auto texts = messages::loadCatalog();
    if (!texts)
        return nullptr;
    return std::unique_ptr<QLB318C1>(new QLB318C1(std::move(*texts)));
}

void QLB318C1::setCatalogPath(const QString &path)
{
    messages::setCatalogPath(path);
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
