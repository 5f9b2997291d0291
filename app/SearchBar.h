#pragma once

#include "archive/Query.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QTimer;

// The search field over the page, and what it says beside itself. Typing asks for the number of
// hits once the typing has paused; Enter shows the hits as pages; Esc empties the field. A query
// that cannot be read says why beside the field and runs nothing. A field of blanks alone asks
// nothing. GUI thread only.
class TSearchBar : public QWidget
{
    Q_OBJECT

public:
    // How long typing must pause before the hits are counted.
    static constexpr int kCountDelayMs = 150;

    // count: how many messages the query finds; an exception it throws is said beside the field.
    // show: shows the query's hits as pages; must not throw.
    TSearchBar(std::function<int64_t(const TQuery&)> count, std::function<void(const TQuery&)> show,
        QWidget* parent = nullptr);

    QLineEdit* Field() const { return field_; }
    // What is said beside the field: the number of hits, none found, or why the query is refused.
    QString Note() const;
    // Says the number of hits of the query just shown.
    void SayHits(int64_t hits);
    // Puts the cursor in the field, its text selected for typing over.
    void Focus();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CountNow();
    void ShowNow();
    void Clear();
    // The field's query; nothing when the field is blank or the query cannot be read (which is
    // said).
    std::optional<TQuery> ReadQuery();
    void Say(const QString& text, bool problem);

    std::function<int64_t(const TQuery&)> count_;
    std::function<void(const TQuery&)> show_;
    QLineEdit* field_ = nullptr;
    QLabel* note_ = nullptr;
    QTimer* countTimer_ = nullptr;
};
