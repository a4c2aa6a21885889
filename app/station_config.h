// StationConfig: Config's tabs of the station beside the typed-in position: where the position
// comes from (typed in, or a GPS through gpsd) and the rotator (rotctld's address, when it
// moves, its home).
//
// In:  the station settings shown when Config opens.
// Out: settings() as edited; valid() (false while a host field is empty or holds spaces or
//      slashes, which are marked) and validityChanged when it changes.
#pragma once

#include <QWidget>

#include "app/station_settings.h"

namespace Ui {
class StationConfig;
}

class QTabWidget;

namespace nimbra {

class StationConfig : public QWidget {
    Q_OBJECT

public:
    explicit StationConfig(const StationSettings& settings, QWidget* parent = nullptr);
    ~StationConfig() override;

    StationSettings settings() const;
    bool valid() const { return valid_; }
    QTabWidget* tabs() const;

signals:
    void validityChanged(bool valid);

private:
    void validate();
    void enableFields();

    Ui::StationConfig* ui;
    StationSettings settings_;
    bool valid_ = true;
};

}  // namespace nimbra
