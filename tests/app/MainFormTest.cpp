#include "app/MainFormUnit.h"

#include <QTest>

class MainFormTest : public QObject
{
    Q_OBJECT

private slots:
    void OpensWithTheProgramCaption()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("Velmo 2"));
    }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
