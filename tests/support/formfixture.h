#pragma once

// Builds a real installation in a temporary folder, points the settings and the data drives at
// it, answers every modal box, and drives the real main form.

#include "app/krt550f1.h"
#include "app/krt550h1.h"
#include "catalog/catalogfile.h"
#include "installation/installation.h"
#include "params/conditionpanel.h"
#include "support/controls.h"
#include "support/priceoracle.h"
#include "widgets/categorygrid.h"
#include "widgets/functionkeybar.h"
#include "widgets/messagebox.h"
#include "widgets/unmatchedpreview.h"

#include <QApplication>
#include <QComboBox>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace krt::testing {

// The marks of a grid line, unmarked and marked.
inline const QString Off = QStringLiteral("□");
inline const QString On = QStringLiteral("■");

// The parts of the main form, by their names.
inline QLB347U1 *QLB347U11(const QWidget &form)
{
    return control<QLB347U1>(form, "QLB347U11");
}
inline QComboBox *cmb_DAT(const QWidget &form)
{
    return control<QComboBox>(form, "cmb_DAT");
}
inline CategoryGrid *lstTbl(const QWidget &form)
{
    return control<CategoryGrid>(form, "lstTbl");
}
inline ConditionPanel *pic_Jyoukein(const QWidget &form)
{
    return control<ConditionPanel>(form, "pic_Jyoukein");
}

// Types the rates 8 and 10 of the calculation method for prices with tax, as the operator does.
inline void typeRates(KRT550F1 &form)
{
    QTest::mouseClick(opt(form, "opt_Tax", 1), Qt::LeftButton);
    QTest::mouseClick(txt(form, "txt_Tax_From", 1), Qt::LeftButton);
    QTest::keyClicks(txt(form, "txt_Tax_From", 1), QStringLiteral("8"));
    QTest::mouseClick(txt(form, "txt_Tax_To", 1), Qt::LeftButton);
    QTest::keyClicks(txt(form, "txt_Tax_To", 1), QStringLiteral("10"));
}

