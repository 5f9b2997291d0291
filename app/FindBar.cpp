#include "app/FindBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QShortcut>
#include <QToolButton>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineView>

TFindBar::TFindBar(std::function<QWebEnginePage*()> page, QWidget* parent)
    : QWidget(parent)
    , page_(std::move(page))
{
    setObjectName(QStringLiteral("FindBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("FindField"));
    field_->setPlaceholderText(QStringLiteral("ページ内を検索"));
    layout->addWidget(field_, 3);
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("FindCount"));
    count_->setTextFormat(Qt::PlainText);
    layout->addWidget(count_, 1);
    connect(AddButton("FindPrevious", QStringLiteral("▲"), QStringLiteral("前を検索 (Shift+F3)")),
        &QToolButton::clicked, this, [this] { Find(true); });
    connect(AddButton("FindNext", QStringLiteral("▼"), QStringLiteral("次を検索 (F3)")),
        &QToolButton::clicked, this, [this] { Find(false); });
    connect(AddButton("FindClose", QStringLiteral("×"), QStringLiteral("閉じる (Esc)")),
        &QToolButton::clicked, this, [this] { Close(); });

    connect(field_, &QLineEdit::textChanged, this, [this] { Find(false); });
    // Shift+Enter goes back; the field's own returnPressed is plain Enter.
    auto* back = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Return), field_);
    back->setContext(Qt::WidgetShortcut);
    connect(back, &QShortcut::activated, this, [this] { Find(true); });
    connect(field_, &QLineEdit::returnPressed, this, [this] { Find(false); });
    // Esc belongs to the bar only while the focus is in it: elsewhere in the window it may mean
    // something else.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, [this] { Close(); });
    hide();
}

QToolButton* TFindBar::AddButton(const char* objectName, const QString& text, const QString& tip)
{
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setText(text);
    button->setToolTip(tip);
    button->setAutoRaise(true);
    layout()->addWidget(button);
    return button;
}

QString TFindBar::Count() const
{
    return count_->text();
}

void TFindBar::Open()
{
    show();
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
}

void TFindBar::FindNext()
{
    if (isHidden())
        Open();
    Find(false);
}

void TFindBar::FindPrevious()
{
    if (isHidden())
        Open();
    Find(true);
}

void TFindBar::Close()
{
    ++request_;
    count_->clear();
    hide();
    if (QWebEnginePage* page = page_()) {
        page->findText(QString());
        if (QWidget* view = QWebEngineView::forPage(page))
            view->setFocus(Qt::OtherFocusReason);
    }
}

void TFindBar::PageLoaded()
{
    if (!isHidden() && !field_->text().isEmpty())
        Find(false);
}

void TFindBar::Find(bool backward)
{
    const int request = ++request_;
    QWebEnginePage* page = page_();
    const QString text = field_->text();
    if (text.isEmpty()) {
        count_->clear();
        if (page)
            page->findText(QString());
        return;
    }
    if (!page) {
        count_->setText(QStringLiteral("見つかりませんでした"));
        return;
    }
    // The answer comes later, from the engine; the bar may be gone by then.
    QPointer<TFindBar> self(this);
    page->findText(text, backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags(),
        [self, request](const QWebEngineFindTextResult& result) {
            if (self)
                self->ShowResult(request, result);
        });
}

void TFindBar::ShowResult(int request, const QWebEngineFindTextResult& result)
{
    if (request != request_)
        return;
    count_->setText(result.numberOfMatches() == 0
            ? QStringLiteral("見つかりませんでした")
            : QStringLiteral("%1/%2 件").arg(result.activeMatch()).arg(result.numberOfMatches()));
}
