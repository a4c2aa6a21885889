// MainWindow: the program's one window. Owns the decoder and the arbiter that says who feeds it
// (live audio or a WAVE decode), and hands them to the parts that need them: the scope view, the
// setup dialog, the sound input's control, the WAVE decodes and the live feed. Builds the form,
// loads the decoder parameters into the controls, runs the 500 ms periodic decode loop (live
// audio, labels, text pane, record file), starts WAVE decodes and opens the setup and about
// dialogs. What becomes of the sound input (not started, lost, tried again, resumed) is said in
// the status bar; the gaps it leaves are noted in the live record file. Every trusted fix, live
// or from a WAVE file, goes to the network outputs (File > Outputs..., state in the status bar).
//
// Beside the window's own form: the panels in dock widgets (DesktopPanels: signal panel, sky and
// track views, plots) fed by the fix feed, File > Export Track..., File > Quit, Edit > Reset
// Counters, Edit > Preferences... and the View menu. Accepted fixes, after the flight tracking
// (trusted, phase, prediction), reach everything after the decoder through fixFeed(): connect to
// its fixAccepted signal.
//
// Construction and shut-down: main_window.cpp. Controls and parameters: main_window_controls.cpp.
// The periodic loop: main_window_loop.cpp. The slots: main_window_slots.cpp.
#pragma once

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/desktop_settings.h"
#include "sources/decode_arbiter.h"

class QFile;
class QTimerEvent;

namespace Ui {
class MainWindow;
}

namespace nimbra {

class BandInput;
class CaptureControl;
class Decoder;
class DesktopOutputs;
class DesktopPanels;
class DesktopStation;
class FileDecodeQueue;
class FixFeed;
class StatusMessages;

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
    // Where "Export Track..." writes; a test replaces the file dialog.
    void setExportFileChooser(std::function<QString()> chooser) { chooseExportFile_ = std::move(chooser); }
    // Where "Open IQ Recording..." gets its file; a test replaces the file dialog.
    void setIqFileChooser(std::function<QString()> chooser) { chooseIqFile_ = std::move(chooser); }
    // Which sonde "Export Track..." writes when there are several (none: all); `chosen` false
    // cancels. A test replaces the list dialog.
    using SondeChooser = std::function<std::optional<unsigned>(const std::vector<unsigned>& sondes,
                                                               std::optional<unsigned> followed, bool& chosen)>;
    void setExportSondeChooser(SondeChooser chooser) { chooseExportSonde_ = std::move(chooser); }

    DesktopOutputs& outputs() { return *outputs_; }

    // The window's decoder and arbiter, for the panels beside the window and for tests. Both live
    // as long as the window; nothing feeds the decoder once the window's destructor has begun.
    Decoder& decoder() { return *decoder_; }
    DecodeArbiter& arbiter() { return arbiter_; }
    // Every accepted fix and finished block, on the GUI thread (see app/fix_feed.h).
    FixFeed& fixFeed();
    DesktopPanels& panels() { return *panels_; }
    DesktopStation& station() { return *station_; }
    BandInput& bandInput() { return *bandInput_; }
    StatusMessages& statusMessages() { return *messages_; }
    const DesktopSettings& desktopSettings() const { return desktop_; }
    void setDesktopSettings(const DesktopSettings& settings);

    // For tests and diagnostics.
    bool decodeRunning() const;
    int pendingDecodes() const;
    QString recordFileName() const;

public slots:
    void AppendDecodeText();
    void ConfigWasChanged();

private slots:
    void on_actionOpen_Test_File_triggered();
    void on_actionOpen_WAVE_triggered();
    void on_actionOpen_IQ_Recording_triggered();
    void timerEvent(QTimerEvent* event) override;
    void on_actionConfig_triggered();
    void on_actionOutputs_triggered();
    void on_actionClear_Decoded_Text_triggered();
    void on_actionAbout_Nimbra_triggered();
    void on_actionExport_Track_triggered();
    void on_actionQuit_triggered();
    void on_actionReset_Counters_triggered();
    void on_actionPreferences_triggered();

private:
    // The input Config chose: the sound card, or an SDR (the band's own thread).
    void applyInput();
    void putParametersIntoControls();
    void copyControlsIntoParameters();
    void showTelemetry();
    void feedLiveAudio();
    void writeRecordFile();
    // The status bar's line about the sound input (empty clears it).
    void showCaptureStatus(const QString& message);
    // A note for the live record file where the live audio broke off or came back.
    void noteInRecord(const QString& note);
    QString chooseExportFile();

    Ui::MainWindow* ui;
    QFile* recordFile;
    // Declared before everything that uses them, so they are built first and go last.
    std::unique_ptr<Decoder> decoder_;
    DecodeArbiter arbiter_;
    // Children of the window; all three are stopped by the destructor before the decoder goes.
    CaptureControl* capture_;
    FileDecodeQueue* fileDecodes_;
    StatusMessages* messages_;
    DesktopPanels* panels_;
    DesktopSettings desktop_;
    DesktopOutputs* outputs_;
    DesktopStation* station_;
    BandInput* bandInput_;
    std::function<QString()> chooseWaveFile_;
    std::function<QString()> chooseExportFile_;
    std::function<QString()> chooseIqFile_;
    SondeChooser chooseExportSonde_;
    // Record notes made while a WAVE decode held the decoder, for the live record file.
    QStringList pendingNotes_;
};

}  // namespace nimbra
