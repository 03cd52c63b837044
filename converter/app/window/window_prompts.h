// Everything the window asks the user in a modal box: source files, target
// folder, messages and the three dialogs. The desktop version shows the real
// boxes; tests give their answers instead, so nothing waits for a click.
//
// Threading: GUI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace vidorra {

class AboutDialog;
class CancelDialog;
class OptionsDialog;

class WindowPrompts {
public:
    virtual ~WindowPrompts() = default;
    // Several existing files; nullopt when cancelled.
    virtual std::optional<QStringList> ChooseSourceFiles(QWidget* parent, const QString& title,
                                                         const QString& filter) = 0;
    // An existing folder; empty when cancelled.
    virtual QString ChooseFolder(QWidget* parent) = 0;
    // A stop box with OK and the application's title as caption.
    virtual void ShowMessage(QWidget* parent, const QString& caption, const QString& text) = 0;
    // True when the dialog was closed with OK.
    virtual bool RunOptions(OptionsDialog& dialog) = 0;
    virtual bool RunCancel(CancelDialog& dialog) = 0;
    virtual void RunAbout(AboutDialog& dialog) = 0;
};

class DesktopPrompts : public WindowPrompts {
public:
    std::optional<QStringList> ChooseSourceFiles(QWidget* parent, const QString& title,
                                                 const QString& filter) override;
    QString ChooseFolder(QWidget* parent) override;
    void ShowMessage(QWidget* parent, const QString& caption, const QString& text) override;
    bool RunOptions(OptionsDialog& dialog) override;
    bool RunCancel(CancelDialog& dialog) override;
    void RunAbout(AboutDialog& dialog) override;
};

}  // namespace vidorra
