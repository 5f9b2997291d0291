#pragma once

#include "app/BottleCommands.h"
#include "app/CommandLine.h"
#include "app/Configuration.h"
#include "app/LogView.h"
#include "log/BottleServer.h"
#include "log/LogReader.h"
#include "log/MessageList.h"
#include "platform/AppFolders.h"
#include "platform/DateTime.h"
#include "render/PageWriter.h"
#include "render/SsParser.h"
#include "render/Surfaces.h"

#include <QList>
#include <QMainWindow>
#include <QUrl>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class IMessageBox;
class IOutsideBrowser;
class IPathsDialog;
class IProgressWindowFactory;
class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QShortcut;
class QWebEngineView;
class QWidget;
class TArchive;
class TBrowserPage;
class TFindBar;
class TSearchBar;
class TViewRunner;
struct TGathered;
class TSppList;
class TDirectSSTP;
class THTTPDownloadThread;
class TQueueSynchronizer;
class QSocketNotifier;
struct TNotice;

// What the main window needs from outside: where it lives and how it talks to the person.
struct TMainFormEnvironment
{
    TAppFolders folders; // the configuration file, data files and default folders
    IMessageBox* messageBox = nullptr; // must outlive the window
    IOutsideBrowser* outsideBrowser = nullptr; // must outlive the window
    TSppList* sppList = nullptr; // the program-wide plug-in list; must outlive the window
    IOpenDialog* openDialog = nullptr; // the Sent.log file dialog; must outlive the window
    // A batch run that shows no page starts no browser engine: the view is made when it is
    // first needed instead of with the window.
    bool deferBrowser = false;
    // The import's chooser of files and folders and its progress window; must outlive the window.
    // Without a chooser the import does nothing; without a factory it shows no progress.
    IPathsDialog* pathsDialog = nullptr;
    IProgressWindowFactory* progressWindows = nullptr;
};

