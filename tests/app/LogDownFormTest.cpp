#include "QtTestSupport.h"
#include "app/MainFormUnit.h"
#include "log/LogDownFormUnit.h"
#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "render/ProgressWindow.h"
#include "render/SppList.h"
#include "tools/bottleserver/BottleServerCore.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

class LogDownFormTest : public QObject
{
    Q_OBJECT

    QTemporaryDir work_;
    QProcess server_;
    TBottleServer endpoint_ = TBottleServer::Parse("127.0.0.1:1");
    TDateTime lastStamp_ = 0;

private slots:
    void initTestCase()
    {
        // Ten messages in the last hour, from the real bundled server.
        std::string log = "Result: OK\r\nh\r\nh\r\n";
        const TDateTime now = Now();
        for (int i = 10; i >= 1; --i) {
            const std::string stamp = TBottleServerCore::Stamp(now - i * 5.0 / 1440);
            lastStamp_ = *TBottleServerCore::ParseStamp(stamp);
            log += stamp + "\tm" + std::to_string(i) + "\tch\tghost\t1\t2\t3\t\\h\\s0hi\r\n";
        }
        WriteFileAtomic(work_.filePath("log.txt").toStdString(), log);
        server_.start(QStringLiteral(VELMO_BIN_DIR "/velmo-bottle-server"),
            { "--port", "0", "--log", work_.filePath("log.txt") });
        QVERIFY(server_.waitForReadyRead(10000));
        endpoint_ = TBottleServer::Parse("127.0.0.1:"
            + QString::fromUtf8(server_.readLine()).trimmed().section(':', -1).toStdString());
    }

    void cleanupTestCase()
    {
        server_.terminate();
        server_.waitForFinished(10000);
    }

    void OpensOnTheFirstRowWithTodayAndNow()
    {
        TLogDownForm dialog(nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("条件指定"));
        QVERIFY(dialog.TimeRadioButton->isChecked());
        QCOMPARE(dialog.TimeSpinEdit->value(), 1);
        QCOMPARE(dialog.TimeSpinEdit->minimum(), 1);
        QCOMPARE(dialog.TimeSpinEdit->maximum(), 5000);
        QCOMPARE(dialog.UnitComboBox->currentText(), QStringLiteral("時間"));
        QCOMPARE(dialog.DateTimePicker1->date(), QDate::currentDate());
        QCOMPARE(dialog.DateTimePicker3->date(), QDate::currentDate());
        QVERIFY(qAbs(dialog.DateTimePicker4->time().secsTo(QTime::currentTime())) < 5);
        QVERIFY(dialog.OKButton->isDefault());
        QCOMPARE(FetchQuery(dialog.Request(), Now()), std::string("?recent=60"));
    }

    void NothingIsCutInTheFormFontOrTwiceIt()
    {
        for (const int pixels : { 12, 24 }) {
            QWidget owner;
            owner.setFont(FormFont(pixels));
            TLogDownForm dialog(&owner);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            VerifyNothingCut(dialog, pixels == 12 ? QSize(440, 150) : QSize(1024, 768));
            if (QTest::currentTestFailed())
                return;
        }
    }

