#include "widgets/messages.h"

#include "widgets/messagebox.h"
#include "widgets/numberedmessages.h"
#include "widgets/screenpointer.h"

namespace krt {

namespace {
const QString DefaultTitle = QStringLiteral("売価更新処理");
// "Eorror" is the family's own spelling of this text; operators and support know it so.
const QString MsgBoxError = QStringLiteral("MsgBox Eorror MSGNO = ");
} // namespace

int ShowMessage(const QString &msgNo, int buttons, const QString &title, const QString &details)
{
    setScreenPointer(PointerDefault);
    const auto component = QLB318C1::create();
    std::optional<int> answer;
    if (component) {
        if (!title.isEmpty())
            answer = component->Msgdsp(msgNo, buttons, title, details);
        else if (buttons != 0)
            answer = component->Msgdsp(msgNo, buttons, DefaultTitle, details);
        else
            answer = component->Msgdsp(msgNo, std::nullopt, DefaultTitle, details);
    }
    if (!answer) {
        MessageBoxes::plain(MsgBoxError + msgNo);
        return 0;
    }
    return *answer;
}

int ShowDbError(const QString &msgNo, const DbErrors &errors, int number, const QString &title)
{
    return ShowDbError(msgNo, errors, number, title, CurrentError{});
}

int ShowDbError(const QString &msgNo, const DbErrors &errors, int number, const QString &title,
                const CurrentError &current)
{
    setScreenPointer(PointerDefault);
    const auto component = QLB318C1::create();
    if (!component) {
        // The reporting routine is inside its own failure handling: say what could not be shown.
        MessageBoxes::plain(MsgBoxError + msgNo);
        return 0;
    }
    component->setErrObject(current);
    return component->DBERRDSP(msgNo, errors, number, title).value_or(0);
}

QString listText(const QStringList &items, int shown)
{
    if (items.size() <= shown)
        return items.join(QLatin1Char('\n'));
    return QStringList(items.mid(0, shown)).join(QLatin1Char('\n')) +
           QStringLiteral("\n…ほか %1 件").arg(items.size() - shown);
}

} // namespace krt
