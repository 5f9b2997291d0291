#include "app/SettingFormUnit.h"

#include "platform/Errors.h"
#include "platform/QtText.h"
#include "platform/StrUtils.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

TSettingForm::TSettingForm(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("SettingForm"));
    setWindowTitle(QStringLiteral("設定"));
    if (owner)
        setFont(owner->font());
    setFixedSize(701, 240);

    LUIDEdit = LabelledEdit("LUIDEdit", QStringLiteral("LUID(&L)"), 8, 16, 337);
    PageEdit = LabelledEdit(
        "PageEdit", QStringLiteral("１ページに表示するメッセージ数(&P)"), 8, 56, 121);
    auto* memoLabel = new QLabel(QStringLiteral("参照FMO名"), this);
    memoLabel->setObjectName(QStringLiteral("Label1"));
    memoLabel->setGeometry(8, 80, 60, 12);
    FMOMemo = new QPlainTextEdit(this);
    FMOMemo->setObjectName(QStringLiteral("FMOMemo"));
    FMOMemo->setGeometry(8, 96, 337, 73);
    FMOMemo->setTabChangesFocus(true);
    OKButton = Button("OKButton", QStringLiteral("&OK"), 536, 208, 75, 25);
    CancelButton = Button("CancelButton", QStringLiteral("キャンセル(&C)"), 616, 208, 75, 25);
    SPPFolderEdit = LabelledEdit("SPPFolderEdit",
        QStringLiteral("サーフィスプレビュープラグインの存在するフォルダ"), 352, 16, 281);
    CacheFolderEdit
        = LabelledEdit("CacheFolderEdit", QStringLiteral("キャッシュフォルダ"), 352, 56, 281);
    CSSFileEdit = LabelledEdit("CSSFileEdit", QStringLiteral("スタイルシート"), 352, 96, 281);
    SPPChoice = Button("SPPChoice", QStringLiteral("参照..."), 640, 16, 51, 25);
    CacheChoice = Button("CacheChoice", QStringLiteral("参照..."), 641, 56, 51, 25);
    CSSChoice = Button("CSSChoice", QStringLiteral("参照..."), 641, 96, 51, 25);
    BrowserEdit = LabelledEdit("BrowserEdit", QStringLiteral("ブラウザ"), 352, 136, 281);
    BrowserSelectButton
        = Button("BrowserSelectButton", QStringLiteral("参照..."), 640, 136, 51, 25);
    HTMLFolderEdit
        = LabelledEdit("HTMLFolderEdit", QStringLiteral("HTML出力フォルダ"), 352, 176, 281);
    HTMLFolderButton = Button("HTMLFolderButton", QStringLiteral("参照..."), 640, 176, 51, 25);

    // The tab order of the table: 0 LUIDEdit ... 14 HTMLFolderButton.
    QWidget* order[] = { LUIDEdit, PageEdit, FMOMemo, OKButton, CancelButton, SPPFolderEdit,
        CacheFolderEdit, CSSFileEdit, SPPChoice, CacheChoice, CSSChoice, BrowserEdit,
        BrowserSelectButton, HTMLFolderEdit, HTMLFolderButton };
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    OKButton->setDefault(true);
    OKButton->setAutoDefault(false);
    CancelButton->setAutoDefault(false);
    connect(OKButton, &QPushButton::clicked, this, &TSettingForm::OKButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(SPPChoice, &QPushButton::clicked, this, [this] { BrowseFolder(SPPFolderEdit); });
    connect(CacheChoice, &QPushButton::clicked, this, [this] { BrowseFolder(CacheFolderEdit); });
    connect(
        HTMLFolderButton, &QPushButton::clicked, this, [this] { BrowseFolder(HTMLFolderEdit); });
    connect(CSSChoice, &QPushButton::clicked, this, [this] {
        BrowseFile(CSSFileEdit, QStringLiteral("カスケーディングスタイルシート (*.css)"));
    });
    // Programs on Linux carry no extension, so this filter shows every file.
    connect(BrowserSelectButton, &QPushButton::clicked, this,
        [this] { BrowseFile(BrowserEdit, QStringLiteral("実行ファイル (*)")); });

    ChooseFolder = [](QWidget* parent, const QString& start) {
        return QFileDialog::getExistingDirectory(
            parent, QString(), start, QFileDialog::ShowDirsOnly);
    };
    ChooseFile = [](QWidget* parent, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
    };

    ShowRefusal = [](QWidget* parent, const QString& text) {
        QMessageBox::warning(parent, QStringLiteral("Velmo 2"), text);
    };

    // The form's pixel sizes were made for another font: a caption that needs more room gets it.
    for (QLabel* label : findChildren<QLabel*>()) {
        const QSize needed = label->sizeHint();
        if (needed.width() <= label->width() && needed.height() <= label->height())
            continue;
        // Taller upwards, so a caption keeps its place just above its field.
        const QRect at = label->geometry();
        const int height = std::max(needed.height(), at.height());
        label->setGeometry(
            at.left(), at.bottom() + 1 - height, std::max(needed.width(), at.width()), height);
    }

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

QLineEdit* TSettingForm::LabelledEdit(
    const char* name, const QString& label, int left, int top, int width)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(left, top, width, 20);
    auto* caption = new QLabel(label, this);
    caption->setObjectName(QString::fromLatin1(name) + QStringLiteral("Label"));
    caption->setGeometry(left, top - 3 - 12, width + 60, 12);
    caption->setBuddy(edit);
    return edit;
}

