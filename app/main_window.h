// MainWindow: the program's one window. Builds the form, loads the decoder parameters into the
// controls, runs the 500 ms periodic decode loop (live audio, labels, text pane, record file),
// starts WAVE decodes and opens the setup and about dialogs.
//
// Construction and shut-down: main_window.cpp. The periodic loop: main_window_loop.cpp.
// The slots: main_window_slots.cpp.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <functional>

class QFile;
class QTimerEvent;
class CSoundIn;
class MyThread;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Decodes a WAVE file on a worker thread. While another decode runs, the file waits its turn.
    void startFileDecode(const QString& fileName);
    // The sample recording that ships beside the executable.
    static QString testFilePath();
    // Where "Open WAVE" gets its file; a test replaces the file dialog.
    void setWaveFileChooser(std::function<QString()> chooser) { chooseWaveFile_ = std::move(chooser); }

    // For tests and diagnostics.
    bool decodeRunning() const { return !decodeThread_.isNull(); }
    int pendingDecodes() const { return static_cast<int>(pendingFiles_.size()); }
    QString recordFileName() const;

public slots:
    void AppendDecodeText();
    void ConfigWasChanged();

private slots:
    void on_actionOpen_Test_File_triggered();
    void on_actionOpen_WAVE_triggered();
    void timerEvent(QTimerEvent* event) override;
    void on_actionConfig_triggered();
    void on_actionClear_Decoded_Text_triggered();
    void on_actionAbout_Nimbra_triggered();

private:
    void putParametersIntoControls();
    void copyControlsIntoParameters();
    void showTelemetry();
    void feedLiveAudio();
    void writeRecordFile();
    void startNextDecode();
    void stopDecodes();

    Ui::MainWindow* ui;
    QFile* recordFile;
    CSoundIn* soundIn_;  // also the process-wide soundIn
    QPointer<MyThread> decodeThread_;
    QStringList pendingFiles_;
    std::function<QString()> chooseWaveFile_;
};
