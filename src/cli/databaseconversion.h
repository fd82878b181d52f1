#pragma once

#include "cli/convertoptions.h"
#include "db/connection.h"
#include "platform/clock.h"
#include "pricing/changelist.h"
#include "pricing/priceupdate.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

namespace krt::cli {

// A database of the installation's list.
struct Database
{
    QString entry;  // the list entry, DAT1 ... DAT5
    int position;   // its list position, which names the catalog
    QString folder; // its data folder
};

// The conversion of one database without the window, in the window's order and with its
// refusals: the database switch (connection, system parameters 1200 and 3080, the work list's
// count, the write probe, the fill), the category check, the selection, the run's preconditions
// and rules, the server date and system month, the preview, and with --yes the run, its summary
// and its log line. Each refusal writes the window's numbered message, with the database's own
// words, to standard error.
class DatabaseConversion
{
public:
    DatabaseConversion(const ConvertOptions &options, Database database, const std::atomic<bool> &stop);

    ExitStatus run();

private:
    // Standard error, every line naming the database.
    void say(const QString &text) const;
    void message(const QString &msgNo, const QStringList &details = {}) const;
    void dbError(const QString &msgNo, const DbErrors &errors) const;

    bool open();
    bool refresh(int &count);
    bool fillWorkList(int count);
    bool check();
    bool select();
    bool selectAll();
    bool selectCodes();
    bool stockTakeRefuses();
    bool inputCheck();
    bool refusesRun();
    bool readRunValues();
    bool prepareChangeList();
    bool preview();
    QStringList markedCategories();
    ExitStatus convert();
    void clearMarks();
    // Appends the run's line to the run log; says on standard error when it could not.
    void writeRunLog(const pricing::RunCounts &counts, const QString &outcome);
    // Ends the transaction that holds a preview's writes, or a refused selection, unwritten.
    ExitStatus rollBack(ExitStatus status);

    const ConvertOptions &m_options;
    Database m_database;
    const std::atomic<bool> &m_stop;
    Clock m_clock;
    Connection m_db;
    ConversionParams m_params;
    QDate m_businessDate;
    bool m_inventNewVersion = false;
    int m_stockMode = 0;
    QString m_stockModeSource; // system parameter 1200 as read, empty when assumed
    QString m_taxPresetSource; // system parameter 3080 as read, empty when not read
    QString m_koushinDt;
    QString m_sysYm;
    std::unique_ptr<pricing::ChangeList> m_changes; // none when the settings turn the list off
    QStringList m_warnings;                         // of the run, for its log line
};

} // namespace krt::cli
