// Runs the real program the way a batch user would: copied into a program folder of its own, with
// no display, then told to end.

#include "platform/FileIO.h"
#include "platform/IniFile.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#ifndef VELMO_BINARY
#error VELMO_BINARY must name the program
#endif

class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void HeadlessRunStartsAndEndsCleanlyWritingTheConfiguration()
    {
        QTemporaryDir program;
        QTemporaryDir runtime;
        const QString exe = program.filePath(QStringLiteral("velmo"));
        QVERIFY(QFile::copy(QStringLiteral(VELMO_BINARY), exe));
        QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QProcess velmo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("XDG_CACHE_HOME"), runtime.path());
        velmo.setProcessEnvironment(env);
        velmo.setWorkingDirectory(runtime.path()); // never the program folder
        velmo.start(exe, {});
        QVERIFY(velmo.waitForStarted());

        // Without a display the start-up warning goes to standard error instead of waiting.
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT(
            (err += velmo.readAllStandardError()).contains("プラグインフォルダを設定して下さい"),
            30000);
        QCOMPARE(velmo.state(), QProcess::Running);

        ::kill(static_cast<pid_t>(velmo.processId()), SIGTERM);
        QVERIFY(velmo.waitForFinished(30000));
        QCOMPARE(velmo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(velmo.exitCode(), 0);

        const std::string ini
            = ReadFileBytes(program.filePath(QStringLiteral("velmo.ini")).toStdString());
        const TIniFile config(ini);
        QCOMPARE(config.ReadValue("Play", "FMO").value(), std::string("Sakura"));
        QCOMPARE(config.ReadValue("Form", "Width").value(), std::string("440"));
        QCOMPARE(config.ReadValue("General", "SurfaceCacheDir").value(),
            program.path().toStdString() + "/cache/");
        QVERIFY(!QFile::exists(QDir(runtime.path()).filePath(QStringLiteral("velmo.ini"))));
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
