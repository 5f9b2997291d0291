// The viewer's entry point: library plus main().

#include "Version.h"
#include "app/Application.h"
#include "app/ArchiveCommands.h"
#include "app/CommandLine.h"
#include "app/Configuration.h"
#include "app/MainFormUnit.h"
#include "app/QtMessageBox.h"
#include "app/QtOpenDialog.h"
#include "app/QtOutsideBrowser.h"
#include "app/QtTranslations.h"
#include "platform/AppFolders.h"
#include "platform/Encoding.h"
#include "platform/Errors.h"
#include "platform/IniFile.h"
#include "platform/MessageBox.h"
#include "platform/Termination.h"
#include "render/ProgressWindow.h"
#include "render/SppList.h"

#include <QLibraryInfo>

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The verbs that need no window: the usage, the version, and the archive's commands.
int RunWithoutWindow(TCommandLine line, char* argv[])
{
    if (line.verb == TVerb::Help) {
        std::cout << SjisToUtf8Lossy(UsageText());
        return 0;
    }
    if (line.verb == TVerb::Version) {
        std::cout << "Velmo " VELMO_VERSION "\n";
        return 0;
    }
    // Told to end, an import or a sync stops between two steps with what it has committed.
    struct sigaction action
    { };
    action.sa_handler = [](int) { RequestTermination(); };
    ::sigemptyset(&action.sa_mask);
    for (const int signal : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(signal, &action, nullptr);
    // A path is converted exactly: one mangled into "?" would name another file, or none; and so
    // is a query, in which a "?" would look for something else.
    const auto exact = [](const char* argument, std::string& into, const char* problem) {
        try {
            into = Utf8ToSjis(argument);
            return true;
        } catch (const EEncodingError&) {
            std::cerr << "Velmo: " << argument << SjisToUtf8Lossy(Sjis(problem)) << "\n";
            return false;
        }
    };
    const char* const kBadPath = " はShift_JISで表せない文字を含むパスなので使えません";
    if (line.verb == TVerb::Import) {
        for (size_t i = 0; i < line.paths.size(); ++i)
            if (!exact(argv[i + 2], line.paths[i], kBadPath))
                return 2;
    }
    if (line.verb == TVerb::Export
        && (!exact(argv[2], line.query, " はShift_JISで表せない文字を含むので検索できません")
            || !exact(argv[4], line.outputFile, kBadPath)))
        return 2;
    const TAppFolders folders = AppFolders();
    if (line.verb == TVerb::Export)
        return RunExport(line.query, line.format, line.outputFile, folders, std::cout, std::cerr);
    TConfiguration config;
    try {
        config = ReadConfiguration(TIniFile::LoadFromFile(folders.configFile), folders);
    } catch (const EVelmoError& e) {
        std::cerr << "Velmo: " << SjisToUtf8Lossy(e.what()) << "\n";
        config = ReadConfiguration(TIniFile(), folders);
    }
    return line.verb == TVerb::Import
        ? RunImport(line.paths, folders, config, std::cerr, ::isatty(STDERR_FILENO) == 1)
        : RunSync(folders, config, std::cerr);
}

} // namespace

int main(int argc, char* argv[])
{
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(Utf8ToSjisLossy(argv[i]));
    auto commandLine = ParseCommandLine(arguments);
    if (commandLine && commandLine->verb != TVerb::View && commandLine->verb != TVerb::Search)
        return RunWithoutWindow(*commandLine, argv);
    // A query that cannot be read runs nothing: no window, no page. It is read from the argument
    // exactly, since a character turned into "?" would search for something else.
    if (commandLine && commandLine->verb == TVerb::Search) {
        try {
            ParseTypedQuery(argv[2]);
            commandLine->query = Utf8ToSjis(argv[2]);
        } catch (const EVelmoError& e) {
            std::cerr << "Velmo: " << SjisToUtf8Lossy(e.what()) << "\n";
            return 2;
        }
    }

    TApplication::PrepareEnvironment();
    TApplication app(argc, argv);
    // Qt's own texts in the user's language, else Japanese; set before the view's engine starts,
    // which takes its language (and its context menu's) from the default locale.
    const QLocale locale = QtTextLocale(QLocale::system());
    QLocale::setDefault(locale);
    InstallQtTranslations(app, locale, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    try {
        std::unique_ptr<IMessageBox> messageBox;
        TQtMessageBox* windowBoxes = nullptr;
        if (TApplication::IsHeadless()) {
            messageBox = std::make_unique<THeadlessMessageBox>(std::cerr, VELMO_TITLE);
        } else {
            auto boxes = std::make_unique<TQtMessageBox>();
            windowBoxes = boxes.get();
            messageBox = std::move(boxes);
        }
        TQtOutsideBrowser outsideBrowser;
        TQtOpenDialog openDialog;
        // The plug-in list outlives the window: it is destroyed after the message loop.
        TQtProgressWindowFactory progressWindows;
        TSppList sppList(true, *messageBox, progressWindows);

        TMainFormEnvironment environment;
        environment.folders = AppFolders();
        environment.messageBox = messageBox.get();
        environment.outsideBrowser = &outsideBrowser;
        environment.sppList = &sppList;
        environment.openDialog = &openDialog;
        environment.deferBrowser = commandLine && commandLine->noView;
        environment.pathsDialog = &openDialog;
        environment.progressWindows = &progressWindows;

        TMainForm form(environment);
        progressWindows.SetCentreOn(&form);
        openDialog.SetParent(&form);
        // Boxes stand over the window, not wherever the window manager puts a box of its own.
        if (windowBoxes)
            windowBoxes->SetParent(&form);
        app.SetErrorHandler([&form](const std::string& text) { form.ShowError(text); });
        form.show();
        // Told to end while the start-up box was open: the message loop is not entered, and the
        // window's destruction writes the configuration.
        if (TerminationRequested())
            return 0;
        if (!arguments.empty() && !commandLine) {
            messageBox->ShowMessage(Sjis("パラメータが不正です"));
            // Nobody can close a window that is never shown: a batch job with a bad command
            // line hears why and ends at once.
            if (TApplication::IsHeadless())
                return 2;
        } else if (commandLine) {
            // A batch run that fails shows why and ends with status 1; the window's destruction
            // still writes the configuration.
            try {
                if (form.ProcessCommandLine(*commandLine) || TerminationRequested())
                    return 0;
            } catch (const std::exception& e) {
                form.ShowError(e.what());
                return 1;
            }
        }
        // Before any view, the page of what the program is and the first things to do.
        if (!commandLine)
            form.ShowStartPage();
        const int result = TApplication::exec();
        app.SetErrorHandler({});
        return result;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Velmo: %s\n", e.what());
        return 1;
    }
}
