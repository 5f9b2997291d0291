#include "QtTestSupport.h"
#include "app/MainFormUnit.h"
#include "ghost/DirectSstpSend.h"
#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "render/ProgressWindow.h"
#include "render/SppList.h"

#include <QAction>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <httplib.h>

#include <thread>

// Command links clicked in the real web view, against the real bundled bottle server.
class LinkCommandTest : public QObject
{
    Q_OBJECT

    QTemporaryDir program_;
    QProcess server_;
    std::string endpoint_;
    TRecordingMessageBox box_;
    TRecordingOutsideBrowser browser_;
    TRecordingOpenDialog open_;
    TQtProgressWindowFactory progress_;
    TSppList spp_ { true, box_, progress_ };
    std::unique_ptr<TMainForm> form_;

    std::string Record() const
    {
        const QString path = program_.filePath("record.txt");
        return QFile::exists(path) ? ReadFileBytes(FromNativePath(path.toStdString()))
                                   : std::string();
    }

    bool Click(const QString& href, Qt::MouseButton button = Qt::LeftButton)
    {
        return ClickLink(form_->MozillaBrowser(), href, button);
    }

    // Loads url and waits until it has loaded. The page the clicks were made on is gone only once
    // all it sent before has been handled, so what those clicks would do is done by then.
    bool LoadAgain(const QUrl& url) { return LoadAndWait(form_->MozillaBrowser(), url); }

