// The command line, end to end: the real program, copied into a program folder of its own with
// its data files and a configuration pointing at the real bundled bottle server, run with no
// display, as a scheduled job would run it.

#include "Version.h"
#include "platform/FileIO.h"
#include "platform/IniFile.h"
#include "platform/StrUtils.h"
#include "tools/bottleserver/BottleServerCore.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <httplib.h>

#include <csignal>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>

class CommandLineEndToEndTest : public QObject
{
    Q_OBJECT

    QTemporaryDir work_;
    QProcess server_;
    int port_ = 0;

    QString Path(const QString& name) const { return work_.filePath(name); }
    std::string Record() const
    {
        return QFile::exists(Path("record.txt")) ? ReadFileBytes(Path("record.txt").toStdString())
                                                 : std::string();
    }

    // A full configuration in the order the program writes it, so that an unchanged file is
    // byte for byte the same after the program has written it back.
    static std::string Config(int port)
    {
        return "[General]\r\nLUID=\r\nSurfaceCacheDir=cache/"
               "\r\nSppDir=\r\n1PageCount=7\r\nCSS=styleIE.css\r\n"
               "Browser=\r\nHTMLFolder=\r\nBottleServer=127.0.0.1:"
            + std::to_string(port)
            + "\r\n[Form]\r\nTop=145\r\nLeft=209\r\nWidth=440\r\nHeight=351\r\n[Play]\r\nFMO="
              "Sakura\r\n";
    }

    // A fresh program folder; returns its path.
    QString Install(const QString& name, int port)
    {
        QDir(work_.path()).mkpath(name);
        const QString folder = Path(name);
        for (const char* file :
            { "velmo", "tagpat.txt", "metapat.txt", "styleIE.css", "general-1.bmp" })
            QFile::copy(QStringLiteral(VELMO_BIN_DIR "/") + file, folder + "/" + file);
        WriteFileAtomic((folder + "/velmo.ini").toStdString(), Config(port));
        return folder;
    }

    // A bundled server of its own on the log text; its port, or 0.
    int Serve(QProcess& server, const QString& name, const std::string& log)
    {
        WriteFileAtomic(Path(name).toStdString(), log);
        server.start(QStringLiteral(VELMO_BIN_DIR "/velmo-bottle-server"),
            { "--port", "0", "--log", Path(name) });
        if (!server.waitForReadyRead(10000))
            return 0;
        return QString::fromUtf8(server.readLine()).trimmed().section(':', -1).toInt();
    }

    struct Run
    {
        int exitCode = -1;
        QString err;
        QString out;
        qint64 msAfterTerm = -1; // how long it took to end once told to, if it was
    };

    // Runs the program; unless it ends by itself within `wait` ms, or endWhen (given what it has
    // written to standard error so far) says so first, it is told to end.
    Run Velmo(const QString& folder, const QStringList& args, int wait = 30000,
        const std::function<bool(const QByteArray& err)>& endWhen = {})
    {
        QProcess velmo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Path("runtime"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), Path("runtime"));
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        env.insert(
            QStringLiteral("VELMO_DEBUG"), QStringLiteral("1")); // says when the view is made
        velmo.setProcessEnvironment(env);
        velmo.start(folder + "/velmo", args);
        qint64 msAfterTerm = -1;
        bool finished = false;
        QByteArray err;
        if (endWhen) {
            const QDeadlineTimer deadline(wait);
            while (!deadline.hasExpired() && !endWhen(err += velmo.readAllStandardError())
                && !finished)
                finished = velmo.waitForFinished(5);
        } else {
            finished = velmo.waitForFinished(wait);
        }
        if (!finished) {
            QElapsedTimer timer;
            timer.start();
            ::kill(static_cast<pid_t>(velmo.processId()), SIGTERM);
            velmo.waitForFinished(30000);
            msAfterTerm = timer.elapsed();
        }
        return { velmo.exitCode(), QString::fromUtf8(err + velmo.readAllStandardError()),
            QString::fromUtf8(velmo.readAllStandardOutput()), msAfterTerm };
    }

