// The window's views in the background: a slow download keeps the window answering and can be
// cancelled, a failure is said once, and the first page shows before the rest are written.

#include "app/ViewRunner.h"

#include "QtTestSupport.h"
#include "app/MainFormUnit.h"
#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "platform/QtText.h"
#include "render/ProgressWindow.h"
#include "render/SppList.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

std::string Folder(const QTemporaryDir& dir)
{
    return FromNativePath(dir.path().toStdString()) + "/";
}

// A bottle server on loopback that sends its log slowly: a line every few milliseconds, as a
// throttled link would.
class TSlowServer
{
public:
    explicit TSlowServer(int lines)
    {
        web_.Get("/fetchlog.cgi", [this, lines](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider(
                "text/plain", [this, lines](size_t, httplib::DataSink& sink) {
                    std::string text = "Result: OK\r\nh\r\nh\r\n";
                    for (int i = 0; i < lines && !stopping_; ++i) {
                        text += "20260101120000\tm" + std::to_string(i)
                            + "\tch\tghost\t1\t0\t0\t\\h\\s0hi\r\n";
                        if (!sink.write(text.data(), text.size()))
                            return false;
                        text.clear();
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    }
                    sink.done();
                    return true;
                });
        });
        port_ = web_.bind_to_any_port("127.0.0.1");
        serving_ = std::thread([this] { web_.listen_after_bind(); });
    }
    ~TSlowServer()
    {
        stopping_ = true;
        web_.stop();
        serving_.join();
    }
    TBottleServer Endpoint() const
    {
        return TBottleServer::Parse("127.0.0.1:" + std::to_string(port_));
    }

private:
    httplib::Server web_;
    std::atomic<bool> stopping_ { false };
    int port_ = 0;
    std::thread serving_;
};

} // namespace

class ViewRunnerTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    TRecordingMessageBox box_;
    TRecordingOutsideBrowser browser_;
    TQtProgressWindowFactory progress_;
    TSppList spp_ { true, box_, progress_ };
    TRecordingOpenDialog open_;

    std::unique_ptr<TMainForm> NewForm()
    {
        const std::string folder = Folder(dir_);
        WriteFileAtomic(folder + "velmo.ini", "[General]\r\nSppDir=/x\r\n");
        TAppFolders folders = TAppFolders::Portable(folder, "velmo");
        return std::make_unique<TMainForm>(
            TMainFormEnvironment { folders, &box_, &browser_, &spp_, &open_ });
    }