    // A round trip to the page's renderer; the address of the document it shows.
    QString RendererAddress()
    {
        QVariant href;
        form_->MozillaBrowser()->page()->runJavaScript(QStringLiteral("location.href"),
            QWebEngineScript::ApplicationWorld, [&](const QVariant& v) { href = v; });
        return QTest::qWaitFor([&] { return href.isValid(); }, 10000) ? href.toString() : QString();
    }

private slots:
    void initTestCase()
    {
        for (const char* name : { "tagpat.txt", "metapat.txt", "log.txt", "styleIE.css" })
            QVERIFY(QFile::copy(
                QStringLiteral(VELMO_SOURCE_DIR "/data/") + name, program_.filePath(name)));
        // One more message, with a link to a host whose last label is a number.
        QFile log(program_.filePath("log.txt"));
        QVERIFY(log.open(QIODevice::Append));
        log.write(Sjis("20261208130000\tdemo0013\t雑談\tさくら\t1\t0\t0\t\\h\\s0\\URL["
                       "http://bottle.123/][数の名前]\\URL[http://velmovote.0][偽]\\e\r\n")
                      .c_str());
        log.close();
        server_.start(QStringLiteral(VELMO_BIN_DIR "/velmo-bottle-server"),
            { "--port", "0", "--log", program_.filePath("log.txt"), "--record",
                program_.filePath("record.txt") });
        QVERIFY(server_.waitForReadyRead(10000));
        endpoint_ = QString::fromUtf8(server_.readLine()).trimmed().section(' ', -1).toStdString();
        const std::string folder = FromNativePath(program_.path().toStdString()) + "/";
        WriteFileAtomic(folder + "velmo.ini",
            "[General]\r\nSppDir=/x\r\nLUID=my-luid\r\nBottleServer=" + endpoint_ + "\r\n");
        form_ = std::make_unique<TMainForm>(TMainFormEnvironment {
            TAppFolders::Portable(folder, "velmo"), &box_, &browser_, &spp_, &open_ });
        form_->resize(900, 700);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QSignalSpy loaded(form_->MozillaBrowser(), &QWebEngineView::loadFinished);
        form_->findChild<QAction*>(QStringLiteral("LocalLogMenu"))->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 20000);
    }

    void cleanupTestCase()
    {
        form_.reset();
        server_.terminate();
        server_.waitForFinished(10000);
    }

    void VoteLinkSendsAVoteForThatMessage()
    {
        const int beeps = form_->BeepCount;
        QVERIFY(Click(QStringLiteral("http://velmovote.3")));
        QTRY_VERIFY_WITH_TIMEOUT(Record().find("MID:%20demo0004") != std::string::npos, 10000);
        const std::string record = Record();
        QVERIFY(record.starts_with("POST /bottle2.cgi HTTP/1.0\n"));
        QVERIFY(record.find("Command:%20voteMessage%0D%0AVoteType:%20Vote%0D%0ALUID:%20my-luid%0D%"
                            "0AMID:%20demo0004%0D%0A")
            != std::string::npos);
        QCOMPARE(form_->StatusText(), QStringLiteral("投票しました:demo0004"));
        QCOMPARE(form_->BeepCount, beeps + 1);
        QVERIFY(form_->MozillaBrowser()->url().toString().endsWith(QStringLiteral("long1.html")));
    }

    void AgreeLinkWithIndexZero()
    {
        QFile::remove(program_.filePath("record.txt"));
        QVERIFY(Click(QStringLiteral("http://velmoagree.0")));
        QTRY_VERIFY_WITH_TIMEOUT(
            Record().find("VoteType:%20Agree%0D%0ALUID:%20my-luid%0D%0AMID:%20demo0001")
                != std::string::npos,
            10000);
        QCOMPARE(form_->StatusText(), QStringLiteral("同意しましたdemo0001"));
    }

    void OrdinaryLinksGoToTheOutsideBrowser()
    {
        form_->Config.BrowserCommand = "my-browser";
        QVERIFY(Click(QStringLiteral("http://127.0.0.1:18470/")));
        QTRY_COMPARE_WITH_TIMEOUT(browser_.opened.size(), size_t(1), 10000);
        QCOMPARE(browser_.opened[0].first, std::string("my-browser"));
        QCOMPARE(browser_.opened[0].second, std::string("http://127.0.0.1:18470/"));
        QVERIFY(RendererAddress().endsWith(QStringLiteral("long1.html")));

        // A host ending in a number, which the engine itself refuses, still reaches it.
        QVERIFY(Click(QStringLiteral("http://bottle.123/")));
        QTRY_COMPARE_WITH_TIMEOUT(browser_.opened.size(), size_t(2), 10000);
        QCOMPARE(browser_.opened[1].second, std::string("http://bottle.123/"));
        QVERIFY(RendererAddress().endsWith(QStringLiteral("long1.html")));
        QVERIFY(form_->MozillaBrowser()->url().toString().endsWith(QStringLiteral("long1.html")));
    }

    // A click made by a script is not a person's: the hook sends nothing, and the page stays.
    void ScriptClicksSendNothing()
    {
        QFile::remove(program_.filePath("record.txt"));
        const QString status = form_->StatusText();
        const int beeps = form_->BeepCount;
        const QUrl own = form_->MozillaBrowser()->url();
        bool done = false;
        form_->MozillaBrowser()->page()->runJavaScript(
            QStringLiteral("[...document.querySelectorAll('a')].find(e=>e.getAttribute('href')==='"
                           "http://velmovote.5').click()"),
            QWebEngineScript::ApplicationWorld, [&](const QVariant&) { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
        QVERIFY(RendererAddress().endsWith(QStringLiteral("long1.html")));
        QVERIFY(LoadAgain(own));
        QCOMPARE(form_->BeepCount, beeps);
        QCOMPARE(form_->StatusText(), status);
        QCOMPARE(Record(), std::string());
    }

    // Commands come only from the header links the program writes: a stranger's \URL to a command
    // address is text, and a command anchor anywhere else runs nothing when clicked.
    void ForgedCommandLinksRunNothing()
    {
        QWebEngineView* view = form_->MozillaBrowser();
        const QUrl own = view->url();
        QVariant forged;
        view->page()->runJavaScript(
            QStringLiteral("[...document.querySelectorAll('a')].filter(a=>/velmo(vote|agree|play)/i"
                           ".test(a.getAttribute('href'))&&a.parentElement.className!=='header')"
                           ".length"),
            QWebEngineScript::ApplicationWorld, [&](const QVariant& v) { forged = v; });
        QTRY_VERIFY_WITH_TIMEOUT(forged.isValid(), 10000);
        QCOMPARE(forged.toInt(), 0);

        QFile page(program_.filePath("forged.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><body><p><a href=\"http://velmovote.3\">vote</a></p></body></html>");
        page.close();
        QSignalSpy finished(view, &QWebEngineView::loadFinished);
        view->load(QUrl::fromLocalFile(program_.filePath("forged.html")));
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 20000);
        QFile::remove(program_.filePath("record.txt"));
        const int beeps = form_->BeepCount;
        QVERIFY(Click(QStringLiteral("http://velmovote.3")));
        QVERIFY(LoadAgain(own));
        QCOMPARE(form_->BeepCount, beeps);
        QCOMPARE(Record(), std::string());
    }

    // 再生 delivers the message's script to a running ghost host, and its 200 OK empties the queue.
    void PlayDeliversToTheGhostHost()
    {
        QProcess host;
        host.start(QStringLiteral(VELMO_BIN_DIR "/velmo-ghost-host"), { "--ghost", "さくら,ケロ" });
        QVERIFY(host.waitForReadyRead(10000));
        QVERIFY(host.readLine().startsWith("ready "));
        QVERIFY(Click(QStringLiteral("http://velmoplay.0")));
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += host.readAllStandardOutput()).contains("----"), 15000);
        const QString request = QString::fromUtf8(out);
        QVERIFY2(request.contains(QStringLiteral("Script: \\h\\s0おはようございます。")),
            qPrintable(request));
        QVERIFY(request.contains(QStringLiteral("Sender:  さくら/ぷろじぇくと/Velmo 2\r\n")));
        QVERIFY(request.contains(QStringLiteral("IfGhost: さくら,ケロ\r\n")));
        QTRY_COMPARE_WITH_TIMEOUT(form_->DirectSSTP->QueueLength(), size_t(0), 15000);

        // demo0010 carries the error tag \s: the warning, and "いいえ" sends nothing.
        box_.shown.clear();
        box_.answer = TMessageAnswer::No;
        QVERIFY(Click(QStringLiteral("http://velmoplay.9")));
        QTRY_COMPARE_WITH_TIMEOUT(box_.shown.size(), size_t(1), 10000);
        QCOMPARE(box_.shown[0].title, Sjis("警告"));
        QCOMPARE(box_.shown[0].text, Sjis("エラータグ:\\s 強制再生しますか？"));
        QVERIFY(box_.shown[0].buttons == TMessageButtons::YesNo);
        QCOMPARE(form_->DirectSSTP->QueueLength(), size_t(0));
        // The next play is the next request the host gets.
        box_.answer = TMessageAnswer::Ok;
        QVERIFY(Click(QStringLiteral("http://velmoplay.0")));
        out.clear();
        QTRY_VERIFY_WITH_TIMEOUT((out += host.readAllStandardOutput()).contains("----"), 15000);
        QCOMPARE(out.count("request "), 1);
        QVERIFY(QString::fromUtf8(out).contains(QStringLiteral("おはようございます。")));
        QTRY_COMPARE_WITH_TIMEOUT(form_->DirectSSTP->QueueLength(), size_t(0), 15000);
        host.terminate();
        QVERIFY(host.waitForFinished(10000));
    }

    // With no ghost directory, 再生 reaches a ninix-kagari ghost over its socket (UTF-8, no
    // IfGhost) and then, with that host gone, an SSTP host on 127.0.0.1:9801 by the ghost's name;
    // the status bar says where it played.
    void PlayReachesNinixAndTcpHosts()
    {
        const QString sockets = qEnvironmentVariable("NINIX_HOME") + "/.ninix/sock";
        for (const QStringList& arguments :
            { QStringList { "--ninix", sockets }, QStringList { "--tcp", "9801" } }) {
            QProcess host;
            host.start(QStringLiteral(VELMO_BIN_DIR "/velmo-ghost-host"),
                arguments + QStringList { "--ghost", "さくら,ケロ" });
            QVERIFY(host.waitForReadyRead(10000));
            QVERIFY(host.readLine().startsWith("ready "));
            form_->SetStatusText({});
            QVERIFY(Click(QStringLiteral("http://velmoplay.0")));
            QByteArray out;
            QTRY_VERIFY_WITH_TIMEOUT((out += host.readAllStandardOutput()).contains("----"), 15000);
            const QString request = QString::fromUtf8(out);
            QVERIFY2(request.contains(QStringLiteral("Charset: UTF-8\r\n")), qPrintable(request));
            QVERIFY(request.contains(QStringLiteral("Script: \\h\\s0おはようございます。")));
            if (arguments[0] == "--ninix")
                QVERIFY(!request.contains(QStringLiteral("IfGhost")));
            else
                QVERIFY(request.contains(QStringLiteral("ReceiverGhostName: さくら\r\n")));
            QTRY_COMPARE_WITH_TIMEOUT(form_->StatusText(),
                QStringLiteral("再生しました: さくら (%1)")
                    .arg(arguments[0] == "--ninix" ? "ninix-kagari" : "SSTP 127.0.0.1:9801"),
                15000);
            QCOMPARE(form_->DirectSSTP->QueueLength(), size_t(0));
            host.terminate();
            QVERIFY(host.waitForFinished(10000));
        }
    }

    // A page from the web may frame, refresh or redirect to command addresses, and hold command
    // links a person clicks: none of it sends anything or reaches the outside browser. On the
    // program's own page only the primary button runs a command.
    void OnlyAPersonsClickOnTheOwnPageRunsCommands()
    {
        QWebEngineView* view = form_->MozillaBrowser();
        const QUrl own = view->url();
        QFile::remove(program_.filePath("record.txt"));
        const size_t opened = browser_.opened.size();
        const int beeps = form_->BeepCount;
        // Checked once the page the clicks were made on is gone.
        const auto nothingHappened = [&] {
            QCOMPARE(form_->BeepCount, beeps);
            QCOMPARE(Record(), std::string());
            QCOMPARE(browser_.opened.size(), opened);
            QCOMPARE(form_->DirectSSTP->QueueLength(), size_t(0));
        };
        for (const auto button : { Qt::RightButton, Qt::MiddleButton }) {
            QVERIFY(Click(QStringLiteral("http://velmovote.3"), button));
            QTest::keyClick(view->focusProxy(), Qt::Key_Escape); // closes a context menu
        }

        httplib::Server web;
        web.Get("/frames", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><head><meta http-equiv=\"refresh\" content=\"0;url=http://"
                            "velmoagree./2\"></head><body><iframe src=\"http://velmovote./2\">"
                            "</iframe><iframe src=\"/redirect\"></iframe></body></html>",
                "text/html");
        });
        web.Get("/links", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body><p><a href=\"http://velmovote.3\">vote</a></p><p><a "
                            "href=\"http://velmoplay./0\">play</a></p></body></html>",
                "text/html");
        });
        web.Get("/redirect", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("http://velmoplay./0");
        });
        const int port = web.bind_to_any_port("127.0.0.1");
        std::thread serving([&] { web.listen_after_bind(); });
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);

        QSignalSpy finished(view, &QWebEngineView::loadFinished);
        // The refresh shows as a second, cancelled load.
        view->load(QUrl(base + "/frames"));
        QTRY_VERIFY_WITH_TIMEOUT(finished.size() >= 2, 20000);
        nothingHappened();
        finished.clear();
        view->load(QUrl(base + "/redirect"));
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 20000);
        finished.clear();
        view->load(QUrl(base + "/links"));
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 20000);
        QVERIFY(Click(QStringLiteral("http://velmovote.3")));
        QVERIFY(Click(QStringLiteral("http://velmoplay./0")));
        bool done = false;
        view->page()->runJavaScript(QStringLiteral("document.querySelector('a').click()"),
            QWebEngineScript::ApplicationWorld, [&](const QVariant&) { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);

        // Back on the program's own page, a left click still votes.
        QVERIFY(LoadAgain(own));
        nothingHappened();
        web.stop();
        serving.join();
        QVERIFY(Click(QStringLiteral("http://velmovote.3")));
        QTRY_VERIFY_WITH_TIMEOUT(Record().find("MID:%20demo0004") != std::string::npos, 10000);
    }

    void ServerErrorsAndMissingLuidAreShown()
    {
        box_.shown.clear();
        form_->MessageList.Items(2).MID = "gone";
        QVERIFY(form_->Navigate2("http://velmovote.2/", TNavigationOrigin::OwnPageClick) == false);
        QTRY_COMPARE_WITH_TIMEOUT(box_.shown.size(), size_t(1), 10000);
        QCOMPARE(box_.shown[0].text,
            Sjis("SSTP Bottleサーバが次のエラーを返しました:\r\nそのメッセージはありません: gone"));
        form_->Config.LUID.clear();
        QVERIFY(!form_->Navigate2("http://velmovote.2", TNavigationOrigin::OwnPageClick));
        QCOMPARE(box_.shown.back().text, Sjis("LUID設定しない人嫌いです"));
        // An index outside the list reaches the general error handler; nothing is sent.
        form_->RunGuarded(
            [&] { form_->Navigate2("http://velmovote.99/", TNavigationOrigin::OwnPageClick); });
        QCOMPARE(box_.shown.back().text, Sjis("リストのインデックスが範囲を超えています (99)"));
        form_->Config.LUID = "my-luid";
    }
};

int RunLinkCommandTest(int argc, char** argv)
{
    LinkCommandTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "LinkCommandTest.moc"
