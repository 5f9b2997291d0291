// velmo import, end to end: the real program in a program folder of its own (its archive beside
// it), run with no display, as a script would run it; and killed at random moments, after which
// the archive must be whole, must hold everything it held before and no message twice.

#include "platform/FileIO.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <SQLiteCpp/SQLiteCpp.h>
#include <random>

namespace {

struct TArchiveState
{
    std::string integrity;
    int64_t rows = 0;
    int64_t keys = 0;
};

TArchiveState Inspect(const QString& path)
{
    SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE);
    return {
        db.execAndGet("PRAGMA integrity_check").getString(),
        db.execAndGet("SELECT count(*) FROM message").getInt64(),
        db.execAndGet("SELECT count(*) FROM (SELECT DISTINCT server, mid FROM message)").getInt64()
    };
}

std::string Stamp(int second)
{
    char text[16];
    std::snprintf(text, sizeof text, "200405%02d%02d%02d%02d", 1 + second / 86400,
        second / 3600 % 24, second / 60 % 60, second % 60);
    return text;
}

} // namespace

class ImportEndToEndTest : public QObject
{
    Q_OBJECT

    QTemporaryDir work_;

    QString Path(const QString& name) const { return work_.filePath(name); }

    // A fresh program folder with the program, the pattern files the archive reads talk with, and
    // a configuration; returns its path.
    QString Install(const QString& name)
    {
        QDir(work_.path()).mkpath(name);
        const QString folder = Path(name);
        for (const char* file : { "velmo", "tagpat.txt", "metapat.txt" })
            QFile::copy(QStringLiteral(VELMO_BIN_DIR "/") + file, folder + "/" + file);
        WriteFileAtomic(
            (folder + "/velmo.ini").toStdString(), "[General]\r\nBottleServer=127.0.0.1:9\r\n");
        return folder;
    }

    static void Start(QProcess& velmo, const QString& folder, const QStringList& paths)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            env.remove(QString::fromLatin1(name));
        velmo.setProcessEnvironment(env);
        velmo.start(folder + "/velmo", QStringList { "import" } + paths);
    }

    struct Run
    {
        int exitCode = -1;
        QString err;
    };

    static Run Import(const QString& folder, const QStringList& paths)
    {
        QProcess velmo;
        Start(velmo, folder, paths);
        if (!velmo.waitForFinished(60000))
            velmo.kill();
        velmo.waitForFinished();
        return { velmo.exitCode(), QString::fromUtf8(velmo.readAllStandardError()) };
    }