// The program's one window. It owns the state that outlives a log view (configuration values,
// the current log, the tokenizer, surface cache and ghost sender) and turns menu commands
// and browser events into calls on the core. Construction reads the configuration; destruction
// writes it. GUI thread only.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainForm(const TMainFormEnvironment& environment, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Main window state, reached by every view and command.
    // The configuration file's values: read once at start, shown in and taken back from the
    // settings dialog, written once at the end. The window's geometry is taken at the end.
    TConfiguration Config;
    TMessageList MessageList;
    TDateTime LastMessageTime = 0;
    TSurfaces Surfaces; // holds the plug-in folder and the cache folder
    std::unique_ptr<TDirectSSTP> DirectSSTP; // null when its reply window could not be made
    TBottleServer BottleServer;
    TSsParser SsParser;

    QWidget* BrowserPanel() const { return browserPanel_; }
    TSearchBar* SearchBar() const { return searchBar_; }
    TFindBar* FindBar() const { return findBar_; }
    // The view, made now if it has not been yet.
    QWebEngineView* MozillaBrowser();
    QMenu* FileMenu() const { return fileMenu_; }
    QMenu* ViewMenu() const { return viewMenu_; }
    QString StatusText() const;
    void SetStatusText(const std::string& text);

    // Runs a command; an exception it raises is shown in a message box and the program goes on
    // (the general error handler).
    void RunGuarded(const std::function<void()>& command);
    void ShowError(const std::string& text);

    // Menu commands.
    void LogDLMenuClick();
    void ContinueMenuClick();
    void LocalLogMenuClick();
    void SentlogMenuClick();
    // Puts the cursor in the search field (also Ctrl+K).
    void SearchMenuClick();
    // Reads the chosen log files and folders into the archive, with a progress window, and shows
    // what it did.
    void ImportMenuClick();
    void SettingMenuClick();
    void AboutMenuClick();
    void ExitMenuClick();

    // The view menu: find in the page shown (Ctrl+F, F3, Shift+F3), the next and previous page
    // of the shown view (Alt+Right/Left, Ctrl+PageDown/PageUp; at the first and last page
    // nothing happens), and the zoom, a step at a time (Ctrl+plus, Ctrl+minus, Ctrl+0). The keys
    // work wherever the focus is in the window, the page or a field.
    void FindMenuClick();
    void FindNextMenuClick();
    void FindPreviousMenuClick();
    void NextPageMenuClick();
    void PreviousPageMenuClick();
    void ZoomInMenuClick();
    void ZoomOutMenuClick();
    void ZoomResetMenuClick();
    // The pages' zoom in percent: the view's own, which Ctrl+wheel also changes, once the view is
    // made; the remembered one before.
    int32_t PageZoom() const;

    // The archive's messages the query finds, as pages; the status bar says the query and the
    // number of hits.
    void ShowSearch(const TQuery& query);

    // The log views' shared steps: every view runs through TLogView. RunView runs a whole view
    // at once (the command line); the window's own views gather their messages on a worker
    // (GatherView) or at once (GatherNow), then show them (ShowView) with their first page at
    // once and the rest written behind it.
    TViewResult RunView(const TViewRequest& request);
    TViewResult RunView(const TViewRequest& request, const TViewPlace& place);
    // What every view does besides its pages: keep what it read in the archive, and recall kept
    // messages when the server cannot be reached.
    TViewHooks ViewHooks();
    // The archive, opened on first use; null when it cannot be (said once, and the views go on
    // without it).
    TArchive* Archive();
    // Says in the status bar how far building the search index of an older archive has come.
    std::function<void(int64_t, int64_t)> UpgradeProgress();
    TViewPlace ViewPlace() const;
    TPageSettings PageSettings() const;
    // Sends the browser to the first page of the current settings. A status given stays in the
    // status bar once the page has loaded (and while its pages are read), where it would otherwise
    // say "読み込み完了".
    void ShowFirstPage(const std::string& status = {});

    // The start page: what the program is and the first things to do. Shown only while no view
    // has been shown in this session; its links act only while it is the page shown.
    void ShowStartPage();
    bool StartPageShown() const;

    // Runs a batch request from the program's arguments. Returns true when the program should end
    // now ("noview"). A failed download, an answer that is no log or a malformed log throws.
    bool ProcessCommandLine(const TCommandLine& line);

    void BrowserPanelResize();
    void MozillaBrowserDownloadBegin();
    void MozillaBrowserDownloadComplete(bool ok);
    // The before-navigate event and the command links: true lets the browser go to the address.
    // Commands run only for origin OwnPageClick (see LinkActionFor).
    bool Navigate2(const std::string& url, TNavigationOrigin origin);
    // Vote, agree or play for a command link; an index outside the list throws.
    void RunLinkCommand(const std::string& url);

    // Vote and agree: the request goes out on its own thread; the empty text means it did.
    std::string SendVote(const std::string& mid, const std::string& voteType);
    void PostBottleCommand(const std::string& requestText);
    void VoteRequestDone(THTTPDownloadThread& thread);
    void VoteRequestFailed(THTTPDownloadThread& thread);

    // The view under way in the background (its download, or its pages being written).
    TViewRunner* ViewRunner() const { return viewRunner_; }
    // Stops the download under way (no view changes) or the writing of pages (Esc, 中止).
    void CancelView();

    // The system beep; counted so that tests can see it.
    void Beep();
    int BeepCount = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWidgets();
    void BuildMenu();
    QAction* AddMenuItem(
        const char* objectName, const QString& caption, void (TMainForm::*handler)());
    QAction* AddMenuItem(
        QMenu* menu, const char* objectName, const QString& caption, void (TMainForm::*handler)());
    void BuildViewMenu();
    void TurnPage(int32_t step);
    void SetPageZoom(int32_t percent);
    void FormCreate();
    void FormDestroy();
    void LoadPatterns();
    // The status and the field's note after a search: its first page, or none found.
    void ShowSearchResult(const TQuery& query, int64_t hits);
    // The view in the background: one at a time. True (and the status bar says why) when a
    // download is under way, so that nothing else starts.
    bool RefuseWhileGathering();
    // Gathers the request's messages on the worker, then shows them; status (when given) stays
    // in the status bar once the first page is shown.
    void GatherView(const TViewRequest& request, const std::string& status = {});
    // Gathers the request's messages into the list on this thread (the Sent.log chooser, a
    // search), with the wait cursor.
    TViewResult GatherNow(const TViewRequest& request, TMessageList& list);
    // The hooks of a view gathered on the worker: a store of its own archive connection, the
    // recall through the synchroniser.
    TViewHooks WorkerHooks();
    // Takes the gathered messages as the current log and writes their pages, the first shown at
    // once with the status given.
    void ShowView(TMessageList&& messages, const std::string& status);
    void GatheredView(const TViewRequest& request, TGathered& gathered, const std::string& status);
    void ViewBusyChanged();
    void ShowPage(const std::string& path);

    // Puts the values that live elsewhere (the surface cache's folders) where they are used.
    void ApplyFolders();

    void ShowNotices(const std::vector<TNotice>& notices);
    void StartDirectSSTP();
    // The play command after its link was cancelled: the error-tag warning, then the queue.
    void PlayMessage(const TBottleMessage& message);

    // The first start, the start page and drops.
    // Sizes the window from the configuration, on the screen it opens on.
    void PlaceWindow();
    // A start page command, when the start page is the page shown.
    void RunStartCommand(const std::string& url);
    // The local log and Sent.log views, for the menu, the demo and a dropped file.
    void ShowLocalLog(const std::string& path, const std::string& status = {});
    void ShowSentLog(IOpenDialog& chooser);
    void ShowSettings(bool atServer);
    // Takes drags over the window and the view, which would otherwise go to the dropped file.
    bool FilterDrop(QObject* watched, QEvent* event);
    void DropFiles(const QList<QUrl>& urls);
    std::string startPagePath_; // the start page written, while it has not been left for a view
    bool viewShown_ = false;

    TMainFormEnvironment environment_;
    std::shared_ptr<TQueueSynchronizer> synchronizer_;
    QSocketNotifier* synchronizerNotifier_ = nullptr;
    QSocketNotifier* replyNotifier_ = nullptr;
    TSearchBar* searchBar_ = nullptr;
    TFindBar* findBar_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QWidget* browserPanel_ = nullptr;
    QWebEngineView* mozillaBrowser_ = nullptr;
    TBrowserPage* page_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    TViewRunner* viewRunner_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QShortcut* cancelKey_ = nullptr;
    std::string pageStatus_; // what the status bar says of the pages shown, once loaded
    QMenu* fileMenu_ = nullptr;
    void ReportArchiveFailure(const std::string& text);
    std::unique_ptr<TArchive> archive_;
    bool archiveFailed_ = false; // no more tries this session
    bool archiveReported_ = false; // a box has said it
    bool configUnreadable_ = false; // the file exists but could not be read: never write it
};
