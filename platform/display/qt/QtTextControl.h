#pragma once

// QtTextControl: a label and, right of the divider, a one-line text field.
// An edit the user commits (Enter, or leaving the field after changing it)
// goes to the API control with the new text.
//
// Thread rules: main thread only.

#include "platform/display/DisplayService.h"
#include "platform/display/PeerAddress.h"

#include <QWidget>

class QLabel;
class QLineEdit;

class QtTextControl final : public QWidget {
public:
    QtTextControl(QWidget* parent, const ViewInfo& info, PeerAddress address);

    void SetLabel(const std::string& label);
    void SetText(const std::string& text);
    void SetDivider(float divider);
    void SetColors(rgb_color viewColor, rgb_color highColor);
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Relayout();
    void Committed();

    PeerAddress fAddress;
    QLabel* fLabel;
    QLineEdit* fField;
    float fDivider;
};
