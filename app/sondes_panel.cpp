#include "app/sondes_panel.h"

#include <QTableWidgetItem>

#include <cmath>

#include "ui_sondes_panel.h"

namespace nimbra {

SondesPanel::SondesPanel(QWidget* parent) : QWidget(parent), ui(new Ui::SondesPanel)
{
    ui->setupUi(this);
    connect(ui->tableWidget_sondes, &QTableWidget::itemSelectionChanged, this, &SondesPanel::selectionChanged);
    connect(ui->pushButton_followNewest, &QPushButton::clicked, this, [this] { choose(-1); });
}

SondesPanel::~SondesPanel() { delete ui; }

int SondesPanel::rowCount() const { return ui->tableWidget_sondes->rowCount(); }

QString SondesPanel::text(int row, int column) const
{
    const QTableWidgetItem* item = ui->tableWidget_sondes->item(row, column);
    return item ? item->text() : QString();
}

void SondesPanel::show(const std::vector<SondeRow>& rows)
{
    rows_ = rows;
    QTableWidget* t = ui->tableWidget_sondes;
    filling_ = true;
    t->setRowCount(static_cast<int>(rows.size()));
    int selectedRow = -1;
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const SondeRow& r = rows[i];
        const int total = r.good + r.bad;
        const QString cells[] = {
            r.serial,
            r.frequency,
            r.lastFixS < 0 ? QStringLiteral("-") : tr("%1 s ago").arg(std::lround(r.lastFixS)),
            r.altitudeM ? tr("%1 m").arg(std::lround(*r.altitudeM)) : QStringLiteral("-"),
            r.lost ? tr("lost") : r.phase,
            total > 0 ? QStringLiteral("%1 %").arg(std::lround(100.0 * r.good / total)) : QStringLiteral("-"),
            std::isfinite(r.ebN0Db) ? tr("%1 dB").arg(r.ebN0Db, 0, 'f', 1) : QStringLiteral("-"),
        };
        for (int c = 0; c < 7; ++c) {
            QTableWidgetItem* item = t->item(i, c);
            if (!item) {
                item = new QTableWidgetItem;
                t->setItem(i, c, item);
            }
            item->setText(cells[c]);
            item->setForeground(r.lost ? palette().color(QPalette::Disabled, QPalette::Text) : palette().color(QPalette::Text));
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        if (r.channel == chosen_)
            selectedRow = i;
    }
    if (selectedRow >= 0)
        t->selectRow(selectedRow);
    else
        t->clearSelection();
    filling_ = false;
    ui->label_followed->setText(chosen_ < 0 || selectedRow < 0 ? tr("Following the sonde with the newest fix")
                                                               : tr("Following %1").arg(rows[selectedRow].serial));
}

void SondesPanel::choose(int channel)
{
    const bool changed = channel != chosen_;
    chosen_ = channel;
    std::optional<unsigned> id;
    for (const SondeRow& r : rows_)
        if (r.channel == channel)
            id = r.id;
    show(rows_);
    if (changed)
        emit sondeChosen(channel, id);
}

void SondesPanel::selectionChanged()
{
    if (filling_)
        return;
    const QList<QTableWidgetItem*> items = ui->tableWidget_sondes->selectedItems();
    if (items.isEmpty())
        return;
    const int row = items.first()->row();
    if (row >= 0 && row < static_cast<int>(rows_.size()))
        choose(rows_[row].channel);
}

}  // namespace nimbra
