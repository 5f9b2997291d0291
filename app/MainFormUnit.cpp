#include "app/MainFormUnit.h"

#include "Version.h"
#include "app/ArchiveCommands.h"
#include "app/BottleCommands.h"
#include "app/BrowserPage.h"
#include "app/CommandLine.h"
#include "app/DroppedFile.h"
#include "app/FindBar.h"
#include "app/LinkHook.h"
#include "app/LogView.h"
#include "app/OutsideBrowser.h"
#include "app/QtTranslations.h"
#include "app/SearchBar.h"
#include "app/SettingFormUnit.h"
#include "app/StartPage.h"
#include "app/ViewRunner.h"
#include "app/WindowPlacement.h"
#include "app/ZoomSteps.h"
#include "archive/Archive.h"
#include "archive/Import.h"
#include "archive/Query.h"
#include "ghost/DirectSstpSend.h"
#include "log/HttpThread.h"
#include "log/LogDownFormUnit.h"
#include "log/LogReader.h"
#include "platform/DebugOutput.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"
#include "platform/MessageBox.h"
#include "platform/QtText.h"
#include "platform/QueueSynchronizer.h"
#include "platform/StrUtils.h"
#include "platform/Termination.h"
#include "render/SppList.h"

#include <QAction>
#include <QApplication>
#include <QChildEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFont>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineView>

#include <cmath>

namespace {

// The status of a view whose pages come from the archive.
std::string OfflineText(const std::string& why)
{
    return Sjis("サーバーに接続できないので、アーカイブから表示しています: ") + why;
}

// The status of a search view: "検索: 流れ星 ghost:さくら ― 12 件".
std::string SearchStatusText(const TQuery& query, int64_t hits)
{
    return Sjis("検索: ") + DescribeQuery(query) + Sjis(" ― ")
        + (hits == 0 ? Sjis("見つかりませんでした") : std::to_string(hits) + Sjis(" 件"));
}

// The wait cursor for as long as a view blocks, whatever its outcome.
struct TWaitCursor
{
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// A file's address for the view, and back: the file's path as program text (throws
// EEncodingError for a name with no Shift_JIS form).
QUrl FileUrl(const std::string& path)
{
    return QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(NativePath(path))));
}

std::string UrlFilePath(const QUrl& url)
{
    return FromNativePath(QFile::encodeName(url.toLocalFile()).toStdString());
}

TArchive& ArchiveToSearch(TArchive* archive)
{
    if (!archive)
        throw EArchiveError(Sjis("アーカイブを開けないので検索できません"));
    return *archive;
}

} // namespace

namespace {

const QString kFontName = QStringLiteral("ＭＳ Ｐゴシック");

} // namespace

TMainForm::TMainForm(const TMainFormEnvironment& environment, QWidget* parent)
    : QMainWindow(parent)
    , Surfaces(environment.folders.DataFile("general-1.bmp"), *environment.sppList)
    , environment_(environment)
{
    setWindowTitle(QStringLiteral(VELMO_TITLE));
    // The desktop's icon of the program when its theme has one, else the one built in.
    QIcon icon;
    for (const char* file : { ":/velmo/velmo-48.png", ":/velmo/velmo-256.png" })
        icon.addFile(QString::fromLatin1(file));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("velmo"), icon));
    setAcceptDrops(true);
    installEventFilter(this);
    // The font the forms are designed for has no Linux counterpart; IPAPGothic has its metrics.
    QFont::insertSubstitution(kFontName, QStringLiteral("IPAPGothic"));
    QFont font(kFontName);
    font.setPixelSize(12);
    setFont(font);
    synchronizer_ = std::make_shared<TQueueSynchronizer>(
        [this](const std::string& text) { ShowError(text); });
    synchronizerNotifier_
        = new QSocketNotifier(synchronizer_->WakeFd(), QSocketNotifier::Read, this);
    connect(synchronizerNotifier_, &QSocketNotifier::activated, this,
        [this] { synchronizer_->ProcessPending(); });
    BuildWidgets();
    BuildMenu();
    FormCreate();
}

TMainForm::~TMainForm()
{
    // Request threads still under way must not call into a window that is going away; a
    // download under way is told to stop, and its worker ends on its own.
    synchronizer_->Detach();
    delete viewRunner_;
    viewRunner_ = nullptr;
    try {
        FormDestroy();
    } catch (...) {
        // Nothing may leave a destructor; FormDestroy reports its own failures.
    }
    // The sender's thread reads the FMO names, so it ends before they go.
    delete replyNotifier_;
    replyNotifier_ = nullptr;
    DirectSSTP.reset();
}

