#pragma once

#include <iosfwd>
#include <mutex>
#include <string>

// Modal message boxes as the core asks for them. The Qt side shows real dialogs; without a
// display THeadlessMessageBox writes them to standard error and answers at once, so a batch run
// never waits for a person. Texts are program text (Shift_JIS); CR LF separates lines.

enum class TMessageKind {
    Plain, // the application title as caption, no icon
    Information,
    Warning,
    Error,
};

enum class TMessageButtons {
    Ok,
    YesNo,
};

enum class TMessageAnswer {
    Ok,
    Yes,
    No,
};

struct TMessageRequest
{
    TMessageKind kind = TMessageKind::Plain;
    std::string title; // empty: the application title
    std::string text;
    TMessageButtons buttons = TMessageButtons::Ok;
    // The answer of a box closed without a choice, and of a headless box.
    TMessageAnswer defaultAnswer = TMessageAnswer::Ok;
};

// Called on the GUI thread only; the call returns when the box is closed.
class IMessageBox
{
public:
    virtual ~IMessageBox() = default;
    virtual TMessageAnswer Show(const TMessageRequest& request) = 0;

    // A plain box with an OK button.
    void ShowMessage(const std::string& text);
};

// Writes "title: text" (UTF-8, one line per text line) to the stream and returns the request's
// default answer. The stream must outlive the box.
class THeadlessMessageBox : public IMessageBox
{
public:
    THeadlessMessageBox(std::ostream& out, std::string applicationTitle);
    TMessageAnswer Show(const TMessageRequest& request) override;

private:
    std::ostream& out_;
    const std::string applicationTitle_;
    std::mutex mutex_;
};
