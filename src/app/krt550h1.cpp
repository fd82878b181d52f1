#include "app/krt550h1.h"

#include "app/krt550f1.h"

#include "platform/settingsstore.h"
#include "platform/singleinstance.h"
#include "widgets/functionkeybar.h"
#include "widgets/messagebox.h"
#include "widgets/messages.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QTranslator>

#include <memory>

namespace krt {

Q_LOGGING_CATEGORY(lcInstance, "krt.instance", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStartup, "krt.startup", QtWarningMsg)

bool FirstConnect = false;
bool BunruiCheckOK = false;

void ActivatePrevInstance()
{
    if (settings::GetSetting(settings::Common, QStringLiteral("DupAPI")) == QStringLiteral("1"))
        return;
    SingleInstance guard;
    if (const auto failure = guard.requestActivation())
        MessageBoxes::plain(QStringLiteral("Error:%1\r\nSource:%2\r\n%3")
                                .arg(failure->code)
                                .arg(QApplication::applicationName(), failure->description));
}

void LoadQtTranslations()
{
    const QString name = QStringLiteral("qtbase_ja");
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || app->findChild<QTranslator *>(name))
        return;
    auto translator = std::make_unique<QTranslator>();
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(name, folder)) {
        qCWarning(lcStartup) << "no Japanese translation of Qt's own texts in" << folder;
        return;
    }
    translator->setObjectName(name);
    translator->setParent(app);
    QCoreApplication::installTranslator(translator.release());
}

int Main()
{
    FirstConnect = true;
    // No display name: the platform would append it to the title of every box and window.
    QApplication::setApplicationName(QStringLiteral("KRT550"));
    LoadQtTranslations();

    SingleInstance guard;
    if (guard.previousInstanceRunning()) {
        ActivatePrevInstance();
        return 0;
    }
    // A guard that cannot be taken is reported by listen(); the program runs without it.
    guard.listen();

    KRT550F1 form;
    QObject::connect(&guard, &SingleInstance::activationRequested, &form, [&form] {
        qCInfo(lcInstance) << "activation requested by a later start";
        form.setWindowState(form.windowState() & ~Qt::WindowMinimized);
        form.show();
        form.raise();
        form.activateWindow();
    });
    form.Form_Load();
    form.show();
    if (form.selectedCalcMethod() != 1) {
        form.close();
        return 0;
    }
    form.focusTaxFrom(1);
    return QApplication::exec();
}

} // namespace krt
