#include "conntext/entries.h"

namespace krt {

QList<ConnectionEntry> connectionEntries(const QString &text)
{
    QList<ConnectionEntry> entries;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype partEnd = [&] {
            qsizetype j = i;
            while (j < n && text.at(j) != QLatin1Char(';') && text.at(j) != QLatin1Char('='))
                ++j;
            return j;
        }();
        if (partEnd >= n || text.at(partEnd) == QLatin1Char(';')) {
            i = partEnd + 1;
            continue;
        }
        ConnectionEntry entry;
        entry.key = text.mid(i, partEnd - i).trimmed();
        qsizetype j = partEnd + 1;
        while (j < n && text.at(j).isSpace() && text.at(j) != QLatin1Char(';'))
            ++j;
        const QChar open = j < n ? text.at(j) : QChar();
        const QChar close = open == QLatin1Char('{') ? QLatin1Char('}') : open;
        if (open == QLatin1Char('"') || open == QLatin1Char('\'') || open == QLatin1Char('{')) {
            entry.valueAt = j++;
            while (j < n) {
                if (text.at(j) == close) {
                    if (j + 1 < n && text.at(j + 1) == close) {
                        entry.value += close;
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                entry.value += text.at(j++);
            }
            entry.valueEnd = j;
            while (j < n && text.at(j) != QLatin1Char(';'))
                ++j;
        } else {
            qsizetype end = j;
            while (end < n && text.at(end) != QLatin1Char(';'))
                ++end;
            qsizetype last = end;
            while (last > j && text.at(last - 1).isSpace())
                --last;
            entry.valueAt = j;
            entry.valueEnd = last;
            entry.value = text.mid(j, last - j);
            j = end;
        }
        if (!entry.key.isEmpty())
            entries.append(entry);
        i = j + 1;
    }
    return entries;
}

QString entryValue(const QList<ConnectionEntry> &entries, const QString &key)
{
    for (const ConnectionEntry &e : entries)
        if (e.key.compare(key, Qt::CaseInsensitive) == 0)
            return e.value;
    return {};
}

bool hasEntry(const QList<ConnectionEntry> &entries, const QString &key)
{
    for (const ConnectionEntry &e : entries)
        if (e.key.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace krt
