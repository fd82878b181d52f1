#pragma once

#include "pricing/conversionparams.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace krt::cli {

// The exit statuses a scheduler reads.
enum ExitStatus {
    Converted = 0,      // converted, or previewed without --yes
    Refused = 1,        // refused before any change of the database
    CategoryFailed = 2, // a category failed mid-run; the categories converted before stay
    BadArguments = 3,   // bad arguments or settings
    Stopped = 4,        // stopped by SIGINT or SIGTERM after the category under way committed
};

// The categories a conversion takes.
struct CategoryChoice
{
    enum Kind {
        All,    // marked as select all (F7) marks them, the stock-take rule included
        Marked, // the marks stored in the work list
        Codes,  // exactly the categories named
    };
    // A category named on the command line: "02" (the major category as a whole) or "01-1".
    struct Code
    {
        QString itemCd;
        int detailNo = 0;
        QString text; // as given
    };
    Kind kind = All;
    QList<Code> codes;
};

// What "krt550 convert" was asked to do.
struct ConvertOptions
{
    QStringList databases;     // list entries (DAT1 ... DAT5) in order; empty with allDatabases
    bool allDatabases = false; // every entry of the database list, in list order
    int calcMethod = 1;
    QString oldRate; // as typed into the panel's old-rate box; empty for method 0
    QString newRate; // as typed into the new-rate box; empty for method 2, or for method 0 when the
                     // database's rate in force (system parameter 3080) is to be taken
    std::array<int, 2> hasuFlg{HasuNone, HasuNone}; // by PriceKind
    std::array<int, 2> hasuIchi{0, 0};              // by PriceKind: 0 ones ... 3 thousands
    CategoryChoice categories;
    bool yes = false; // convert; without it nothing is written

    // The conversion parameters as the condition panel holds them for a database: the fixed zeros
    // of methods 0 and 2, the rates given, and for method 0 without a new rate the database's
    // preset (taxPreset, empty when it has none).
    ConversionParams params(const QString &taxPreset) const;
};

struct ParsedCommand
{
    enum Action { Convert, Help, Version, Error };
    Action action = Error;
    ConvertOptions options;
    QString error; // why the arguments cannot be used, with Error
};

// Reads the command line (the program's name first). Every argument is checked before any
// database is opened.
ParsedCommand parseCommand(const QStringList &arguments);

// The usage, as --help shows it and as it follows every refusal of the arguments.
QString usageText();

} // namespace krt::cli
