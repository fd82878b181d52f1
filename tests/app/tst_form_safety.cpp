#include "support/formrun.h"

#include <QFile>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>

using namespace krt;
using namespace krt::testing;

namespace {

// An installation in deferred mode whose latest price-tag stock-take is older than the business
// date: other categories may not be marked or converted.
void installWithOldStockTake(FormFixture &f)
{
    install::Options options = f.smallOptions();
    options.stockMode = 0;
    options.stockTake = QDate(2024, 3, 1);
    QVERIFY(f.install(options));
    f.setSetting(QStringLiteral("Common/BusinessDate"), QStringLiteral("2024/03/11"));
}

// The rounding options selected on the panel, as the codes the run records.
std::array<int, 4> shownRounding(const ConditionPanel &panel)
{
    std::array<int, 4> shown{-1, -1, -1, -1};
    const char *const methods[] = {"opt_Int", "opt_RoundUp", "opt_RoundDown", "opt_Round"};
    for (int code = 0; code < 4; ++code) {
        if (opt(panel, methods[code])->isChecked())
            shown[0] = code;
        if (opt(panel, QString::fromLatin1(methods[code]) + QStringLiteral("_Add"))->isChecked())
            shown[2] = code;
    }
    for (int i = 0; i < 4; ++i)
        if (opt(panel, "opt_Keta", i)->isChecked())
            shown[1] = i;
    for (int i = 0; i < 3; ++i)
        if (opt(panel, "opt_Keta_Add", i)->isChecked())
            shown[3] = i;
    return shown;
}

// What the run will use, in the same form: a digit position counts only with a rounding method.
std::array<int, 4> usedRounding(const ConditionPanel &panel)
{
    const ConversionParams &p = panel.params();
    return {p.HASU_FLG[Goods], p.HASU_FLG[Goods] == HasuNone ? -1 : p.HASU_ICHI[Goods], p.HASU_FLG[AddOn],
            p.HASU_FLG[AddOn] == HasuNone ? -1 : p.HASU_ICHI[AddOn]};
}

// The marked categories as the confirmation names them, read from the table in category order.
QStringList markedCodes(const FormFixture &f)
{
    QStringList codes;
    for (const QString &code :
         f.rows(0, QStringLiteral("SELECT ITEM_CD || '-' || DETAIL_NO FROM MITEMCNT WHERE "
                                  "CHK = 1 ORDER BY ITEM_CD, DETAIL_NO")))
        codes.append(code);
    return codes;
}

// The goods of the marked, unconverted categories, counted here with SQLite's own join.
int goodsOfMarked(const FormFixture &f)
{
    return f.count(
        0, QStringLiteral("SELECT COUNT(*) FROM MGOODS G JOIN MITEMCNT W ON W.ITEM_CD = G.DAI_BUNRUI_CD "
                          "AND IFNULL(W.DETAIL_NO, 0) = IFNULL(G.CHU_BUNRUI_CD, 0) "
                          "WHERE W.CHK = 1 AND W.UPDATE_DATE IS NULL"));
}

// The last line of the run log beside the settings file.
QString lastLogLine(const FormFixture &f)
{
    QFile log(QFileInfo(install::settingsFile(f.root())).absolutePath() + QStringLiteral("/KRT550.log"));
    if (!log.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QStringList lines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

QString describe(const std::array<int, 4> &r)
{
    return QStringLiteral("%1/%2 %3/%4").arg(r[0]).arg(r[1]).arg(r[2]).arg(r[3]);
}

} // namespace

class TestFormSafety : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Select all (F7, and the form load) marks only what a click could mark: with an old
    // price-tag stock-take in deferred mode the other categories stay unmarked, and the operator
    // is told once, not once per line.
    void selectAllKeepsThePriceTagStockTakeRule()
    {
        FormFixture f;
        installWithOldStockTake(f);
        KRT550F1 &form = f.load();
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40422")});
        const int inventory = f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE INV_FLG = '1'"));
        QVERIFY(inventory > 0);
        QVERIFY(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE INV_FLG = '0'")) > 1);
        for (const Qt::Key key : {Qt::Key_F7, Qt::Key_F5}) {
            f.boxes.clear();
            f.answer = [](const BoxRequest &) { return mb::IdYes; };
            QTest::keyClick(&form, key);
            const QStringList expected = key == Qt::Key_F7
                                             ? QStringList{QStringLiteral("40422")}
                                             : QStringList{QStringLiteral("40418"), QStringLiteral("40422")};
            QCOMPARE(f.numbers(), expected);
            QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")), inventory);
            QCOMPARE(
                f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1 AND INV_FLG = '0'")),
                0);
            for (int r = 0; r < lstTbl(form)->Rows(); ++r)
                QCOMPARE(lstTbl(form)->TextMatrix(r, 0) == On,
                         lstTbl(form)->TextMatrix(r, 6) == QStringLiteral("1"));
        }
    }

    // The run converts what the operator's grid shows: a mark the grid never set (another
    // workstation's select all, or another program) or a mark taken away elsewhere makes F1 read
    // the grid again and convert nothing. A mark the grid set while the price-tag stock-take was
    // up to date is refused once it no longer is, naming the category.
    void theRunConvertsOnlyWhatTheGridShowsAndTheRuleAllows_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("said");
        QTest::newRow("marked elsewhere")
            << QStringLiteral("UPDATE MITEMCNT SET CHK = 1 WHERE ITEM_CD = '%1'")
            << QStringLiteral("別の端末で分類の選択が変更されました");
        QTest::newRow("unmarked elsewhere")
            << QStringLiteral(
                   "UPDATE MITEMCNT SET CHK = 0 WHERE ITEM_CD = (SELECT MIN(ITEM_CD) FROM MITEMCNT "
                   "WHERE CHK = 1)")
            << QStringLiteral("別の端末で分類の選択が変更されました");
        QTest::newRow("stock-take no longer up to date")
            << QStringLiteral("DELETE FROM INEFUDA_CNT WHERE ZAIKOMENT_DT = '2024/03/11'")
            << QStringLiteral("40422");
    }
    void theRunConvertsOnlyWhatTheGridShowsAndTheRuleAllows()
    {
        QFETCH(QString, change);
        QFETCH(QString, said);
        FormFixture f;
        installWithOldStockTake(f);
        const bool stockTake = said == QStringLiteral("40422");
        // Up to date at the start, the load's select all marks every category.
        if (stockTake)
            QVERIFY(f.sql(0, QStringLiteral("INSERT INTO INEFUDA_CNT VALUES ('001', '2024/03/11')")));
        KRT550F1 &form = f.load();
        f.boxes.clear();
        const QString other = f.value(0, QStringLiteral("SELECT ITEM_CD FROM MITEMCNT WHERE INV_FLG = '0' "
                                                        "ORDER BY ITEM_CD LIMIT 1"))
                                  .toString();
        QVERIFY(f.sql(0, change.arg(other)));
        const QStringList before = f.rows(0, QStringLiteral("SELECT * FROM MGOODS ORDER BY rowid"));
        typeRates(form);
        QTest::keyClick(&form, Qt::Key_F1);
        QCOMPARE(f.numbers().size(), 1);
        QVERIFY2(f.numbers()[0].startsWith(said), qPrintable(f.numbers()[0]));
        QVERIFY(f.confirmations.isEmpty());
        if (stockTake)
            QVERIFY2(f.boxes[0].details.contains(other + QStringLiteral("-0")),
                     qPrintable(f.boxes[0].details));
        else
            QVERIFY(!f.gridColumn(0).contains(On));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE UPDATE_DATE IS NOT NULL")),
                 0);
        QCOMPARE(f.rows(0, QStringLiteral("SELECT * FROM MGOODS ORDER BY rowid")), before);
    }