class FormFixture
{
public:
    FormFixture()
    {
        qputenv("XDG_CONFIG_HOME", install::configFolder(m_dir.path()).toUtf8());
        qputenv("TMCS_DRIVE_ROOT", install::drivesFolder(m_dir.path()).toUtf8());
        // The operator confirms a run unless a test says otherwise; the confirmations are kept
        // apart from the messages.
        MessageBoxes::setResponder([this](const BoxRequest &request) {
            if (request.kind == BoxRequest::Kind::Confirmation) {
                confirmations.append(request);
                return confirm;
            }
            boxes.append(request);
            return answer ? answer(request) : mb::IdOk;
        });
        QLM522C1::setPreviewSeam(
            [this](const QTextDocument &document) { previews.append(document.toPlainText()); });
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
        return install::catalogFolder(m_dir.path()) +
               QStringLiteral("/TMCS%1.db").arg(position, 2, 10, QLatin1Char('0'));
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

    // The rows of a query on a catalog as values, Null fields as null values; nothing when the
    // query fails.
    std::optional<QList<QVariantList>> records(int position, const QString &query) const
    {
        const install::CatalogConnection connection(catalog(position));
        if (!connection.error().isEmpty())
            return std::nullopt;
        QSqlQuery q(connection.db());
        if (!q.exec(query))
            return std::nullopt;
        QList<QVariantList> result;
        while (q.next()) {
            QVariantList fields;
            for (int i = 0; i < q.record().count(); ++i)
                fields.append(q.isNull(i) ? QVariant() : q.value(i));
            result.append(fields);
        }
        return result;
    }

    // The number a counting query on a catalog gives.
    int count(int position, const QString &query) const { return value(position, query).toInt(); }

    // The first value of a query on a catalog; an invalid value when there is none.
    QVariant value(int position, const QString &query) const
    {
        const std::optional<QList<QVariantList>> result = records(position, query);
        return result && !result->isEmpty() ? result->first().value(0) : QVariant();
    }

    // The rows of a query on a catalog, each as "field|field|..."; Null fields read "<null>".
    QStringList rows(int position, const QString &query) const
    {
        const std::optional<QList<QVariantList>> result = records(position, query);
        if (!result)
            return {QStringLiteral("<failed>")};
        QStringList lines;
        for (const QVariantList &record : *result) {
            QStringList fields;
            for (const QVariant &field : record)
                fields.append(field.isNull() ? QStringLiteral("<null>") : field.toString());
            lines.append(fields.join(QLatin1Char('|')));
        }
        return lines;
    }

    // Loads the main form as the start-up routine does and shows it.
    KRT550F1 &load()
    {
        FirstConnect = true;
        BunruiCheckOK = false;
        form.reset();
        form = std::make_unique<KRT550F1>();
        form->Form_Load();
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qWarning("the main form was not shown");
        return *form;
    }

    // Starts the program through its start-up routine. While its event loop runs, inspect sees
    // the main form; then F12 ends the program. The result is the exit code; ranLoop tells
    // whether the start-up got as far as its event loop.
    int runMain(const std::function<void(KRT550F1 &)> &inspect, bool *ranLoop = nullptr)
    {
        BunruiCheckOK = false;
        bool ran = false;
        QTimer ready;
        ready.setSingleShot(true);
        QObject::connect(&ready, &QTimer::timeout, [&] {
            ran = true;
            KRT550F1 *main = nullptr;
            for (QWidget *window : QApplication::topLevelWidgets())
                if (auto *candidate = qobject_cast<KRT550F1 *>(window); candidate && candidate->isVisible())
                    main = candidate;
            if (!main) {
                QApplication::quit();
                return;
            }
            if (!QTest::qWaitForWindowActive(main))
                qWarning("the main form is not active");
            inspect(*main);
            // The function keys act on the active window: a dialog the inspection opened and
            // closed (the run's progress) hands the activation back first.
            main->activateWindow();
            if (!QTest::qWaitForWindowActive(main))
                qWarning("the main form is not active after the inspection");
            QTest::keyClick(main, Qt::Key_F12);
        });
        // Never leave the test hanging in the program's event loop; a program that had to be
        // stopped answers -1.
        bool stopped = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&stopped] {
            stopped = true;
            QApplication::quit();
        });
        ready.start(0);
        guard.start(30000);
        const int code = Main();
        if (ranLoop)
            *ranLoop = ran;
        if (stopped)
            qWarning("the program did not end by itself");
        return stopped ? -1 : code;
    }

    // Settings of the installation, as "Section/Key" of its settings file.
    void setSetting(const QString &key, const QString &value) const
    {
        QSettings ini(install::settingsFile(root()), QSettings::IniFormat);
        ini.setValue(key, value);
        ini.sync();
    }
    void removeSetting(const QString &key) const
    {
        QSettings ini(install::settingsFile(root()), QSettings::IniFormat);
        ini.remove(key);
        ini.sync();
    }

    // The texts of one grid column, line by line.
    QStringList gridColumn(int col) const
    {
        QStringList texts;
        for (int r = 0; r < lstTbl(*form)->Rows(); ++r)
            texts.append(lstTbl(*form)->TextMatrix(r, col));
        return texts;
    }

    // The grid line of a category key (column 1 and column 3), or -1.
    int lineOf(const QString &itemCd, const QString &detailNo) const
    {
        for (int r = 0; r < lstTbl(*form)->Rows(); ++r)
            if (lstTbl(*form)->TextMatrix(r, 1) == itemCd && lstTbl(*form)->TextMatrix(r, 3) == detailNo)
                return r;
        return -1;
    }

    // Selects an entry of the database list as the operator does: the list takes the focus,
    // then the entry is picked.
    void selectDatabase(int position)
    {
        QComboBox *list = cmb_DAT(*form);
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()))
            qWarning("the main form is not active");
        list->setFocus(Qt::MouseFocusReason);
        list->setCurrentIndex(position);
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
        CategoryGrid *grid = lstTbl(*form);
        grid->scrollTo(grid->model()->index(row, 1));
        const QRect cell = grid->visualRect(grid->model()->index(row, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }

    QList<BoxRequest> boxes;
    QList<BoxRequest> confirmations;
    int confirm = mb::IdYes;
    QStringList previews;
    std::function<int(const BoxRequest &)> answer;
    std::unique_ptr<KRT550F1> form;

private:
    QTemporaryDir m_dir;
};

} // namespace krt::testing
