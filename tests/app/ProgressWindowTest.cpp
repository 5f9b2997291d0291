#include "render/ProgressWindow.h"

#include "platform/Encoding.h"
#include "render/Bitmap.h"

#include <QImage>
#include <QLabel>
#include <QTest>

class ProgressWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void ShowsItsLineCentredOnTheWindow()
    {
        QWidget main;
        main.setGeometry(100, 100, 600, 400);
        TQtProgressWindowFactory factory(&main);
        auto window = factory.Show();
        auto* widget = dynamic_cast<TfrmProgressWindow*>(window.get());
        QVERIFY(widget && widget->isVisible());
        QCOMPARE(widget->size(), QSize(334, 47));
        QCOMPARE(widget->windowTitle(), QStringLiteral("Plugin Load Status"));
        QVERIFY(widget->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(widget->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(widget->geometry().center(), main.frameGeometry().center());
        window->SetContent(Sjis("プラグインa.soを読み込み中..."));
        QCOMPARE(widget->Content(), QStringLiteral("プラグインa.soを読み込み中..."));
        QCOMPARE(widget->findChild<QLabel*>(QStringLiteral("lblContent"))->geometry(),
            QRect(8, 16, 321, 12));
    }

    // The bitmaps the cache writes must open in an ordinary image reader, the right way up.
    void SavedBitmapLoadsInQt()
    {
        TBitmap bitmap(5, 3);
        bitmap.SetPixel(0, 0, 0x0000FF); // blue at the top left
        bitmap.SetPixel(4, 2, 0xFF0000); // red at the bottom right
        const std::string bytes = bitmap.ToBmpBytes();
        QImage image;
        QVERIFY(image.loadFromData(
            reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "BMP"));
        QCOMPARE(image.size(), QSize(5, 3));
        QCOMPARE(image.pixelColor(0, 0), QColor(0, 0, 255));
        QCOMPARE(image.pixelColor(4, 2), QColor(255, 0, 0));
        QCOMPARE(image.pixelColor(2, 1), QColor(0, 0, 0));
        QImage placeholder;
        QVERIFY(placeholder.load(QStringLiteral(VELMO_SOURCE_DIR "/data/general-1.bmp")));
    }
};

int RunProgressWindowTest(int argc, char** argv)
{
    ProgressWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ProgressWindowTest.moc"
