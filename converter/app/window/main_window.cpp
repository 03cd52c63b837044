#include "converter/app/window/main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "converter/app/window/about_dialog.h"
#include "converter/app/window/cancel_dialog.h"
#include "converter/app/window/options_dialog.h"
#include "converter/app/window/window_art.h"
#include "converter/app/window/window_language.h"
#include "converter/app/window/window_prompts.h"
#include "converter/job/conversion_settings.h"
#include "platform/debug_output.h"

namespace vidorra {

namespace {

// 464 x 297 dialog units at the usual 1.5 x 1.625 pixels per unit.
constexpr int kWindowWidth = 696;
constexpr int kWindowHeight = 483;
constexpr int kBannerHeight = 56;

QPushButton* MakeButton(std::string_view english, const char* name, QWidget* parent, UiLanguage language) {
    auto* button = new QPushButton(WindowText(english, language), parent);
    button->setObjectName(name);
    return button;
}

}  // namespace

MainWindow::MainWindow(UiLanguage language, WindowPrompts& prompts, const PlayerInterface& player,
                       JobTiming timing, QWidget* parent)
    : QMainWindow(parent), m_language(language), m_prompts(prompts) {
    setWindowTitle(Text("Brennix Vidorra"));
    setWindowIcon(ApplicationIcon());
    // Not every desktop offers a window menu; the menu bar always shows.
    QAction* about = menuBar()->addAction(Text("About Vidorra"));
    about->setObjectName("aboutAction");
    connect(about, &QAction::triggered, this, [this] { OnAbout(); });
    BuildControls();
    RefreshChoiceTexts();
    SetTargetPath(QString());
    m_pathButton->setEnabled(false);
    m_pauseButton->setEnabled(false);
    m_cancelButton->setEnabled(false);
    setAcceptDrops(true);
    m_fileButton->setFocus();

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, [this] { Tick(); });
    m_timer->start(kTimerPeriodMs);
    m_worker = std::make_unique<ConversionWorker>(m_control, *this, player, timing);
}

MainWindow::~MainWindow() { Shutdown(); }

QString MainWindow::Text(std::string_view english) const { return WindowText(english, m_language); }

void MainWindow::BuildControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 8);

    auto* banner = new QLabel(central);
    banner->setObjectName("banner");
    banner->setPixmap(BannerPixmap(kWindowWidth, kBannerHeight));
    banner->setFixedHeight(kBannerHeight);
    layout->addWidget(banner);

    auto* body = new QVBoxLayout;
    body->setContentsMargins(10, 0, 10, 0);
    layout->addLayout(body);

    auto* choices = new QHBoxLayout;
    m_filterText = new QLabel(central);
    m_filterText->setObjectName("filterText");
    m_qualityText = new QLabel(central);
    m_qualityText->setObjectName("qualityText");
    m_useSourceBox = new QCheckBox(Text("Target path use the source path"), central);
    m_useSourceBox->setObjectName("useSourcePathBox");
    m_useSourceBox->setChecked(true);
    choices->addWidget(m_filterText, 2);
    choices->addWidget(m_qualityText, 3);
    choices->addWidget(m_useSourceBox, 3);
    body->addLayout(choices);

    m_targetText = new QLabel(central);
    m_targetText->setObjectName("targetText");
    body->addWidget(m_targetText);

    m_list = new QTableWidget(0, 4, central);
    m_list->setObjectName("fileList");
    m_list->setHorizontalHeaderLabels({Text("File NO"), Text("Status"), Text("File Path"), Text("Message")});
    const bool chinese = m_language == UiLanguage::Chinese;
    m_list->setColumnWidth(kNumberColumn, chinese ? 50 : 60);
    m_list->setColumnWidth(kStatusColumn, 80);
    m_list->setColumnWidth(kPathColumn, chinese ? 450 : 420);
    m_list->setColumnWidth(kMessageColumn, 200);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 8);
    m_list->setWordWrap(false);
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->horizontalHeader()->setHighlightSections(false);
    // Drops go to the window, which adds them like File does.
    m_list->setAcceptDrops(false);
    m_list->viewport()->setAcceptDrops(false);
    connect(m_list, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == kNumberColumn) m_worker->SetChecked(item->row(), item->checkState() == Qt::Checked);
    });
    body->addWidget(m_list, 1);

    auto* progressRow = new QHBoxLayout;
    m_progress = new QProgressBar(central);
    m_progress->setObjectName("progressBar");
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_percentText = new QLabel(QStringLiteral("0"), central);
    m_percentText->setObjectName("percentText");
    m_percentText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_percentText->setMinimumWidth(36);
    progressRow->addWidget(m_progress, 2);
    progressRow->addSpacing(40);
    progressRow->addWidget(m_percentText);
    progressRow->addWidget(new QLabel(QStringLiteral("%"), central));
    progressRow->addStretch(1);
    body->addLayout(progressRow);

    auto* buttons = new QHBoxLayout;
    m_fileButton = MakeButton("File", "fileButton", central, m_language);
    m_fileButton->setDefault(true);
    m_pathButton = MakeButton("Path", "pathButton", central, m_language);
    m_startButton = MakeButton("Start", "startButton", central, m_language);
    m_pauseButton = MakeButton("Pause", "pauseButton", central, m_language);
    m_cancelButton = MakeButton("Cancel ", "cancelButton", central, m_language);
    m_deleteButton = MakeButton("Delete", "deleteButton", central, m_language);
    m_optionsButton = MakeButton("Options", "optionsButton", central, m_language);
    const std::pair<QPushButton*, void (MainWindow::*)()> commands[] = {
        {m_fileButton, &MainWindow::OnFile},     {m_pathButton, &MainWindow::OnPath},
        {m_startButton, &MainWindow::OnStart},   {m_pauseButton, &MainWindow::OnPause},
        {m_cancelButton, &MainWindow::OnCancel}, {m_deleteButton, &MainWindow::OnDelete},
        {m_optionsButton, &MainWindow::OnOptions},
    };
    for (const auto& [button, command] : commands) {
        connect(button, &QPushButton::clicked, this, [this, command = command] { (this->*command)(); });
        buttons->addWidget(button);
    }
    body->addLayout(buttons);

    connect(m_useSourceBox, &QCheckBox::toggled, this, [this](bool on) {
        m_useSourcePath = on;
        m_pathButton->setEnabled(!on && !m_control.converting.load());
    });

    setCentralWidget(central);
    resize(kWindowWidth, kWindowHeight);
}