private slots:
    void ExitStatusSaysWhetherEveryFileWasRead()
    {
        const QString logs = Path("logs");
        QDir().mkpath(logs);
        WriteFileAtomic((logs + "/a.txt").toStdString(),
            "Result: OK\r\nh\r\nh\r\n" + Stamp(1) + "\tm1\tch\tg\t1\t2\t3\tx\r\nbad line\r\n");
        WriteFileAtomic((logs + "/b.log").toStdString(), "ch,g,2004/05/06 12:00:00,y\n");
        const struct
        {
            const char* name;
            QStringList paths;
            bool archiveTaken; // a file that is no archive lies where the archive goes
            int exitCode;
            const char* said;
        } cases[] = {
            { "a folder of logs", { logs }, false, 0, "追加したメッセージ: 2" },
            { "a path that does not exist", { logs, Path("missing") }, false, 1,
                "読めなかったファイル (1)" },
            { "the archive's place taken", { logs }, true, 1, "はVelmoのアーカイブではありません" },
            { "a path with no Shift_JIS form", { Path("log-\U0001F600.txt") }, false, 2,
                "Shift_JISで表せない" },
        };
        int n = 0;
        for (const auto& c : cases) {
            const QString folder = Install(QStringLiteral("cli%1").arg(++n));
            if (c.archiveTaken)
                WriteFileAtomic((folder + "/archive.sqlite3").toStdString(), "my notes\n");
            const Run run = Import(folder, c.paths);
            QVERIFY2(run.exitCode == c.exitCode, qPrintable(c.name + (": " + run.err)));
            QVERIFY2(
                run.err.contains(QString::fromUtf8(c.said)), qPrintable(c.name + (": " + run.err)));
            if (c.archiveTaken)
                QCOMPARE(QString::fromStdString(
                             ReadFileBytes((folder + "/archive.sqlite3").toStdString())),
                    QStringLiteral("my notes\n"));
        }
    }

    // Killed 50 times at random moments, the import leaves the archive whole every time, never
    // with fewer messages than before nor a message twice; a last run finishes the job exactly.
    // Messages are kept in steps of 10,000: the kills fall while steps are written.
    void KilledImportLeavesTheArchiveWhole()
    {
        const QString logs = Path("big");
        QDir().mkpath(logs);
        constexpr int kPerFile = 30000;
        std::string head = "Result: OK\r\nh\r\nh\r\n";
        std::string bare;
        std::string sent;
        for (int i = 0; i < kPerFile; ++i) {
            const std::string n = std::to_string(i);
            const std::string script = "\\h\\s0message " + n + " of the test\\e";
            head += Stamp(i) + "\th" + n + "\tch\tghost\t1\t2\t3\t" + script + "\r\n";
            bare += Stamp(i) + "\tb" + n + "\tch\tghost\t1\t2\t3\t" + script + "\n";
            sent += "ch,ghost,2004/05/06 12:00:00," + script + "\r\n";
        }
        WriteFileAtomic((logs + "/1-head.txt").toStdString(), head);
        WriteFileAtomic((logs + "/2-bare.txt").toStdString(), bare);
        WriteFileAtomic((logs + "/3-Sent.log").toStdString(), sent);
        const int64_t total = 3 * kPerFile;

        const QString folder = Install(QStringLiteral("kill"));
        const QString archive = folder + "/archive.sqlite3";
        // How long a whole run takes, so that the kills fall all over it.
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(Import(Install(QStringLiteral("measure")), { logs }).exitCode, 0);
        const qint64 whole = timer.elapsed();

        const unsigned seed = std::random_device {}();
        std::mt19937 random(seed);
        std::uniform_int_distribution<qint64> moment(0, whole);
        int64_t before = 0;
        int midway = 0; // kills that left the archive partly filled
        for (int kill = 0; kill < 50; ++kill) {
            // Every tenth run starts on a new archive, so that many kills fall while it fills.
            if (kill % 10 == 0) {
                for (const char* suffix : { "", "-wal", "-shm" })
                    QFile::remove(archive + suffix);
                before = 0;
            }
            QProcess velmo;
            Start(velmo, folder, { logs });
            QVERIFY(velmo.waitForStarted());
            velmo.waitForFinished(static_cast<int>(moment(random)));
            velmo.kill();
            QVERIFY(velmo.state() == QProcess::NotRunning || velmo.waitForFinished(10000));
            if (!QFile::exists(archive))
                continue; // killed before it was made
            const TArchiveState state = Inspect(archive);
            const QString where = QStringLiteral("kill %1, seed %2").arg(kill).arg(seed);
            QVERIFY2(state.integrity == "ok", qPrintable(where));
            QVERIFY2(state.rows >= before && state.rows <= total, qPrintable(where));
            QVERIFY2(state.rows == state.keys, qPrintable(where));
            before = state.rows;
            midway += state.rows > 0 && state.rows < total ? 1 : 0;
        }
        QVERIFY(midway > 0);
        const Run last = Import(folder, { logs });
        QVERIFY2(last.exitCode == 0, qPrintable(last.err));
        const TArchiveState state = Inspect(archive);
        QCOMPARE(state.integrity, std::string("ok"));
        QCOMPARE(state.rows, total);
        QCOMPARE(state.keys, total);
    }
};

QTEST_GUILESS_MAIN(ImportEndToEndTest)
#include "ImportEndToEndTest.moc"