void TMainForm::BuildWidgets()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Counting runs on this thread: the archive's index answers it at once.
    searchBar_ = new TSearchBar(
        [this](const TQuery& query) { return ArchiveToSearch(Archive()).CountMatches(query); },
        [this](const TQuery& query) { RunGuarded([&] { ShowSearch(query); }); }, central);
    layout->addWidget(searchBar_);
    // Ctrl+F shows the find bar between the search field and the page; without a view it finds
    // nothing.
    findBar_ = new TFindBar([this]() -> QWebEnginePage* { return page_; }, central);
    layout->addWidget(findBar_);
    browserPanel_ = new QWidget(central);
    browserPanel_->setObjectName(QStringLiteral("BrowserPanel"));
    browserPanel_->installEventFilter(this);
    // The page takes every pixel the search field does not need.
    layout->addWidget(browserPanel_, 1);
    setCentralWidget(central);

    if (!environment_.deferBrowser)
        MozillaBrowser();

    statusPanel_ = new QLabel(this);
    statusPanel_->setObjectName(QStringLiteral("StatusPanel"));
    statusPanel_->setMinimumWidth(50);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->addWidget(statusPanel_);

    viewRunner_ = new TViewRunner(synchronizer_,
        { [this](const std::string& text) { SetStatusText(text); }, [this] { ViewBusyChanged(); } },
        this);
    cancelButton_ = new QPushButton(QStringLiteral("中止"), this);
    cancelButton_->setObjectName(QStringLiteral("CancelButton"));
    cancelButton_->hide();
    statusBar()->addPermanentWidget(cancelButton_);
    connect(cancelButton_, &QPushButton::clicked, this, [this] { CancelView(); });
    // Esc belongs to the view only while one runs: otherwise the fields keep it.
    cancelKey_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    cancelKey_->setContext(Qt::WindowShortcut);
    cancelKey_->setEnabled(false);
    connect(cancelKey_, &QShortcut::activated, this, [this] { CancelView(); });
}

QWebEngineView* TMainForm::MozillaBrowser()
{
    if (mozillaBrowser_)
        return mozillaBrowser_;
    // Making the view starts the browser engine and its processes.
    OutputDebugString("Browser view made");
    mozillaBrowser_ = new QWebEngineView(browserPanel_);
    mozillaBrowser_->setObjectName(QStringLiteral("MozillaBrowser"));
    // Drops on the view, and on the widgets it adds, are the window's (FilterDrop).
    mozillaBrowser_->installEventFilter(this);
    page_ = new TBrowserPage(mozillaBrowser_);
    mozillaBrowser_->setPage(page_);
    TranslateViewActions(*page_);
    mozillaBrowser_->move(0, 0);
    // A navigation that fails in its handler is cancelled, so the page stays.
    // Addresses cross over fully encoded, so every one converts to program text.
    page_->SetBeforeNavigate([this](const QUrl& url, TNavigationOrigin origin) {
        bool accept = false;
        RunGuarded(
            [&] { accept = Navigate2(FromQString(url.toString(QUrl::FullyEncoded)), origin); });
        return accept;
    });
    TLinkHook::Install(page_, [this](const QString& href, TNavigationOrigin origin) {
        RunGuarded([&] { Navigate2(FromQString(href), origin); });
    });
    connect(page_, &QWebEnginePage::loadStarted, this,
        [this] { RunGuarded([this] { MozillaBrowserDownloadBegin(); }); });
    connect(page_, &QWebEnginePage::loadFinished, this,
        [this](bool ok) { RunGuarded([this, ok] { MozillaBrowserDownloadComplete(ok); }); });
    // The engine keeps the zoom from page to page; a new page is searched again while the find
    // bar is open.
    mozillaBrowser_->setZoomFactor(Config.Zoom / 100.0);
    connect(page_, &QWebEnginePage::loadFinished, findBar_, &TFindBar::PageLoaded);
    BrowserPanelResize();
    mozillaBrowser_->show();
    return mozillaBrowser_;
}

QAction* TMainForm::AddMenuItem(
    const char* objectName, const QString& caption, void (TMainForm::*handler)())
{
    return AddMenuItem(fileMenu_, objectName, caption, handler);
}

