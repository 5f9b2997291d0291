#include "render/ProgressWindow.h"

#include "platform/QtText.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

TfrmProgressWindow::TfrmProgressWindow(QWidget* centreOn)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool)
{
    setObjectName(QStringLiteral("frmProgressWindow"));
    setWindowTitle(QStringLiteral("Plugin Load Status"));
    setFixedSize(334, 47);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    setFont(font);
    lblContent_ = new QLabel(QStringLiteral("プラグイン%sを読み込み中"), this);
    lblContent_->setObjectName(QStringLiteral("lblContent"));
    lblContent_->setGeometry(8, 16, 321, 12);
    const QRect area = centreOn
        ? centreOn->frameGeometry()
        : (QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                            : QRect());
    move(area.center() - rect().center());
}

void TfrmProgressWindow::SetContent(const std::string& text)
{
    const QString content = ToQString(text);
    if (content == lblContent_->text())
        return;
    lblContent_->setText(content);
    repaint();
}

QString TfrmProgressWindow::Content() const
{
    return lblContent_->text();
}

TQtProgressWindowFactory::TQtProgressWindowFactory(QWidget* centreOn)
    : centreOn_(centreOn)
{ }

std::unique_ptr<IProgressWindow> TQtProgressWindowFactory::Show()
{
    auto window = std::make_unique<TfrmProgressWindow>(centreOn_);
    window->show();
    window->repaint();
    return window;
}
