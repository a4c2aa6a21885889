// SondesPanel: every sonde being decoded, a row each: serial, frequency, the age of its last
// fix, altitude, flight phase, the share of its blocks decoded, Eb/N0. Selecting one makes it
// the sonde that everything else follows; "Follow the newest" goes back to the sonde with the
// newest fix.
//
// In:  the rows (show), on every tick of the panels.
// Out: sondeChosen(channel, id) when the user selects a row (-1 and no id: the newest).
#pragma once

#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

namespace Ui {
class SondesPanel;
}

namespace nimbra {

struct SondeRow {
    int channel = 0;              // 0 for receiver audio
    std::optional<unsigned> id;   // before its first fix: none
    QString serial;               // as the network names it, or "channel N" before a fix
    QString frequency;            // "1680.020 MHz", "+20.0 kHz" or "audio"
    double lastFixS = -1.0;       // seconds ago, -1: none yet
    std::optional<double> altitudeM;
    QString phase;
    int good = 0, bad = 0;
    double ebN0Db = 0.0;          // NaN: not measured
    bool lost = false;
};

class SondesPanel : public QWidget {
    Q_OBJECT

public:
    explicit SondesPanel(QWidget* parent = nullptr);
    ~SondesPanel() override;

    void show(const std::vector<SondeRow>& rows);
    // The row chosen, or -1 (the newest).
    int chosenChannel() const { return chosen_; }
    void choose(int channel);
    int rowCount() const;
    // A cell's text, for tests and the pictures.
    QString text(int row, int column) const;

signals:
    void sondeChosen(int channel, std::optional<unsigned> id);

private:
    void selectionChanged();

    Ui::SondesPanel* ui;
    std::vector<SondeRow> rows_;
    int chosen_ = -1;
    bool filling_ = false;
};

}  // namespace nimbra
