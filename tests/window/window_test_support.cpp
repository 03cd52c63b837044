#include "window_test_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTableWidget>
#include <cstdlib>

#include "recording_generator.h"

namespace windowtest {

void EnsureApplication(Platform platform) {
    static QApplication* application = nullptr;
    if (application != nullptr) return;
    const char* display = std::getenv("DISPLAY");
    const bool useDisplay = platform == Platform::DisplayWhenAvailable && display != nullptr && display[0] != '\0';
    qputenv("QT_QPA_PLATFORM", useDisplay ? "xcb" : "offscreen");
    static int argc = 1;
    static char name[] = "test_window";
    static char* argv[] = {name, nullptr};
    application = new QApplication(argc, argv);
}

std::optional<QStringList> ScriptedPrompts::ChooseSourceFiles(QWidget*, const QString& title, const QString&) {
    fileDialogTitles.push_back(title);
    if (files.empty()) return std::nullopt;
    const QStringList chosen = files.front();
    files.pop_front();
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
}

QString ScriptedPrompts::ChooseFolder(QWidget*) {
    ++folderDialogs;
    if (folders.empty()) return QString();
    QString folder = folders.front();
    folders.pop_front();
    return folder;
}

void ScriptedPrompts::ShowMessage(QWidget*, const QString&, const QString& text) { messages.push_back(text); }

bool ScriptedPrompts::RunOptions(vidorra::OptionsDialog& dialog) { return options ? options(dialog) : false; }

bool ScriptedPrompts::RunCancel(vidorra::CancelDialog& dialog) { return cancel ? cancel(dialog) : false; }

void ScriptedPrompts::RunAbout(vidorra::AboutDialog& dialog) {
    ++aboutShown;
    if (about) about(dialog);
}

Recordings::Recordings() { EXPECT_TRUE(m_dir.isValid()); }

namespace {

QString Write(const QString& path, const qor::recgen::Options& options) {
    std::string error;
    qor::recgen::Recording info;
    EXPECT_TRUE(qor::recgen::WriteRecording(options, path.toStdString(), &info, &error)) << error;
    return path;
}

}  // namespace

QString Recordings::Small(const QString& name) {
    qor::recgen::Options options;
    options.frameCount = 50;
    return Write(m_dir.filePath(name), options);
}

QString Recordings::Large(const QString& name) {
    qor::recgen::Options options;
    options.width = 704;
    options.height = 576;
    options.frameCount = 200;
    options.keyInterval = 5;
    options.quality = 1;
    return Write(m_dir.filePath(name), options);
}

QString Recordings::NotARecording(const QString& name) {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    return path;
}

QString Recordings::OutputFolder() {
    const QString path = m_dir.filePath("out");
    QDir().mkpath(path);
    return path;
}

QString CellText(const vidorra::MainWindow& window, int row, int column) {
    const QTableWidgetItem* item = window.List()->item(row, column);
    return item == nullptr ? QString("<none>") : item->text();
}

QString WidgetText(const vidorra::MainWindow& window, const char* objectName) {
    if (auto* label = window.findChild<QLabel*>(objectName)) return label->text();
    if (auto* button = window.findChild<QAbstractButton*>(objectName)) return button->text();
    ADD_FAILURE() << "no widget " << objectName;
    return {};
}

bool Enabled(const vidorra::MainWindow& window, const char* objectName) {
    auto* widget = window.findChild<QWidget*>(objectName);
    EXPECT_NE(widget, nullptr) << objectName;
    return widget != nullptr && widget->isEnabled();
}

}  // namespace windowtest

// Fontconfig keeps its caches until the process ends; under the leak checker
// that shows up as a leak in every test that draws text.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
