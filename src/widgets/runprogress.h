#pragma once

#include <QElapsedTimer>
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

    // Painting the dialog takes about as long as converting a category of a hundred goods, so a
    // run of many small categories shows its step at most every PaintInterval; a category of
    // LargeCategory goods or more, which takes a visible time, is always shown before it starts,
    // as are the first step and the end.
    static constexpr int PaintInterval = 50; // milliseconds
    static constexpr qint64 LargeCategory = 1000;

    // Shows that handled of listed categories are done and which comes next (holding goods at the
    // run's start), then lets the window paint and take the operator's input. False once the
    // operator has stopped the run.
    bool showStep(int handled, int listed, const QString &itemCd, int detailNo, qint64 goods);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QElapsedTimer m_shown; // since the step last shown was painted
};

} // namespace krt