QPushButton* TSettingForm::Button(
    const char* name, const QString& caption, int left, int top, int width, int height)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, top, width, height);
    return button;
}

std::string TSettingForm::LUID() const
{
    return FromQString(LUIDEdit->text());
}
void TSettingForm::SetLUID(const std::string& value)
{
    LUIDEdit->setText(ToQString(value));
}
int32_t TSettingForm::MessagesPerPage() const
{
    return StrToInt(FromQString(FoldWideDigits(PageEdit->text())));
}
void TSettingForm::SetMessagesPerPage(int32_t value)
{
    PageEdit->setText(QString::number(value));
}
std::string TSettingForm::FMONames() const
{
    std::string text = FromQString(FMOMemo->toPlainText());
    std::string crlf;
    for (const char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return crlf;
}
void TSettingForm::SetFMONames(const std::string& value)
{
    FMOMemo->setPlainText(ToQString(value));
}
std::string TSettingForm::SppDir() const
{
    return FromQString(SPPFolderEdit->text());
}
void TSettingForm::SetSppDir(const std::string& value)
{
    SPPFolderEdit->setText(ToQString(value));
}
std::string TSettingForm::CacheDir() const
{
    return FromQString(CacheFolderEdit->text());
}
void TSettingForm::SetCacheDir(const std::string& value)
{
    CacheFolderEdit->setText(ToQString(value));
}
std::string TSettingForm::CSSFile() const
{
    return FromQString(CSSFileEdit->text());
}
void TSettingForm::SetCSSFile(const std::string& value)
{
    CSSFileEdit->setText(ToQString(value));
}
std::string TSettingForm::BrowserCommand() const
{
    return FromQString(BrowserEdit->text());
}
void TSettingForm::SetBrowserCommand(const std::string& value)
{
    BrowserEdit->setText(ToQString(value));
}
std::string TSettingForm::HTMLFolder() const
{
    return FromQString(HTMLFolderEdit->text());
}
void TSettingForm::SetHTMLFolder(const std::string& value)
{
    HTMLFolderEdit->setText(ToQString(value));
}

void TSettingForm::OKButtonClick()
{
    for (QLineEdit* edit : { LUIDEdit, PageEdit, SPPFolderEdit, CacheFolderEdit, CSSFileEdit,
             BrowserEdit, HTMLFolderEdit }) {
        // A pasted value often brings its line break along; the file keeps one line per key.
        QString text = edit->text();
        const auto isBreak = [](QChar c) { return c == u'\r' || c == u'\n'; };
        while (!text.isEmpty() && isBreak(text.back()))
            text.chop(1);
        while (!text.isEmpty() && isBreak(text.front()))
            text.remove(0, 1);
        if (text != edit->text())
            edit->setText(text);
        QString refusal;
        if (text.contains(u'\r') || text.contains(u'\n')) {
            refusal = QStringLiteral(": 改行は入れられません");
        } else {
            try {
                FromQString(text);
            } catch (const EEncodingError&) {
                refusal = QStringLiteral(": Shift_JISで表せない文字は使えません");
            }
        }
        if (!refusal.isEmpty()) {
            // Named as its label reads, without the access key.
            const auto* label = findChild<QLabel*>(edit->objectName() + QStringLiteral("Label"));
            QString field = label ? label->text() : edit->objectName();
            field.remove(QRegularExpression(QStringLiteral("\\(&.\\)"))).remove(u'&');
            edit->setFocus();
            ShowRefusal(this, field + refusal);
            return;
        }
    }
    const QString count = FoldWideDigits(PageEdit->text());
    if (!TryStrToInt(count.toStdString())) {
        PageEdit->setFocus();
        ShowRefusal(this, QStringLiteral("１ページに表示するメッセージ数: 数で入力してください"));
        return;
    }
    PageEdit->setText(count);
    accept();
}

void TSettingForm::BrowseFolder(QLineEdit* edit)
{
    QString folder = ChooseFolder(this, QDir::currentPath());
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder); // a chosen folder that does not exist yet is made
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    edit->setText(folder);
}

void TSettingForm::BrowseFile(QLineEdit* edit, const QString& filter)
{
    const QString file = ChooseFile(this, filter);
    if (!file.isEmpty())
        edit->setText(file);
}

void TSettingForm::ShowConfiguration(const TConfiguration& config)
{
    SetLUID(config.LUID);
    SetBrowserCommand(config.BrowserCommand);
    SetHTMLFolder(config.HTMLFolder);
    SetMessagesPerPage(config.MessagesPerPage);
    std::string names;
    for (const std::string& name : config.FMONames)
        names += name + "\r\n";
    SetFMONames(names);
    SetSppDir(config.SppDir);
    SetCacheDir(config.SurfaceCacheDir);
    SetCSSFile(config.CSSFile);
}

TConfiguration TSettingForm::TakeConfiguration(TConfiguration base) const
{
    TConfiguration taken = base;
    taken.LUID = LUID();
    taken.FMONames = SplitLines(FMONames());
    taken.SppDir = SppDir();
    taken.SurfaceCacheDir = CacheDir();
    taken.CSSFile = CSSFile();
    taken.MessagesPerPage = MessagesPerPage();
    taken.BrowserCommand = BrowserCommand();
    taken.HTMLFolder = HTMLFolder();
    return taken;
}