void MainWindow::RefreshChoiceTexts() {
    // Composed texts are translated part by part.
    m_filterText->setText(Text("Filter: ") + Text(kFilterNames[m_filterChoice]));
    m_qualityText->setText(Text("Video Quality: ") + Text(kQualityTable[m_qualityChoice].name));
}

void MainWindow::SetTargetPath(const QString& path) {
    m_targetPath = path;
    // The path itself is never translated.
    m_targetText->setText(Text("Target Path: ") + path);
}

void MainWindow::Message(std::string_view english) { m_prompts.ShowMessage(this, windowTitle(), Text(english)); }

void MainWindow::AddSourceFiles(const QStringList& files) {
    if (files.isEmpty()) return;
    const int first = m_list->rowCount();
    const QSignalBlocker noCheckReports(m_list);
    for (int i = 0; i < files.size(); ++i) {
        const int row = m_list->rowCount();
        m_list->insertRow(row);
        auto* number = new QTableWidgetItem(QString::number(first + i));
        number->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        number->setCheckState(Qt::Checked);
        m_list->setItem(row, kNumberColumn, number);
        for (int column : {kStatusColumn, kPathColumn, kMessageColumn}) {
            auto* item = new QTableWidgetItem(column == kPathColumn ? QFileInfo(files[i]).absoluteFilePath() : "");
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            m_list->setItem(row, column, item);
        }
    }
    if (m_useSourcePath) SetTargetPath(QFileInfo(files.front()).absolutePath());
}

void MainWindow::OnFile() {
    const std::optional<QStringList> files =
        m_prompts.ChooseSourceFiles(this, QStringLiteral("Open Source File..."), QStringLiteral("Video Files (*)"));
    if (files) AddSourceFiles(*files);
}

void MainWindow::OnPath() { SetTargetPath(m_prompts.ChooseFolder(this)); }

void MainWindow::OnStart() {
    if (m_control.converting.load()) {
        Message("Files are converting, cannot complete the operation!\n");
        return;
    }
    WorkerBatch batch;
    int checked = 0;
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const bool on = m_list->item(row, kNumberColumn)->checkState() == Qt::Checked;
        checked += on ? 1 : 0;
        batch.entries.push_back({m_list->item(row, kPathColumn)->text().toStdString(), on});
    }
    if (checked == 0) {
        Message("No files are selected to convert!\n");
        return;
    }
    if (m_targetPath.isEmpty()) OnPath();
    if (m_targetPath.isEmpty()) {
        Message("Please select the destination path!\n");
        return;
    }
    batch.targetPath = m_targetPath.toStdString();
    batch.settings = CurrentSettings();
    m_worker->SetBatch(std::move(batch));

    m_progress->setValue(0);
    m_percentText->setText(QStringLiteral("0"));
    for (QPushButton* button : {m_startButton, m_optionsButton, m_fileButton, m_pathButton, m_deleteButton}) {
        button->setEnabled(false);
    }
    m_pauseButton->setEnabled(true);
    m_cancelButton->setEnabled(true);
    m_list->setFocus();
    m_control.converting.store(true);
}

ConversionSettings MainWindow::CurrentSettings() const {
    ConversionSettings settings;
    settings.qualityLevel = m_qualityChoice;
    settings.bitrateFactor = m_bitrateFactor;
    settings.presetIndex = m_presetIndex;
    return settings;
}

void MainWindow::OnPause() {
    const bool pause = !m_control.paused.load();
    m_control.paused.store(pause);
    m_pauseButton->setText(Text(pause ? "Continue" : "Pause"));
    m_list->setFocus();
}

