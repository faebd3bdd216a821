#include "Kelvra/dialogs/CameraPickerDialog.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace Kelvra {

CameraPickerDialog::CameraPickerDialog(Tavik::CameraSystem* cameraSystem, QWidget* parent)
    : QDialog(parent)
    , cameraSystem(cameraSystem)
{
    setWindowTitle("Select Depth Camera");
    auto* layout = new QVBoxLayout(this);
    listview = new QListWidget;
    layout->addWidget(listview);

    auto* buttonBox = new QDialogButtonBox(this);
    okButton = new QPushButton("&Ok", this);
    refreshButton = new QPushButton("&Refresh", this);
    connect(refreshButton, &QPushButton::clicked, this, &CameraPickerDialog::populateList);
    listview->setSelectionMode(QAbstractItemView::SingleSelection);
    buttonBox->addButton(okButton, QDialogButtonBox::AcceptRole);
    buttonBox->addButton(refreshButton, QDialogButtonBox::ResetRole);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttonBox);

    populateList();
}

void CameraPickerDialog::populateList()
{
    devices = cameraSystem ? cameraSystem->scan() : std::vector<Tavik::CameraDevicePtr>{};
    QStringList rows;
    for (const auto& device : devices)
        rows << QString::fromStdString(device->description()) + " (" + QString::fromStdString(device->id()) + ")";
    listview->clear();
    if (!rows.isEmpty()) {
        listview->addItems(rows);
        listview->setCurrentRow(0);
        okButton->setEnabled(true);
    } else {
        okButton->setEnabled(false);
    }
}

Tavik::DepthCameraPtr CameraPickerDialog::getDepthCamera()
{
    // "&Ok" is enabled only while rows are shown and every refill makes row 0
    // current, so the row is valid; checked anyway rather than trusted.
    const int row = listview->currentRow();
    if (!cameraSystem || row < 0 || row >= static_cast<int>(devices.size()))
        return nullptr;
    return cameraSystem->connect(devices[row]);
}

Tavik::DepthCameraPtr CameraPickerDialog::showDialog(Tavik::CameraSystem* cameraSystem, QWidget* parent)
{
    CameraPickerDialog dialog(cameraSystem, parent);
    if (dialog.exec() == QDialog::Accepted)
        return dialog.getDepthCamera();
    return nullptr;
}

} // namespace Kelvra
