#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace krt::pricing {

// The folder of the change lists: KRT550-changes beside the run log.
QString changeListFolder(const QString &runLogPath);

// The change list of a run in its folder: "<yyyyMMdd-HHmmss>-<catalog>.csv", named by the run's
// start.
QString changeListFileName(const QDateTime &start, const QString &catalog);

// One run's change list.
struct ChangeListRun
{
    QString path;
    QDateTime start;         // the run's start, from the file name
    bool incomplete = false; // a journal lies beside it: its last category is not appended yet
};

// The runs of a catalog whose change lists lie in the folder, newest first.
QList<ChangeListRun> changeListFiles(const QString &folder, const QString &catalog);

// A change list as read: the header's column names and the rows, each with as many fields as the
// header; error says why the file could not be read, and is empty when it was.
struct ChangeListContent
{
    QStringList header;
    QList<QStringList> rows;
    QString error;
};

// Reads a CSV file as the change list writes it: UTF-8 with or without a byte-order mark, CRLF
// (or LF) line ends, RFC 4180 quoting (a quoted field may hold commas, doubled quotes and line
// ends).
ChangeListContent readChangeList(const QString &path);

} // namespace krt::pricing
