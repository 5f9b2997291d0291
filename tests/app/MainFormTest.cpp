#include "QtTestSupport.h"
#include "app/Application.h"
#include "app/FindBar.h"
#include "app/MainFormUnit.h"
#include "app/QtOpenDialog.h"
#include "app/QtOutsideBrowser.h"
#include "app/QtTranslations.h"
#include "app/SearchBar.h"
#include "archive/Archive.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"
#include "platform/QtText.h"
#include "render/ProgressWindow.h"
#include "render/SppList.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QWheelEvent>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::string Folder(const QTemporaryDir& dir)
{
    return FromNativePath(dir.path().toStdString()) + "/";
}

// A throwing object, to see what happens to an exception that escapes an event handler.
class ThrowingObject : public QObject
{
public:
    bool event(QEvent*) override { throw EVelmoError("thrown from an event handler"); }
};

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

class MainFormTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    TRecordingMessageBox box_;
    TRecordingOutsideBrowser browser_;
    TQtProgressWindowFactory progress_;
    TSppList spp_ { true, box_, progress_ };
    TRecordingOpenDialog open_;

    TMainFormEnvironment Env(const std::string& folder, const std::string& configPath)
    {
        TAppFolders folders = TAppFolders::Portable(folder, "velmo");
        folders.configFile = configPath;
        return { folders, &box_, &browser_, &spp_, &open_ };
    }

    // Waits until the browser has finished loading a page whose address ends in name.
    static bool WaitForPage(QWebEngineView* view, const QString& name)
    {
        QSignalSpy finished(view, &QWebEngineView::loadFinished);
        return QTest::qWaitFor(
            [&] { return view->url().toString().endsWith(name) && !finished.isEmpty(); }, 20000);
    }
    std::unique_ptr<TMainForm> NewForm()
    {
        return std::make_unique<TMainForm>(Env(Folder(dir_), Folder(dir_) + "velmo.ini"));
    }
    std::string IniPath() const { return Folder(dir_) + "velmo.ini"; }
    // A window with the plug-in folder set, so that no box is shown at start.
    std::unique_ptr<TMainForm> QuietForm()
    {
        WriteFileAtomic(IniPath(), "[General]\r\nSppDir=/x\r\n");
        return NewForm();
    }

