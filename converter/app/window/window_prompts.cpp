#include "converter/app/window/window_prompts.h"

#include <QFileDialog>
#include <QMessageBox>

#include "converter/app/window/about_dialog.h"
#include "converter/app/window/cancel_dialog.h"
#include "converter/app/window/options_dialog.h"

namespace vidorra {

std::optional<QStringList> DesktopPrompts::ChooseSourceFiles(QWidget* parent, const QString& title,
                                                             const QString& filter) {
    const QStringList files = QFileDialog::getOpenFileNames(parent, title, QString(), filter);
    if (files.isEmpty()) return std::nullopt;
    return files;
}

QString DesktopPrompts::ChooseFolder(QWidget* parent) { return QFileDialog::getExistingDirectory(parent); }

void DesktopPrompts::ShowMessage(QWidget* parent, const QString& caption, const QString& text) {
    // The texts end in a line end that a box would show as an empty line.
    QMessageBox::critical(parent, caption, text.trimmed());
}

bool DesktopPrompts::RunOptions(OptionsDialog& dialog) { return dialog.exec() == QDialog::Accepted; }

bool DesktopPrompts::RunCancel(CancelDialog& dialog) { return dialog.exec() == QDialog::Accepted; }

void DesktopPrompts::RunAbout(AboutDialog& dialog) { dialog.exec(); }

}  // namespace vidorra
