#include "app/SettingFormUnit.h"

#include "Version.h"
#include "log/BottleServer.h"
#include "platform/Errors.h"
#include "platform/QtText.h"
#include "platform/StrUtils.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

// A browse button as narrow as its caption allows, never narrower than the form's 51 pixels: the
// style's minimum width for captioned buttons would crowd out the fields beside it.
void FitToCaption(QPushButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    const QSize needed
        = button->style()->sizeFromContents(QStyle::CT_PushButton, &option, text, button);
    button->setFixedWidth(std::max(51, needed.width()));
}

} // namespace

TSettingForm::TSettingForm(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("SettingForm"));
    setWindowTitle(QStringLiteral("設定"));
    if (owner)
        setFont(owner->font());

    // Two columns, each caption just above its field: on the left the LUID, the page count and
    // the FMO names; on the right the five folders and programs, each with its browse button;
    // OK and Cancel below on the right. The minimum widths keep the form's look at its own font;
    // a larger font widens and heightens the rows, and the window takes the size they need.
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 2, 8, 7);
    grid->setHorizontalSpacing(7);
    grid->setVerticalSpacing(3);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    // A note beside the caption says what the LUID is for, which a new user cannot guess.
    LUIDEdit = LabelledEdit(grid, 0, 0, 1, "LUIDEdit", QStringLiteral("LUID(&L)"),
        QStringLiteral("（投票・同意で送るあなたのID）"));
    LUIDEdit->setMinimumWidth(337);
    PageEdit = LabelledEdit(
        grid, 2, 0, 1, "PageEdit", QStringLiteral("１ページに表示するメッセージ数(&P)"));
    PageEdit->setMinimumWidth(121);
    grid->setAlignment(PageEdit, Qt::AlignLeft);
    auto* memoLabel = new QLabel(QStringLiteral("参照FMO名"), this);
    memoLabel->setObjectName(QStringLiteral("Label1"));
    grid->addWidget(memoLabel, 4, 0, Qt::AlignBottom);
    FMOMemo = new QPlainTextEdit(this);
    FMOMemo->setObjectName(QStringLiteral("FMOMemo"));
    FMOMemo->setTabChangesFocus(true);
    // The memo fills the rows beside it rather than asking for rows of its own.
    FMOMemo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    FMOMemo->setMinimumSize(337, 73);
    grid->addWidget(FMOMemo, 5, 0, 4, 1);

    OKButton = Button("OKButton", QStringLiteral("&OK"));
    CancelButton = Button("CancelButton", QStringLiteral("キャンセル(&C)"));
    SPPFolderEdit = LabelledEdit(grid, 0, 1, 2, "SPPFolderEdit",
        QStringLiteral("サーフィスプレビュープラグインの存在するフォルダ"));
    CacheFolderEdit
        = LabelledEdit(grid, 2, 1, 2, "CacheFolderEdit", QStringLiteral("キャッシュフォルダ"));
    CSSFileEdit = LabelledEdit(grid, 4, 1, 2, "CSSFileEdit", QStringLiteral("スタイルシート"));
    SPPChoice = Button("SPPChoice", QStringLiteral("参照..."));
    CacheChoice = Button("CacheChoice", QStringLiteral("参照..."));
    CSSChoice = Button("CSSChoice", QStringLiteral("参照..."));
    BrowserEdit = LabelledEdit(grid, 6, 1, 2, "BrowserEdit", QStringLiteral("ブラウザ"));
    BrowserSelectButton = Button("BrowserSelectButton", QStringLiteral("参照..."));
    HTMLFolderEdit
        = LabelledEdit(grid, 8, 1, 2, "HTMLFolderEdit", QStringLiteral("HTML出力フォルダ"));
    HTMLFolderButton = Button("HTMLFolderButton", QStringLiteral("参照..."));
    int row = 1;
    for (QLineEdit* edit :
        { SPPFolderEdit, CacheFolderEdit, CSSFileEdit, BrowserEdit, HTMLFolderEdit })
        edit->setMinimumWidth(281);
    for (QPushButton* button :
        { SPPChoice, CacheChoice, CSSChoice, BrowserSelectButton, HTMLFolderButton }) {
        FitToCaption(button);
        grid->addWidget(button, row, 2);
        row += 2;
    }

    // The bottle server on the buttons' row, its caption before it: the row is there already.
    ServerEdit = new QLineEdit(this);
    ServerEdit->setObjectName(QStringLiteral("ServerEdit"));
    ServerEdit->setPlaceholderText(QString::fromLatin1(TBottleServer::kDefault));
    ServerEdit->setToolTip(QStringLiteral(
        "ログの取得と投票・同意に使うボトルサーバー（ホスト名 または ホスト名:ポート番号）"));
    auto* serverLabel = new QLabel(QStringLiteral("サーバー(&V)"), this);
    serverLabel->setObjectName(QStringLiteral("ServerEditLabel"));
    serverLabel->setBuddy(ServerEdit);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(5);
    buttons->addWidget(serverLabel);
    buttons->addWidget(ServerEdit);
    buttons->addStretch();
    for (QPushButton* button : { OKButton, CancelButton }) {
        button->setMinimumWidth(75);
        buttons->addWidget(button);
    }
    grid->addItem(new QSpacerItem(0, 6, QSizePolicy::Minimum, QSizePolicy::Fixed), 10, 0);
    grid->addLayout(buttons, 11, 0, 1, 3);

    // The tab order of the table (0 LUIDEdit ... 14 HTMLFolderButton), then the server.
    QWidget* order[] = { LUIDEdit, PageEdit, FMOMemo, OKButton, CancelButton, SPPFolderEdit,
        CacheFolderEdit, CSSFileEdit, SPPChoice, CacheChoice, CSSChoice, BrowserEdit,
        BrowserSelectButton, HTMLFolderEdit, HTMLFolderButton, ServerEdit };
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
        QMessageBox::warning(parent, QStringLiteral(VELMO_TITLE), text);
    };

    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

