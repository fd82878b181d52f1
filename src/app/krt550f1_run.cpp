// The conversion run of the main form.
#include "krt550f1.h"

#include "db/messages.h"
#include "family/messagebox.h"
#include "family/screenpointer.h"
#include "params/conditionpanel.h"
#include "pricing/priceupdate.h"

namespace krt {

void KRT550F1::prsb_Execute()
{
    repaint();
    setScreenPointer(PointerHourglass);
    if (!prfn_InputCheck())
        return;
    KoushinDt = prfn_GetServerDate();
    if (KoushinDt.isEmpty())
        return;
    SysYm = prfn_GetSysYM();
    if (SysYm.isEmpty())
        return;

    pricing::RunValues values;
    values.calcMethod = pic_Jyoukein->selectedCalcMethod();
    values.StockMode = StockMode;
    values.InventNewVersion = InventNewVersion;
    values.KoushinDt = KoushinDt;
    values.SysYm = SysYm;
    values.today = m_clock.today();
    // The message carries what the database said (a deadlock, a lock timeout, a lost connection),
    // so that the operator knows why the category was not converted.
    pricing::PriceUpdater updater(*m_db, pic_Jyoukein->params(), values, [this] {
        ShowDbError(QStringLiteral("40275"), m_db->errors(), 0, AppTitle);
    });
    const pricing::RunOutcome outcome = updater.run();
    if (outcome == pricing::RunOutcome::RunFailed)
        return;
    prfn_LoadItemGrid();
    setScreenPointer(PointerDefault);
    if (outcome == pricing::RunOutcome::Completed)
        ShowMessage(QStringLiteral("10009"), mb::OkOnly, AppTitle);
}

} // namespace krt
