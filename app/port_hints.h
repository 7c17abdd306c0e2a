#pragma once
// What the port box cannot say by its "ComN" items alone: which device each name
// stands for and what that device is (maker and model, from udev), and, when the
// chosen port does not open, why and what to do.
//
// The description of the chosen port shows in a label under the box; every item's
// tooltip names its device. The connect button's hook is wrapped: when the port has
// not opened, whatever the serial layer said, panel 1 of the status bar gets the reason.

#include <QObject>

#include "app/hook_wrap.h"

class QLabel;

namespace app {

class TMainForm;

class PortHints : public QObject {
public:
    // Make it after whatever sets the window's connect hook; it wraps that hook until
    // it is destroyed.
    explicit PortHints(TMainForm& form);
    ~PortHints() override;

    // Looks at the devices again (the box's list is about to show).
    void refresh();
    QLabel* label() const { return m_label; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showChosen();
    void connectAndExplain(const HookWrap::Hook& innerConnect);

    TMainForm& m_form;
    QLabel* m_label = nullptr;
    HookWrap m_connect;
};

}  // namespace app
