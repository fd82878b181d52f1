#include "widgets/messagebox.h"
#include "widgets/messages.h"
#include "widgets/numberedmessages.h"
#include "widgets/screenpointer.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace krt;

class TestMessages : public QObject
{
    Q_OBJECT

private:
    QList<BoxRequest> m_shown;
    int m_answer = mb::IdOk;

    void answerWith(int answer)
    {
        m_answer = answer;
        MessageBoxes::setResponder([this](const BoxRequest &request) {
            m_shown.append(request);
            return m_answer;
        });
    }

private Q_SLOTS:
    void init()
    {
        m_shown.clear();
        QLB318C1::setCatalogPath({});
        answerWith(mb::IdOk);
    }
    void cleanup()
    {
        MessageBoxes::setResponder({});
        QLB318C1::setCatalogPath({});
        setScreenPointer(PointerDefault);
    }

    void yesNoQuestionReturnsTheWindowsAnswerCodes()
    {
        answerWith(mb::IdNo);
        QCOMPARE(ShowMessage(QStringLiteral("40418"), mb::YesNo, AppTitle), 7);
        answerWith(mb::IdYes);
        QCOMPARE(ShowMessage(QStringLiteral("40418"), mb::YesNo, AppTitle), 6);
        QCOMPARE(m_shown.size(), 2);
        QCOMPARE(m_shown[0].kind, BoxRequest::Kind::Numbered);
        QCOMPARE(m_shown[0].msgNo, QStringLiteral("40418"));
        QCOMPARE(m_shown[0].style, mb::YesNo);
        QCOMPARE(m_shown[0].title, QStringLiteral("売価更新"));
        QVERIFY(!m_shown[0].text.isEmpty());
    }

    void emptyTitleFallsBackToTheProcessingTitle()
    {
        QCOMPARE(ShowMessage(QStringLiteral("10009"), mb::OkOnly, QString()), mb::IdOk);
        QCOMPARE(m_shown.size(), 1);
        QCOMPARE(m_shown[0].title, QStringLiteral("売価更新処理"));
        QCOMPARE(m_shown[0].style, mb::OkOnly);
    }

    void everyNumberTheProgramUsesHasAText()
    {
        const auto component = QLB318C1::create();
        QVERIFY(component);
        for (const char *number :
             {"10009", "11002", "40035", "40275", "40418", "40419", "40420", "40422", "40423", "40424"})
            QVERIFY2(!component->text(QString::fromLatin1(number)).isEmpty(), number);
    }

    void missingCatalogShowsThePlainFallbackAndAnswersZero()
    {
        QTemporaryDir dir;
        QLB318C1::setCatalogPath(dir.filePath(QStringLiteral("missing.tsv")));
        QCOMPARE(ShowMessage(QStringLiteral("40419"), mb::OkOnly, AppTitle), 0);
        QCOMPARE(m_shown.size(), 1);
        QCOMPARE(m_shown[0].kind, BoxRequest::Kind::Plain);
        QCOMPARE(m_shown[0].text, QStringLiteral("MsgBox Eorror MSGNO = 40419"));
        QVERIFY(m_shown[0].title.isEmpty());
    }

    void unknownNumberCountsAsAFailedCall()
    {
        QCOMPARE(ShowMessage(QStringLiteral("99999"), mb::OkOnly, AppTitle), 0);
        QCOMPARE(m_shown.size(), 1);
        QCOMPARE(m_shown[0].text, QStringLiteral("MsgBox Eorror MSGNO = 99999"));
    }

    void thePointerIsTheNormalOneWhileAMessageShows()
    {
        int pointerDuringMessage = -1;
        MessageBoxes::setResponder([&](const BoxRequest &) {
            pointerDuringMessage = screenPointer();
            return mb::IdOk;
        });
        setScreenPointer(PointerHourglass);
        QCOMPARE(screenPointer(), PointerHourglass);
        ShowMessage(QStringLiteral("40035"), mb::OkOnly, AppTitle);
        QCOMPARE(pointerDuringMessage, PointerDefault);

        setScreenPointer(PointerHourglass);
        ShowDbError(QStringLiteral("11002"), {}, 0, AppTitle);
        QCOMPARE(pointerDuringMessage, PointerDefault);
    }

    void databaseErrorCarriesTheDriverDetails()
    {
        const DbErrors errors = {{QStringLiteral("no such table: MITEMCNT"), QStringLiteral("1"),
                                  QStringLiteral("SELECT COUNT(*) AS CNT FROM MITEMCNT"),
                                  QStringLiteral("QSQLITE")}};
        ShowDbError(QStringLiteral("11002"), errors, 0, AppTitle,
                    CurrentError{5, QStringLiteral("KRT550"), QStringLiteral("invalid call")});
        QCOMPARE(m_shown.size(), 1);
        const BoxRequest &box = m_shown[0];
        QCOMPARE(box.kind, BoxRequest::Kind::DbError);
        QCOMPARE(box.msgNo, QStringLiteral("11002"));
        QVERIFY(box.details.contains(QStringLiteral("no such table: MITEMCNT")));
        QVERIFY(box.details.contains(QStringLiteral("(1)")));
        QVERIFY(box.details.contains(QStringLiteral("SELECT COUNT(*) AS CNT FROM MITEMCNT")));
        QVERIFY(box.details.contains(QStringLiteral("invalid call")));
    }

    void theRealBoxIsModalAndAnswersNo()
    {
        MessageBoxes::setResponder({});
        QString seenText;
        QString seenTitle;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            seenText = box->text();
            seenTitle = box->windowTitle();
            box->button(QMessageBox::No)->click();
        });
        QCOMPARE(ShowMessage(QStringLiteral("40418"), mb::YesNo, AppTitle), mb::IdNo);
        QVERIFY(seenText.contains(QStringLiteral("よろしいですか")));
        QCOMPARE(seenTitle, QStringLiteral("売価更新"));
    }

    void theRealYesNoBoxKeepsEverythingOnEnterSpaceAndEscape_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
        QTest::newRow("Space") << int(Qt::Key_Space);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }

    // The key goes to the box's window as the operator's keyboard sends it, so it reaches the
    // button that has the focus.
    void theRealYesNoBoxKeepsEverythingOnEnterSpaceAndEscape()
    {
        QFETCH(int, key);
        MessageBoxes::setResponder({});
        bool defaultIsNo = false;
        bool closedByKey = false;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            // A box that the key did not close is closed with Yes, which the test then sees.
            QTimer::singleShot(1000, box, [box] { box->button(QMessageBox::Yes)->click(); });
            defaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
            QVERIFY(QTest::qWaitForWindowActive(box));
            QTest::keyClick(box->windowHandle(), Qt::Key(key));
            closedByKey = !box->isVisible();
        });
        QCOMPARE(ShowMessage(QStringLiteral("40418"), mb::YesNo, AppTitle), mb::IdNo);
        QVERIFY(defaultIsNo);
        QVERIFY(closedByKey);
    }
};

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
