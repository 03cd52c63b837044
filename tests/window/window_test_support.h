// Shared pieces of the window tests: the Qt application, prompts that answer
// from a script, and generated recordings on disk.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "converter/app/window/main_window.h"
#include "converter/app/window/window_prompts.h"

namespace windowtest {

enum class Platform { Offscreen, DisplayWhenAvailable };

// Creates the one QApplication of the test process on first use.
void EnsureApplication(Platform platform = Platform::Offscreen);

class ScriptedPrompts : public vidorra::WindowPrompts {
public:
    std::deque<QStringList> files;  // empty: cancelled
    std::deque<QString> folders;                   // "": cancelled
    std::vector<QString> messages;
    std::vector<QString> fileDialogTitles;
    int folderDialogs = 0;
    int aboutShown = 0;
    // Return true for OK; unset: Cancel.
    std::function<bool(vidorra::OptionsDialog&)> options;
    std::function<bool(vidorra::CancelDialog&)> cancel;
    std::function<void(vidorra::AboutDialog&)> about;

    std::optional<QStringList> ChooseSourceFiles(QWidget* parent, const QString& title,
                                                 const QString& filter) override;
    QString ChooseFolder(QWidget* parent) override;
    void ShowMessage(QWidget* parent, const QString& caption, const QString& text) override;
    bool RunOptions(vidorra::OptionsDialog& dialog) override;
    bool RunCancel(vidorra::CancelDialog& dialog) override;
    void RunAbout(vidorra::AboutDialog& dialog) override;
};

// Recordings made once per test process in a temporary folder.
class Recordings {
public:
    Recordings();
    // 352x288, 2 s: one piece of input, converts in about a second.
    QString Small(const QString& name = "small.mpg");
    // 704x576, several pieces of input, so pause takes hold between them.
    QString Large(const QString& name = "large.mpg");
    // Bytes that are no recording.
    QString NotARecording(const QString& name = "notes.mpg");
    QString Folder() const { return m_dir.path(); }
    // A folder for AVI files.
    QString OutputFolder();

private:
    QTemporaryDir m_dir;
};

QString CellText(const vidorra::MainWindow& window, int row, int column);
QString WidgetText(const vidorra::MainWindow& window, const char* objectName);
bool Enabled(const vidorra::MainWindow& window, const char* objectName);

}  // namespace windowtest
