#pragma once

// Builds a real installation in a temporary folder, points the settings and the data drives at
// it, answers every modal box, and drives the real main form.

#include "app/krt550f1.h"
#include "app/krt550h1.h"
#include "category/categorygrid.h"
#include "family/messagebox.h"
#include "family/qlb347u1.h"
#include "family/qlm522c1.h"
#include "installation.h"
#include "params/conditionpanel.h"

#include <QComboBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <functional>
#include <memory>

namespace krt::testing {

class FormFixture
{
public:
    FormFixture()
    {
        qputenv("XDG_CONFIG_HOME", install::configFolder(m_dir.path()).toUtf8());
        qputenv("TMCS_DRIVE_ROOT", install::drivesFolder(m_dir.path()).toUtf8());
        MessageBoxes::setResponder([this](const BoxRequest &request) {
            boxes.append(request);
            return answer ? answer(request) : mb::IdOk;
        });
        QLM522C1::setPreviewSeam([this](const QTextDocument &document) { previews.append(document.toPlainText()); });
    }
    ~FormFixture()
    {
        form.reset();
        MessageBoxes::setResponder({});
        QLM522C1::setPreviewSeam({});
    }

    QString root() const { return m_dir.path(); }
    QString catalog(int position) const
    {
        return install::catalogFolder(m_dir.path()) + QStringLiteral("/TMCS%1.db").arg(position, 2, 10, QLatin1Char('0'));
    }

    // A small installation: two databases, a few categories and goods.
    install::Options smallOptions() const
    {
        install::Options options;
        options.root = m_dir.path();
        options.databases = 2;
        options.categories = 12;
        options.goods = 200;
        options.stock = 200;
        options.movements = 400;
        return options;
    }

    bool install(const install::Options &options)
    {
        const install::Result result = install::createInstallation(options, install::Existing::Replace);
        if (!result.error.isEmpty())
            qWarning() << result.error;
        return result.error.isEmpty();
    }
    bool install() { return install(smallOptions()); }

    // Runs SQL on a catalog of the installation, outside the program's connection.
    bool sql(int position, const QString &script) const
    {
        const QString error = install::runScript(catalog(position), script);
        if (!error.isEmpty())
            qWarning() << error;
        return error.isEmpty();
    }
    QVariant value(int position, const QString &query) const
    {
        const QString name = QStringLiteral("fixture-read");
        QVariant result;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(catalog(position));
            if (db.open()) {
                QSqlQuery q(db);
                if (q.exec(query) && q.next())
                    result = q.value(0);
            }
        }
        QSqlDatabase::removeDatabase(name);
        return result;
    }

    // Loads the main form as the start-up routine does and shows it.
    KRT550F1 &load()
    {
        FirstConnect = true;
        BunruiCheckOK = false;
        form = std::make_unique<KRT550F1>();
        form->Form_Load();
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qWarning("the main form was not shown");
        return *form;
    }

    QStringList numbers() const
    {
        QStringList list;
        for (const BoxRequest &box : boxes)
            list.append(box.kind == BoxRequest::Kind::Plain ? box.text : box.msgNo);
        return list;
    }

    // Clicks a line of the grid as the operator does.
    void clickLine(int row)
    {
        CategoryGrid *grid = form->grid();
        grid->scrollTo(grid->model()->index(row, 1));
        const QRect cell = grid->visualRect(grid->model()->index(row, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }

    QList<BoxRequest> boxes;
    QStringList previews;
    std::function<int(const BoxRequest &)> answer;
    std::unique_ptr<KRT550F1> form;

private:
    QTemporaryDir m_dir;
};

} // namespace krt::testing
