#pragma once
// "Batch convert": converts a folder (or the main window's file list) with the current mode
// and a snapshot of its options on a background thread, and shows status, progress and log.
#include <QDialog>
#include <QStringList>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class TVeDest;
class TVeBatchThread;

class TVeBatchConvertForm : public QDialog {
  Q_OBJECT
public:
  // files: the main window's file list; with none, a source folder is asked for, starting
  // at currentFolder (the folder of the open picture), else at "Path".
  TVeBatchConvertForm(TVeDest* dest, const QStringList& files, QWidget* parent = nullptr,
                      const QString& currentFolder = QString());
  ~TVeBatchConvertForm() override;

  QLineEdit* SourceEdit() const { return FSourceEdit; }
  QLineEdit* DestEdit() const { return FDestEdit; }
  QComboBox* FormatBox() const { return FFormat; }
  QPushButton* ConvertButton() const { return FConvert; }
  QPushButton* CancelButton() const { return FCancel; }
  QLabel* StatusLabel() const { return FStatus; }
  QProgressBar* Progress() const { return FProgress; }
  QLabel* ProgressLabel() const { return FProgressLabel; }
  QPlainTextEdit* Log() const { return FLog; }
  bool Running() const;
  bool Finished() const { return FFinished; }

public slots:
  void Convert();
  void TimerTick();

protected:
  void done(int result) override;

private:
  void StopThread();
  void SetInputsEnabled(bool enabled);
  TVeDest* FDest;
  QStringList FFiles;
  QLineEdit* FSourceEdit = nullptr;
  QLineEdit* FDestEdit = nullptr;
  QComboBox* FFormat = nullptr;
  QLabel* FStatus = nullptr;
  QProgressBar* FProgress = nullptr;
  QLabel* FProgressLabel = nullptr;
  QPlainTextEdit* FLog = nullptr;
  QPushButton* FConvert = nullptr;
  QPushButton* FCancel = nullptr;
  QTimer* FTimer = nullptr;
  std::unique_ptr<TVeBatchThread> FThread;
  bool FFinished = false;
};