    void ChangingAControlSelectsItsRow()
    {
        TLogDownForm dialog(nullptr);
        dialog.DateTimePicker2->setDate(QDate(2004, 6, 15));
        QVERIFY(dialog.DateRadioButton->isChecked());
        dialog.DateTimePicker4->setTime(QTime(9, 0));
        QVERIFY(dialog.FromRadioButton->isChecked());
        dialog.UnitComboBox->setCurrentIndex(1);
        QVERIFY(dialog.TimeRadioButton->isChecked());
        dialog.DateTimePicker3->setDate(QDate(2004, 6, 1));
        QVERIFY(dialog.FromRadioButton->isChecked());
        dialog.TimeSpinEdit->setValue(3);
        QVERIFY(dialog.TimeRadioButton->isChecked());
        QCOMPARE(FetchQuery(dialog.Request(), Now()), std::string("?recent=4320"));
        // The unit box offers its three entries only; the count takes full-width digits as an
        // input method types them.
        QVERIFY(!dialog.UnitComboBox->isEditable());
        QCOMPARE(dialog.UnitComboBox->count(), 3);
        auto* line = dialog.TimeSpinEdit->findChild<QLineEdit*>();
        line->selectAll();
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("１５"));
        QApplication::sendEvent(line, &commit);
        QCOMPARE(dialog.TimeSpinEdit->value(), 15);
        QCOMPARE(FetchQuery(dialog.Request(), Now()), std::string("?recent=21600"));
    }

    void OkClosesTheDialogWithItsRequest()
    {
        TLogDownForm dialog(nullptr);
        dialog.TimeSpinEdit->setValue(3);
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(FetchQuery(dialog.Request(), Now()), std::string("?recent=180"));
    }

    // The downloaded-log view through the modal dialog, then the continue view from the last
    // message's time: nothing newer has arrived, so the status bar says so and the pages stay.
    void DownloadedLogThenContinue()
    {
        QTemporaryDir program;
        for (const char* name : { "tagpat.txt", "metapat.txt" })
            QFile::copy(QStringLiteral(VELMO_SOURCE_DIR "/data/") + name, program.filePath(name));
        const std::string folder = FromNativePath(program.path().toStdString()) + "/";
        WriteFileAtomic(folder + "velmo.ini",
            "[General]\r\nSppDir=/x\r\nBottleServer=" + endpoint_.Url("").substr(7) + "\r\n");
        TRecordingMessageBox box;
        TRecordingOutsideBrowser browser;
        TRecordingOpenDialog open;
        TQtProgressWindowFactory progress;
        TSppList spp(true, box, progress);
        TMainForm form({ TAppFolders::Portable(folder, "velmo"), &box, &browser, &spp, &open });

        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<TLogDownForm*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->OKButton->click();
        });
        form.findChild<QAction*>(QStringLiteral("LogDLMenu"))->trigger();
        QVERIFY(WaitForView(form));
        QCOMPARE(form.MessageList.Count(), 10);
        QVERIFY(QFile::exists(program.filePath("long1.html")));
        QCOMPARE(form.LastMessageTime, lastStamp_);
        QVERIFY(box.shown.empty());

        QFile::remove(program.filePath("long1.html"));
        form.findChild<QAction*>(QStringLiteral("ContinueMenu"))->trigger();
        QVERIFY(WaitForView(form));
        // The pages shown keep the messages their links act on.
        QCOMPARE(form.MessageList.Count(), 10);
        QCOMPARE(form.StatusText(), QStringLiteral("表示するメッセージはありません。"));
        QVERIFY(!QFile::exists(program.filePath("long1.html")));
        QCOMPARE(form.LastMessageTime, lastStamp_);

        // A server that cannot be reached: the messages kept from the first view answer, and
        // the status bar says why; nothing else is read as a log.
        form.BottleServer = TBottleServer::Parse("127.0.0.1:1");
        QTimer::singleShot(0, [] {
            qobject_cast<TLogDownForm*>(QApplication::activeModalWidget())->OKButton->click();
        });
        form.findChild<QAction*>(QStringLiteral("LogDLMenu"))->trigger();
        QVERIFY(WaitForView(form));
        QVERIFY(box.shown.empty());
        QCOMPARE(form.MessageList.Count(), 10);
        QVERIFY(form.StatusText().startsWith(QStringLiteral("サーバーに接続できないので")));
        QVERIFY(form.StatusText().contains(
            QStringLiteral("サーバーに接続できません (127.0.0.1:1): Connection refused")));
    }
};

int RunLogDownFormTest(int argc, char** argv)
{
    LogDownFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "LogDownFormTest.moc"
