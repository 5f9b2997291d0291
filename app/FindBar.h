#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QToolButton;
class QWebEngineFindTextResult;
class QWebEnginePage;

// The find bar over the page: finds the typed text in the page shown as it is typed, and says
// which match is active and how many there are ("2/5 件") or that there are none. Enter and F3 go
// to the next match, Shift+Enter and Shift+F3 to the previous one (FindNext/FindPrevious); Esc,
// while the bar has the focus, closes it and takes the highlight away. Hidden until Open. GUI
// thread only.
class TFindBar : public QWidget
{
    Q_OBJECT

public:
    // page: the page to search, or null while no view has been made (then nothing is found). The
    // page must outlive the bar or be gone from what page returns.
    explicit TFindBar(std::function<QWebEnginePage*()> page, QWidget* parent = nullptr);

    QLineEdit* Field() const { return field_; }
    // "2/5 件", "見つかりませんでした", or empty while nothing is searched.
    QString Count() const;

    // Shows the bar with the cursor in the field, its text selected for typing over.
    void Open();
    // Opens the bar if it is closed, then moves to the next or previous match.
    void FindNext();
    void FindPrevious();
    // Hides the bar and takes the highlight off the page; the focus goes back to the page.
    void Close();
    // A new page has no highlight: the open bar finds its text again there.
    void PageLoaded();

private:
    void Find(bool backward);
    void ShowResult(int request, const QWebEngineFindTextResult& result);
    QToolButton* AddButton(const char* objectName, const QString& text, const QString& tip);

    std::function<QWebEnginePage*()> page_;
    QLineEdit* field_ = nullptr;
    QLabel* count_ = nullptr;
    // Every search is numbered: an answer to one that a later one has replaced is dropped.
    int request_ = 0;
};
