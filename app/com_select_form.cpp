#include "app/com_select_form.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "app/ui_fonts.h"
#include "serial/com_port.h"

namespace app {

namespace {
constexpr int kHighestPort = 50;
}  // namespace

TComSelectForm::TComSelectForm(QWidget* parent, Probe probe)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName("ComSelectForm");
    setWindowTitle("Select Port");
    setModal(true);
    setFixedSize(220, 131);
    // The texts are measured for this face and size: the application's larger default
    // would run them past the bevel and the dialog's edge.
    setFont(msSansSerifFont(11));

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 201, 42);
    Label1 = new QLabel("The configured serial port is not valid.", this);
    Label1->setObjectName("Label1");
    Label1->move(18, 14);
    Label2 = new QLabel("Please choose another port.", this);
    Label2->setObjectName("Label2");
    Label2->move(18, 30);
    PortsComboBox = new QComboBox(this);  // a list to choose from, no typing
    PortsComboBox->setObjectName("PortsComboBox");
    PortsComboBox->setGeometry(8, 64, 201, PortsComboBox->sizeHint().height());
    OkBtn = new QPushButton("OK", this);
    OkBtn->setObjectName("OkBtn");
    OkBtn->setGeometry(8, 95, 85, 27);
    OkBtn->setDefault(true);
    AbortBtn = new QPushButton("Cancel", this);
    AbortBtn->setObjectName("AbortBtn");
    AbortBtn->setGeometry(124, 95, 85, 27);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(AbortBtn, &QPushButton::clicked, this, &QDialog::reject);

    FormCreate(probe ? probe : [](int n) { return serial::ProbePort(uint16_t(n)); });

    if (QScreen* screen = this->screen()) {
        move(screen->geometry().center() - rect().center());
    }
}

void TComSelectForm::FormCreate(const Probe& probe) {
    for (int n = 1; n <= kHighestPort; ++n) {
        if (probe(n)) {
            PortsComboBox->addItem(QString("COM%1").arg(n));
        }
    }
    PortsComboBox->setCurrentIndex(PortsComboBox->count() > 0 ? 0 : -1);
    // With no port found there is nothing to confirm: only Cancel is left.
    OkBtn->setEnabled(PortsComboBox->count() > 0);
}

int TComSelectForm::SelectedPortNumber() const {
    return PortsComboBox->currentText().mid(3).toInt();
}

std::optional<uint16_t> ComSelectPrompt::ChoosePort() {
    TComSelectForm form(nullptr, m_probe);
    if (form.exec() != QDialog::Accepted || form.SelectedPortNumber() <= 0) {
        return std::nullopt;
    }
    return uint16_t(form.SelectedPortNumber());
}

}  // namespace app
