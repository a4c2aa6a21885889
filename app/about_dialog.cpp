#include "app/about_dialog.h"

#include "ui_about_dialog.h"

namespace nimbra {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent), ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
}

AboutDialog::~AboutDialog()
{
    delete ui;
}

}  // namespace nimbra
