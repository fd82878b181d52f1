#include "bench/formdriver.h"

#include "bench/figures.h"

#include "app/krt550h1.h"
#include "installation/installation.h"
#include "widgets/messagebox.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QRadioButton>

namespace krt::bench {

FormDriver::FormDriver()
{
    MessageBoxes::setResponder([this](const BoxRequest &request) {
        if (request.kind == BoxRequest::Kind::Confirmation)
            return mb::IdYes;
        m_boxes.append(request.kind == BoxRequest::Kind::Plain ? request.text : request.msgNo);
        return mb::IdOk;
    });
}

FormDriver::~FormDriver()
{
    MessageBoxes::setResponder({});
}

std::unique_ptr<KRT550F1> FormDriver::load(const QString &installation, double &seconds)
{
    qputenv("XDG_CONFIG_HOME", install::configFolder(installation).toUtf8());
    qputenv("TMCS_DRIVE_ROOT", install::drivesFolder(installation).toUtf8());
    FirstConnect = true;
    BunruiCheckOK = false;
    m_boxes.clear();
    QElapsedTimer timer;
    timer.start();
    auto form = std::make_unique<KRT550F1>();
    form->Form_Load();
    form->show();
    QCoreApplication::processEvents();
    seconds = secondsOf(timer);
    if (form->selectedCalcMethod() != 1 || !m_boxes.isEmpty()) {
        fail(QStringLiteral("the form did not reach the ready state on ") + installation +
             QStringLiteral(" (messages: ") + m_boxes.join(QLatin1Char(',')) + QLatin1Char(')'));
        return nullptr;
    }
    return form;
}

bool FormDriver::convert(KRT550F1 &form, double &seconds)
{
    control<QLineEdit>(form, "txt_Tax_From(1)")->setText(QStringLiteral("8"));
    control<QLineEdit>(form, "txt_Tax_To(1)")->setText(QStringLiteral("10"));
    control<QRadioButton>(form, "opt_Round")->setChecked(true);
    control<QRadioButton>(form, "opt_RoundDown_Add")->setChecked(true);
    m_boxes.clear();
    m_commits = 0;
    QElapsedTimer sinceCommit;
    bool committing = false;
    const auto commitEnded = [this, &committing, &sinceCommit] {
        if (committing)
            m_commits += secondsOf(sinceCommit);
        committing = false;
    };
    form.connection()->setStatementHook([&](const QString &sql) -> std::optional<QString> {
        commitEnded();
        if (sql == QLatin1String("COMMIT TRANSACTION")) {
            committing = true;
            sinceCommit.start();
        }
        return std::nullopt;
    });
    QElapsedTimer timer;
    timer.start();
    form.QLB347U11_FKeyClick(1);
    seconds = secondsOf(timer);
    commitEnded();
    form.connection()->setStatementHook({});
    if (m_boxes != QStringList{QStringLiteral("10009")})
        return fail(QStringLiteral("the run ended with the messages ") + m_boxes.join(QLatin1Char(',')));
    return true;
}

} // namespace krt::bench
