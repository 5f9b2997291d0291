#include "app/FindBar.h"

#include "QtTestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineView>

#include <memory>

// The bar over a real page in a real view: what it says after each key and button.
class FindBarTest : public QObject
{
    Q_OBJECT

private slots:
    void CountsTheMatchesAndWalksThemBothWays()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* view = new QWebEngineView(&window);
        auto* bar = new TFindBar([view] { return view->page(); }, &window);
        layout->addWidget(bar);
        layout->addWidget(view);
        window.resize(600, 400);
        window.show();
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        view->setHtml(QStringLiteral("<p>comet one</p><p>Comet two, comet three</p><p>no</p>"
                                     "<p>comet four</p><div>COMET five</div>"));
        QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 20000);
        QVERIFY(bar->isHidden());

        bar->Open();
        QVERIFY(bar->isVisible());
        QTRY_VERIFY(bar->Field()->hasFocus());
        TypeCommitted(bar->Field(), QStringLiteral("comet"));
        QTRY_COMPARE_WITH_TIMEOUT(bar->Count(), QStringLiteral("1/5 件"), 10000);
        const struct
        {
            std::function<void()> press;
            QString count;
        } steps[] = {
            { [&] { QTest::keyClick(bar->Field(), Qt::Key_Return); }, QStringLiteral("2/5 件") },
            { [&] { bar->FindNext(); }, QStringLiteral("3/5 件") },
            { [&] { QTest::keyClick(bar->Field(), Qt::Key_Return, Qt::ShiftModifier); },
                QStringLiteral("2/5 件") },
            { [&] { bar->FindPrevious(); }, QStringLiteral("1/5 件") },
            { [&] { bar->FindPrevious(); }, QStringLiteral("5/5 件") },
            { [&] { bar->findChild<QToolButton*>(QStringLiteral("FindNext"))->click(); },
                QStringLiteral("1/5 件") },
            { [&] { TypeCommitted(bar->Field(), QStringLiteral("x")); },
                QStringLiteral("見つかりませんでした") },
        };
        for (const auto& step : steps) {
            step.press();
            QTRY_COMPARE_WITH_TIMEOUT(bar->Count(), step.count, 10000);
        }

        // Esc while the field has the focus closes the bar and gives the focus back to the page.
        QTest::keyClick(bar->Field(), Qt::Key_Escape);
        QVERIFY(bar->isHidden());
        QVERIFY(bar->Count().isEmpty());
        // F3 with the bar closed opens it again on the same text.
        bar->Field()->setText(QStringLiteral("comet"));
        bar->FindNext();
        QVERIFY(bar->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(bar->Count().endsWith(QStringLiteral("/5 件")), 10000);
    }

    // Before the first view is made there is nothing to search, and nothing fails.
    void WithoutAPageNothingIsFound()
    {
        TFindBar bar([] { return nullptr; });
        bar.Open();
        bar.Field()->setText(QStringLiteral("comet"));
        QCOMPARE(bar.Count(), QStringLiteral("見つかりませんでした"));
        bar.FindNext();
        bar.Close();
        QVERIFY(bar.isHidden());
    }
};

int RunFindBarTest(int argc, char** argv)
{
    FindBarTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "FindBarTest.moc"
