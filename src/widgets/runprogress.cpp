#include "widgets/runprogress.h"

#include "widgets/messagebox.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace krt {

RunProgress::RunProgress(const QString &title, QWidget *parent)
    : QProgressDialog(QStringLiteral("売価を変換しています…"), QString(), 0, 1, parent)
{
    // Neither a default button nor one that takes the focus: no key presses it.
    auto *stop = new QPushButton(QStringLiteral("中止"), this);
    stop->setAutoDefault(false);
    stop->setDefault(false);
    stop->setFocusPolicy(Qt::NoFocus);
    setCancelButton(stop);
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
    setMinimumDuration(0);
    setAutoClose(false);
    setAutoReset(false);
}

bool RunProgress::showStep(int handled, int listed, const QString &itemCd, int detailNo, qint64 goods)
{
    if (handled < listed && goods < LargeCategory && m_shown.isValid() && !m_shown.hasExpired(PaintInterval))
        return !wasCanceled();
    // The label first: setting the value lets the dialog paint.
    if (handled < listed)
        setLabelText(QStringLiteral("分類 %1 / %2 を変換しています（%3-%4）")
                         .arg(handled + 1)
                         .arg(listed)
                         .arg(itemCd)
                         .arg(detailNo));
    setMaximum(qMax(1, listed));
    setValue(handled);
    QCoreApplication::processEvents();
    // The interval counts from the end of the painting, so that a slow one is repeated less often.
    m_shown.start();
    return !wasCanceled();
}

bool RunProgress::event(QEvent *event)
{
    // Escape comes to keyPressEvent, which asks first, instead of the dialog's own shortcut that
    // would stop the run at once.
    if (event->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        event->accept();
        return true;
    }
    return QProgressDialog::event(event);
}

void RunProgress::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Enter:
    case Qt::Key_Return:
        event->accept();
        return;
    case Qt::Key_Escape: {
        event->accept();
        BoxRequest request;
        request.kind = BoxRequest::Kind::Plain;
        request.style = mb::YesNo; // No is the default: the run goes on
        request.title = windowTitle();
        request.text =
            QStringLiteral("売価の変換を中止しますか？\n"
                           "変換を終えた分類はそのままで、まだ変換していない分類は選択したまま残ります。");
        if (MessageBoxes::show(request) == mb::IdYes)
            cancel();
        return;
    }
    default:
        QProgressDialog::keyPressEvent(event);
    }
}

} // namespace krt
