#pragma once

#include "db/connection.h"
#include "platform/clock.h"
#include "platform/dblist.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>

class QComboBox;
class QLabel;

namespace krt {

namespace pricing {
class ChangeList;
struct RunCounts;
struct WorkListEntry;
} // namespace pricing

class CategoryGrid;
class ConditionPanel;
class QLB347U1;

// The main form of the selling-price update: the database selection, the category grid, the
// conversion-condition panel and the function-key bar through which every command is given.
class KRT550F1 : public QWidget
{
    Q_OBJECT

public:
    explicit KRT550F1(QWidget *parent = nullptr);
    ~KRT550F1() override;

    // The load event the start-up routine runs before it shows the form, and the command of a key
    // of the function-key bar.
    void Form_Load();
    void QLB347U11_FKeyClick(short KeyNo);

    // For the start-up routine: the load selects opt_Tax(1) only when the category check of the
    // first database passed; the operator then starts at the old rate txt_Tax_From(1).
    int selectedCalcMethod() const;
    void focusTaxFrom(int i);

    // Reads the work list into the grid again; -1 when that failed. The benchmark times it.
    long prfn_LoadItemGrid();

    // What the tests and the benchmark inspect.
    int stockMode() const { return StockMode; }
    int prevListIndex() const { return PrevListIndex; }
    bool inventNewVersion() const { return InventNewVersion; }
    const krt::ConnParts &connParts() const { return ConnParts; }
    bool inputEnabled() const { return InputEnabled; }
    Connection *connection() const { return m_db.get(); }
    // The workstation's clock, which tests fix.
    Clock &clock() { return m_clock; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Application shell.
    void prsb_SetFKeyEnabled();
    void prsb_SetFKeyCaption();
    void prsb_Exit();

    // Database list, connection and switch.
    void prsb_MakeDbList();
    QString prfn_FindDataDrive();
    short prfn_DbConnect();
    void prsb_GetInventVersion();
    long prfn_DbSwitch();
    void cmb_DAT_Click();
    void cmb_DAT_GotFocus();
    void cmb_DAT_KeyDown(int keyCode);
    bool prfn_ConnectionAlive();

    // Category control table.
    long prfn_GetItemCode(int inAdd);
    long prfn_ClearItemCheck();
    long prfn_GetItemCount(const QString &strWhere);
    // A count read for a command: -1 after the database error message when it failed.
    long counted(int rows);
    void prsb_SelectAll();
    void prsb_BunruiClear();
    bool prfn_CheckNefudaDate();
    QString prfn_GetServerDate();
    QString prfn_GetSysYM();

    // Category grid.
    void prsb_SetGridLayout(long rows, long cols);
    void lstTbl_Click();
    void lstTbl_KeyDown(int &keyCode, int shift);
    void SendTabKey();

    // Category check.
    bool prsb_BunruiCheck();

    // Run preconditions and the conversion run.
    bool prfn_InputCheck();
    bool prfn_ConfirmRun();
    void prsb_Execute();

    void buildLayout();
    void layoutAreas();
    void layoutHeadings();
    void openCheckedStage();
    void closeCheckedStage();
    bool prfn_RefreshWorkList(long count);
    void warnUnknownFlags();
    bool refusesChangedSelection();
    bool refusesRun();
    QStringList markedCategories() const;
    QString stockModeText() const;
    bool prfn_PrepareChangeList(std::unique_ptr<pricing::ChangeList> &changes);
    QString conditionsText() const;
    void remarkCategories(const QList<pricing::WorkListEntry> &categories);
    // Appends the run's line to the run log; what the run's completion box adds when the line
    // could not be written, empty when it was.
    [[nodiscard]] QString writeRunLog(const pricing::RunCounts &counts, const QString &outcome);

    int StockMode = 0;
    int PrevListIndex = 0;
    bool InventNewVersion = false;
    krt::ConnParts ConnParts;
    bool InputEnabled = false;
    QString KoushinDt;
    QString SysYm;

    Clock m_clock;
    std::unique_ptr<Connection> m_db;
    QString m_switchFailure;           // what the box of a failed switch says after the entry's text
    bool m_connectionLost = false;     // a command found the database gone; reselecting reconnects
    bool m_running = false;            // a conversion run is under way
    bool m_workListIncomplete = false; // the last fill failed: F6 fills the work list again
    QString m_stockModeSource;         // system parameter 1200 as read, empty when assumed
    QString m_taxPresetSource;         // system parameter 3080 as read, empty when not read
    QString m_changeListNote;          // what the confirmation says of the change list
    QString m_runChangeList;           // the last run's change list, for its log line
    QStringList m_runWarnings;         // the last run's warnings, for its log line
    QLB347U1 *QLB347U11 = nullptr;
    QWidget *pic_DbSelect = nullptr;
    QComboBox *cmb_DAT = nullptr;
    std::array<QLabel *, 6> xLabel{};
    CategoryGrid *lstTbl = nullptr;
    ConditionPanel *pic_Jyoukein = nullptr;
};

} // namespace krt
