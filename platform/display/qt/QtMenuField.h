#pragma once

// QtMenuField: a label and, right of the divider, a pop-up button that
// opens the field's menu and shows the label the API chose for it. The
// button is as wide as its text needs, and stops a few pixels short of the
// field's right edge, so a field whose frame reaches under its neighbour
// does not cover it and two fields side by side never touch; a label too
// long for the room left is shortened with an ellipsis, and the button's
// tooltip shows it whole. With the
// focus on the button, Up and Down pick the item above or below the marked
// one, as a click on it would.
//
// Thread rules: main thread only.

#include "platform/display/DisplayService.h"

#include <QWidget>

class QLabel;
class QMenu;
class QPushButton;

class QtMenuField final : public QWidget {
public:
    QtMenuField(QWidget* parent, const ViewInfo& info, QMenu* menu);

    void SetLabel(const std::string& label);
    void SetValue(const std::string& value);
    void SetDivider(float divider);
    void SetColors(rgb_color viewColor, rgb_color highColor);
    void TakeFocus();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Relayout();
    // Picks the item `step` places from the marked one.
    void PickBeside(int step);

    QLabel* fLabel;
    QPushButton* fButton;
    QString fValue; // as the API gave it, before shortening and escaping
    float fDivider;
};
