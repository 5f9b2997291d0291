#include "QtTestSupport.h"
#include "app/MainFormUnit.h"
#include "app/SettingFormUnit.h"
#include "platform/Encoding.h"
#include "render/ProgressWindow.h"
#include "render/SppList.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class SettingFormTest : public QObject
{
    Q_OBJECT

    QTemporaryDir program_;
    TRecordingMessageBox box_;
    TRecordingOutsideBrowser browser_;
    TRecordingOpenDialog open_;
    TQtProgressWindowFactory progress_;
    TSppList spp_ { true, box_, progress_ };

    std::unique_ptr<TMainForm> NewForm()
    {
        const std::string folder = FromNativePath(program_.path().toStdString()) + "/";
        auto form = std::make_unique<TMainForm>(TMainFormEnvironment {
            TAppFolders::Portable(folder, "velmo"), &box_, &browser_, &spp_, &open_ });
        form->Config.LUID = "luid";
        form->Config.MessagesPerPage = 42;
        form->Config.FMONames = { "Sakura", "Other" };
        form->Config.SppDir = "/plugins";
        form->Config.SurfaceCacheDir = "/cache/";
        form->Config.CSSFile = "my.css";
        form->Config.BrowserCommand = "firefox";
        form->Config.HTMLFolder = "/html";
        return form;
    }

    // Opens the settings from the menu and lets `answer` act on the dialog when it is up.
    static void RunSettings(TMainForm& form, std::function<void(TSettingForm&)> answer)
    {
        QTimer::singleShot(0, [answer] {
            auto* dialog = qobject_cast<TSettingForm*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            answer(*dialog);
        });
        form.findChild<QAction*>(QStringLiteral("SettingMenu"))->trigger();
    }

private slots:
    // Captions, tab order, each caption just above its field and each browse button beside its
    // field, in the form's font.
    void ControlsStandInTheTablesOrder()
    {
        QWidget owner;
        owner.setFont(FormFont(12));
        TSettingForm dialog(&owner);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("設定"));
        const struct
        {
            const char* name;
            const char* label;
            const char* beside; // the field a browse button fills
        } controls[] = {
            { "LUIDEdit", "LUID(&L)", nullptr },
            { "PageEdit", "１ページに表示するメッセージ数(&P)", nullptr },
            { "FMOMemo", "参照FMO名", nullptr },
            { "OKButton", "&OK", nullptr },
            { "CancelButton", "キャンセル(&C)", nullptr },
            { "SPPFolderEdit", "サーフィスプレビュープラグインの存在するフォルダ", nullptr },
            { "CacheFolderEdit", "キャッシュフォルダ", nullptr },
            { "CSSFileEdit", "スタイルシート", nullptr },
            { "SPPChoice", "参照...", "SPPFolderEdit" },
            { "CacheChoice", "参照...", "CacheFolderEdit" },
            { "CSSChoice", "参照...", "CSSFileEdit" },
            { "BrowserEdit", "ブラウザ", nullptr },
            { "BrowserSelectButton", "参照...", "BrowserEdit" },
            { "HTMLFolderEdit", "HTML出力フォルダ", nullptr },
            { "HTMLFolderButton", "参照...", "HTMLFolderEdit" },
        };
        QWidget* previous = nullptr;
        for (const auto& c : controls) {
            auto* widget = dialog.findChild<QWidget*>(QString::fromLatin1(c.name));
            QVERIFY2(widget, c.name);
            const QRect at = widget->geometry();
            if (auto* button = qobject_cast<QPushButton*>(widget)) {
                QCOMPARE(button->text(), QString::fromUtf8(c.label));
            } else {
                auto* label = dialog.findChild<QLabel*>(widget == dialog.FMOMemo
                        ? QStringLiteral("Label1")
                        : QString::fromLatin1(c.name) + QStringLiteral("Label"));
                QCOMPARE(label->text(), QString::fromUtf8(c.label));
                QCOMPARE(label->x(), at.x());
                QVERIFY2(label->geometry().bottom() < at.top()
                        && label->geometry().bottom() + 8 > at.top(),
                    c.name);
            }
            if (c.beside) {
                const QRect field
                    = dialog.findChild<QWidget*>(QString::fromLatin1(c.beside))->geometry();
                QVERIFY2(at.left() > field.right() && at.top() <= field.center().y()
                        && at.bottom() >= field.center().y(),
                    c.name);
            }
            if (previous) {
                // The next widget that Tab moves to; labels take no focus.
                QWidget* next = previous->nextInFocusChain();
                while (!(next->focusPolicy() & Qt::TabFocus))
                    next = next->nextInFocusChain();
                QCOMPARE(next, widget);
            }
            previous = widget;
        }
        // OK and Cancel in the bottom right corner.
        QVERIFY(dialog.OKButton->y() > dialog.HTMLFolderEdit->geometry().bottom());
        QVERIFY(dialog.CancelButton->x() > dialog.OKButton->geometry().right());
        QVERIFY(dialog.OKButton->isDefault());
    }

    void NothingIsCutInTheFormFontOrTwiceIt()
    {
        for (const int pixels : { 12, 24 }) {
            QWidget owner;
            owner.setFont(FormFont(pixels));
            TSettingForm dialog(&owner);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            // The form's own size give or take a tenth; at twice the font, a small screen.
            VerifyNothingCut(dialog, pixels == 12 ? QSize(771, 264) : QSize(1024, 768));
            if (QTest::currentTestFailed())
                return;
        }
    }

    void ShowsTheWindowsValuesAndCancelChangesNothing()
    {
        auto form = NewForm();
        RunSettings(*form, [](TSettingForm& d) {
            QCOMPARE(d.LUID(), std::string("luid"));
            QCOMPARE(d.MessagesPerPage(), 42);
            QCOMPARE(d.FMONames(), std::string("Sakura\r\nOther\r\n"));
            QCOMPARE(d.SppDir(), std::string("/plugins"));
            QCOMPARE(d.CacheDir(), std::string("/cache/"));
            QCOMPARE(d.CSSFile(), std::string("my.css"));
            QCOMPARE(d.BrowserCommand(), std::string("firefox"));
            QCOMPARE(d.HTMLFolder(), std::string("/html"));
            d.LUIDEdit->setText(QStringLiteral("changed"));
            d.ChooseFolder = [](QWidget*, const QString&) { return QStringLiteral("/tmp"); };
            d.SPPChoice->click();
            d.CancelButton->click();
        });
        QCOMPARE(form->Config.LUID, std::string("luid"));
        QCOMPARE(form->Config.SppDir, std::string("/plugins"));
    }

    void BadPageCountsKeepTheDialogOpen()
    {
        auto form = NewForm();
        RunSettings(*form, [](TSettingForm& d) {
            QStringList refusals;
            d.ShowRefusal = [&](QWidget*, const QString& text) { refusals << text; };
            for (const char* bad : { "abc", "", "2147483648", "1.5" }) {
                d.PageEdit->setText(QString::fromLatin1(bad));
                d.OKButton->click();
                QVERIFY2(d.isVisible(), bad);
            }
            QCOMPARE(refusals.size(), 4);
            QCOMPARE(refusals[0],
                QStringLiteral("１ページに表示するメッセージ数: 数で入力してください"));
            // As a Japanese input method types it: full-width digits and minus.
            d.PageEdit->setText(QStringLiteral("－５"));
            d.LUIDEdit->setText(QStringLiteral("new luid"));
            d.FMOMemo->setPlainText(QStringLiteral("Sakura\n\nThird\n"));
            d.SPPFolderEdit->setText(QStringLiteral("/p"));
            d.CacheFolderEdit->setText(QStringLiteral("/c"));
            d.CSSFileEdit->setText(QStringLiteral("s.css"));
            d.BrowserEdit->setText(QStringLiteral("b"));
            d.HTMLFolderEdit->setText(QStringLiteral("/h"));
            d.OKButton->click();
        });
        QCOMPARE(form->Config.MessagesPerPage, -5);
        QCOMPARE(form->Config.LUID, std::string("new luid"));
        QVERIFY((form->Config.FMONames == std::vector<std::string> { "Sakura", "", "Third" }));
        QCOMPARE(form->Surfaces.SppDir, std::string("/p"));
        QCOMPARE(form->Surfaces.CacheDir, std::string("/c"));
        QCOMPARE(form->Config.CSSFile, std::string("s.css"));
        QCOMPARE(form->Config.BrowserCommand, std::string("b"));
        QCOMPARE(form->Config.HTMLFolder, std::string("/h"));
        RunSettings(*form, [](TSettingForm& d) {
            d.FMOMemo->setPlainText(QString());
            d.OKButton->click();
        });
        QVERIFY(form->Config.FMONames.empty());
    }

    // A pasted line break at the ends goes; one inside, or a character Shift_JIS lacks, is
    // refused by name and the typing stays.
    void SingleLineValuesAreCheckedOnOk()
    {
        auto form = NewForm();
        RunSettings(*form, [](TSettingForm& d) {
            QStringList refusals;
            d.ShowRefusal = [&](QWidget*, const QString& text) { refusals << text; };
            const struct
            {
                QLineEdit* edit;
                QString text;
                QString refusal;
            } bad[] = {
                { d.LUIDEdit, QStringLiteral("a\nb"),
                    QStringLiteral("LUID: 改行は入れられません") },
                { d.BrowserEdit, QStringLiteral("caf\u00e9"),
                    QStringLiteral("ブラウザ: Shift_JISで表せない文字は使えません") },
            };
            for (const auto& c : bad) {
                c.edit->setText(c.text);
                d.OKButton->click();
                QVERIFY(d.isVisible());
                QCOMPARE(refusals.back(), c.refusal);
                QCOMPARE(c.edit->text(), c.text);
                c.edit->setText(QString());
            }
            d.LUIDEdit->setText(QStringLiteral("\r\npasted\r\n"));
            d.OKButton->click();
        });
        QCOMPARE(form->Config.LUID, std::string("pasted"));
    }

    // The server is checked as the configuration file's value is: a bad one is refused and the
    // dialog stays with the typing; a good one is used from the next request on.
    void ServerIsCheckedAndTakesEffectAtOnce()
    {
        auto form = NewForm();
        form->Config.BottleServer = "old.example.org";
        RunSettings(*form, [](TSettingForm& d) {
            QCOMPARE(d.ServerEdit->text(), QStringLiteral("old.example.org"));
            QStringList refusals;
            d.ShowRefusal = [&](QWidget*, const QString& text) { refusals << text; };
            for (const char* bad : { "host:0", "host:65536", "a b", "host:port", ":80", "[::1" }) {
                d.ServerEdit->setText(QString::fromLatin1(bad));
                d.OKButton->click();
                QVERIFY2(d.isVisible(), bad);
                QCOMPARE(d.ServerEdit->text(), QString::fromLatin1(bad));
            }
            QCOMPARE(refusals.size(), 6);
            QCOMPARE(refusals[0],
                QStringLiteral(
                    "サーバー: 「ホスト名」か「ホスト名:ポート番号」で入力してください: host:0"));
            d.ServerEdit->setText(QStringLiteral(" bottle.example.org:8080 "));
            d.OKButton->click();
        });
        QCOMPARE(form->Config.BottleServer, std::string("bottle.example.org:8080"));
        QCOMPARE(form->BottleServer.Url("/"), std::string("http://bottle.example.org:8080/"));
        // Emptied, the bundled server is used again.
        RunSettings(*form, [](TSettingForm& d) {
            d.ServerEdit->clear();
            d.OKButton->click();
        });
        QCOMPARE(form->BottleServer.Url("/"), std::string("http://127.0.0.1:18470/"));
    }

    void BrowseButtonsReplaceTheText()
    {
        QTemporaryDir root;
        TSettingForm dialog(nullptr);
        dialog.SetCacheDir("/old/");
        const QString made = root.filePath(QStringLiteral("new/cache"));
        dialog.ChooseFolder = [&](QWidget*, const QString& start) {
            [&] { QCOMPARE(start, QDir::currentPath()); }();
            return made + QStringLiteral("/");
        };
        dialog.CacheChoice->click();
        QCOMPARE(dialog.CacheFolderEdit->text(), made);
        QVERIFY(QDir(made).exists());
        dialog.ChooseFolder = [](QWidget*, const QString&) { return QStringLiteral("/"); };
        dialog.HTMLFolderButton->click();
        QCOMPARE(dialog.HTMLFolderEdit->text(), QStringLiteral("/"));
        QStringList filters;
        dialog.ChooseFile = [&](QWidget*, const QString& filter) {
            filters << filter;
            return QStringLiteral("/usr/bin/browser");
        };
        dialog.CSSChoice->click();
        dialog.BrowserSelectButton->click();
        QCOMPARE(
            filters, QStringList({ "カスケーディングスタイルシート (*.css)", "実行ファイル (*)" }));
        QCOMPARE(dialog.BrowserEdit->text(), QStringLiteral("/usr/bin/browser"));
        dialog.ChooseFolder = [](QWidget*, const QString&) { return QString(); };
        dialog.SPPFolderEdit->setText(QStringLiteral("kept"));
        dialog.SPPChoice->click();
        QCOMPARE(dialog.SPPFolderEdit->text(), QStringLiteral("kept"));
    }
};

int RunSettingFormTest(int argc, char** argv)
{
    SettingFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SettingFormTest.moc"
