// The converter's main window: a list of source recordings with check
// boxes, the target folder, the quality and filter choices, progress, and
// the commands File, Path, Start, Pause, Cancel, Delete and Options. A worker
// created with the window converts the checked entries of a started batch.
//
// Threading: GUI thread only. The worker reports through WorkerListener on
// its own thread; every report is posted back to this window's thread before
// it touches a widget. Closing the window sets exit and waits for the worker,
// whose job stops at its next piece of input and closes its AVI file.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>

#include "converter/app/translate_text.h"
#include "converter/app/window/conversion_worker.h"
#include "converter/job/conversion_job.h"
#include "converter/job/player_interface.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;

namespace vidorra {

class WindowPrompts;

class MainWindow : public QMainWindow, public WorkerListener {
public:
    enum Column { kNumberColumn = 0, kStatusColumn = 1, kPathColumn = 2, kMessageColumn = 3 };
    static constexpr int kTimerPeriodMs = 100;
    static constexpr int kWorkerExitWaitMs = 1000;

    MainWindow(UiLanguage language, WindowPrompts& prompts, const PlayerInterface& player,
               JobTiming timing = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The commands, as their buttons run them.
    void OnFile();
    void OnPath();
    void OnStart();
    void OnPause();
    void OnCancel();
    void OnDelete();
    void OnOptions();
    void OnAbout();

    // Appends entries as File does with the chosen files.
    void AddSourceFiles(const QStringList& files);
    // One timer period: percent from the worker's counters.
    void Tick();
    // Sets exit and waits for the worker; idempotent. Closing calls it.
    void Shutdown();

    // What Start hands the worker: the quality level and its encoder values.
    ConversionSettings CurrentSettings() const;

    QTableWidget* List() const { return m_list; }
    QString TargetPath() const { return m_targetPath; }
    JobControl& Control() { return m_control; }
    ConversionWorker& Worker() { return *m_worker; }
    UiLanguage Language() const { return m_language; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildControls();
    void RefreshChoiceTexts();
    void SetTargetPath(const QString& path);
    void SetIdleButtons();
    void Message(std::string_view english);
    QString Text(std::string_view english) const;

    // WorkerListener, on the worker thread.
    void EntrySelected(int row, int previousRow) override;
    void EntryStatus(int row, std::string_view status, std::string_view message) override;
    void ConversionFailedNotice(std::shared_ptr<std::atomic<bool>> dismissed) override;
    void BatchEnded(bool completed) override;

    const UiLanguage m_language;
    WindowPrompts& m_prompts;

    QString m_targetPath;
    bool m_useSourcePath = true;
    int m_filterChoice = 0;
    int m_qualityChoice = 2;
    // The row the window shows until the options are first confirmed.
    float m_bitrateFactor = 1.0f;
    int m_presetIndex = 4;

    QLabel* m_filterText = nullptr;
    QLabel* m_qualityText = nullptr;
    QCheckBox* m_useSourceBox = nullptr;
    QLabel* m_targetText = nullptr;
    QTableWidget* m_list = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_percentText = nullptr;
    QPushButton* m_fileButton = nullptr;
    QPushButton* m_pathButton = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_pauseButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QPushButton* m_optionsButton = nullptr;
    QTimer* m_timer = nullptr;

    JobControl m_control;
    std::unique_ptr<ConversionWorker> m_worker;
    bool m_shutDown = false;
};

}  // namespace vidorra
