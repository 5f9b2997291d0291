#include "app/SearchBar.h"

#include "app/CommandLine.h"
#include "platform/Encoding.h"
#include "platform/QtText.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <exception>

TSearchBar::TSearchBar(std::function<int64_t(const TQuery&)> count,
    std::function<void(const TQuery&)> show, QWidget* parent)
    : QWidget(parent)
    , count_(std::move(count))
    , show_(std::move(show))
{
    setObjectName(QStringLiteral("SearchBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("SearchField"));
    field_->setPlaceholderText(QStringLiteral("検索 (例: 流れ星 ghost:さくら)"));
    field_->setClearButtonEnabled(true);
    layout->addWidget(field_, 3);
    // A long refusal is cut rather than squeezing the field or widening the window; its tip shows
    // it whole.
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("SearchNote"));
    note_->setTextFormat(Qt::PlainText);
    note_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(note_, 2);

    // Counting waits for a pause in the typing: each keystroke starts the wait again.
    countTimer_ = new QTimer(this);
    countTimer_->setSingleShot(true);
    countTimer_->setInterval(kCountDelayMs);
    connect(countTimer_, &QTimer::timeout, this, [this] { CountNow(); });
    connect(field_, &QLineEdit::textEdited, this, [this] { countTimer_->start(); });
    connect(field_, &QLineEdit::returnPressed, this, [this] { ShowNow(); });
    field_->installEventFilter(this);
}

bool TSearchBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == field_ && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        Clear();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QString TSearchBar::Note() const
{
    return note_->text();
}

void TSearchBar::SayHits(int64_t hits)
{
    Say(hits == 0 ? QStringLiteral("見つかりませんでした") : QStringLiteral("%1 件").arg(hits),
        false);
}

void TSearchBar::Focus()
{
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
}

void TSearchBar::CountNow()
{
    const std::optional<TQuery> query = ReadQuery();
    if (!query)
        return;
    try {
        SayHits(count_(*query));
    } catch (const std::exception& e) {
        Say(ToQString(e.what()), true);
    }
}

void TSearchBar::ShowNow()
{
    // The count of what is being shown would only repeat it.
    countTimer_->stop();
    if (const std::optional<TQuery> query = ReadQuery())
        show_(*query);
}

void TSearchBar::Clear()
{
    countTimer_->stop();
    field_->clear();
    Say({}, false);
}

std::optional<TQuery> TSearchBar::ReadQuery()
{
    try {
        TQuery query = ParseTypedQuery(field_->text().toStdString());
        if (!query.MatchesEverything())
            return query;
        Say({}, false);
    } catch (const EQueryError& e) {
        Say(ToQString(e.what()), true);
    }
    return std::nullopt;
}

void TSearchBar::Say(const QString& text, bool problem)
{
    note_->setText(text);
    note_->setToolTip(text);
    note_->setStyleSheet(problem ? QStringLiteral("color: #c00000;") : QString());
}
