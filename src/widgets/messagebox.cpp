#include "widgets/messagebox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

namespace krt {

namespace {
MessageBoxes::Responder &responder()
{
    static MessageBoxes::Responder instance;
    return instance;
}
} // namespace

void MessageBoxes::setResponder(Responder r)
{
    responder() = std::move(r);
}

bool MessageBoxes::hasResponder()
{
    return static_cast<bool>(responder());
}

int MessageBoxes::show(const BoxRequest &request)
{
    if (responder())
        return responder()(request);

    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(request.title.isEmpty() ? QApplication::applicationName() : request.title);
    box.setText(request.text);
    if (!request.details.isEmpty())
        box.setInformativeText(request.details);
    if ((request.style & 0x70) == mb::Critical)
        box.setIcon(QMessageBox::Critical);
    else if (request.kind != BoxRequest::Kind::Plain)
        box.setIcon((request.style & 0x0F) == mb::YesNo ? QMessageBox::Question : QMessageBox::Information);
    if ((request.style & 0x0F) == mb::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        // Every question of the program guards a change that cannot be undone: Enter, Space and
        // Escape keep things as they are.
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.setWindowModality(Qt::ApplicationModal);
    const int answer = box.exec();
    switch (answer) {
    case QMessageBox::Yes:
        return mb::IdYes;
    case QMessageBox::No:
        return mb::IdNo;
    default:
        return mb::IdOk;
    }
}

int MessageBoxes::plain(const QString &text, int style, const QString &title)
{
    BoxRequest request;
    request.kind = BoxRequest::Kind::Plain;
    request.style = style;
    request.title = title;
    request.text = text;
    return show(request);
}

} // namespace krt
