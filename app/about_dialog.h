// AboutDialog: what the program decodes, its rights notice and web address. OK and Cancel both
// just close it; it is deleted on close.
#pragma once

#include <QDialog>

namespace Ui {
class AboutDialog;
}

namespace nimbra {

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

private:
    Ui::AboutDialog* ui;
};

}  // namespace nimbra
