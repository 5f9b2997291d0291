#include "QtTestSupport.h"
#include "app/MainFormUnit.h"
#include "app/SettingFormUnit.h"
#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "render/ProgressWindow.h"
#include "render/SppList.h"

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>

// The start page and drops on the window, in the real view.
class StartPageTest : public QObject
{
    Q_OBJECT

    QTemporaryDir program_;
    TRecordingMessageBox box_;
    TRecordingOutsideBrowser browser_;
    TRecordingOpenDialog open_;
    TRecordingPathsDialog paths_;
    TQtProgressWindowFactory progress_;
    TSppList spp_ { true, box_, progress_ };
    std::unique_ptr<TMainForm> form_;

    std::string Folder() const { return FromNativePath(program_.path().toStdString()) + "/"; }
    QWebEngineView* View() { return form_->MozillaBrowser(); }

    // The form's start, showing the start page.
    bool ShowStart()
    {
        QSignalSpy loaded(View(), &QWebEngineView::loadFinished);
        form_->ShowStartPage();
        return QTest::qWaitFor([&] { return !loaded.isEmpty(); }, 20000) && form_->StartPageShown();
    }

    // Closes each modal dialog as it comes up and says what it was; a dialog opened from a click
    // runs its own loop, which only a timer reaches.
    struct TDialogCloser
    {
        QTimer timer;
        QStringList seen;
        bool serverFocused = false;
        TDialogCloser()
        {
            timer.setInterval(10);
            QObject::connect(&timer, &QTimer::timeout, [this] {
                auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                if (!dialog)
                    return;
                seen << QString::fromLatin1(dialog->metaObject()->className());
                if (auto* settings = qobject_cast<TSettingForm*>(dialog))
                    serverFocused = settings->focusWidget() == settings->ServerEdit;
                dialog->reject();
            });
            timer.start();
        }
    };

    // Drags the files over the view and drops them, as the desktop does.
    static bool Drop(QWidget* target, const QList<QUrl>& urls)
    {
        QMimeData data;
        data.setUrls(urls);
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &drop);
        return enter.isAccepted() && drop.isAccepted();
    }