private slots:
    void initTestCase()
    {
        for (const char* name : { "tagpat.txt", "metapat.txt", "styleIE.css" })
            QVERIFY(
                QFile::copy(QStringLiteral(VELMO_SOURCE_DIR "/data/") + name, dir_.filePath(name)));
    }

    void init() { box_ = {}; }

    // While a slow download runs the window answers its timers, the status bar counts the bytes,
    // no other view starts, and Esc stops it with the view as it was.
    void SlowDownloadKeepsTheWindowAnsweringAndCancels()
    {
        TSlowServer server(4000);
        auto form = NewForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->BottleServer = server.Endpoint();
        QAction* local = form->findChild<QAction*>(QStringLiteral("LocalLogMenu"));
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(10);
        form->findChild<QAction*>(QStringLiteral("ContinueMenu"))->trigger();
        QVERIFY(form->ViewRunner()->Gathering());
        QTRY_VERIFY(form->StatusText().startsWith(QStringLiteral("ログを受信しています: ")));
        QTRY_VERIFY(ticks >= 10);
        QVERIFY(form->ViewRunner()->Gathering());
        QVERIFY(!local->isEnabled());
        QVERIFY(form->findChild<QPushButton*>(QStringLiteral("CancelButton"))->isVisible());
        QTest::keyClick(form.get(), Qt::Key_Escape);
        QVERIFY(WaitForView(*form));
        QVERIFY(form->MessageList.Empty());
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("long1.html"))));
        QCOMPARE(
            form->StatusText(), QStringLiteral("ログを受け取れませんでした: 受信を中止しました"));
        QVERIFY(box_.Texts() == std::vector<std::string> {});
        QVERIFY(local->isEnabled());
        QVERIFY(!form->findChild<QPushButton*>(QStringLiteral("CancelButton"))->isVisible());

        // Closing the window in the middle of a download ends at once; the worker ends on its own
        // and never reaches the window.
        form->findChild<QAction*>(QStringLiteral("ContinueMenu"))->trigger();
        QTRY_VERIFY(form->StatusText().startsWith(QStringLiteral("ログを受信しています: ")));
        QElapsedTimer closing;
        closing.start();
        form.reset();
        QVERIFY2(closing.elapsed() < 5000, qPrintable(QString::number(closing.elapsed())));
    }

    // A server that cannot be reached (and nothing kept to answer for it) is said once, in
    // Japanese with the cause after it; nothing is read as a log.
    void RefusedConnectionIsReportedOnce()
    {
        auto form = NewForm();
        box_ = {};
        form->BottleServer = TBottleServer::Parse("127.0.0.1:1");
        form->findChild<QAction*>(QStringLiteral("ContinueMenu"))->trigger();
        QVERIFY(WaitForView(*form));
        QVERIFY(box_.Texts()
            == std::vector<std::string> {
                Sjis("ログを受け取れませんでした: サーバーに接続できません "
                     "(127.0.0.1:1): Connection refused") });
        QVERIFY(form->MessageList.Empty());
    }

    // A view of many pages shows its first page before the last is written; a link to a later
    // page waits for it and then loads it; once all are written, the pages of a longer view before
    // are gone and nothing else is.
    void FirstPageFirstAndLaterPagesOnDemand()
    {
        QTemporaryDir local;
        const std::string folder = Folder(local);
        for (const char* name : { "tagpat.txt", "metapat.txt" })
            QVERIFY(QFile::copy(
                QStringLiteral(VELMO_SOURCE_DIR "/data/") + name, local.filePath(name)));
        WriteFileAtomic(folder + "velmo.ini", "[General]\r\nSppDir=/x\r\n1PageCount=1\r\n");
        WriteFileAtomic(folder + "long401.html", "stale");
        WriteFileAtomic(folder + "notes.txt", "mine");
        std::string sent;
        for (int i = 0; i < 400; ++i)
            sent += Sjis("一般,さくら,2004/05/06 12:34:56,\\h\\s0こんにちは") + std::to_string(i)
                + "\r\n";
        WriteFileAtomic(folder + "Sent.log", sent);
        open_.answer = folder + "Sent.log";
        TMainForm form({ TAppFolders::Portable(folder, "velmo"), &box_, &browser_, &spp_, &open_ });
        form.show();
        QWebEngineView* view = form.MozillaBrowser();
        form.findChild<QAction*>(QStringLiteral("SentlogMenu"))->trigger();
        QVERIFY(QFile::exists(local.filePath(QStringLiteral("long1.html"))));
        QVERIFY(!QFile::exists(local.filePath(QStringLiteral("long400.html"))));
        QVERIFY(form.ViewRunner()->Writing());
        const QString last = QUrl::fromLocalFile(local.filePath(QStringLiteral("long400.html")))
                                 .toString(QUrl::FullyEncoded);
        QVERIFY(!form.Navigate2(FromQString(last), TNavigationOrigin::LinkClick));
        QCOMPARE(form.StatusText(), QStringLiteral("ページを書いています..."));
        QTRY_VERIFY_WITH_TIMEOUT(
            view->url().toString().endsWith(QStringLiteral("long400.html")), 20000);
        QVERIFY(ReadFileBytes(folder + "long400.html").find("[400/400]") != std::string::npos);
        QVERIFY(WaitForView(form));
        QVERIFY(QFile::exists(local.filePath(QStringLiteral("long399.html"))));
        QVERIFY(!QFile::exists(local.filePath(QStringLiteral("long401.html"))));
        QCOMPARE(ReadFileBytes(folder + "notes.txt"), std::string("mine"));
        QVERIFY(box_.shown.empty());
    }
};

int RunViewRunnerTest(int argc, char** argv)
{
    ViewRunnerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ViewRunnerTest.moc"
