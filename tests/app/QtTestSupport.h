#pragma once

#include "app/OutsideBrowser.h"
#include "app/ViewRunner.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QFont>
#include <QInputMethodEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QWidget>

#include <memory>
#include <string>
#include <utility>
#include <vector>

// Stands in for the person in front of the message boxes: records every box and answers it.
class TRecordingMessageBox : public IMessageBox
{
public:
    TMessageAnswer answer = TMessageAnswer::Ok;
    std::vector<TMessageRequest> shown;
    TMessageAnswer Show(const TMessageRequest& request) override
    {
        shown.push_back(request);
        return request.buttons == TMessageButtons::YesNo ? answer : TMessageAnswer::Ok;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const auto& r : shown)
            texts.push_back(r.text);
        return texts;
    }
};

// Stands in for the desktop's browser, which cannot run here.
class TRecordingOutsideBrowser : public IOutsideBrowser
{
public:
    std::vector<std::pair<std::string, std::string>> opened;
    void Open(const std::string& browserCommand, const std::string& address) override
    {
        opened.emplace_back(browserCommand, address);
    }
};

// Stands in for the person choosing a file.
class TRecordingOpenDialog : public IOpenDialog
{
public:
    std::optional<std::string> answer;
    std::vector<TFileFilter> asked;
    std::optional<std::string> Execute(const TFileFilter& filter) override
    {
        asked.push_back(filter);
        return answer;
    }
};

// Types text into a widget as a Japanese input method hands it over: committed in one piece.
inline void TypeCommitted(QWidget* widget, const QString& text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(widget, &event);
}

// The font the forms are drawn in on Linux, at the given pixel size.
inline QFont FormFont(int pixels)
{
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(pixels);
    return font;
}

// Checks a shown dialog as a person sees it: every caption whole, every field at least as large
// as its text needs (a memo shows two lines), no control over another, all of them inside the
// window, and the window no larger than atMost.
inline void VerifyNothingCut(const QWidget& dialog, QSize atMost)
{
    QVERIFY2(dialog.width() <= atMost.width() && dialog.height() <= atMost.height(),
        qPrintable(QStringLiteral("%1x%2").arg(dialog.width()).arg(dialog.height())));
    QList<const QWidget*> seen;
    for (const QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!w->isVisible())
            continue;
        const QRect at = w->geometry();
        const QString name = w->objectName()
            + QStringLiteral(" at %1,%2 %3x%4")
                  .arg(at.x())
                  .arg(at.y())
                  .arg(at.width())
                  .arg(at.height());
        QSize needed = w->sizeHint();
        if (const auto* area = qobject_cast<const QAbstractScrollArea*>(w)) {
            QVERIFY2(
                area->viewport()->height() >= 2 * w->fontMetrics().lineSpacing(), qPrintable(name));
            needed = w->minimumSizeHint();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            // The style's minimum width for buttons is no need of the caption's.
            needed.setWidth(std::min(needed.width(),
                w->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width() + 8));
        }
        QVERIFY2(at.width() >= needed.width() && at.height() >= needed.height(),
            qPrintable(
                name + QStringLiteral(" needs %1x%2").arg(needed.width()).arg(needed.height())));
        QVERIFY2(dialog.rect().contains(at), qPrintable(name));
        for (const QWidget* other : seen)
            QVERIFY2(!other->geometry().intersects(at),
                qPrintable(name + QStringLiteral(" overlaps ") + other->objectName()));
        seen << w;
    }
}
// Stands in for the person choosing files and folders.
class TRecordingPathsDialog : public IPathsDialog
{
public:
    std::vector<std::string> answer;
    int asked = 0;
    std::vector<std::string> Execute(const std::string&) override
    {
        ++asked;
        return answer;
    }
};

// How the page shown looks as to colour: whether it is told the desktop is dark, and the computed
// background of its body ("true rgb(30, 31, 34)"). Empty when the engine did not answer.
inline QString PageLook(QWebEngineView* view)
{
    // The answer may come after a wait that gave up: it must not land on this frame.
    const auto look = std::make_shared<QVariant>();
    view->page()->runJavaScript(
        QStringLiteral("matchMedia('(prefers-color-scheme: dark)').matches + ' '"
                       " + getComputedStyle(document.body).backgroundColor"),
        QWebEngineScript::ApplicationWorld, [look](const QVariant& v) { *look = v; });
    if (!QTest::qWaitFor([&] { return look->isValid(); }, 10000))
        return {};
    return look->toString();
}

// Waits until the window's view in the background (its download, the writing of its pages) is
// done; false when it is still under way after `limit` ms.
template <class Form> bool WaitForView(Form& form, int limit = 20000)
{
    return QTest::qWaitFor([&] { return !form.ViewRunner()->Busy(); }, limit);
}

// A person's click on the first anchor whose raw href is exactly href.
inline bool ClickLink(
    QWebEngineView* view, const QString& href, Qt::MouseButton button = Qt::LeftButton)
{
    QVariant centre;
    view->page()->runJavaScript(
        QStringLiteral(
            "(function(){var a=[...document.querySelectorAll('a')].find(e=>e."
            "getAttribute('href')==='%1');if(!a)return null;a.scrollIntoView({block:'center'});"
            "var r=a.getBoundingClientRect();return [r.left+r.width/2,r.top+r.height/2];})()")
            .arg(href),
        QWebEngineScript::ApplicationWorld,
        [&](const QVariant& v) { centre = v.isNull() ? QVariant(false) : v; });
    if (!QTest::qWaitFor([&] { return centre.isValid(); }, 10000) || centre.toList().size() != 2)
        return false;
    QTest::mouseClick(view->focusProxy(), button, {},
        QPoint(centre.toList().at(0).toInt(), centre.toList().at(1).toInt()));
    return true;
}

// Loads url and waits until it has loaded.
inline bool LoadAndWait(QWebEngineView* view, const QUrl& url)
{
    QSignalSpy finished(view, &QWebEngineView::loadFinished);
    view->load(url);
    return QTest::qWaitFor([&] { return !finished.isEmpty(); }, 20000);
}