private slots:
    void initTestCase()
    {
        for (const char* name : { "tagpat.txt", "metapat.txt", "log.txt", "styleIE.css" })
            QVERIFY(QFile::copy(
                QStringLiteral(VELMO_SOURCE_DIR "/data/") + name, program_.filePath(name)));
        // Nothing listens there: no test reaches a server.
        WriteFileAtomic(
            Folder() + "velmo.ini", "[General]\r\nSppDir=/x\r\nBottleServer=127.0.0.1:9\r\n");
    }

    void init()
    {
        form_ = std::make_unique<TMainForm>(
            TMainFormEnvironment { TAppFolders::Portable(Folder(), "velmo"), &box_, &browser_,
                &spp_, &open_, false, &paths_, nullptr });
        form_->resize(900, 700);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QVERIFY(ShowStart());
    }

    void cleanup() { form_.reset(); }

    // The first start's page says what the program is; each of its links runs its command, the
    // demo last, after which the start page is gone for the session.
    void StartLinksRunTheirCommands()
    {
        QVariant text;
        View()->page()->toPlainText([&](const QString& t) { text = t; });
        QTRY_VERIFY_WITH_TIMEOUT(text.isValid(), 10000);
        QVERIFY(
            text.toString().contains(QStringLiteral("SSTP Bottle のメッセージログを読むビューア")));
        const struct
        {
            const char* href;
            const char* dialog;
        } links[] = {
            { "http://velmostart.server", "TSettingForm" },
            { "http://velmostart.logdl", "TLogDownForm" },
        };
        TDialogCloser closer;
        for (const auto& link : links) {
            QVERIFY(ClickLink(View(), QString::fromLatin1(link.href)));
            QTRY_VERIFY_WITH_TIMEOUT(closer.seen.contains(QString::fromLatin1(link.dialog)), 10000);
        }
        QVERIFY(closer.serverFocused);
        QVERIFY(ClickLink(View(), QStringLiteral("http://velmostart.import")));
        QTRY_COMPARE_WITH_TIMEOUT(paths_.asked, 1, 10000);
        QVERIFY(ClickLink(View(), QStringLiteral("http://velmostart.demo")));
        // Loaded, the status says what is shown.
        QTRY_VERIFY_WITH_TIMEOUT(View()->url().fileName() == QStringLiteral("long1.html")
                && form_->StatusText() == QStringLiteral("デモのログを表示しています"),
            20000);
        QVERIFY(form_->MessageList.Count() > 0);
        QVERIFY(!form_->StartPageShown());
        form_->ShowStartPage();
        QVERIFY(!form_->StartPageShown());
        QCOMPARE(closer.seen.size(), 2);
    }

    // Another page of the program's folder, even with the links in a command block, cannot run
    // the start page's commands.
    void ForgedStartLinksDoNothing()
    {
        WriteFileAtomic(Folder() + "forged.html",
            "<html><body><div class=\"header\"><a href=\"http://velmostart.demo\">demo</a> "
            "<a href=\"http://velmostart.server\">server</a></div></body></html>");
        const QUrl forged = QUrl::fromLocalFile(program_.filePath(QStringLiteral("forged.html")));
        QVERIFY(LoadAndWait(View(), forged));
        TDialogCloser closer;
        QVERIFY(ClickLink(View(), QStringLiteral("http://velmostart.demo")));
        QVERIFY(ClickLink(View(), QStringLiteral("http://velmostart.server")));
        // Once the page is loaded again, what its clicks sent has been handled.
        QVERIFY(LoadAndWait(View(), forged));
        QVERIFY(form_->MessageList.Empty());
        QVERIFY(closer.seen.isEmpty());
        QCOMPARE(View()->url(), forged);
    }

    // A fetched log and a Sent.log dropped on the view show as their menu commands show them;
    // anything else is refused in the status bar and the page stays.
    void DroppedLogsShowAndOtherDropsChangeNothing()
    {
        WriteFileAtomic(Folder() + "mine.log", "ch,dropped,2026/12/08 09:00:00,\\h\\s0x\\e\r\n");
        WriteFileAtomic(Folder() + "notes.txt", "dear diary\r\n");
        const auto url = [&](const char* name) {
            return QUrl::fromLocalFile(program_.filePath(QString::fromLatin1(name)));
        };
        QWidget* target = View()->focusProxy();
        QVERIFY(target);
        const QUrl start = View()->url();
        const struct
        {
            QList<QUrl> urls;
            QString status;
        } refused[] = {
            { { url("notes.txt") }, QStringLiteral("取得したログでも Sent.log でもない") },
            { { url("log.txt"), url("mine.log") }, QStringLiteral("ドロップできるのは1つ") },
            { { QUrl(QStringLiteral("https://example.org/log.txt")) },
                QStringLiteral("ドロップされたものはファイルではありません") },
            { { QUrl::fromLocalFile(program_.path()) },
                QStringLiteral("フォルダは表示できません") },
        };
        for (const auto& c : refused) {
            QVERIFY(Drop(target, c.urls));
            QTRY_VERIFY_WITH_TIMEOUT(form_->StatusText().startsWith(c.status), 10000);
            QVERIFY(form_->MessageList.Empty());
            QCOMPARE(View()->url(), start);
        }
        QVERIFY(Drop(target, { url("log.txt") }));
        QTRY_VERIFY_WITH_TIMEOUT(View()->url().fileName() == QStringLiteral("long1.html"), 20000);
        QVERIFY(form_->MessageList.Count() > 1);
        QVERIFY(Drop(form_.get(), { url("mine.log") }));
        QTRY_COMPARE_WITH_TIMEOUT(form_->MessageList.Count(), 1, 10000);
        QCOMPARE(form_->MessageList.Items(0).Ghost, std::string("dropped"));
        QVERIFY(open_.asked.empty());
    }
};

int RunStartPageTest(int argc, char** argv)
{
    StartPageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "StartPageTest.moc"
