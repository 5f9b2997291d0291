#pragma once

#include "app/Configuration.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

class QGridLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The settings dialog ("設定"): the eight settings that are not window positions, and the bottle
// server. The main window
// shows its configuration in it, runs it modally and takes the values back after OK; the dialog
// never touches the configuration file. The controls sit in a grid that sizes itself to the
// owner's font; the window takes the grid's size and keeps it. GUI thread only; one dialog per
// opening.
class TSettingForm : public QDialog
{
    Q_OBJECT

public:
    explicit TSettingForm(QWidget* owner);

    // Each reads or replaces its control's text unchanged (program text, Shift_JIS).
    std::string LUID() const;
    void SetLUID(const std::string& value);
    // Throws EConvertError when the page count is not a whole 32-bit number.
    int32_t MessagesPerPage() const;
    void SetMessagesPerPage(int32_t value);
    std::string FMONames() const; // the memo's text, lines separated by CR LF
    void SetFMONames(const std::string& value);
    std::string SppDir() const;
    void SetSppDir(const std::string& value);
    std::string CacheDir() const;
    void SetCacheDir(const std::string& value);
    std::string CSSFile() const;
    void SetCSSFile(const std::string& value);
    std::string BrowserCommand() const;
    void SetBrowserCommand(const std::string& value);
    std::string HTMLFolder() const;
    void SetHTMLFolder(const std::string& value);

    // The configuration's eight values and its server in the fields, and the fields' values over a
    // copy of base. Every text is read before anything is copied: a text that fails (no Shift_JIS
    // form, a page count that is no number) throws and nothing is taken.
    void ShowConfiguration(const TConfiguration& config);
    TConfiguration TakeConfiguration(TConfiguration base) const;

    // Closes with OK only when the page count is a whole 32-bit number and the server is empty,
    // "host" or "host:port" (blanks around it dropped); otherwise says why and stays.
    // Line breaks at the ends of a single-line value are dropped first; a line break inside one,
    // or a character with no Shift_JIS form, is refused with a message naming the field, and the
    // dialog stays open with the typing kept.
    void OKButtonClick();

    // The platform's choosers and message box; tests replace them. Each chooser answers a native
    // path, or empty on cancel.
    std::function<QString(QWidget* parent, const QString& startFolder)> ChooseFolder;
    std::function<QString(QWidget* parent, const QString& filter)> ChooseFile;
    std::function<void(QWidget* parent, const QString& text)> ShowRefusal;

    QLineEdit* LUIDEdit;
    QLineEdit* PageEdit;
    QLineEdit* ServerEdit; // "host" or "host:port" of the bottle server; empty: the bundled one
    QPlainTextEdit* FMOMemo;
    QPushButton* OKButton;
    QPushButton* CancelButton;
    QLineEdit* SPPFolderEdit;
    QLineEdit* CacheFolderEdit;
    QLineEdit* CSSFileEdit;
    QPushButton* SPPChoice;
    QPushButton* CacheChoice;
    QPushButton* CSSChoice;
    QLineEdit* BrowserEdit;
    QPushButton* BrowserSelectButton;
    QLineEdit* HTMLFolderEdit;
    QPushButton* HTMLFolderButton;

private:
    // A field in `grid` at (row + 1, column) with its caption above it across labelSpan columns,
    // and the note after the caption when one is given; the caption is named after the field with
    // "Label" appended, the note with "Note".
    QLineEdit* LabelledEdit(QGridLayout* grid, int row, int column, int labelSpan, const char* name,
        const QString& label, const QString& note = {});
    QPushButton* Button(const char* name, const QString& caption);
    void BrowseFolder(QLineEdit* edit);
    void BrowseFile(QLineEdit* edit, const QString& filter);
};
