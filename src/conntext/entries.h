#pragma once

#include <QList>
#include <QString>

namespace krt {

// One "Key=Value" entry of a connection text of the product family.
struct ConnectionEntry
{
    QString key;
    QString value;         // without its quotes
    qsizetype valueAt = 0; // where the value stands in the text, quotes included
    qsizetype valueEnd = 0;
};

// The entries of a connection text, "Key=Value;Key=Value;" as OLE DB writes them. A value may
// stand between double quotes, single quotes or braces (a quote inside doubled, "}}" inside
// braces) and then holds ";" like any other character; an unquoted value ends at the next ";"
// and loses the blanks around it. A part without "=" or without a key is no entry.
QList<ConnectionEntry> connectionEntries(const QString &text);

// The value of the first entry with the key, compared without case as OLE DB does; an empty
// text when there is none.
QString entryValue(const QList<ConnectionEntry> &entries, const QString &key);

// Whether an entry has the key, compared without case.
bool hasEntry(const QList<ConnectionEntry> &entries, const QString &key);

} // namespace krt