QLineEdit* TSettingForm::LabelledEdit(QGridLayout* grid, int row, int column, int labelSpan,
    const char* name, const QString& label, const QString& note)
{
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    grid->addWidget(edit, row + 1, column);
    auto* caption = new QLabel(label, this);
    caption->setObjectName(QString::fromLatin1(name) + QStringLiteral("Label"));
    caption->setBuddy(edit);
    if (note.isEmpty()) {
        grid->addWidget(caption, row, column, 1, labelSpan, Qt::AlignBottom);
        return edit;
    }
    auto* noteLabel = new QLabel(note, this);
    noteLabel->setObjectName(QString::fromLatin1(name) + QStringLiteral("Note"));
    auto* line = new QHBoxLayout;
    line->setSpacing(7);
    line->addWidget(caption, 0, Qt::AlignBottom);
    line->addWidget(noteLabel, 1, Qt::AlignBottom);
    grid->addLayout(line, row, column, 1, labelSpan);
    return edit;
}

QPushButton* TSettingForm::Button(const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setMinimumHeight(25);
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
    for (QLineEdit* edit : { LUIDEdit, PageEdit, ServerEdit, SPPFolderEdit, CacheFolderEdit,
             CSSFileEdit, BrowserEdit, HTMLFolderEdit }) {
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
    // Checked as the configuration file's value is when the program starts.
    const QString server = ServerEdit->text().trimmed();
    try {
        TBottleServer::FromSetting(FromQString(server));
    } catch (const EVelmoError&) {
        ServerEdit->setFocus();
        ShowRefusal(this,
            QStringLiteral("サーバー: 「ホスト名」か「ホスト名:ポート番号」で入力してください: ")
                + server);
        return;
    }
    ServerEdit->setText(server);
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
    ServerEdit->setText(ToQString(config.BottleServer));
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
    taken.BottleServer = FromQString(ServerEdit->text());
    return taken;
}