private slots:
    void initTestCase()
    {
        // Installed beside the program, as the build does.
        for (const char* name :
            { "tagpat.txt", "metapat.txt", "log.txt", "styleIE.css", "general-1.bmp" })
            QVERIFY(
                QFile::copy(QStringLiteral(VELMO_SOURCE_DIR "/data/") + name, dir_.filePath(name)));
    }

    void init()
    {
        QFile::remove(dir_.filePath(QStringLiteral("velmo.ini")));
        box_ = {};
        browser_ = {};
    }

    void FirstStartUsesDefaultsAndWritesEveryKey()
    {
        const TDateTime before = Now();
        auto form = NewForm();
        QCOMPARE(form->windowTitle(), QStringLiteral("Velmo 2"));
        // A share of the screen, centred.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect at(form->pos(), form->size());
        QVERIFY(std::abs(at.width() - screen.width() * 6 / 10) <= 1);
        QVERIFY(std::abs(at.height() - screen.height() * 8 / 10) <= 1);
        QVERIFY((at.center() - screen.center()).manhattanLength() <= 2);
        QVERIFY(box_.Texts()
            == std::vector<std::string> { Sjis("プラグインフォルダを設定して下さい") });
        QVERIFY(form->LastMessageTime >= before && form->LastMessageTime <= Now());
        QVERIFY(form->MessageList.Empty());
        form.reset();
        QCOMPARE(QString::fromStdString(ReadFileBytes(IniPath())),
            QString::fromStdString("[General]\r\nLUID=\r\nSurfaceCacheDir=" + Folder(dir_)
                + "cache/"
                  "\r\nSppDir=\r\n1PageCount=100\r\nCSS=styleIE.css\r\nBrowser=\r\nHTMLFolder=\r\n"
                  "[Form]\r\nTop="
                + std::to_string(at.y()) + "\r\nLeft=" + std::to_string(at.x())
                + "\r\nWidth=" + std::to_string(at.width())
                + "\r\nHeight=" + std::to_string(at.height()) + "\r\n[Play]\r\nFMO=Sakura\r\n"));
    }

    // A window saved on a larger screen, or at a larger scale, comes back on this one; the window
    // has the program's icon.
    void SavedWindowIsBroughtOntoTheScreen()
    {
        WriteFileAtomic(IniPath(),
            "[General]\r\nSppDir=/x\r\n[Form]\r\nTop=300\r\nLeft=900\r\nWidth=2000\r\nHeight="
            "1520\r\n");
        auto form = NewForm();
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(QRect(form->pos(), form->size()), screen);
        QVERIFY(!form->windowIcon().isNull());
    }

    void PatternFilesAreLoadedAtStartUp()
    {
        auto form = NewForm();
        QVERIFY(form->SsParser.TagPattern().size() > 50);
        QVERIFY(!form->SsParser.MetaPattern().empty());
        form->SsParser.ParseScript("\\h\\s[10]x");
        QCOMPARE(form->SsParser.TokenCount(), 3);
    }

    // Missing pattern files are named in a message each, and start-up goes on to the end.
    void MissingPatternFilesAreReportedAndStartUpGoesOn()
    {
        QTemporaryDir empty;
        auto form = std::make_unique<TMainForm>(Env(Folder(empty), Folder(empty) + "velmo.ini"));
        QCOMPARE(box_.shown.size(), size_t(3));
        QCOMPARE(box_.shown[1].text,
            "Cannot open file \"" + Folder(empty) + "tagpat.txt\". No such file or directory");
        QCOMPARE(box_.shown[2].text,
            "Cannot open file \"" + Folder(empty) + "metapat.txt\". No such file or directory");
        QVERIFY(form->SsParser.TagPattern().empty());
        QVERIFY(form->LastMessageTime > 0);
    }

    void OddValuesReadAsTheRulesSay()
    {
        WriteFileAtomic(IniPath(),
            "[General]\r\nSppDir=/"
            "plugins\r\nLUID=\r\n1PageCount=abc\r\nBottleServer=bottle.example.org:8080\r\n[Form]"
            "\r\nLeft=0x10\r\nWidth=500\r\n"
            "[Play]\r\nFMO=Sakura,\"a b\"\r\n");
        auto form = NewForm();
        QVERIFY(box_.shown.empty()); // the plug-in folder is set
        QCOMPARE(form->BottleServer.Url("/"), std::string("http://bottle.example.org:8080/"));
        QCOMPARE(form->Config.LUID, std::string());
        QCOMPARE(form->Config.MessagesPerPage, 100);
        QCOMPARE(form->pos(), QPoint(16, 145));
        QCOMPARE(form->width(), 500);
        QVERIFY((form->Config.FMONames == std::vector<std::string> { "Sakura", "a b" }));
        form->Config.FMONames = { "a", "b" };
        form.reset();
        const TIniFile written = TIniFile::LoadFromFile(IniPath());
        QCOMPARE(written.ReadValue("Play", "FMO").value(), std::string("a,b"));
        QCOMPARE(written.ReadValue("General", "BottleServer").value(),
            std::string("bottle.example.org:8080"));
    }

    void BadServerSettingIsReportedAndTheDefaultStays()
    {
        WriteFileAtomic(IniPath(), "[General]\r\nSppDir=/p\r\nBottleServer=http://x/\r\n");
        auto form = NewForm();
        QCOMPARE(box_.shown.size(), size_t(1));
        QCOMPARE(form->BottleServer.Url("/"), std::string("http://127.0.0.1:18470/"));
    }

    // The old file stays whole when the new one cannot be written. A read-only folder does not
    // stop root, so as root the temporary file's name is made too long for the file system.
    void WriteFailureKeepsTheOldFile()
    {
        QTemporaryDir local;
        const std::string folder = Folder(local);
        const std::string path
            = geteuid() == 0 ? folder + std::string(250, 'v') + ".ini" : folder + "velmo.ini";
        const std::string old = "[General]\r\nSppDir=/x\r\nLUID=old\r\n";
        {
            std::ofstream file(NativePath(path), std::ios::binary);
            file << old;
        }
        auto form = std::make_unique<TMainForm>(Env(folder, path));
        form->Config.LUID = "new";
        if (geteuid() != 0)
            ::chmod(local.path().toLocal8Bit().constData(), 0555);
        form.reset();
        ::chmod(local.path().toLocal8Bit().constData(), 0755);
        QCOMPARE(box_.Texts().back(), path + Sjis(" に書き込めません"));
        QCOMPARE(ReadFileBytes(path), old);
        QCOMPARE(QDir(local.path()).entryList(QDir::Files).size(), 1);
    }

    // A file that exists but cannot be read is never overwritten with the defaults. Root reads
    // any file, so as root a folder stands at the file's place.
    void UnreadableConfigurationIsKept()
    {
        QTemporaryDir local;
        const std::string folder = Folder(local);
        const std::string path = folder + "velmo.ini";
        if (geteuid() == 0) {
            QVERIFY(QDir(local.path()).mkdir(QStringLiteral("velmo.ini")));
        } else {
            WriteFileAtomic(path, "[General]\r\nLUID=mine\r\n");
            ::chmod(NativePath(path).c_str(), 0);
        }
        box_.shown.clear();
        auto form = std::make_unique<TMainForm>(Env(folder, path));
        QVERIFY(!box_.shown.empty()); // the read failure, said at start
        form->Config.LUID = "other";
        form.reset();
        QCOMPARE(box_.Texts().back(),
            path + Sjis(" を読み込めなかったので、設定を保存せずにそのまま残します"));
        if (geteuid() != 0) {
            ::chmod(NativePath(path).c_str(), 0600);
            QCOMPARE(ReadFileBytes(path), std::string("[General]\r\nLUID=mine\r\n"));
        }
    }

    // A FIFO at the file's place neither holds the start nor is replaced at the end; what a write
    // killed half-way left beside it is removed.
    void FifoConfigurationIsReportedAndKept()
    {
        QTemporaryDir local;
        const std::string folder = Folder(local);
        const std::string path = folder + "velmo.ini";
        QCOMPARE(::mkfifo(NativePath(path).c_str(), 0600), 0);
        WriteFileAtomic(path + ".0123456789ab", "[General]\r\n");
        box_.shown.clear();
        auto form = std::make_unique<TMainForm>(Env(folder, path));
        QCOMPARE(box_.Texts().front(),
            "\"" + path + "\""
                + Sjis(" は通常のファイルではない (名前付きパイプ) ので読み込みません"));
        QVERIFY(!FileExists(path + ".0123456789ab"));
        form.reset();
        QCOMPARE(box_.Texts().back(),
            path + Sjis(" を読み込めなかったので、設定を保存せずにそのまま残します"));
        struct stat st
        { };
        QVERIFY(::lstat(NativePath(path).c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    }

    // A value the file cannot hold costs only its own key; the rest is saved.
    void UnwritableValueCostsOnlyItsKey()
    {
        WriteFileAtomic(IniPath(), "[General]\r\nSppDir=/x\r\nLUID=old\r\n");
        auto form = NewForm();
        box_.shown.clear();
        form->Config.LUID = "pasted\r\n";
        form->resize(500, 400);
        form.reset();
        QCOMPARE(box_.shown.size(), size_t(1));
        QVERIFY(box_.Texts().back().starts_with(
            IniPath() + Sjis(" に次の設定を書き込めません: ") + "LUID: "));
        const std::string saved = ReadFileBytes(IniPath());
        QVERIFY(saved.find("LUID=old\r\n") != std::string::npos);
        QVERIFY2(saved.find("Width=500\r\n") != std::string::npos, saved.c_str());
    }

    void BrowserStaysTenPixelsNarrowerThanItsPanel()
    {
        auto form = NewForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        for (const QSize size : { QSize(600, 400), QSize(300, 200), QSize(1000, 700) }) {
            form->resize(size);
            QTRY_COMPARE(form->MozillaBrowser()->width(), form->BrowserPanel()->width() - 10);
            QCOMPARE(form->MozillaBrowser()->height(), form->BrowserPanel()->height());
            // The page takes all the height the search field leaves: no empty band around it.
            QCOMPARE(form->SearchBar()->height(), form->SearchBar()->sizeHint().height());
        }
    }

    void MenuHasTheNineItemsInOrder()
    {
        auto form = NewForm();
        QStringList captions;
        for (const QAction* action : form->FileMenu()->actions())
            captions << action->text();
        QCOMPARE(form->FileMenu()->title(), QStringLiteral("ファイル(&F)"));
        QCOMPARE(captions,
            QStringList({ "ログ表示..(&L)", "続きを表示(&O)", "ローカルログ表示(&C)",
                "Sent.logを表示(&N)...", "検索(&F)", "アーカイブに取り込む(&I)...", "設定...(&S)",
                "バージョン情報...(&V)", "終了(&E)" }));
    }

    // The search field stands over the page; Ctrl+K and the menu item put the cursor in it.
    void SearchFieldIsOverThePageAndCtrlKFocusesIt()
    {
        auto form = NewForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QLineEdit* field = form->SearchBar()->Field();
        QCOMPARE(field->placeholderText(), QStringLiteral("検索 (例: 流れ星 ghost:さくら)"));
        QVERIFY(form->SearchBar()->geometry().bottom() < form->BrowserPanel()->geometry().top());
        form->MozillaBrowser()->setFocus();
        QTest::keyClick(form.get(), Qt::Key_K, Qt::ControlModifier);
        QTRY_VERIFY(field->hasFocus());
        form->MozillaBrowser()->setFocus();
        form->findChild<QAction*>(QStringLiteral("SearchMenu"))->trigger();
        QTRY_VERIFY(field->hasFocus());
    }

    // Typed into the field, a query is counted from the archive and Enter shows its hits as
    // pages, with the query and their number in the status bar. Skipped while the archive cannot
    // search yet; it must pass once it can.
    void SearchFieldShowsTheArchiveHitsAsPages()
    {
        QTemporaryDir local;
        const std::string folder = Folder(local);
        TMessageList kept;
        for (const char* script : { "\\h流れ星を見た", "\\h雨", "\\h\\s0また流れ星" }) {
            TBottleMessage& m = kept.Add(TBottleMessage {});
            m.MID = "m" + std::to_string(kept.Count());
            m.LogTime = 38000 + kept.Count();
            m.Ghost = Sjis("さくら");
            m.Script = Sjis(script);
        }
        TSsParser patterns;
        patterns.SetTagPattern(TSsParser::LoadPatternFile(VELMO_SOURCE_DIR "/data/tagpat.txt"));
        TArchive(folder + "archive.sqlite3", &patterns).Store(kept, "s");
        auto form = std::make_unique<TMainForm>(Env(folder, folder + "velmo.ini"));
        form->show();
        QLineEdit* field = form->SearchBar()->Field();
        TypeCommitted(field, QStringLiteral("流れ星"));
        QTRY_VERIFY(!form->SearchBar()->Note().isEmpty());
        QCOMPARE(form->SearchBar()->Note(), QStringLiteral("2 件"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(form->MessageList.Count(), 2);
        QCOMPARE(form->MessageList.Items(1).MID, std::string("m3"));
        QVERIFY(ReadFileBytes(folder + "long1.html").find(Sjis("また流れ星")) != std::string::npos);
        QVERIFY(WaitForPage(form->MozillaBrowser(), QStringLiteral("long1.html")));
        QTRY_COMPARE(form->StatusText(), QStringLiteral("検索: 流れ星 ― 2 件"));
        // None found: the pages and the messages their links act on stay, and the field and the
        // status bar say so.
        field->setText(QStringLiteral("彗星"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(form->MessageList.Count(), 2);
        QCOMPARE(form->SearchBar()->Note(), QStringLiteral("見つかりませんでした"));
        QCOMPARE(form->StatusText(), QStringLiteral("検索: 彗星 ― 見つかりませんでした"));
    }

    void AboutBoxOpensTheSiteOnlyOnYes()
    {
        auto form = NewForm();
        form->Config.BrowserCommand = "my-browser --x";
        box_.answer = TMessageAnswer::No;
        form->findChild<QAction*>(QStringLiteral("AboutMenu"))->trigger();
        const TMessageRequest& about = box_.shown.back();
        QCOMPARE(about.title, Sjis("情報"));
        QCOMPARE(about.text, Sjis("Velmo version 2.0.0.10\r\n開発元サイトを開きますか？"));
        QVERIFY(about.buttons == TMessageButtons::YesNo);
        QVERIFY(browser_.opened.empty());
        box_.answer = TMessageAnswer::Yes;
        form->findChild<QAction*>(QStringLiteral("AboutMenu"))->trigger();
        QCOMPARE(browser_.opened.size(), size_t(1));
        QCOMPARE(browser_.opened[0].first, std::string("my-browser --x"));
        QCOMPARE(browser_.opened[0].second, std::string(kMakerSiteUrl));
    }

    void ErrorsReachTheMessageBoxAndTheWindowGoesOn()
    {
        auto form = NewForm();
        static_cast<TApplication*>(qApp)->SetErrorHandler(
            [&form](const std::string& t) { form->ShowError(t); });
        box_.shown.clear();
        form->RunGuarded([] { throw EConvertError::InvalidInteger("x"); });
        ThrowingObject thrower;
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &event);
        static_cast<TApplication*>(qApp)->SetErrorHandler({});
        QVERIFY((box_.Texts()
            == std::vector<std::string> {
                "'x' is not a valid integer value", "thrown from an event handler" }));
        // Still usable: a menu command runs and shows its box.
        form->findChild<QAction*>(QStringLiteral("AboutMenu"))->trigger();
        QCOMPARE(box_.shown.size(), size_t(3));
    }

    // Qt's own texts: Japanese unless the locale is Japanese or English, from Qt's catalogues
    // when they are there; a missing folder changes nothing but the language.
    void QtTextsInJapanese()
    {
        QCOMPARE(QtTextLocale(QLocale(QStringLiteral("ja_JP"))).language(), QLocale::Japanese);
        QCOMPARE(QtTextLocale(QLocale(QStringLiteral("en_US"))).language(), QLocale::English);
        QCOMPARE(QtTextLocale(QLocale::c()).language(), QLocale::Japanese);
        QCOMPARE(QtTextLocale(QLocale(QStringLiteral("de_DE"))).language(), QLocale::Japanese);

        const QLocale japanese(QLocale::Japanese, QLocale::Japan);
        const auto cancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel"); };
        const QString english = cancel();
        QVERIFY(InstallQtTranslations(*qApp, japanese, QStringLiteral("/nonexistent")).isEmpty());
        QVERIFY(InstallQtTranslations(*qApp, QLocale(QStringLiteral("en_US")),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath))
                    .isEmpty());
        QCOMPARE(cancel(), english);
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (!QFile::exists(folder + QStringLiteral("/qtbase_ja.qm")))
            QSKIP("Qt's Japanese catalogue is not installed");
        const QList<QTranslator*> installed = InstallQtTranslations(*qApp, japanese, folder);
        QVERIFY(!installed.isEmpty());
        QCOMPARE(installed[0]->objectName(), QStringLiteral("qtbase"));
        QCOMPARE(cancel(), QStringLiteral("キャンセル"));
        for (QTranslator* translator : installed) {
            qApp->removeTranslator(translator);
            delete translator;
        }
        QCOMPARE(cancel(), english);
    }

    void ExitClosesTheWindow()
    {
        auto form = NewForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->findChild<QAction*>(QStringLiteral("ExitMenu"))->trigger();
        QVERIFY(!form->isVisible());
        // Ctrl+Q is the same command, and the window's end writes the configuration.
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!form->isVisible());
        form.reset();
        QVERIFY(FileExists(IniPath()));
    }

    // Ctrl+F, F3 and Shift+F3 reach the find bar from the page; Esc on the page is not the bar's.
    void FindKeysWorkFromThePage()
    {
        auto form = NewForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        const QString page = dir_.filePath(QStringLiteral("find.html"));
        WriteFileAtomic(FromNativePath(page.toStdString()), "<p>comet comet comet</p>");
        QWebEngineView* view = form->MozillaBrowser();
        view->load(QUrl::fromLocalFile(page));
        QVERIFY(WaitForPage(view, QStringLiteral("find.html")));
        TFindBar* bar = form->FindBar();
        const auto onPage = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
            view->setFocus();
            QTRY_VERIFY(view->focusProxy()->hasFocus());
            QTest::keyClick(view->focusProxy(), key, modifiers);
        };
        onPage(Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(bar->Field()->hasFocus());
        QVERIFY(bar->geometry().bottom() < form->BrowserPanel()->geometry().top());
        TypeCommitted(bar->Field(), QStringLiteral("comet"));
        QTRY_COMPARE_WITH_TIMEOUT(bar->Count(), QStringLiteral("1/3 件"), 10000);
        onPage(Qt::Key_F3, {});
        QTRY_COMPARE_WITH_TIMEOUT(bar->Count(), QStringLiteral("2/3 件"), 10000);
        onPage(Qt::Key_F3, Qt::ShiftModifier);
        QTRY_COMPARE_WITH_TIMEOUT(bar->Count(), QStringLiteral("1/3 件"), 10000);
        onPage(Qt::Key_Escape, {});
        QVERIFY(bar->isVisible());

        // Before any view is made, Ctrl+F opens the bar and makes none.
        TMainFormEnvironment deferred = Env(Folder(dir_), IniPath());
        deferred.deferBrowser = true;
        TMainForm batch(deferred);
        batch.show();
        QVERIFY(QTest::qWaitForWindowActive(&batch));
        QTest::keyClick(&batch, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(batch.FindBar()->isVisible());
        TypeCommitted(batch.FindBar()->Field(), QStringLiteral("comet"));
        QCOMPARE(batch.FindBar()->Count(), QStringLiteral("見つかりませんでした"));
        QVERIFY(!batch.findChild<QWebEngineView*>());
    }

    // The page keys lead through the pages of the view from wherever the focus is, and stop at
    // the first and the last page. The pages are light on a light desktop.
    void PageKeysTurnThePagesAndStopAtTheEnds()
    {
        auto form = NewForm();
        form->resize(800, 600);
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->Config.MessagesPerPage = 5;
        QWebEngineView* view = form->MozillaBrowser();
        form->findChild<QAction*>(QStringLiteral("LocalLogMenu"))->trigger();
        QVERIFY(WaitForPage(view, QStringLiteral("long1.html")));
        QCOMPARE(PageLook(view), QStringLiteral("false rgb(244, 241, 234)"));
        QWidget* field = form->SearchBar()->Field();
        const struct
        {
            QWidget* focus;
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            QString shown;
        } steps[] = {
            { view, Qt::Key_Left, Qt::AltModifier, QStringLiteral("long1.html") },
            { view, Qt::Key_Right, Qt::AltModifier, QStringLiteral("long2.html") },
            { form.get(), Qt::Key_PageDown, Qt::ControlModifier, QStringLiteral("long3.html") },
            { view, Qt::Key_Right, Qt::AltModifier, QStringLiteral("long3.html") },
            { field, Qt::Key_Left, Qt::AltModifier, QStringLiteral("long2.html") },
            { view, Qt::Key_PageUp, Qt::ControlModifier, QStringLiteral("long1.html") },
            { view, Qt::Key_PageUp, Qt::ControlModifier, QStringLiteral("long1.html") },
            { view, Qt::Key_PageDown, Qt::ControlModifier, QStringLiteral("long2.html") },
        };
        for (const auto& step : steps) {
            // A key that leads nowhere loads nothing: the next step would start from elsewhere.
            const bool moves = !view->url().toString().endsWith(step.shown);
            QSignalSpy finished(view, &QWebEngineView::loadFinished);
            step.focus->setFocus();
            QTest::keyClick(QApplication::focusWidget(), step.key, step.modifiers);
            if (moves)
                QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 20000);
            QVERIFY2(
                view->url().toString().endsWith(step.shown), qPrintable(view->url().toString()));
        }
    }

    // The zoom keys walk the zoom's steps; the zoom is remembered in the configuration file and
    // applied to the pages of the next start.
    void ZoomKeysStepTheZoomAndItIsRemembered()
    {
        auto form = NewForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QWebEngineView* view = form->MozillaBrowser();
        QCOMPARE(form->PageZoom(), 100);
        const struct
        {
            Qt::Key key;
            int zoom;
        } steps[] = { { Qt::Key_Plus, 110 }, { Qt::Key_Equal, 125 }, { Qt::Key_Minus, 110 },
            { Qt::Key_0, 100 }, { Qt::Key_Plus, 110 }, { Qt::Key_Plus, 125 } };
        for (const auto& step : steps) {
            QTest::keyClick(view->focusProxy(), step.key, Qt::ControlModifier);
            QCOMPARE(form->PageZoom(), step.zoom);
        }
        QCOMPARE(view->zoomFactor(), 1.25);
        form.reset();
        QVERIFY(ReadFileBytes(IniPath()).find("\r\nZoom=125\r\n") != std::string::npos);

        form = NewForm();
        form->show();
        view = form->MozillaBrowser();
        QCOMPARE(form->PageZoom(), 125);
        form->findChild<QAction*>(QStringLiteral("LocalLogMenu"))->trigger();
        QVERIFY(WaitForPage(view, QStringLiteral("long1.html")));
        QCOMPARE(view->zoomFactor(), 1.25);
        // Ctrl+wheel zooms in the engine itself; the window keeps in step with it.
        const QPoint middle = view->focusProxy()->rect().center();
        QWheelEvent wheel(middle, view->focusProxy()->mapToGlobal(middle), {}, QPoint(0, 120),
            Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(view->focusProxy(), &wheel);
        QTRY_VERIFY_WITH_TIMEOUT(form->PageZoom() > 125, 10000);
        const std::string wheeled = "\r\nZoom=" + std::to_string(form->PageZoom()) + "\r\n";
        form.reset();
        QVERIFY(ReadFileBytes(IniPath()).find(wheeled) != std::string::npos);
    }

    void PageLoadShowsTheStatusTexts()
    {
        auto form = NewForm();
        form->show();
        const QString page = dir_.filePath(QStringLiteral("page.html"));
        WriteFileAtomic(FromNativePath(page.toStdString()), "<html><body>hello</body></html>");
        QSignalSpy finished(form->MozillaBrowser(), &QWebEngineView::loadFinished);
        form->MozillaBrowser()->load(QUrl::fromLocalFile(page));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QVERIFY(finished.at(0).at(0).toBool());
        QCOMPARE(form->StatusText(), QStringLiteral("読み込み完了"));
        QCOMPARE(form->MozillaBrowser()->cursor().shape(), Qt::ArrowCursor);
        // An unknown scheme is refused before the browser hands it anywhere.
        QVERIFY(!form->Navigate2("mailto:someone@example.org", TNavigationOrigin::LinkClick));
        QVERIFY(form->Navigate2(
            QUrl::fromLocalFile(page).toString().toStdString(), TNavigationOrigin::Other));
    }

    // The local log shows as pages, and the pages' own links lead on: a real mouse click on "2".
    void LocalLogViewShowsPagesAndTheirLinksWork()
    {
        auto form = NewForm();
        form->resize(800, 600);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->Config.MessagesPerPage = 5;
        QWebEngineView* view = form->MozillaBrowser();
        QSignalSpy finished(view, &QWebEngineView::loadFinished);
        form->findChild<QAction*>(QStringLiteral("LocalLogMenu"))->trigger();
        QVERIFY(WaitForView(*form));
        QCOMPARE(form->MessageList.Count(), 12);
        QVERIFY(QFile::exists(dir_.filePath(QStringLiteral("long3.html"))));
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 20000);
        QVERIFY(view->url().toString().endsWith(QStringLiteral("long1.html")));
        QCOMPARE(form->StatusText(), QStringLiteral("読み込み完了"));

        QVariant rect;
        view->page()->runJavaScript(
            QStringLiteral(
                "(function(){var r=document.querySelector('a[href=\"long2.html\"]')"
                ".getBoundingClientRect();return [r.left+r.width/2,r.top+r.height/2];})()"),
            QWebEngineScript::ApplicationWorld, [&](const QVariant& v) { rect = v; });
        QTRY_VERIFY_WITH_TIMEOUT(rect.isValid(), 10000);
        const QPoint at(rect.toList().at(0).toInt(), rect.toList().at(1).toInt());
        finished.clear();
        QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {}, at);
        QTRY_VERIFY_WITH_TIMEOUT(
            view->url().toString().endsWith(QStringLiteral("long2.html")), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 20000);
        QCOMPARE(box_.shown.size(), size_t(1)); // only the start-up warning: no error on the way
    }

    void LocalLogWithoutMessagesWritesNoPage()
    {
        QTemporaryDir local;
        const std::string folder = Folder(local);
        WriteFileAtomic(folder + "log.txt", "Result: OK\r\n\r\n\r\n");
        auto form = std::make_unique<TMainForm>(Env(folder, folder + "velmo.ini"));
        form->findChild<QAction*>(QStringLiteral("LocalLogMenu"))->trigger();
        QVERIFY(WaitForView(*form));
        QVERIFY(form->MessageList.Empty());
        QVERIFY(!QFile::exists(local.filePath(QStringLiteral("long1.html"))));
        // A missing log.txt is reported by name.
        QFile::remove(local.filePath(QStringLiteral("log.txt")));
        box_.shown.clear();
        form->findChild<QAction*>(QStringLiteral("LocalLogMenu"))->trigger();
        QVERIFY(WaitForView(*form));
        QCOMPARE(box_.shown.size(), size_t(1));
        QCOMPARE(box_.Texts().back(),
            "Cannot open file \"" + folder + "log.txt\". No such file or directory");
    }

    void SentLogViewReadsTheChosenFile()
    {
        auto form = NewForm();
        const std::string sent = Folder(dir_) + "Sent.log";
        WriteFileAtomic(sent, Sjis("一般,さくら,2004/05/06 12:34:56,\\h\\s0こんにちは\r\n"));
        open_.answer = sent;
        form->findChild<QAction*>(QStringLiteral("SentlogMenu"))->trigger();
        QCOMPARE(form->MessageList.Count(), 1);
        QVERIFY(ReadFileBytes(Folder(dir_) + "long1.html").find(Sjis("こんにちは"))
            != std::string::npos);
        QCOMPARE(open_.asked.back().description, std::string("sent.log"));
        // A cancelled chooser changes nothing: the pages shown keep the messages they act on.
        open_.answer.reset();
        form->findChild<QAction*>(QStringLiteral("SentlogMenu"))->trigger();
        QCOMPARE(form->MessageList.Count(), 1);
    }

    // The chosen files and folders go into the program folder's archive while the progress
    // window is shown, and a box says what was done; a cancelled chooser does nothing.
    void ImportMenuReadsTheChosenPathsIntoTheArchive()
    {
        QTemporaryDir local;
        const std::string folder = Folder(local);
        CreateFolders(folder + "logs");
        WriteFileAtomic(folder + "logs/a.txt",
            "Result: OK\r\nh\r\nh\r\n20040506123456\tm1\tch\tg\t1\t2\t3\tx\r\nbad\r\n");
        WriteFileAtomic(folder + "Sent.log", Sjis("一般,さくら,2004/05/06 12:34:56,\\h\r\n"));
        TRecordingPathsDialog chooser;
        TMainFormEnvironment env = Env(folder, folder + "velmo.ini");
        env.pathsDialog = &chooser;
        env.progressWindows = &progress_;
        auto form = std::make_unique<TMainForm>(env);
        box_.shown.clear();
        form->findChild<QAction*>(QStringLiteral("ImportMenu"))->trigger();
        QCOMPARE(chooser.asked, 1);
        QVERIFY(box_.shown.empty());
        QVERIFY(!QFile::exists(local.filePath(QStringLiteral("archive.sqlite3"))));

        chooser.answer = { folder + "logs", folder + "Sent.log" };
        form->findChild<QAction*>(QStringLiteral("ImportMenu"))->trigger();
        QCOMPARE(box_.shown.size(), size_t(1));
        const std::string& text = box_.shown[0].text;
        QVERIFY2(text.find(Sjis("追加したメッセージ: 2")) != std::string::npos, text.c_str());
        QVERIFY2(text.find(folder + "logs/a.txt:5: ") != std::string::npos, text.c_str());
        QCOMPARE(TArchive(folder + "archive.sqlite3").Count(), int64_t(2));
    }

    // The import's chooser takes a folder and a file chosen together, where Qt's stock dialog
    // would open the folder instead.
    void OpenDialogChoosesFilesAndFoldersTogether()
    {
        QTemporaryDir local;
        const std::string folder = Folder(local);
        CreateFolders(folder + "sub");
        WriteFileAtomic(folder + "a.txt", "x");
        const QByteArray display = qgetenv("DISPLAY");
        qputenv("DISPLAY", ":0"); // not headless: the dialog is shown (on the offscreen platform)
        TQtOpenDialog dialog;
        QTimer::singleShot(0, [&] {
            auto* shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(shown);
            shown->setDirectory(local.path());
            shown->selectFile(QStringLiteral("\"sub\" \"a.txt\""));
            QPushButton* open
                = shown->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
            if (open->isEnabled())
                open->click();
            if (shown->isVisible())
                shown->reject(); // the button did not take the choice
        });
        std::vector<std::string> paths = dialog.Execute(std::string("t"));
        display.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", display);
        std::sort(paths.begin(), paths.end());
        QVERIFY(paths == (std::vector<std::string> { folder + "a.txt", folder + "sub" }));
    }

    // A real program started as the browser: the address arrives as one argument, untouched by
    // any shell.
    void BrowserCommandGetsTheAddressAsOneArgument()
    {
        QTemporaryDir local;
        const QString out = local.filePath(QStringLiteral("args.txt"));
        const QString script = local.filePath(QStringLiteral("my browser.sh"));
        WriteFileAtomic(FromNativePath(script.toStdString()),
            "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.tmp\" && mv "
            "\"$0.tmp\" '"
                + out.toStdString() + "'\n");
        ::chmod(script.toLocal8Bit().constData(), 0755);
        const std::string address = "http://x/?a=1;touch /tmp/pwned $(id) `id` | cat";
        TQtOutsideBrowser browser;
        browser.Open("\"" + FromNativePath(script.toStdString()) + "\" --new-tab", address);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 10000);
        QCOMPARE(QString::fromStdString(ReadFileBytes(FromNativePath(out.toStdString()))),
            QString::fromStdString("--new-tab\n" + address + "\n"));
        QVERIFY_THROWS_EXCEPTION(EVelmoError, browser.Open("/no/such/browser", "http://x/"));
    }

    // While a slow download runs the window answers its timers, the status bar counts the bytes,
    // no other view starts, and Esc stops it with the view as it was.
    void SlowDownloadKeepsTheWindowAnsweringAndCancels()
    {
        TSlowServer server(4000);
        QFile::remove(dir_.filePath(QStringLiteral("long1.html")));
        auto form = QuietForm();
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
        auto form = QuietForm();
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

int RunProgressWindowTest(int argc, char** argv);
int RunLogDownFormTest(int argc, char** argv);
int RunLinkCommandTest(int argc, char** argv);
int RunSettingFormTest(int argc, char** argv);
int RunSearchBarTest(int argc, char** argv);
int RunFindBarTest(int argc, char** argv);
int RunStartPageTest(int argc, char** argv);

int main(int argc, char** argv)
{
    TApplication::PrepareEnvironment();
    TApplication app(argc, argv);
    MainFormTest test;
    const int failures = QTest::qExec(&test, argc, argv);
    return failures + RunProgressWindowTest(argc, argv) + RunLogDownFormTest(argc, argv)
        + RunLinkCommandTest(argc, argv) + RunSettingFormTest(argc, argv)
        + RunSearchBarTest(argc, argv) + RunFindBarTest(argc, argv) + RunStartPageTest(argc, argv);
}

#include "MainFormTest.moc"
