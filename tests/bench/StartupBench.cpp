// Start-up: the time from starting the process to the first page's loadFinished, for the real
// viewer showing a log fetched from the bundled server on loopback (as tools/run.sh runs it), and
// for a bare QWebEngineView loading the same page. Both run offscreen as child processes timed
// the same way, alternately, after one warm-up run each; the medians and their ratio are printed.
// Run by hand: build/tests/bench/velmo_startup_bench [runs]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QWebEngineView>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

namespace {

// The child: one bare view, one page, then the line the parent waits for.
int Bare(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QWebEngineView view;
    view.resize(430, 351);
    view.show();
    QObject::connect(&view, &QWebEngineView::loadFinished, [] {
        std::fputs("Page loaded\n", stderr);
        std::fflush(stderr);
        QCoreApplication::exit(0);
    });
    view.load(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[2])));
    return QApplication::exec();
}

QProcessEnvironment Offscreen(const QString& runtime)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("XDG_CACHE_HOME"), runtime);
    env.insert(QStringLiteral("VELMO_DEBUG"), QStringLiteral("1"));
    return env;
}

// Milliseconds from start() to the "Page loaded" line; -1 when it never comes.
qint64 TimeToFirstPage(
    const QString& program, const QStringList& args, const QProcessEnvironment& env)
{
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    child.start(program, args);
    QByteArray err;
    qint64 elapsed = -1;
    while (timer.elapsed() < 60000 && child.state() != QProcess::NotRunning) {
        child.waitForReadyRead(100);
        err += child.readAll();
        if (err.contains("Page loaded")) {
            elapsed = timer.elapsed();
            break;
        }
    }
    if (child.state() != QProcess::NotRunning) {
        ::kill(static_cast<pid_t>(child.processId()), SIGTERM);
        if (!child.waitForFinished(10000))
            child.kill();
    }
    if (elapsed < 0)
        std::fprintf(stderr, "%s gave no page:\n%s\n", qPrintable(program), err.constData());
    return elapsed;
}

qint64 Median(std::vector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

bool Copy(const QString& from, const QString& to)
{
    if (QFileInfo(from).isDir()) {
        QDir().mkpath(to);
        for (const QString& name : QDir(from).entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
            if (!Copy(from + "/" + name, to + "/" + name))
                return false;
        return true;
    }
    return QFile::copy(from, to);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--bare")
        return Bare(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    const QString bin = QStringLiteral(VELMO_BIN_DIR);
    const QString folder = work.filePath(QStringLiteral("velmo"));
    const QString runtime = work.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const char* name : { "velmo", "tagpat.txt", "metapat.txt", "styleIE.css", "general-1.bmp",
             "plugins/velmo-shell-preview.so", "demo-ghosts" }) {
        QDir().mkpath(folder + "/plugins");
        if (!Copy(bin + "/" + name, folder + "/" + name)) {
            std::fprintf(stderr, "cannot copy %s from %s\n", name, qPrintable(bin));
            return 1;
        }
    }
    QProcess server;
    server.start(bin + "/velmo-bottle-server",
        { "--port", "0", "--demo", QStringLiteral(VELMO_SOURCE_DIR "/data/log.txt") });
    if (!server.waitForReadyRead(10000))
        return 1;
    const QString port = QString::fromUtf8(server.readLine()).trimmed().section(':', -1);
    {
        QFile ini(folder + "/velmo.ini");
        ini.open(QIODevice::WriteOnly);
        QTextStream(&ini) << "[General]\r\nBottleServer=127.0.0.1:" << port
                          << "\r\nSppDir=" << folder << "/plugins\r\n";
        QFile ghosts(folder + "/plugins/velmo-shell-preview.txt");
        ghosts.open(QIODevice::WriteOnly);
        QTextStream(&ghosts) << folder << "/demo-ghosts\n";
    }
    const QProcessEnvironment env = Offscreen(runtime);
    const QString viewer = folder + "/velmo";
    const QStringList viewerArgs { "past", "60", "100", "view" };
    const QString self = QCoreApplication::applicationFilePath();
    const QStringList bareArgs { "--bare", folder + "/long1.html" };

    // Warm-up: the surface cache, the pages and the system's file cache, as for a returning user.
    if (TimeToFirstPage(viewer, viewerArgs, env) < 0 || TimeToFirstPage(self, bareArgs, env) < 0)
        return 1;
    std::vector<qint64> viewerTimes;
    std::vector<qint64> bareTimes;
    for (int i = 0; i < runs; ++i) {
        viewerTimes.push_back(TimeToFirstPage(viewer, viewerArgs, env));
        bareTimes.push_back(TimeToFirstPage(self, bareArgs, env));
    }
    server.terminate();
    server.waitForFinished(5000);
    const qint64 viewerMs = Median(viewerTimes);
    const qint64 bareMs = Median(bareTimes);
    std::printf("viewer: %lld ms (median of %d)\n", static_cast<long long>(viewerMs), runs);
    std::printf("bare view: %lld ms (median of %d)\n", static_cast<long long>(bareMs), runs);
    std::printf("ratio: %.2f\n", bareMs > 0 ? double(viewerMs) / double(bareMs) : 0.0);
    return 0;
}