void MainWindow::OnCancel() {
    CancelDialog dialog(m_language, this);
    dialog.SetChoice(CancelDialog::kCancelAllFiles);
    if (m_prompts.RunCancel(dialog)) {
        // All-files first, so the worker never sees the current job stop
        // without knowing whether the rest goes too.
        m_control.cancelAllFiles.store(dialog.Choice() == CancelDialog::kCancelAllFiles);
        m_control.cancelCurrentFile.store(true);
    }
    m_list->setFocus();
}

void MainWindow::OnDelete() {
    const QList<QTableWidgetItem*> selected = m_list->selectedItems();
    if (!selected.isEmpty()) m_list->removeRow(selected.front()->row());
    m_list->setFocus();
}

void MainWindow::OnOptions() {
    if (m_control.converting.load()) {
        Message("Files are converting, cannot change the options!\n");
        return;
    }
    OptionsDialog dialog(m_language, this);
    dialog.SetChoices(m_qualityChoice, m_filterChoice);
    if (!m_prompts.RunOptions(dialog)) return;
    // A dialog closed with nothing chosen keeps the current choice.
    if (dialog.Quality() >= 0) m_qualityChoice = NormalizeQualityLevel(dialog.Quality());
    if (dialog.Filter() >= 0 && dialog.Filter() < 3) m_filterChoice = dialog.Filter();
    m_bitrateFactor = kQualityTable[m_qualityChoice].bitrateFactor;
    m_presetIndex = kQualityTable[m_qualityChoice].presetIndex;
    RefreshChoiceTexts();
}

void MainWindow::OnAbout() {
    AboutDialog dialog(m_language, this);
    m_prompts.RunAbout(dialog);
}

void MainWindow::Tick() {
    const int64_t total = m_worker->TotalFrames();
    if (total > 0) {
        // Repeats that fill time gaps may carry the count past the total;
        // the text shows that, the bar stops at full.
        const int64_t percent = static_cast<int64_t>(m_worker->ProducedFrames()) * 100 / total;
        m_progress->setValue(static_cast<int>(std::clamp<int64_t>(percent, 0, 100)));
        m_percentText->setText(QString::number(percent));
    }
    // A new job clears paused; the button must not go on offering "Continue".
    if (m_pauseButton->isEnabled()) m_pauseButton->setText(Text(m_control.paused.load() ? "Continue" : "Pause"));
}

void MainWindow::SetIdleButtons() {
    for (QPushButton* button : {m_startButton, m_optionsButton, m_fileButton, m_deleteButton}) {
        button->setEnabled(true);
    }
    m_pathButton->setEnabled(!m_useSourcePath);
    m_pauseButton->setEnabled(false);
    m_pauseButton->setText(Text("Pause"));
    m_cancelButton->setEnabled(false);
}

void MainWindow::Shutdown() {
    if (m_shutDown) return;
    m_shutDown = true;
    m_control.exit.store(true);
    if (m_timer != nullptr) m_timer->stop();
    // The job stops at its next piece of input and closes its file; a thread
    // is never killed, so a slow stop is only reported.
    if (!m_worker->WaitForEnd(kWorkerExitWaitMs)) qor::DebugOutput("[AVI]kill convert thread.\n");
    m_worker->Join();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    Shutdown();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !m_control.converting.load()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    if (m_control.converting.load()) return;
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) files.push_back(url.toLocalFile());
    }
    AddSourceFiles(files);
    if (!files.isEmpty()) event->acceptProposedAction();
}

void MainWindow::EntrySelected(int row, int previousRow) {
    QMetaObject::invokeMethod(
        this,
        [this, row, previousRow] {
            if (previousRow >= 0 && previousRow < m_list->rowCount()) m_list->clearSelection();
            if (row < m_list->rowCount()) {
                m_list->selectRow(row);
                m_list->scrollToItem(m_list->item(row, kNumberColumn));
            }
        },
        Qt::QueuedConnection);
}

void MainWindow::EntryStatus(int row, std::string_view status, std::string_view message) {
    // An empty message stays empty: the table has no row for "".
    const QString statusText = Text(status);
    const QString messageText = message.empty() ? QString() : Text(message);
    QMetaObject::invokeMethod(
        this,
        [this, row, statusText, messageText] {
            if (row >= m_list->rowCount()) return;
            m_list->item(row, kStatusColumn)->setText(statusText);
            m_list->item(row, kMessageColumn)->setText(messageText);
        },
        Qt::QueuedConnection);
}

void MainWindow::ConversionFailedNotice(std::shared_ptr<std::atomic<bool>> dismissed) {
    QMetaObject::invokeMethod(
        this,
        [this, dismissed] {
            Message("File converting failed!\n");
            dismissed->store(true);
        },
        Qt::QueuedConnection);
}

void MainWindow::BatchEnded(bool completed) {
    QMetaObject::invokeMethod(
        this,
        [this, completed] {
            SetIdleButtons();
            if (completed) {
                m_progress->setValue(100);
                m_percentText->setText(QStringLiteral("100"));
            }
        },
        Qt::QueuedConnection);
}

}  // namespace vidorra
