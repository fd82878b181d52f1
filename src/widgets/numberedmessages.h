#pragma once

#include "db/connection.h"

#include <QHash>
#include <QString>

#include <memory>
#include <optional>

namespace krt {

// The failure being handled when a database error is reported.
struct CurrentError
{
    long number = 0;
    QString source;
    QString description;
};

// The family's numbered message display (QLB318.QLB318C1). It owns the catalog of the family's
// message texts, kept as a data file of the component, and shows a message by its number.
class QLB318C1
{
public:
    // A ready component, or nullptr when it cannot be used (its catalog cannot be loaded).
    static std::unique_ptr<QLB318C1> create();

    // Tests point the component at another catalog (an unreadable path makes it unusable);
    // an empty path restores the catalog shipped with the component.
    static void setCatalogPath(const QString &path);

    // Shows the message registered for the number and returns the pressed button; no answer
    // when the number has no registered text (the call fails).
    // Details, when given, are shown under the message's text.
    std::optional<int> Msgdsp(const QString &msgNo, std::optional<int> buttons, const QString &title,
                              const QString &details = {});

    void setErrObject(const CurrentError &error) { m_errObject = error; }

    // Shows the message with the details of a failed database operation: the driver's texts and
    // native codes of the error collection and the current error.
    std::optional<int> DBERRDSP(const QString &msgNo, const DbErrors &errors, int number,
                                const QString &title);

    QString text(const QString &msgNo) const { return m_texts.value(msgNo); }

private:
    explicit QLB318C1(QHash<QString, QString> texts);

    QHash<QString, QString> m_texts;
    CurrentError m_errObject;
};

} // namespace krt
