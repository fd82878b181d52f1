#pragma once

#include <QString>

#include <functional>

namespace krt {

// Windows message-box conventions the family's components speak: button sets and answers.
namespace mb {
inline constexpr int OkOnly = 0;
inline constexpr int YesNo = 4;
inline constexpr int Critical = 16;
inline constexpr int IdOk = 1;
inline constexpr int IdYes = 6;
inline constexpr int IdNo = 7;
} // namespace mb

// Every modal box of the program, numbered or plain, as it is put in front of the operator.
struct BoxRequest
{
    // Confirmation: the program's own question before a change that cannot be undone.
    enum class Kind { Numbered, DbError, Plain, Confirmation };
    Kind kind = Kind::Plain;
    QString msgNo;   // the message number, empty for plain boxes
    QString title;   // the title bar; empty means the application's default title
    int style = 0;   // buttons plus icon, in message-box style codes (0 OK, 4 Yes/No, 16 critical)
    QString text;    // the message shown
    QString details; // database error details, for database errors
};

// Shows every modal box of the program. Tests install a responder that sees each request and
// answers it (mb::IdOk, mb::IdYes, mb::IdNo) without a person; without one, a real modal
// QMessageBox is shown. A Yes/No box has No as its default button.
class MessageBoxes
{
public:
    using Responder = std::function<int(const BoxRequest &)>;
    static void setResponder(Responder responder);
    static bool hasResponder();

    static int show(const BoxRequest &request);

    // A plain box with an OK button and the application's default title (style 16 adds the
    // critical-stop icon; a title may be given).
    static int plain(const QString &text, int style = mb::OkOnly, const QString &title = {});
};

} // namespace krt
