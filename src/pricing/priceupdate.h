#pragma once

#include "../db/connection.h"
#include "../params/conversionparams.h"

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

    std::optional<Category> readCategory(const Recordset &list) const;
    // The price statements of a recorded category; false when one failed (and was reported).
    bool convert(const Category &category);
    int execute(const std::optional<QString> &sql);
    int fail();
    RunOutcome failRun();

    Connection &m_connection;
    const ConversionParams &m_params;
    RunValues m_values;
    std::function<void()> m_reportFailure;
    int m_deadlockRetries = 0;    // left for the category the run converts; 0 outside a run
    bool m_retryCategory = false; // the category failed as a deadlock victim and is run again
};

} // namespace krt::pricing