    // Pressing the mouse on one rounding option and releasing it on another selects neither: the
    // rounding the run records is the one shown.
    void aPressDraggedToAnotherOptionChangesNothing()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        ConditionPanel *panel = pic_Jyoukein(form);
        QVERIFY(opt(*panel, "opt_Int")->isChecked());
        QTest::mousePress(opt(*panel, "opt_Round"), Qt::LeftButton);
        QTest::mouseMove(opt(*panel, "opt_Int"));
        QTest::mouseRelease(opt(*panel, "opt_Int"), Qt::LeftButton);
        QVERIFY(opt(*panel, "opt_Int")->isChecked());
        QCOMPARE(describe(usedRounding(*panel)), describe(shownRounding(*panel)));

        QTest::mouseClick(opt(*panel, "opt_RoundDown_Add"), Qt::LeftButton);
        QTest::mousePress(opt(*panel, "opt_Keta_Add", 2), Qt::LeftButton);
        QTest::mouseRelease(opt(*panel, "opt_Int_Add"), Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(opt(*panel, "opt_Keta_Add", 0)->isChecked());
        QCOMPARE(describe(usedRounding(*panel)), describe(shownRounding(*panel)));

        typeRates(form);
        QTest::keyClick(&form, Qt::Key_F1);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("10009")});
        QCOMPARE(f.rows(0, QStringLiteral("SELECT DISTINCT GOODS_HASU_FLG, GOODS_HASU_ICHI, GADD_HASU_FLG, "
                                          "GADD_HASU_ICHI FROM MITEMCNT")),
                 QStringList{QStringLiteral("0|0|2|1")});
    }

    // Whatever sequence of keys and mouse presses reaches the rounding rows, the values the run
    // uses equal the options shown selected after every step.
    void anySequenceOfKeysAndPressesKeepsShownAndUsedEqual()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        ConditionPanel *panel = pic_Jyoukein(form);
        QList<QRadioButton *> options;
        for (const char *name : {"opt_Int", "opt_RoundUp", "opt_RoundDown", "opt_Round", "opt_Int_Add",
                                 "opt_RoundUp_Add", "opt_RoundDown_Add", "opt_Round_Add"})
            options.append(opt(*panel, name));
        for (int i = 0; i < 7; ++i)
            options.append(i < 4 ? opt(*panel, "opt_Keta", i) : opt(*panel, "opt_Keta_Add", i - 4));
        const QList<Qt::Key> keys = {Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Left,  Qt::Key_Right,
                                     Qt::Key_Up,  Qt::Key_Down,    Qt::Key_Space, Qt::Key_Return};
        QRandomGenerator random(20261209);
        QStringList steps;
        for (int step = 0; step < 400; ++step) {
            QRadioButton *target = options[random.bounded(static_cast<int>(options.size()))];
            const int kind = random.bounded(4);
            if (kind == 0 && target->isEnabled()) {
                target->setFocus(Qt::TabFocusReason);
                steps.append(QStringLiteral("focus ") + target->objectName());
            } else if (kind == 1) {
                QRadioButton *other = options[random.bounded(static_cast<int>(options.size()))];
                QTest::mousePress(target, Qt::LeftButton);
                QTest::mouseRelease(other, Qt::LeftButton);
                steps.append(QStringLiteral("press ") + target->objectName() + QStringLiteral(" release ") +
                             other->objectName());
            } else if (kind == 2) {
                QTest::mouseClick(target, Qt::LeftButton);
                steps.append(QStringLiteral("click ") + target->objectName());
            } else {
                const Qt::Key key = keys[random.bounded(static_cast<int>(keys.size()))];
                if (QWidget *focus = QApplication::focusWidget())
                    QTest::keyClick(focus, key);
                steps.append(QStringLiteral("key %1").arg(key, 0, 16));
            }
            f.boxes.clear();
            if (!panel->isAncestorOf(QApplication::focusWidget()))
                opt(*panel, "opt_Int")->setFocus(Qt::TabFocusReason);
            QVERIFY2(usedRounding(*panel) == shownRounding(*panel),
                     qPrintable(QStringLiteral("used %1, shown %2 after:\n")
                                    .arg(describe(usedRounding(*panel)), describe(shownRounding(*panel))) +
                                steps.mid(qMax(0, steps.size() - 8)).join(QLatin1Char('\n'))));
        }
    }

    // Space on a grid line marks or unmarks it exactly as a click does: stored at once, converted
    // lines locked, the stock-take rule in force.
    void spaceMarksALineWithTheRulesOfAClick()
    {
        FormFixture f;
        installWithOldStockTake(f);
        KRT550F1 &form = f.load();
        f.boxes.clear();
        CategoryGrid *grid = lstTbl(form);
        const int inventory = static_cast<int>(f.gridColumn(6).indexOf(QStringLiteral("1")));
        const int other = static_cast<int>(f.gridColumn(6).indexOf(QStringLiteral("0")));
        QVERIFY(inventory >= 0 && other >= 0);

        grid->setFocus(Qt::TabFocusReason);
        grid->setCurrentIndex(grid->model()->index(inventory, 1));
        QCOMPARE(grid->TextMatrix(inventory, 0), On);
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(grid->TextMatrix(inventory, 0), Off);
        const auto chkOf = [&f, grid](int line) {
            return f
                .value(0, QStringLiteral("SELECT IFNULL(CHK, 0) FROM MITEMCNT WHERE ITEM_CD = '%1' AND "
                                         "IFNULL(DETAIL_NO, 0) = %2")
                              .arg(grid->TextMatrix(line, 1), grid->TextMatrix(line, 3).isEmpty()
                                                                  ? QStringLiteral("0")
                                                                  : grid->TextMatrix(line, 3)))
                .toInt();
        };
        QCOMPARE(chkOf(inventory), 0);
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(grid->TextMatrix(inventory, 0), On);
        QCOMPARE(chkOf(inventory), 1);
        QVERIFY(f.boxes.isEmpty());

        grid->setCurrentIndex(grid->model()->index(other, 1));
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("40422")});
        QCOMPARE(grid->TextMatrix(other, 0), Off);
        QCOMPARE(chkOf(other), 0);
    }

    // Before F1 changes anything the operator sees the database, the categories and goods, the
    // conditions and a few goods with their prices now and after, as the database computes them
    // with the run's own expressions. No changes nothing; Yes converts and says what it did, and
    // the run is logged beside the settings.
    void theRunIsConfirmedWithAPreviewSummarizedAndLogged()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        typeRates(form);
        QTest::mouseClick(opt(form, "opt_Round"), Qt::LeftButton);
        QTest::mouseClick(opt(form, "opt_Keta", 1), Qt::LeftButton);
        const QStringList before = f.rows(0, QStringLiteral("SELECT * FROM MGOODS ORDER BY rowid"));
        const QStringList marks = f.gridColumn(0);
        const int categories = unconverted(f);
        const int goods = goodsOfMarked(f);
        QVERIFY(categories > 3 && goods > 20);

        f.confirm = mb::IdNo;
        QTest::keyClick(&form, Qt::Key_F1);
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QCOMPARE(f.confirmations.size(), 1);
        const BoxRequest box = f.confirmations[0];
        QCOMPARE(box.title, QStringLiteral("売価更新"));
        QCOMPARE(box.style, mb::YesNo);
        QCOMPARE(box.text, QStringLiteral("TMCS00（DAT1）の売価を変換します。よろしいですか？"));
        QVERIFY2(box.details.startsWith(
                     QStringLiteral("対象: %1 分類、商品 %2 件\n分類: %3\n"
                                    "計算方法: 税込 8% → 税込 10%\n"
                                    "端数処理: 商品 四捨五入 １０の位、付加 なし\n"
                                    "在庫: 在庫も変換する（システムパラメータ 1200 = 1）\n"
                                    "税抜き → 税込の新税率の初期値: システムパラメータ 3080 = "
                                    "0.08\n変更一覧: %4/VELD/KRT550-changes/")
                         .arg(categories)
                         .arg(goods)
                         .arg(markedCodes(f).join(QStringLiteral(", ")), install::configFolder(f.root()))),
                 qPrintable(box.details));
        static const QRegularExpression sample(
            QStringLiteral("^  (\\S+)-(\\d+)  標準売価 (-?\\d+) → (-?\\d+)  売価 (-?\\d+) → (-?\\d+)$"));
        int samples = 0;
        for (const QString &line : box.details.split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch m = sample.match(line);
            if (!m.hasMatch())
                continue;
            ++samples;
            QCOMPARE(m.captured(4).toLongLong(),
                     exactPrice(m.captured(3).toLongLong(), 8, 10, HasuRoundHalfUp, 2));
            QCOMPARE(m.captured(6).toLongLong(),
                     exactPrice(m.captured(5).toLongLong(), 8, 10, HasuRoundHalfUp, 2));
        }
        QCOMPARE(samples, 5);
        QCOMPARE(f.rows(0, QStringLiteral("SELECT * FROM MGOODS ORDER BY rowid")), before);
        QCOMPARE(f.gridColumn(0), marks);
        QCOMPARE(unconverted(f), categories);
        QVERIFY(lastLogLine(f).isEmpty());

        // The rows the run converts, counted here: stock with a quantity on hand (the installed
        // inventory version is the new one), movements from the system month on.
        const QString marked =
            QStringLiteral(" JOIN MITEMCNT W ON W.ITEM_CD = T.DAI_BUNRUI_CD AND IFNULL(W.DETAIL_NO, 0) "
                           "= IFNULL(T.CHU_BUNRUI_CD, 0) WHERE W.CHK = 1 AND W.UPDATE_DATE IS NULL");
        const int stock = f.count(0, QStringLiteral("SELECT COUNT(*) FROM IZAIKO T") + marked +
                                         QStringLiteral(" AND T.ZAIKO_QTY > 0"));
        const int movements =
            f.count(0, QStringLiteral("SELECT COUNT(*) FROM IIODATA T") + marked +
                           QStringLiteral(" AND T.IO_YM >= (SELECT SYS_YM1 FROM GDATECTL)"));
        QVERIFY(stock > 0 && movements > 0);
        f.confirm = mb::IdYes;
        QTest::keyClick(&form, Qt::Key_F1);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("10009")});
        QVERIFY2(f.boxes[0].details.startsWith(
                     QStringLiteral("変換した分類: %1 件\n商品マスタ (MGOODS): %2 行\n"
                                    "在庫 (IZAIKO): %3 行\n入出庫 (IIODATA): %4 行\n変更一覧: ")
                         .arg(categories)
                         .arg(goods)
                         .arg(stock)
                         .arg(movements)),
                 qPrintable(f.boxes[0].details));
        const QStringList fields = lastLogLine(f).split(QLatin1Char('\t'));
        QCOMPARE(fields.mid(1, 2), (QStringList{QStringLiteral("TMCS00"), QStringLiteral("DAT1")}));
        for (const QString &field :
             {QStringLiteral("在庫区分=1"), QStringLiteral("計算方法=1"), QStringLiteral("旧税率=8"),
              QStringLiteral("新税率=10"), QStringLiteral("商品端数=3"), QStringLiteral("商品桁=2"),
              QStringLiteral("付加端数=0"), QStringLiteral("分類=%1").arg(categories),
              QStringLiteral("MGOODS=%1").arg(goods), QStringLiteral("結果=正常終了")})
            QVERIFY2(fields.contains(field),
                     qPrintable(field + QStringLiteral(" in ") + fields.join(QLatin1Char(' '))));
    }

    // The real confirmation box has No as its default: Enter keeps everything.
    void enterOnTheRealConfirmationKeepsEverything()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        typeRates(form);
        const int categories = unconverted(f);
        MessageBoxes::setResponder({});
        QString question;
        QTimer::singleShot(0, &form, [&question] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            question = box->text();
            QTest::keyClick(box, Qt::Key_Return);
        });
        QTest::keyClick(&form, Qt::Key_F1);
        QVERIFY2(question.contains(QStringLiteral("よろしいですか")), qPrintable(question));
        QCOMPARE(unconverted(f), categories);
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE UPDATE_DATE IS NOT NULL")),
                 0);
    }

    // A run shows which category it converts; while it runs the window neither closes nor takes
    // commands; Stop ends it after the category under way has committed, the rest stays marked,
    // and the next F1 carries on with it.
    void stopEndsTheRunBetweenCategoriesAndTheNextRunCarriesOn()
    {
        FormFixture f;
        QVERIFY(f.install());
        KRT550F1 &form = f.load();
        typeRates(form);
        const int categories = unconverted(f);
        QVERIFY(categories > 3);
        QString label;
        bool stopped = false;
        const VisibleSteps steps(form);
        QTimer poll;
        poll.setInterval(0);
        connect(&poll, &QTimer::timeout, &form, [&] {
            auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget());
            if (stopped || !progress || progress->value() < 2)
                return;
            label = progress->labelText();
            form.close();
            QTest::keyClick(&form, Qt::Key_F5);
            QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
            stopped = true;
        });
        poll.start();
        QTest::keyClick(&form, Qt::Key_F1);
        poll.stop();
        QVERIFY(stopped);
        QVERIFY(form.isVisible());
        QVERIFY2(label.startsWith(QStringLiteral("分類 3 / %1 を変換しています（").arg(categories)),
                 qPrintable(label));
        QCOMPARE(f.boxes.size(), 1);
        QVERIFY2(f.boxes[0].text.startsWith(QStringLiteral("売価の変換を中止しました。")),
                 qPrintable(f.boxes[0].text));
        QVERIFY(f.boxes[0].text.contains(QStringLiteral("変換した分類: 2 件")));
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE UPDATE_DATE IS NOT NULL")),
                 2);
        QCOMPARE(unconverted(f), categories - 2);
        QCOMPARE(static_cast<int>(f.gridColumn(0).count(On)), categories - 2);
        QVERIFY(lastLogLine(f).contains(QStringLiteral("\t分類=2\t")));
        QVERIFY(lastLogLine(f).endsWith(QStringLiteral("結果=中止")));

        f.boxes.clear();
        QTest::keyClick(&form, Qt::Key_F1);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("10009")});
        QCOMPARE(f.count(0, QStringLiteral("SELECT COUNT(*) FROM MITEMCNT WHERE UPDATE_DATE IS NOT NULL")),
                 categories);
        QVERIFY(lastLogLine(f).contains(QStringLiteral("\t分類=%1\t").arg(categories - 2)));
    }
};

QTEST_MAIN(TestFormSafety)
#include "tst_form_safety.moc"