QAction* TMainForm::AddMenuItem(
    QMenu* menu, const char* objectName, const QString& caption, void (TMainForm::*handler)())
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(objectName));
    connect(action, &QAction::triggered, this,
        [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
    return action;
}

void TMainForm::BuildMenu()
{
    fileMenu_ = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    fileMenu_->setObjectName(QStringLiteral("FileMenu"));
    AddMenuItem("LogDLMenu", QStringLiteral("ログ表示..(&L)"), &TMainForm::LogDLMenuClick);
    AddMenuItem("ContinueMenu", QStringLiteral("続きを表示(&O)"), &TMainForm::ContinueMenuClick);
    AddMenuItem(
        "LocalLogMenu", QStringLiteral("ローカルログ表示(&C)"), &TMainForm::LocalLogMenuClick);
    AddMenuItem(
        "SentlogMenu", QStringLiteral("Sent.logを表示(&N)..."), &TMainForm::SentlogMenuClick);
    AddMenuItem("SearchMenu", QStringLiteral("検索(&F)"), &TMainForm::SearchMenuClick)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    AddMenuItem(
        "ImportMenu", QStringLiteral("アーカイブに取り込む(&I)..."), &TMainForm::ImportMenuClick);
    AddMenuItem("SettingMenu", QStringLiteral("設定...(&S)"), &TMainForm::SettingMenuClick);
    AddMenuItem("AboutMenu", QStringLiteral("バージョン情報...(&V)"), &TMainForm::AboutMenuClick);
    AddMenuItem("ExitMenu", QStringLiteral("終了(&E)"), &TMainForm::ExitMenuClick)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    BuildViewMenu();
}

void TMainForm::BuildViewMenu()
{
    viewMenu_ = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    viewMenu_->setObjectName(QStringLiteral("ViewMenu"));
    const auto item = [this](const char* objectName, const QString& caption,
                          void (TMainForm::*handler)(), const QList<QKeySequence>& keys) {
        AddMenuItem(viewMenu_, objectName, caption, handler)->setShortcuts(keys);
    };
    item("FindMenu", QStringLiteral("ページ内を検索(&F)..."), &TMainForm::FindMenuClick,
        { QKeySequence(Qt::CTRL | Qt::Key_F) });
    item("FindNextMenu", QStringLiteral("次を検索(&N)"), &TMainForm::FindNextMenuClick,
        { QKeySequence(Qt::Key_F3) });
    item("FindPreviousMenu", QStringLiteral("前を検索(&P)"), &TMainForm::FindPreviousMenuClick,
        { QKeySequence(Qt::SHIFT | Qt::Key_F3) });
    viewMenu_->addSeparator();
    item("NextPageMenu", QStringLiteral("次のページ(&R)"), &TMainForm::NextPageMenuClick,
        { QKeySequence(Qt::ALT | Qt::Key_Right), QKeySequence(Qt::CTRL | Qt::Key_PageDown) });
    item("PreviousPageMenu", QStringLiteral("前のページ(&L)"), &TMainForm::PreviousPageMenuClick,
        { QKeySequence(Qt::ALT | Qt::Key_Left), QKeySequence(Qt::CTRL | Qt::Key_PageUp) });
    viewMenu_->addSeparator();
    // Ctrl+plus is Ctrl+Shift+= on most keyboards, which Qt matches to Ctrl++ (a shortcut for
    // Ctrl+Shift+= as well would make the key ambiguous); Ctrl+= is the same key without Shift.
    item("ZoomInMenu", QStringLiteral("拡大(&I)"), &TMainForm::ZoomInMenuClick,
        { QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal) });
    item("ZoomOutMenu", QStringLiteral("縮小(&O)"), &TMainForm::ZoomOutMenuClick,
        { QKeySequence(Qt::CTRL | Qt::Key_Minus) });
    item("ZoomResetMenu", QStringLiteral("元の大きさ(&Z)"), &TMainForm::ZoomResetMenuClick,
        { QKeySequence(Qt::CTRL | Qt::Key_0) });
}

void TMainForm::FormCreate()
{
    MessageList.Clear();
    // What an end-of-program write killed half-way left beside the file.
    RemoveStaleTemporaries(environment_.folders.configFile);
    try {
        Config = ReadConfiguration(
            TIniFile::LoadFromFile(environment_.folders.configFile), environment_.folders);
    } catch (const EVelmoError& e) {
        // An unreadable file is reported, and the program starts on the defaults; the file is
        // kept as it is, since writing the defaults over it would lose what the user had.
        ShowError(e.what());
        Config = ReadConfiguration(TIniFile(), environment_.folders);
        configUnreadable_ = true;
    }
    ApplyFolders();
    SetPageZoom(Config.Zoom);
    PlaceWindow();
    BrowserPanelResize();
    // A bad endpoint is reported and the bundled server's address stays in use.
    BottleServer = TBottleServer::FromSetting("");
    RunGuarded([&] { BottleServer = TBottleServer::FromSetting(Config.BottleServer); });

    if (Config.SppDir.empty())
        environment_.messageBox->ShowMessage(Sjis("プラグインフォルダを設定して下さい"));
    LoadPatterns();
    StartDirectSSTP();
    LastMessageTime = Now();
}

void TMainForm::PlaceWindow()
{
    // The screen under the saved window's centre, else the primary one.
    const QPoint centre(Config.Left + Config.Width / 2, Config.Top + Config.Height / 2);
    const QScreen* screen = QGuiApplication::screenAt(centre);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    TWindowRect rect { Config.Left, Config.Top, Config.Width, Config.Height };
    if (screen) {
        const QRect available = screen->availableGeometry();
        const TWindowRect area { available.x(), available.y(), available.width(),
            available.height() };
        rect = Config.SavedGeometry ? FitWindowRect(rect, area) : FirstWindowRect(area);
    }
    // Each value is applied at once, in the file's order: top, left, width, height.
    move(x(), rect.top);
    move(rect.left, y());
    resize(rect.width, height());
    resize(width(), rect.height);
}

void TMainForm::StartDirectSSTP()
{
    try {
        DirectSSTP
            = std::make_unique<TDirectSSTP>(synchronizer_, [this] { return Config.FMONames; });
    } catch (const EVelmoError& e) {
        // Without its reply window nothing can be played; everything else works.
        ShowError(e.what());
        return;
    }
    DirectSSTP->SetSenderName(FromQString(windowTitle()));
    DirectSSTP->SetStatusHandler([this](const std::string& text) { SetStatusText(text); });
    replyNotifier_ = new QSocketNotifier(DirectSSTP->ReplyFd(), QSocketNotifier::Read, this);
    connect(replyNotifier_, &QSocketNotifier::activated, this,
        [this] { RunGuarded([this] { DirectSSTP->ProcessReplies(); }); });
}

