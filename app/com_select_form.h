#pragma once
// TComSelectForm: the small modal dialog with which the serial port asks the operator
// for a port when it is to open with no port number; and the prompt that shows it.

#include <QDialog>

#include <functional>

#include "serial/port_prompt.h"

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace app {

class TComSelectForm : public QDialog {
public:
    // Whether port n exists (ProbePort unless a test gives another).
    using Probe = std::function<bool(int n)>;

    explicit TComSelectForm(QWidget* parent = nullptr, Probe probe = {});

    // The number of the selected entry ("COM12" gives 12); 0 when the list is empty.
    int SelectedPortNumber() const;

    QFrame* Bevel1;
    QLabel* Label1;
    QLabel* Label2;
    QComboBox* PortsComboBox;
    QPushButton* OkBtn;
    QPushButton* AbortBtn;

private:
    void FormCreate(const Probe& probe);
};

// The component's prompt on the program's window: shows TComSelectForm modally.
class ComSelectPrompt : public serial::PortPrompt {
public:
    explicit ComSelectPrompt(TComSelectForm::Probe probe = {}) : m_probe(std::move(probe)) {}
    std::optional<uint16_t> ChoosePort() override;

private:
    TComSelectForm::Probe m_probe;
};

}  // namespace app
