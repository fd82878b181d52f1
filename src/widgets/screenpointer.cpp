#include "widgets/screenpointer.h"

#include <QCursor>
#include <QGuiApplication>

namespace krt {

void setScreenPointer(int code)
{
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    if (code == PointerHourglass)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

int screenPointer()
{
    const QCursor *cursor = QGuiApplication::overrideCursor();
    return cursor && cursor->shape() == Qt::WaitCursor ? PointerHourglass : PointerDefault;
}

} // namespace krt
