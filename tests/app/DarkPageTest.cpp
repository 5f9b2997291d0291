// A program of its own: the browser engine takes the colour scheme once, when it starts, so the
// dark desktop needs a process whose palette is dark from the start.

#include "QtTestSupport.h"
#include "app/Application.h"
#include "app/PageColorScheme.h"
#include "platform/Encoding.h"
#include "platform/FileIO.h"
#include "render/PageWriter.h"

#include <QPalette>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

class DarkPageTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;

    // A page as the program writes it, linking the given style sheet.
    QString ShowPage(QWebEngineView& view, const std::string& name, const std::string& css)
    {
        const std::string folder = FromNativePath(dir_.path().toStdString()) + "/";
        WriteFileAtomic(folder + name,
            MakeHTMLHead(css) + MakeNavigation(1, 2) + "<div class=\"message\">x</div></body>");
        QSignalSpy finished(&view, &QWebEngineView::loadFinished);
        view.load(QUrl::fromLocalFile(dir_.filePath(QString::fromStdString(name))));
        if (!QTest::qWaitFor([&] { return !finished.isEmpty(); }, 20000))
            return {};
        return PageLook(&view);
    }

private slots:
    // The shipped sheet's dark rules hold on a dark desktop; a sheet of the user's own replaces
    // the shipped one, dark desktop or not.
    void DarkDesktopGetsDarkPagesUnlessTheUserSheetSaysOtherwise()
    {
        QVERIFY(IsDarkPalette(QApplication::palette()));
        QVERIFY(QFile::copy(QStringLiteral(VELMO_SOURCE_DIR "/data/styleIE.css"),
            dir_.filePath(QStringLiteral("styleIE.css"))));
        WriteFileAtomic(FromNativePath(dir_.filePath(QStringLiteral("mine.css")).toStdString()),
            "body { background: #ffffff; }");
        QWebEngineView view;
        view.resize(600, 400);
        view.show();
        QCOMPARE(
            ShowPage(view, "long1.html", "styleIE.css"), QStringLiteral("true rgb(30, 31, 34)"));
        QCOMPARE(
            ShowPage(view, "long2.html", "mine.css"), QStringLiteral("true rgb(255, 255, 255)"));
    }
};

int main(int argc, char** argv)
{
    TApplication::PrepareEnvironment();
    // Set before the application exists, as a dark desktop's theme would hand it over.
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x32, 0x32, 0x32));
    dark.setColor(QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0));
    QApplication::setPalette(dark);
    TApplication app(argc, argv);
    DarkPageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "DarkPageTest.moc"
