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
    void RunEndsOnTermWritingTheConfiguration_data()
    {
        QTest::addColumn<bool>("display");
        QTest::addColumn<QByteArray>("shown");
        // Without a display the start-up warning goes to standard error instead of waiting.
        QTest::newRow("headless") << false
                                  << QByteArray("Velmo 2: プラグインフォルダを設定して下さい");
        // With one, the start-up box waits for a person, and SIGTERM must still end the run.
        QTest::newRow("modal box open")
            << true << QByteArray("Message box: プラグインフォルダを設定して下さい");
    }

    void RunEndsOnTermWritingTheConfiguration()
    {
        QFETCH(bool, display);
        QFETCH(QByteArray, shown);
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
        if (display) {
            env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":velmo-test"));
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.insert(QStringLiteral("VELMO_DEBUG"), QStringLiteral("1"));
        }
        velmo.setProcessEnvironment(env);
        velmo.setWorkingDirectory(runtime.path()); // never the program folder
        velmo.start(exe, {});
        QVERIFY(velmo.waitForStarted());

        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += velmo.readAllStandardError()).contains(shown), 30000);
        QCOMPARE(velmo.state(), QProcess::Running);

        ::kill(static_cast<pid_t>(velmo.processId()), SIGTERM);
        // Within 2 s on this machine; the margin is for a loaded one.
        QVERIFY(velmo.waitForFinished(10000));
        QCOMPARE(velmo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(velmo.exitCode(), 0);

        const std::string ini
            = ReadFileBytes(program.filePath(QStringLiteral("velmo.ini")).toStdString());
        const TIniFile config(ini);
        QCOMPARE(config.ReadValue("Play", "FMO").value(), std::string("Sakura"));
        // The first start's width, a share of whatever screen the run had.
        QVERIFY(config.ReadInteger("Form", "Width", 0) > 0);
        QCOMPARE(config.ReadValue("General", "SurfaceCacheDir").value(),
            program.path().toStdString() + "/cache/");
        QVERIFY(!QFile::exists(QDir(runtime.path()).filePath(QStringLiteral("velmo.ini"))));
    }
};

QTEST_GUILESS_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
