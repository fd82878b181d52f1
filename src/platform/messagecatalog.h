#pragma once

#include <QHash>
#include <QString>

#include <optional>

namespace krt {

// The catalog of the family's numbered message texts, the data file of the message component
// (QLB318.QLB318C1): message number, a tab, the text ("\n" starts a new line). The window shows
// a text in its box, the command line writes it to standard error; both look it up here.
namespace messages {

// Every text by its number, or nothing when the catalog cannot be read or holds no text.
std::optional<QHash<QString, QString>> loadCatalog();

// The text registered for a number; empty when the number has none or the catalog cannot be read.
QString text(const QString &msgNo);

// Tests point the lookup at another catalog file (an unreadable path makes the catalog unusable);
// an empty path restores the catalog shipped with the program.
void setCatalogPath(const QString &path);

} // namespace messages
} // namespace krt
