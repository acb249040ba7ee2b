#include "VeBatchConvertForm.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "VeAppSettings.h"
#include "VeBatch.h"

TVeBatchConvertForm::TVeBatchConvertForm(TVeDest* dest, const QStringList& files, QWidget* parent,
                                         const QString& currentFolder)
    : QDialog(parent), FDest(dest), FFiles(files) {
  setWindowTitle(QStringLiteral("Batch convert"));
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  int row = 0;
  auto addFolder = [&](const QString& caption, const QString& text) {
    auto* label = new QLabel(caption, this);
    auto* edit = new QLineEdit(text, this);
    auto* select = new QPushButton(QStringLiteral("Select..."), this);
    label->setBuddy(edit);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
    grid->addWidget(select, row, 2);
    connect(select, &QPushButton::clicked, this, [this, edit] {
      const QString folder = QFileDialog::getExistingDirectory(this, QString(), edit->text());
      if (!folder.isEmpty()) edit->setText(QDir::toNativeSeparators(folder));
    });
    ++row;
    return edit;
  };
  const QString path = TVeAppSettings::Read(TVeAppSettings::Path);
  if (FFiles.isEmpty())
    FSourceEdit =
        addFolder(QStringLiteral("&Source:"),
                  currentFolder.isEmpty() ? path : QDir::toNativeSeparators(currentFolder));
  QString batchPath = TVeAppSettings::Read(TVeAppSettings::BatchPath);
  FDestEdit = addFolder(QStringLiteral("&Dest:"), batchPath.isEmpty() ? path : batchPath);
  auto* formatLabel = new QLabel(QStringLiteral("&Format:"), this);
  FFormat = new QComboBox(this);
  FFormat->addItems({QStringLiteral("BMP"), QStringLiteral("PNG"), QStringLiteral("GIF"),
                     QStringLiteral("Native")});
  FFormat->setCurrentIndex(3);
  formatLabel->setBuddy(FFormat);
  grid->addWidget(formatLabel, row, 0);
  grid->addWidget(FFormat, row, 1, Qt::AlignLeft);
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);

  FStatus = new QLabel(this);
  FProgress = new QProgressBar(this);
  FProgress->setFormat(QStringLiteral("%p %"));
  FProgress->setValue(0);
  FProgressLabel = new QLabel(QStringLiteral("Progress:"), this);
  FProgressLabel->setBuddy(FProgress);
  FLog = new QPlainTextEdit(this);
  FLog->setReadOnly(true);
  FLog->setLineWrapMode(QPlainTextEdit::NoWrap);
  FLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  FLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  layout->addWidget(FStatus);
  auto* progressRow = new QHBoxLayout;
  progressRow->addWidget(FProgressLabel);
  progressRow->addWidget(FProgress, 1);
  layout->addLayout(progressRow);
  layout->addWidget(FLog, 1);

  auto* buttons = new QHBoxLayout;
  FConvert = new QPushButton(QStringLiteral("&Convert"), this);
  FConvert->setDefault(true);
  FCancel = new QPushButton(QStringLiteral("Cancel"), this);
  buttons->addStretch(1);
  buttons->addWidget(FConvert);
  buttons->addWidget(FCancel);
  layout->addLayout(buttons);
  connect(FConvert, &QPushButton::clicked, this, &TVeBatchConvertForm::Convert);
  connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);

  FTimer = new QTimer(this);
  FTimer->setInterval(500);
  connect(FTimer, &QTimer::timeout, this, &TVeBatchConvertForm::TimerTick);
  resize(560, 420);
}

TVeBatchConvertForm::~TVeBatchConvertForm() {
  StopThread();
}

bool TVeBatchConvertForm::Running() const {
  return FThread && !FFinished;
}

void TVeBatchConvertForm::SetInputsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{FSourceEdit, FDestEdit, FFormat, FConvert})
    if (w) w->setEnabled(enabled);
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b != FCancel) b->setEnabled(enabled);
}

void TVeBatchConvertForm::Convert() {
  if (Running()) return;
  // A finished run makes way for the next one in the same dialog.
  FThread.reset();
  FFinished = false;
  FCancel->setText(QStringLiteral("Cancel"));
  FStatus->clear();
  FProgress->setMaximum(100);
  FProgress->setValue(0);
  if (!FLog->document()->isEmpty()) FLog->appendPlainText(QString());
  SetInputsEnabled(false);
  const QString source = FSourceEdit ? FSourceEdit->text().trimmed() : QString();
  const QString destFolder = FDestEdit->text().trimmed();
  if (FSourceEdit) TVeAppSettings::Write(TVeAppSettings::Path, source);
  TVeAppSettings::Write(TVeAppSettings::BatchPath, destFolder);
  std::vector<std::string> files;
  if (!FSourceEdit)
    for (const QString& f : FFiles)
      files.push_back(f.toStdString());
  try {
    FThread = std::make_unique<TVeBatchThread>(
        std::move(files), TVeSaveFormat(FFormat->currentIndex()), *FDest, destFolder.toStdString(),
        FSourceEdit ? source.toStdString() : std::string("-"));
  } catch (const std::exception& e) {
    FLog->appendPlainText(QString::fromUtf8(e.what()));
    FFinished = true;
    FCancel->setText(QStringLiteral("Close"));
    SetInputsEnabled(true);
    return;
  }
  FTimer->start();
}

void TVeBatchConvertForm::TimerTick() {
  if (!FThread) return;
  const bool finished = FThread->Finished();
  const TVeBatchStatus status = FThread->Status();
  auto moveLog = [this] {
    for (std::string line = FThread->TakeLogLine(); !line.empty(); line = FThread->TakeLogLine())
      FLog->appendPlainText(QString::fromStdString(line));
  };
  if (finished) {
    FFinished = true;
    FCancel->setText(QStringLiteral("Close"));
    FTimer->stop();
    FStatus->clear();
    FProgress->setValue(FProgress->maximum());
    moveLog();
    SetInputsEnabled(true);
  } else if (status.Count > 0) {
    FStatus->setText(QStringLiteral("%1 of %2").arg(status.Index + 1).arg(status.Count));
    // The bar counts in percent of a picture; keep it inside the widget's int range.
    FProgress->setMaximum(int(std::min<int64_t>(status.MaxPosition, INT32_MAX)));
    FProgress->setValue(int(std::min<int64_t>(status.Position, INT32_MAX)));
    moveLog();
  }
}

void TVeBatchConvertForm::StopThread() {
  if (!FThread) return;
  // Closing while running asks the thread to stop and waits for the current step.
  FThread->Stop();
  FThread.reset(); // waits for the current step
}

void TVeBatchConvertForm::done(int result) {
  FTimer->stop();
  StopThread();
  QDialog::done(result);
}
