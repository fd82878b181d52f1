#pragma once

#include "db/connection.h"
#include "pricing/changelist.h"
#include "pricing/conversionparams.h"
#include "pricing/pricestatements.h"
#include "pricing/runpreview.h"

#include <QDate>
#include <QString>

#include <functional>

namespace krt::pricing {

// The values a run works with besides the conversion parameters.
struct RunValues
{
    int calcMethod = 0;            // the selected calculation method, 0 to 2
    int StockMode = 0;             // system parameter 1200: 0 deferred mode, otherwise direct mode
    bool InventNewVersion = false; // selects the stock rows whose IZAIKO prices are converted
    QString KoushinDt;             // the server's date and time, "yyyy/mm/dd hh:mm:ss"
    QString SysYm;                 // the system month: the first month of IIODATA converted
    QDate today;                   // the workstation's date, written into MITEMCNT
};

// How a run ended, for the form to act on.
enum class RunOutcome {
    Completed,  // every listed category was converted or skipped: reload the grid, show "10009"
    StepFailed, // a statement failed and was reported: reload the grid, no "10009"
    RunFailed,  // the run's own work failed and was reported: no grid reload, the marks stay
    Stopped,    // the operator stopped the run between two categories: the rest stays marked
};

// What a run has committed so far: the categories converted (recorded) and the price rows
// changed in each table; categories another operator converted first are counted apart.
struct RunCounts
{
    int categories = 0;
    int skipped = 0;
    qint64 mgoods = 0;
    qint64 izaiko = 0;
    qint64 iiodata = 0;

    RunCounts &operator+=(const RunCounts &other);
};

// A category of the work list, as the run reads it.
struct WorkListEntry
{
    QString itemCd;
    int detailNo = 0;
};

// Converts the prices of the marked categories, one database transaction per category, and
// records each category in MITEMCNT. Every failure is reported once through reportFailure (the
// form shows message "40275") and leaves no category half converted.
class PriceUpdater
{
public:
    // prfn_MarkCategory's result when the category is no longer unconverted (another operator
    // converted it after the work list was read): nothing was recorded.
    static constexpr int NotRecorded = 1;
    // How many times the run converts a category again whose transaction the database rolled back
    // as a deadlock victim, before it reports the failure and stops.
    static constexpr int DeadlockRetries = 3;

    PriceUpdater(Connection &connection, const ConversionParams &params, RunValues values,
                 std::function<void()> reportFailure);

    // Asked before each category with the number of categories handled and the number listed,
    // and the goods the coming category held at the run's start (0 when not known, and after the
    // last); answering false stops the run there, every category before it committed.
    using Progress =
        std::function<bool(int handled, int listed, const WorkListEntry &next, qint64 nextGoods)>;
    void setProgress(Progress progress) { m_progress = std::move(progress); }

    // What the run has committed so far.
    const RunCounts &counts() const { return m_counts; }
    // The categories of the work list not reached when the run stopped or failed.
    const QList<WorkListEntry> &notReached() const { return m_notReached; }
    // Writes the change list of the run: every MGOODS row converted, before and after.
    void setChangeList(ChangeList *changes) { m_changes = changes; }
    // What the run found wrong without failing: a category whose converted goods differ in number
    // from the goods it held when the run started, a change list that could not be appended to.
    const QStringList &warnings() const { return m_warnings; }

    // Why the last reported failure happened: what the database said, or the value of the work
    // list or of the system the run refused to use, naming its table, row and column.
    const DbErrors &failure() const { return m_failure; }

    // Converts every category of the work list: the marked rows of MITEMCNT not converted yet,
    // inventory categories first.
    RunOutcome run();

    // The statement writers, each run inside the open transaction. 0 on success; on failure the
    // transaction is rolled back, the failure reported and -1 returned (within a run, a deadlock
    // victim is reported only when the category's last attempt fails).

    // With a category code: records the category (see NotRecorded). With an empty code: completes
    // every recorded inventory category (the other arguments are not used).
    int prfn_MarkCategory(const QString &itemCd, int detailNo, const QString &invFlg);
    int prfn_UpdateMGoods(const QString &itemCd, int detailNo);
    int prfn_UpdateIIoData(const QString &itemCd, int detailNo);
    int prfn_UpdateIZaiko(const QString &itemCd, int detailNo);
    // Converts the MGOODS prices of every recorded inventory category with its recorded parameters.
    // Each category is first completed by a statement that changes its row only while it is still
    // pending; a category another operator completed since the list was read is left alone. The
    // categories are completed one by one rather than all at once at the end, which would also
    // complete a category another operator recorded meanwhile, whose prices nobody converted.
    int prfn_UpdateMGoodsPending();

private:
    struct Category
    {
        QString itemCd;
        int detailNo = 0;
        QString invFlg;
        bool convertsNow = false; // deferred mode: a non-inventory category, converted at once
    };

    // A row of the work list, or why the run cannot convert it.
    std::optional<Category> readCategory(const Recordset &list, QString &problem) const;
    // Every row of the work list is checked before the first category is recorded: a row the run
    // cannot convert refuses the whole run, naming each such row.
    bool checkWorkList(const Recordset &list);
    // Whether a record or claim that changed no row found the category done by another operator
    // (true) or gone from the work list (false, reported).
    bool doneByAnother(const QString &itemCd, int detailNo, bool completed);
    // The price statements of a recorded category; false when one failed (and was reported).
    bool convert(const Category &category);
    int execute(const std::optional<QString> &sql);
    int fail();
    int fail(const QString &cause);
    RunOutcome failRun();
    RunOutcome failRun(const QString &cause);

    const CategoryStatements &statements();
    int executeCounted(const std::optional<QString> &sql, qint64 &rows);
    // An MGOODS statement of a category, between the change list's reads, with the check of the
    // converted goods against the goods the category held at the start.
    int convertGoods(const QString &itemCd, int detailNo, const std::optional<QString> &sql,
                     const ChangeList::ExpressionOf &expression);
    // The run itself, between holding the engine's checkpoints back and writing the list through.
    RunOutcome convertWorkList();
    bool readGoodsAtStart();
    qint64 goodsAtStart(const QString &itemCd, int detailNo) const;
    bool stageChanges();
    void appendChanges();
    void keepNotReached(Recordset &list);

    Connection &m_connection;
    const ConversionParams m_params; // a copy: the run never depends on the caller keeping them
    RunValues m_values;
    std::function<void()> m_reportFailure;
    Progress m_progress;
    RunCounts m_counts;
    RunCounts m_category; // the rows of the category whose transaction is open
    QList<WorkListEntry> m_notReached;
    DbErrors m_failure;
    ChangeList *m_changes = nullptr;
    GoodsCounts m_goodsAtStart; // goods of each category at the run's start
    PriceReadings m_readings;   // how the run's expressions read each price column
    // The statements of the categories, built with the readings at their first use.
    std::optional<CategoryStatements> m_statements;
    // The recorded inventory categories waiting for their conversion, as read by this run; read
    // again only after the run recorded one itself. A category another operator records meanwhile
    // stays pending for the next run. Outside a run every conversion reads the list.
    std::optional<Recordset> m_pending;
    bool m_pendingPerRun = false;
    QStringList m_categoryWarnings; // of the category whose transaction is open
    QStringList m_warnings;
    int m_deadlockRetries = 0;    // left for the category the run converts; 0 outside a run
    bool m_retryCategory = false; // the category failed as a deadlock victim and is run again
};

} // namespace krt::pricing
