// What a row tells beyond its cells' texts: the whole input and output paths
// as tooltips (the columns are often too narrow for them), and the size of a
// finished (or stopped) output in the "Size" column. Both follow the cells' texts, whoever
// changes them; the status cell's tooltip belongs to the failure reason.

#include "CompressorDlg.h"
#include "ConversionHost.h"
#include "DlgConstants.h"

#include <QFileInfo>
#include <QTableWidget>

using namespace zem::app;

void CCompressorDlg::ConnectRowInfo() {
    connect(m_fileList, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* cell) { OnCellChanged(cell); });
}

void CCompressorDlg::OnCellChanged(QTableWidgetItem* cell) {
    switch (cell->column()) {
    case kColInput:
    case kColOutput:
        // Setting the tooltip reports one more change; the comparison ends it there.
        if (cell->toolTip() != cell->text())
            cell->setToolTip(cell->text());
        if (cell->column() == kColOutput)
            ShowOutputSize(cell->row());
        break;
    case kColStatus:
        ShowOutputSize(cell->row());
        break;
    default:
        break;
    }
}

QString CCompressorDlg::FileSizeText(int64_t bytes) {
    const int64_t mb = bytes / kBytesPerMb;
    if (mb > 0) {
        // One figure for the part below a whole megabyte: tenths, never more.
        const int tenths = int((bytes % kBytesPerMb) * 10 / kBytesPerMb);
        return QString::asprintf(kFileSizeMbFormat, int(mb), tenths);
    }
    return QString::asprintf(kFileSizeKbFormat, int(bytes / kBytesPerKb));
}

void CCompressorDlg::ShowOutputSize(int row) {
    QTableWidgetItem* size = m_fileList->item(row, kColSize);
    if (size == nullptr)
        return;
    QString text;
    // A stopped job writes what it converted so far: that output has a size too.
    const QString status = CellText(row, kColStatus);
    if (!status.isEmpty() && (status == Translate(QString::fromLatin1(zem::kTextCompleted)) ||
                              status == Translate(QString::fromLatin1(zem::kTextStopped)))) {
        const QFileInfo output(CellText(row, kColOutput));
        if (output.isFile())
            text = FileSizeText(output.size());
    }
    if (size->text() != text)
        size->setText(text);
}
