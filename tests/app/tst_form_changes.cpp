#include "support/formfixture.h"

#include "widgets/changelistpreview.h"

#include <QDir>
#include <QInputDialog>
#include <QRegularExpression>

#include <map>
#include <set>

using namespace krt;
using namespace krt::testing;

namespace {

const QString Prices =
    QStringLiteral("HYOJYUN_PRC, KOURI_PRC, OROSI_PRC, H_ADD1_PRC, K_ADD1_PRC, O_ADD1_PRC, "
                   "H_ADD2_PRC, K_ADD2_PRC, O_ADD2_PRC");

// The goods by JAN code: category heading, name, then the nine prices as the change list writes
// them (Null empty).
std::map<QString, QStringList> goods(const FormFixture &f)
{
    std::map<QString, QStringList> byJan;
    const std::optional<QList<QVariantList>> rows = f.records(
        0, QStringLiteral("SELECT JAN_CD, DAI_BUNRUI_CD || '-' || IFNULL(CHU_BUNRUI_CD, 0), GOODS_NM, ") +
               Prices + QStringLiteral(" FROM MGOODS"));
    for (const QVariantList &row : rows.value_or(QList<QVariantList>())) {
        QStringList fields{row[1].toString(), row[2].toString()};
        for (qsizetype p = 3; p < row.size(); ++p)
            fields.append(row[p].isNull() ? QString() : QString::number(row[p].toDouble(), 'g', 15));
        byJan[row[0].toString()] = fields;
    }
    return byJan;
}

// The preview's text: the lines of its heading, the category headings in their order, and
// "category|JAN|name|standard|retail" per goods line, each under the category heading last seen
// before it.
struct Preview
{
    QStringList heading;
    QStringList categories;
    QStringList goods;
};

Preview readPreview(const QString &text)
{
    static const QRegularExpression category(QStringLiteral("^分類 (\\S+)（\\d+ 件）$"));
    static const QRegularExpression jan(QStringLiteral("^49\\d{11}$"));
    Preview preview;
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QString current;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch m = category.match(lines[i]);
        if (m.hasMatch())
            preview.categories.append(current = m.captured(1));
        else if (current.isEmpty())
            preview.heading.append(lines[i]);
        else if (jan.match(lines[i]).hasMatch() && i + 3 < lines.size())
            preview.goods.append(
                QStringList{current, lines[i], lines[i + 1], lines[i + 2], lines[i + 3]}.join(
                    QLatin1Char('|')));
    }
    return preview;
}

} // namespace

class TestFormChanges : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        ChangeListPreview::setPreviewSeam(
            [this](const QTextDocument &document) { m_previews.append(document.toPlainText()); });
    }
    void cleanup()
    {
        ChangeListPreview::setPreviewSeam({});
        m_previews.clear();
    }

    // Before any run F8 says there is no change list. Then it previews the last run's: headed by
    // the database and the run's time, each goods row whose prices the run changed under its
    // category, with its standard and retail price before and after; goods the run left as they
    // were are not in it. With an earlier run beside it the operator chooses, newest first.
    void f8PreviewsTheChangedGoodsOfARunByCategory()
    {
        FormFixture f;
        QVERIFY(f.install());
        f.setSetting(QStringLiteral("Common/GoodsKeyColumns"), QStringLiteral("JAN_CD"));
        f.setSetting(QStringLiteral("Common/GoodsNameColumn"), QStringLiteral("GOODS_NM"));
        // Prices of zero stay zero.
        QVERIFY(f.sql(0, QStringLiteral("UPDATE MGOODS SET (") + Prices +
                             QStringLiteral(") = (0, 0, 0, 0, 0, 0, 0, 0, 0) WHERE JAN_CD = "
                                            "(SELECT MIN(JAN_CD) FROM MGOODS)")));
        const std::map<QString, QStringList> before = goods(f);
        KRT550F1 &form = f.load();
        const QString folder = install::configFolder(f.root()) + QStringLiteral("/VELD/KRT550-changes");
        QTest::keyClick(&form, Qt::Key_F8);
        QVERIFY(m_previews.isEmpty());
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("TMCS00（DAT1）の変更一覧はありません。\n"
                                                         "変更一覧のフォルダ: ") +
                                          QDir::toNativeSeparators(folder)});
        f.boxes.clear();
        form.clock().setFixed(QDateTime(QDate(2031, 10, 1), QTime(21, 30, 5)));
        typeRates(form);
        QTest::keyClick(&form, Qt::Key_F1);
        QCOMPARE(f.numbers(), QStringList{QStringLiteral("10009")});
        QStringList expected;
        for (const auto &[jan, after] : goods(f)) {
            const QStringList &old = before.at(jan);
            if (old.mid(2) != after.mid(2))
                expected.append(QStringList{after[0], jan, after[1],
                                            old[2] + QStringLiteral(" → ") + after[2],
                                            old[3] + QStringLiteral(" → ") + after[3]}
                                    .join(QLatin1Char('|')));
        }
        QVERIFY(expected.size() > 100 && expected.size() < int(before.size()));
        // The categories with changed goods, in the order of their codes (the sub-category numbers
        // here have one digit).
        std::set<QString> categories;
        for (const QString &line : expected)
            categories.insert(line.section(QLatin1Char('|'), 0, 0));

        f.boxes.clear();
        QTest::keyClick(&form, Qt::Key_F8);
        QVERIFY2(f.boxes.isEmpty(), qPrintable(f.numbers().join(QLatin1Char(','))));
        QCOMPARE(m_previews.size(), 1);
        Preview preview = readPreview(m_previews[0]);
        QCOMPARE(preview.heading.mid(0, 3),
                 (QStringList{QStringLiteral("売価変更一覧"), QStringLiteral("データベース TMCS00（DAT1）"),
                              QStringLiteral("実行日時 2031/10/01 21:30:05")}));
        QCOMPARE(preview.categories, QStringList(categories.begin(), categories.end()));
        preview.goods.sort();
        expected.sort();
        QCOMPARE(preview.goods, expected);

        // An earlier run's list, its name quoted as the list quotes it.
        QFile earlier(folder + QStringLiteral("/20300102-090000-TMCS00.csv"));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write(
            "\xEF\xBB\xBF分類コード,中分類コード,JAN_CD,GOODS_NM,HYOJYUN_PRC_旧,HYOJYUN_PRC_新,KOURI_PRC_旧,"
            "KOURI_PRC_新,変更\r\nA1,,4900000000001,\"x,\"\"y\"\"\",100,110,200,220,1\r\n"
            "A1,0,4900000000002,z,100,100,200,200,0\r\n");
        earlier.close();
        QStringList offered;
        QTimer::singleShot(0, &form, [&offered] {
            auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            offered = dialog->comboBoxItems();
            dialog->setTextValue(offered.value(1));
            dialog->accept();
        });
        QTest::keyClick(&form, Qt::Key_F8);
        QCOMPARE(offered,
                 (QStringList{QStringLiteral("2031/10/01 21:30:05"), QStringLiteral("2030/01/02 09:00:00")}));
        QCOMPARE(m_previews.size(), 2);
        preview = readPreview(m_previews[1]);
        QCOMPARE(preview.heading.value(2), QStringLiteral("実行日時 2030/01/02 09:00:00"));
        QCOMPARE(preview.goods,
                 QStringList{QStringLiteral("A1-0|4900000000001|x,\"y\"|100 → 110|200 → 220")});
    }

private:
    QStringList m_previews;
};

QTEST_MAIN(TestFormChanges)
#include "tst_form_changes.moc"