private slots:
    void initTestCase()
    {
        QDir(work_.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(
            Path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // 45 messages in the last half hour.
        std::string log = "Result: OK\r\nh\r\nh\r\n";
        const TDateTime now = Now();
        for (int i = 45; i >= 1; --i)
            log += TBottleServerCore::Stamp(now - (i * 0.5 + 0.5) / 1440) + "\tm"
                + std::to_string(i) + "\tch\tghost\t1\t2\t3\t\\h\\s0hello " + std::to_string(i)
                + "\r\n";
        WriteFileAtomic(Path("log.txt").toStdString(), log);
        server_.start(QStringLiteral(VELMO_BIN_DIR "/velmo-bottle-server"),
            { "--port", "0", "--log", Path("log.txt"), "--record", Path("record.txt") });
        QVERIFY(server_.waitForReadyRead(10000));
        const QString first = QString::fromUtf8(server_.readLine()).trimmed();
        port_ = first.section(':', -1).toInt();
        QVERIFY2(port_ > 0, qPrintable(first));
    }

    void cleanupTestCase()
    {
        server_.terminate();
        server_.waitForFinished(10000);
    }

    void init() { QFile::remove(Path("record.txt")); }

    void PastWritesPagesAndEndsWithoutTouchingThePageSetting()
    {
        const QString folder = Install("past", port_);
        const Run run = Velmo(folder, { "past", "30", "20", "noview" });
        QCOMPARE(run.exitCode, 0);
        const std::string record = Record();
        QVERIFY2(record.starts_with("GET /fetchlog.cgi?recent=30 HTTP/1.1\n"), record.c_str());
        QVERIFY(record.find("\nAccept: text/html, */*\n") != std::string::npos);
        QVERIFY(record.find("\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\n")
            != std::string::npos);
        // 45 messages at 20 a page.
        QVERIFY(QFile::exists(folder + "/long3.html"));
        QVERIFY(!QFile::exists(folder + "/long4.html"));
        QVERIFY(ReadFileBytes((folder + "/long1.html").toStdString()).find("[20/45]")
            != std::string::npos);
        QCOMPARE(ReadFileBytes((folder + "/velmo.ini").toStdString()), Config(port_));
        // Archiving pays for the download and the pages, not for starting a browser.
        QVERIFY2(!run.err.contains(QStringLiteral("Browser view made")), qPrintable(run.err));
    }

    void CountsAreRaisedToOneAndTheViewKeepsRunning()
    {
        const QString folder = Install("raise", port_);
        // Told to end once its first page has loaded: it was still running then.
        const Run run = Velmo(folder, { "past", "0", "100", "x" }, 30000,
            [](const QByteArray& err) { return err.contains("Page loaded: "); });
        QVERIFY2(run.msAfterTerm >= 0, qPrintable(run.err));
        QCOMPARE(run.exitCode, 0);
        QVERIFY(Record().starts_with("GET /fetchlog.cgi?recent=1 HTTP/1.1\n"));
        QVERIFY(run.err.contains(QStringLiteral("Browser view made")));
    }

    void TermSendsTheSixKeys()
    {
        const QString folder = Install("term", port_);
        QCOMPARE(Velmo(folder, { "term", "2004/06/01-2004/06/15", "10", "noview" }).exitCode, 0);
        QVERIFY(Record().starts_with(
            "GET /fetchlog.cgi?year_lo=2004&month_lo=6&day_lo=1&year_hi=2004&month_hi=6&day_hi=15 "
            "HTTP/1.1\n"));
    }

    void WrongArgumentsMakeNoRequest_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("three") << QStringList { "past", "30", "20" };
        QTest::newRow("capitals") << QStringList { "PAST", "30", "20", "noview" };
        QTest::newRow("term without dash") << QStringList { "term", "2004/06/01", "20", "noview" };
        QTest::newRow("bad page size") << QStringList { "past", "30", "many", "noview" };
    }

    void WrongArgumentsMakeNoRequest()
    {
        QFETCH(QStringList, args);
        const QString folder = Install("wrong", port_);
        // With no display nobody could close the window: the run ends at once, with status 2.
        const Run run = Velmo(folder, args, 20000);
        QVERIFY2(
            run.err.contains(QStringLiteral("Velmo 2: パラメータが不正です")), qPrintable(run.err));
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(Record(), std::string());
    }

    // Asking how to use the program, or which version it is, answers on standard output and ends
    // well, with no window and no request.
    void HelpAndVersionAnswerAndEnd_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("says");
        QTest::newRow("help") << QStringLiteral("--help")
                              << QStringList { QStringLiteral("velmo past"),
                                     QStringLiteral("velmo import"), QStringLiteral("velmo sync"),
                                     QStringLiteral("velmo search"),
                                     QStringLiteral("velmo export") };
        QTest::newRow("version") << QStringLiteral("--version")
                                 << QStringList { QStringLiteral("Velmo " VELMO_VERSION "\n") };
    }

    void HelpAndVersionAnswerAndEnd()
    {
        QFETCH(QString, option);
        QFETCH(QStringList, says);
        const Run run = Velmo(Install("ask", port_), { option }, 20000);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.msAfterTerm, qint64(-1));
        for (const QString& text : says)
            QVERIFY2(run.out.contains(text), qPrintable(run.out));
        QVERIFY2(!run.err.contains(QStringLiteral("Browser view made")), qPrintable(run.err));
        QCOMPARE(Record(), std::string());
    }

    // Strangers' messages: each still reaches the page, none of their markup or schemes does,
    // and the batch run ends well.
    void HostileLogGivesEveryMessageItsPlace()
    {
        const std::string nul("a\0b", 3);
        const std::string scripts[][3] = {
            { nul, "ch", "\\h\\s[0]nul" },
            { "g", "ch", "\\s[99999999999]huge" },
            { "g", "ch", "\\s[-99999999999]negative" },
            { "<b>g</b>", "<i>c</i>", "markup names" },
            { "g", "ch", "\\URL[javascript:alert(1)][x]" },
            { "g", "ch", "\\URL[file:///etc/passwd][x]" },
            { "g", "ch", "lone lead\x81" },
            { "g", "ch", "<img src=x onerror=alert(1)>" },
            { "g", "ch", "" },
            { "g", "ch", "\\q[\"a]b\",c]quoted" },
            { "g", "ch",
                [] {
                    std::string big;
                    while (big.size() < 1024 * 1024)
                        big += "\\URL[";
                    return big;
                }() },
        };
        std::string log = "Result: OK\r\nh\r\nh\r\n";
        const TDateTime now = Now();
        int i = 0;
        for (const auto& m : scripts) {
            ++i;
            log += TBottleServerCore::Stamp(now - (10.0 - i * 0.5) / 1440) + "\tx"
                + std::to_string(i) + "\t" + m[1] + "\t" + m[0] + "\t1\t0\t0\t" + m[2] + "\r\n";
        }
        QProcess server;
        const int port = Serve(server, "hostile.txt", log);
        QVERIFY(port > 0);

        const QString folder = Install("hostile", port);
        const Run run = Velmo(folder, { "past", "30", "100", "noview" });
        server.terminate();
        server.waitForFinished(10000);
        QCOMPARE(run.exitCode, 0);
        const std::string page = ReadFileBytes((folder + "/long1.html").toStdString());
        for (int n = 1; n <= i; ++n)
            QVERIFY2(page.find("[" + std::to_string(n) + "/11]") != std::string::npos,
                qPrintable(QString::number(n)));
        for (const char* markup : { "<b>", "<i>", "<img src=x", "src=\"javascript", "src=\"x" })
            QVERIFY2(page.find(markup) == std::string::npos, markup);
        // Every link is a web address, a command link, a page or the style sheet.
        for (size_t at = page.find("href=\""); at != std::string::npos;
             at = page.find("href=\"", at + 1)) {
            const std::string target = page.substr(at + 6, page.find('"', at + 6) - at - 6);
            QVERIFY2(target.starts_with("http://") || target.starts_with("https://")
                    || target == "styleIE.css"
                    || (target.starts_with("long") && target.ends_with(".html")),
                target.c_str());
        }
    }

    // A server that takes the connection and never answers: told to end, the run stops the
    // download, says why, and ends at once with the configuration as it was.
    void TermDuringADownloadEndsTheRun()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
        QVERIFY(::listen(listener, 4) == 0);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        const QString folder = Install("silent", ntohs(address.sin_port));
        // Told to end once its connection is waiting to be taken.
        const Run run
            = Velmo(folder, { "past", "30", "20", "noview" }, 30000, [&](const QByteArray&) {
                  pollfd p { listener, POLLIN, 0 };
                  return ::poll(&p, 1, 0) > 0;
              });
        ::close(listener);
        QVERIFY2(run.msAfterTerm >= 0 && run.msAfterTerm < 10000, qPrintable(run.err));
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("終了するので、通信を中止しました")),
            qPrintable(run.err));
        QCOMPARE(
            ReadFileBytes((folder + "/velmo.ini").toStdString()), Config(ntohs(address.sin_port)));
    }

    // A server whose answer is no log fails a batch run with what it sent, never with an index.
    void AnswerThatIsNoLogFailsTheRun()
    {
        std::string body;
        httplib::Server web;
        web.Get("/fetchlog.cgi", [&](const httplib::Request&, httplib::Response& res) {
            res.set_content(body, "text/plain");
        });
        const int port = web.bind_to_any_port("127.0.0.1");
        std::thread serving([&] { web.listen_after_bind(); });
        const struct
        {
            std::string body;
            const char* said;
        } cases[] = {
            { "Result: NG\r\n", "サーバーの応答がログではありません (1行目: Result: NG)" },
            { "\x1b[31m" + std::string(1 << 20, '\xff'),
                "サーバーの応答がログではありません (1行目: ?[31m" },
            { "", "サーバーの応答が空です" },
        };
        for (const auto& c : cases) {
            body = c.body;
            const QString folder = Install("nolog", port);
            const Run run = Velmo(folder, { "past", "30", "20", "noview" });
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.err.contains(QString::fromUtf8(c.said)), qPrintable(run.err));
            QVERIFY(!QFile::exists(folder + "/long1.html"));
        }
        web.stop();
        serving.join();
    }

    // Told to end while the pages of a large log are written, the run stops between two messages.
    void TermDuringThePageBuildEndsAtOnce()
    {
        const std::string stamp = TBottleServerCore::Stamp(Now() - 5.0 / 1440);
        std::string log = "Result: OK\r\nh\r\nh\r\n";
        for (int i = 0; i < 200000; ++i)
            log += stamp + "\tm" + std::to_string(i)
                + "\tch\tghost\t1\t2\t3\t\\h\\s0hello\\u\\s10hi\r\n";
        QProcess server;
        const int port = Serve(server, "large.txt", log);
        QVERIFY(port > 0);
        const QString folder = Install("large", port);
        const Run run = Velmo(folder, { "past", "30", "100", "noview" }, 120000,
            [&](const QByteArray&) { return QFile::exists(folder + "/long2.html"); });
        server.terminate();
        server.waitForFinished(10000);
        QVERIFY2(run.msAfterTerm >= 0 && run.msAfterTerm < 1000,
            qPrintable(QString::number(run.msAfterTerm)));
        QVERIFY(!QFile::exists(folder + "/long2000.html"));
        // The batch caller hears that the run was cut short.
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("終了するので、ページの書き込みを中止しました")),
            qPrintable(run.err));
    }

    // velmo search over an archive filled by velmo import: the hits' pages, none found said
    // plainly, and a query that cannot be read refused before anything runs.
    void SearchWritesTheHitsPages()
    {
        const QString folder = Install("search", 1);
        QCOMPARE(Velmo(folder, { "import", Path("log.txt") }).exitCode, 0);
        const struct
        {
            const char* query;
            int exitCode;
            const char* said; // on standard error
            int pages; // at 5 a page
        } cases[] = {
            { "(hello", 2, "1文字目: 閉じ括弧がありません", 0 },
            { "hello 😀", 2, "7文字目: Shift_JISで表せない文字があります", 0 },
            { "\"hello 4\" ghost:ghost", 0, "", 2 }, // hello 4 and 40 to 45
            { "hello -ch:ch", 0, "Velmo 2: 見つかりませんでした", 0 },
        };
        for (const auto& c : cases) {
            QFile::remove(folder + "/long1.html");
            const Run run = Velmo(folder, { "search", QString::fromUtf8(c.query), "5", "noview" });
            QVERIFY2(run.err.contains(QString::fromUtf8(c.said)), qPrintable(run.err));
            QCOMPARE(run.exitCode, c.exitCode);
            QCOMPARE(QFile::exists(folder + "/long1.html"), c.pages > 0);
            QCOMPARE(QFile::exists(folder + "/long3.html"), false);
            if (c.pages > 0)
                QVERIFY(ReadFileBytes((folder + "/long2.html").toStdString()).find("[7/7]")
                    != std::string::npos);
        }
        QCOMPARE(Record(), std::string()); // a search asks no server
    }

    void DeadServerEndsWithStatusOne()
    {
        const QString folder = Install("dead", 1);
        const Run run = Velmo(folder, { "past", "30", "20", "noview" });
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral(
                     "ログを受け取れませんでした: サーバーに接続できません (127.0.0.1:1): "
                     "Connection refused")),
            qPrintable(run.err));
        QCOMPARE(ReadFileBytes((folder + "/velmo.ini").toStdString()), Config(1));
    }
};

QTEST_GUILESS_MAIN(CommandLineEndToEndTest)
#include "CommandLineEndToEndTest.moc"
