#pragma once

#include <QProgressDialog>

namespace krt {

// The progress of a conversion run: which category is converted, and the button 中止 that stops
// the run before the next category. Enter and Return do nothing, so that a habitual Enter never
// ends a run; the run stops at a click on 中止, or at Escape once the operator has answered Yes
// to the question whose default is No.
class RunProgress : public QProgressDialog
{
    Q_OBJECT

public:
    RunProgress(const QString &title, QWidget *parent);

    // Shows that handled of listed categories are done and which comes next, then lets the
    // window paint and take the operator's input. False once the operator has stopped the run.
    bool showStep(int handled, int listed, const QString &itemCd, int detailNo);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace krt