void TMainForm::PlayMessage(const TBottleMessage& message)
{
    const std::string tags = GetErrorTags(message.Script, SsParser);
    if (!tags.empty()) {
        TMessageRequest request;
        request.kind = TMessageKind::Warning;
        request.title = Sjis("警告");
        request.text = Sjis("エラータグ:") + tags + Sjis(" 強制再生しますか？");
        request.buttons = TMessageButtons::YesNo;
        request.defaultAnswer = TMessageAnswer::No;
        if (environment_.messageBox->Show(request) == TMessageAnswer::No)
            return;
    }
    if (!DirectSSTP)
        throw EVelmoError(Sjis("再生できません: SSTPの受信窓を作れませんでした"));
    DirectSSTP->Enqueue(TPlayRequest { message.Ghost, message.Channel, message.Script });
    // Said at once: a host may take long to answer, and the last play's outcome is not this one's.
    SetStatusText(Sjis("再生待ち: ") + message.Ghost + Sjis(": 送っています"));
}

void TMainForm::LoadPatterns()
{
    // A missing or unreadable pattern file is reported by name, and start-up goes on with that
    // list empty: every tag then shows as an error tag, which is visible and harmless.
    LoadPatternFiles(
        SsParser, environment_.folders, [this](const std::string& text) { ShowError(text); });
}

void TMainForm::ApplyFolders()
{
    Surfaces.SppDir = Config.SppDir;
    Surfaces.CacheDir = Config.SurfaceCacheDir;
}

void TMainForm::FormDestroy()
{
    if (configUnreadable_) {
        environment_.messageBox->ShowMessage(environment_.folders.configFile
            + Sjis(" を読み込めなかったので、設定を保存せずにそのまま残します"));
        return;
    }
    // The whole file is built in memory from what was read, then replaced in one step: a failure
    // leaves the old file as it was instead of half-written.
    try {
        if (environment_.folders.installed)
            CreateFolders(environment_.folders.userDataFolder, 0700);
        TIniFile ini = TIniFile::LoadFromFile(environment_.folders.configFile);
        // Position is the frame's; the size is the window's own, as it was applied at start-up.
        Config.Top = pos().y();
        Config.Left = pos().x();
        Config.Width = width();
        Config.Height = height();
        Config.Zoom = PageZoom();
        const std::vector<std::string> failures = WriteConfiguration(ini, Config);
        ini.SaveToFile(environment_.folders.configFile);
        for (const std::string& failure : failures)
            environment_.messageBox->ShowMessage(
                environment_.folders.configFile + Sjis(" に次の設定を書き込めません: ") + failure);
    } catch (const EVelmoError&) {
        environment_.messageBox->ShowMessage(
            environment_.folders.configFile + Sjis(" に書き込めません"));
    }
}

QString TMainForm::StatusText() const
{
    return statusPanel_->text();
}

void TMainForm::SetStatusText(const std::string& text)
{
    // A long text (a play refused, with what to do about it) is cut by a narrow window: the tip
    // shows it whole.
    statusPanel_->setText(ToQString(text));
    statusPanel_->setToolTip(statusPanel_->text());
}

void TMainForm::RunGuarded(const std::function<void()>& command)
{
    try {
        command();
    } catch (const std::exception& e) {
        ShowError(e.what());
    } catch (...) {
        ShowError("Unknown error");
    }
}

void TMainForm::ShowError(const std::string& text)
{
    TMessageRequest request;
    request.kind = TMessageKind::Error;
    request.text = text;
    environment_.messageBox->Show(request);
}

void TMainForm::LogDLMenuClick()
{
    if (RefuseWhileGathering())
        return;
    BrowserPanelResize();
    TLogDownForm dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    TViewRequest request;
    request.log = dialog.Request();
    GatherView(request);
}

void TMainForm::ContinueMenuClick()
{
    if (RefuseWhileGathering())
        return;
    BrowserPanelResize();
    TViewRequest request;
    request.log.choice = TLogChoice::From;
    request.log.startDate = DateOf(LastMessageTime);
    request.log.startTime = TimeOf(LastMessageTime);
    GatherView(request);
}

bool TMainForm::RefuseWhileGathering()
{
    if (!viewRunner_->Gathering())
        return false;
    SetStatusText(Sjis("ログを受信しています。終わるまで待つか、Escか中止で止めてください"));
    return true;
}

void TMainForm::GatherView(const TViewRequest& request, const std::string& status)
{
    if (RefuseWhileGathering())
        return;
    viewRunner_->Gather(
        request, ViewPlace(), WorkerHooks(), [this, request, status](TGathered& gathered) {
            RunGuarded([&] { GatheredView(request, gathered, status); });
        });
}

void TMainForm::GatheredView(
    const TViewRequest& request, TGathered& gathered, const std::string& status)
{
    // A cancel, or the program ending, is no failure to report: the view stays as it was.
    if (gathered.stopped) {
        SetStatusText(gathered.error);
        return;
    }
    if (!gathered.error.empty()) {
        SetStatusText(gathered.error);
        ShowError(gathered.error);
        return;
    }
    switch (gathered.result.outcome) {
    case TViewOutcome::NotALog:
        SetStatusText(gathered.result.problem);
        return;
    case TViewOutcome::NoMessages:
        SetStatusText(Sjis("表示するメッセージはありません。"));
        return;
    case TViewOutcome::Pages:
        break;
    }
    const std::string offline = gathered.result.offline;
    ShowView(std::move(gathered.messages), offline.empty() ? status : OfflineText(offline));
    if (request.source == TViewSource::Server && !MessageList.Empty())
        LastMessageTime = MessageList.Last().LogTime;
}

TViewResult TMainForm::GatherNow(const TViewRequest& request, TMessageList& list)
{
    const TWaitCursor waitCursor;
    return GatherMessages(request, ViewPlace(), ViewHooks(), list);
}

TViewHooks TMainForm::WorkerHooks()
{
    TViewHooks hooks;
    const std::shared_ptr<TQueueSynchronizer> synchronizer = synchronizer_;
    // The window's own connection first: it makes or upgrades the archive and says once when it
    // cannot. The worker keeps the messages through a connection of its own.
    if (Archive()) {
        try {
            auto archive = std::make_shared<TArchive>(environment_.folders.archiveFile, &SsParser);
            hooks.store = [this, archive, synchronizer, server = ArchiveServerName(Config)](
                              const TMessageList& messages) {
                try {
                    archive->Store(messages, server);
                } catch (const EArchiveError& e) {
                    const std::string text = e.what();
                    synchronizer->Synchronize([this, &text] { ReportArchiveFailure(text); });
                }
            };
        } catch (const EVelmoError& e) {
            ReportArchiveFailure(e.what());
        }
    }
    hooks.recall = [synchronizer, recall = ViewHooks().recall](
                       const TLogRequest& request, TMessageList& messages) {
        synchronizer->Synchronize([&] { recall(request, messages); });
    };
    return hooks;
}

void TMainForm::ShowView(TMessageList&& messages, const std::string& status)
{
    viewRunner_->StopPages();
    MessageList = std::move(messages);
    if (environment_.folders.installed)
        PreparePageFolder(environment_.folders, PageSettings());
    TViewRunner::TPageEvents events;
    events.show = [this, status](const std::string& path, int32_t page) {
        if (page == 1)
            ShowFirstPage(status);
        else
            ShowPage(path);
    };
    events.done
        = [this] { SetStatusText(pageStatus_.empty() ? Sjis("読み込み完了") : pageStatus_); };
    events.failed = [this](const std::string& text) {
        if (!TerminationRequested())
            ShowError(text);
    };
    viewRunner_->WritePages(MessageList, PageSettings(), SsParser, Surfaces, std::move(events));
}

void TMainForm::ShowPage(const std::string& path)
{
    MozillaBrowser()->load(FileUrl(path));
}

void TMainForm::CancelView()
{
    viewRunner_->Cancel();
}

void TMainForm::ViewBusyChanged()
{
    const bool busy = viewRunner_->Busy();
    cancelButton_->setVisible(busy);
    cancelKey_->setEnabled(busy);
    // No other view starts while a download runs; the menu says so by its greyed items.
    for (const char* name :
        { "LogDLMenu", "ContinueMenu", "LocalLogMenu", "SentlogMenu", "ImportMenu" })
        if (QAction* action = findChild<QAction*>(QString::fromLatin1(name)))
            action->setEnabled(!viewRunner_->Gathering());
}

bool TMainForm::ProcessCommandLine(const TCommandLine& line)
{
    const bool search = line.verb == TVerb::Search;
    TViewRequest request;
    request.log = line.request;
    if (search) {
        request.source = TViewSource::Search;
        request.query = ParseQuery(line.query);
    }
    request.stopWhenEmpty = false;
    // The page size is for this run only: the configured value is what the file keeps.
    TViewPlace place = ViewPlace();
    place.pages.messagesPerPage = line.messagesPerPage;
    const TViewResult result = RunView(request, place);
    // Nobody reads a status bar in a batch run: an answer that is no log fails the run, and so
    // does a server that could not be reached, though the pages from the archive are written.
    if (result.outcome == TViewOutcome::NotALog)
        throw EVelmoError(result.problem);
    if (line.noView && !result.offline.empty())
        throw EVelmoError(OfflineText(result.offline));
    if (line.noView && MessageList.Empty())
        environment_.messageBox->ShowMessage(
            Sjis(search ? "見つかりませんでした" : "表示するメッセージはありません。"));
    if (line.noView)
        return true;
    BrowserPanelResize();
    if (search) {
        searchBar_->Field()->setText(ToQString(line.query));
        ShowSearchResult(request.query, MessageList.Count());
    } else {
        ShowFirstPage(result.offline.empty() ? std::string() : OfflineText(result.offline));
    }
    return false;
}

void TMainForm::LocalLogMenuClick()
{
    ShowLocalLog(environment_.folders.DataFile("log.txt"));
}

void TMainForm::SentlogMenuClick()
{
    ShowSentLog(*environment_.openDialog);
}

void TMainForm::SearchMenuClick()
{
    searchBar_->Focus();
}

void TMainForm::ShowSearch(const TQuery& query)
{
    // None found: the pages shown and the messages their links act on stay as they are.
    if (ArchiveToSearch(Archive()).CountMatches(query) == 0) {
        ShowSearchResult(query, 0);
        return;
    }
    if (RefuseWhileGathering())
        return;
    BrowserPanelResize();
    TViewRequest request;
    request.source = TViewSource::Search;
    request.query = query;
    TMessageList list;
    GatherNow(request, list);
    const int32_t hits = list.Count();
    searchBar_->SayHits(hits);
    ShowView(std::move(list), SearchStatusText(query, hits));
}

void TMainForm::ShowSearchResult(const TQuery& query, int64_t hits)
{
    // No hits: the page shown stays, since no page was written for the search.
    searchBar_->SayHits(hits);
    const std::string status = SearchStatusText(query, hits);
    if (hits == 0)
        SetStatusText(status);
    else
        ShowFirstPage(status);
}

void TMainForm::ImportMenuClick()
{
    if (!environment_.pathsDialog || RefuseWhileGathering())
        return;
    const std::vector<std::string> paths
        = environment_.pathsDialog->Execute(Sjis("アーカイブに取り込むファイルとフォルダ"));
    if (paths.empty())
        return;
    // A connection of its own: SQLite lets the import's long run of transactions share the file
    // with whatever else keeps messages.
    TArchive archive(environment_.folders.archiveFile, &SsParser, UpgradeProgress());
    std::unique_ptr<IProgressWindow> window;
    if (environment_.progressWindows)
        window = environment_.progressWindows->Show();
    QElapsedTimer sinceShown;
    sinceShown.start();
    TImportOptions options;
    options.progress = [&](const TImportProgress& progress) {
        if (sinceShown.elapsed() < 100)
            return;
        sinceShown.restart();
        if (window)
            window->SetContent(ImportProgressText(progress));
        // The windows keep painting and answering the desktop; the person's input waits for the
        // end, so that no other command runs in the middle of the import.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    const TImportSummary summary = ImportLogs(paths, archive, ArchiveServerName(Config), options);
    window.reset();
    TMessageRequest box;
    box.kind = summary.Complete() ? TMessageKind::Information : TMessageKind::Warning;
    box.text = ImportSummaryText(summary, 10);
    environment_.messageBox->Show(box);
}

TViewResult TMainForm::RunView(const TViewRequest& request)
{
    return RunView(request, ViewPlace());
}

TViewResult TMainForm::RunView(const TViewRequest& request, const TViewPlace& place)
{
    // The whole view at once, over the current log: pages still being written stop.
    viewRunner_->StopPages();
    const TWaitCursor waitCursor;
    return TLogView(MessageList, SsParser, Surfaces).Run(request, place, ViewHooks());
}

TViewHooks TMainForm::ViewHooks()
{
    TViewHooks hooks;
    hooks.store = [this](const TMessageList& messages) {
        if (TArchive* archive = Archive()) {
            try {
                archive->Store(messages, ArchiveServerName(Config));
            } catch (const EArchiveError& e) {
                ReportArchiveFailure(e.what());
            }
        }
    };
    hooks.recall = [this](const TLogRequest& request, TMessageList& messages) {
        if (TArchive* archive = Archive()) {
            const TLogSpan span = RequestSpan(request, Now());
            try {
                archive->Recall(span.from, span.to, messages);
            } catch (const EArchiveError& e) {
                ReportArchiveFailure(e.what());
            }
        }
    };
    hooks.search = [this](const TQuery& query, TMessageList& messages) {
        // A program told to end stops reading hits; writing their pages then stops too.
        ArchiveToSearch(Archive()).Search(query, [&](const TBottleMessage& message) {
            messages.Add(message);
            return !TerminationRequested();
        });
    };
    return hooks;
}

TArchive* TMainForm::Archive()
{
    if (!archive_ && !archiveFailed_) {
        try {
            archive_ = std::make_unique<TArchive>(
                environment_.folders.archiveFile, &SsParser, UpgradeProgress());
        } catch (const EVelmoError& e) {
            archiveFailed_ = true;
            ReportArchiveFailure(e.what());
        }
    }
    return archive_.get();
}

std::function<void(int64_t, int64_t)> TMainForm::UpgradeProgress()
{
    return [this](int64_t done, int64_t total) {
        SetStatusText(Sjis("アーカイブの検索用索引を作っています: ") + std::to_string(done) + " / "
            + std::to_string(total) + Sjis(" 件"));
        // Painted at once without running other events: the archive is opened in the middle of a
        // command, which nothing else may enter.
        statusPanel_->repaint();
    };
}

void TMainForm::ReportArchiveFailure(const std::string& text)
{
    // The pages show all the same; a box says it the first time, the status bar every time.
    const std::string said = Sjis("アーカイブに保存できません: ") + text;
    if (!archiveReported_)
        ShowError(said);
    archiveReported_ = true;
    SetStatusText(said);
}

TViewPlace TMainForm::ViewPlace() const
{
    return { BottleServer, environment_.folders, PageSettings() };
}

TPageSettings TMainForm::PageSettings() const
{
    return { Config.MessagesPerPage, Config.HTMLFolder, environment_.folders.pageFolder,
        Config.CSSFile };
}

void TMainForm::ShowFirstPage(const std::string& status)
{
    viewShown_ = true;
    startPagePath_.clear();
    pageStatus_ = status;
    if (!status.empty())
        SetStatusText(status);
    ShowPage(PagePath(PageSettings(), 1));
}

void TMainForm::SettingMenuClick()
{
    ShowSettings(false);
}

void TMainForm::ShowSettings(bool atServer)
{
    TSettingForm dialog(this);
    dialog.ShowConfiguration(Config);
    if (atServer)
        dialog.ServerEdit->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return;
    // Every text is read first (one with a character that has no Shift_JIS form fails), so a
    // failure changes nothing; each value takes effect at its next use.
    Config = dialog.TakeConfiguration(Config);
    ApplyFolders();
    BottleServer = TBottleServer::FromSetting(Config.BottleServer);
    if (DirectSSTP)
        DirectSSTP->ReloadMappingNames();
}

void TMainForm::AboutMenuClick()
{
    TMessageRequest request;
    request.kind = TMessageKind::Information;
    request.title = Sjis("情報");
    request.text = Sjis("Velmo version " VELMO_VERSION "\r\n開発元サイトを開きますか？");
    request.buttons = TMessageButtons::YesNo;
    request.defaultAnswer = TMessageAnswer::No;
    if (environment_.messageBox->Show(request) == TMessageAnswer::Yes)
        environment_.outsideBrowser->Open(Config.BrowserCommand, kMakerSiteUrl);
}

void TMainForm::ExitMenuClick()
{
    close();
}

void TMainForm::FindMenuClick()
{
    findBar_->Open();
}

void TMainForm::FindNextMenuClick()
{
    findBar_->FindNext();
}

void TMainForm::FindPreviousMenuClick()
{
    findBar_->FindPrevious();
}

void TMainForm::NextPageMenuClick()
{
    TurnPage(1);
}

void TMainForm::PreviousPageMenuClick()
{
    TurnPage(-1);
}

void TMainForm::TurnPage(int32_t step)
{
    // The page shown, not the view's history: after a link to another page, or a new view, the
    // keys lead on from where the person is.
    if (!mozillaBrowser_ || !mozillaBrowser_->url().isLocalFile())
        return;
    if (const std::optional<std::string> page
        = NeighbourPage(UrlFilePath(mozillaBrowser_->url()), step))
        ShowPage(*page);
}

void TMainForm::ZoomInMenuClick()
{
    SetPageZoom(NextZoom(PageZoom(), 1));
}

void TMainForm::ZoomOutMenuClick()
{
    SetPageZoom(NextZoom(PageZoom(), -1));
}

void TMainForm::ZoomResetMenuClick()
{
    SetPageZoom(kDefaultZoom);
}

int32_t TMainForm::PageZoom() const
{
    if (!mozillaBrowser_)
        return Config.Zoom;
    return ValidZoom(static_cast<int32_t>(std::lround(mozillaBrowser_->zoomFactor() * 100)));
}

void TMainForm::SetPageZoom(int32_t percent)
{
    Config.Zoom = ValidZoom(percent);
    if (mozillaBrowser_)
        mozillaBrowser_->setZoomFactor(Config.Zoom / 100.0);
}

void TMainForm::BrowserPanelResize()
{
    if (mozillaBrowser_)
        mozillaBrowser_->resize(browserPanel_->width() - 10, browserPanel_->height());
}

void TMainForm::MozillaBrowserDownloadBegin()
{
    statusPanel_->setText(QStringLiteral("読み込み中..."));
    mozillaBrowser_->setCursor(Qt::WaitCursor);
}

void TMainForm::MozillaBrowserDownloadComplete(bool)
{
    OutputDebugString("Page loaded: " + FromQString(mozillaBrowser_->url().toString()));
    if (pageStatus_.empty())
        statusPanel_->setText(QStringLiteral("読み込み完了"));
    else
        SetStatusText(pageStatus_);
    mozillaBrowser_->unsetCursor();
    viewRunner_->PageShown();
}

bool TMainForm::Navigate2(const std::string& url, TNavigationOrigin origin)
{
    switch (LinkActionFor(url, origin)) {
    case TLinkAction::RunCommand:
        if (ClassifyLink(url) == TLinkCommand::Start)
            RunStartCommand(url);
        else
            RunLinkCommand(url);
        return false;
    case TLinkAction::OpenOutside:
        environment_.outsideBrowser->Open(Config.BrowserCommand, url);
        return false;
    case TLinkAction::Show:
        // A page of the view not written yet: shown once it is.
        if (const QUrl address(ToQString(url));
            address.isLocalFile() && viewRunner_->Want(UrlFilePath(address))) {
            SetStatusText(Sjis("ページを書いています..."));
            return false;
        }
        return true;
    case TLinkAction::Refuse:
        break;
    }
    return false;
}

void TMainForm::RunLinkCommand(const std::string& url)
{
    const TLinkCommand command = ClassifyLink(url);
    const TBottleMessage& message = MessageList.Items(LinkIndex(url, command));
    if (command == TLinkCommand::Play) {
        PlayMessage(message);
        return;
    }
    const bool vote = command == TLinkCommand::Vote;
    const std::string error = SendVote(message.MID, vote ? "Vote" : "Agree");
    if (!error.empty()) {
        environment_.messageBox->ShowMessage(error);
    } else {
        SetStatusText(Sjis(vote ? "投票しました:" : "同意しました") + message.MID);
        Beep();
    }
}

std::string TMainForm::SendVote(const std::string& mid, const std::string& voteType)
{
    if (Config.LUID.empty())
        return Sjis("LUID設定しない人嫌いです");
    PostBottleCommand(VoteRequestText(voteType, Config.LUID, mid));
    return {};
}

void TMainForm::PostBottleCommand(const std::string& requestText)
{
    auto* thread = new THTTPDownloadThread(
        BottleServer, "/bottle2.cgi", EncodeRequestText(requestText), synchronizer_);
    thread->SetOnSuccess([this](THTTPDownloadThread& t) { VoteRequestDone(t); });
    thread->SetOnError([this](THTTPDownloadThread& t) { VoteRequestFailed(t); });
    thread->Resume();
}

void TMainForm::VoteRequestDone(THTTPDownloadThread& thread)
{
    ShowNotices(VoteAnswerNotices(thread.ResponseText));
}

void TMainForm::VoteRequestFailed(THTTPDownloadThread& thread)
{
    ShowNotices(VoteFailureNotices(thread.ErrorMessage));
}

void TMainForm::ShowNotices(const std::vector<TNotice>& notices)
{
    for (const TNotice& notice : notices) {
        for (int i = 0; i < notice.beeps; ++i)
            Beep();
        environment_.messageBox->ShowMessage(notice.text);
    }
}

void TMainForm::Beep()
{
    ++BeepCount;
    QApplication::beep();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == browserPanel_ && event->type() == QEvent::Resize)
        RunGuarded([this] { BrowserPanelResize(); });
    if (FilterDrop(watched, event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::ShowLocalLog(const std::string& path, const std::string& status)
{
    if (RefuseWhileGathering())
        return;
    BrowserPanelResize();
    TViewRequest request;
    request.source = TViewSource::LocalLog;
    request.path = path;
    request.stopWhenEmpty = false;
    GatherView(request, status);
}

void TMainForm::ShowSentLog(IOpenDialog& chooser)
{
    if (RefuseWhileGathering())
        return;
    BrowserPanelResize();
    TViewRequest request;
    request.source = TViewSource::SentLog;
    request.chooser = &chooser;
    TMessageList list;
    // A cancelled chooser or an empty file: the pages shown and their messages stay.
    if (GatherNow(request, list).outcome == TViewOutcome::Pages)
        ShowView(std::move(list), {});
}

void TMainForm::ShowStartPage()
{
    if (viewShown_)
        return;
    try {
        startPagePath_ = WriteStartPage(environment_.folders);
    } catch (const EVelmoError& e) {
        // The window works without it: the menu has every command.
        SetStatusText(Sjis("スタートページを書き込めません: ") + e.what());
        return;
    }
    pageStatus_ = Sjis("ようこそ");
    ShowPage(startPagePath_);
}

bool TMainForm::StartPageShown() const
{
    return !startPagePath_.empty() && mozillaBrowser_
        && mozillaBrowser_->url() == FileUrl(startPagePath_);
}

void TMainForm::RunStartCommand(const std::string& url)
{
    // Only the start page's own links act, and only while it is the page shown: a page of
    // messages cannot write one, and a page loaded over the start page does not inherit it.
    if (!StartPageShown())
        return;
    const std::string word = StartCommandWord(url);
    if (word == kStartDemo)
        ShowLocalLog(
            environment_.folders.dataFolder + "log.txt", Sjis("デモのログを表示しています"));
    else if (word == kStartImport)
        ImportMenuClick();
    else if (word == kStartServer)
        ShowSettings(true);
    else if (word == kStartLogDownload)
        LogDLMenuClick();
}

bool TMainForm::FilterDrop(QObject* watched, QEvent* event)
{
    // The view's own widgets come and go with its renderer: each is watched as it is added.
    if (watched == mozillaBrowser_ && event->type() == QEvent::ChildAdded) {
        if (QObject* child = static_cast<QChildEvent*>(event)->child(); child->isWidgetType())
            child->installEventFilter(this);
        return false;
    }
    const bool ours = watched == this || (mozillaBrowser_ && watched == mozillaBrowser_)
        || (mozillaBrowser_ && watched->parent() == mozillaBrowser_);
    if (!ours)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        return true;
    }
    case QEvent::DragLeave:
        return true;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QList<QUrl> urls = drop->mimeData()->urls();
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        // Shown once the drop has ended, so that the program it came from is not kept waiting.
        QTimer::singleShot(0, this, [this, urls] { RunGuarded([&] { DropFiles(urls); }); });
        return true;
    }
    default:
        return false;
    }
}

void TMainForm::DropFiles(const QList<QUrl>& urls)
{
    std::vector<std::string> paths;
    for (const QUrl& url : urls) {
        std::string path;
        try {
            if (url.isLocalFile())
                path = UrlFilePath(url);
        } catch (const EEncodingError&) {
            SetStatusText(Sjis("Shift_JISで表せない文字を名前に含むファイルは表示できません"));
            Beep();
            return;
        }
        paths.push_back(path);
    }
    const TDroppedLog dropped = ExamineDrop(paths);
    if (!dropped.refusal.empty()) {
        SetStatusText(dropped.refusal);
        Beep();
        return;
    }
    if (dropped.source == TViewSource::LocalLog) {
        ShowLocalLog(dropped.path);
    } else {
        TChosenFile chooser(dropped.path);
        ShowSentLog(chooser);
    }
}
