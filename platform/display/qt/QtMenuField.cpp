#include "platform/display/qt/QtMenuField.h"

#include "platform/display/qt/QtConversions.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include <algorithm>

QtMenuField::QtMenuField(QWidget* parent, const ViewSpec& spec, QMenu* menu)
    : QWidget(parent), fLabel(new QLabel(this)), fButton(new QPushButton(this)), fDivider(spec.divider)
{
    fLabel->setTextFormat(Qt::PlainText);
    fLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fButton->setMenu(menu);
    setAutoFillBackground(true);
    SetColors(spec.viewColor, spec.highColor);
    SetLabel(spec.text);
    SetValue(spec.value);
}

void QtMenuField::SetLabel(const std::string& label)
{
    fLabel->setText(QString::fromStdString(label));
    fLabel->setVisible(!label.empty());
}

void QtMenuField::SetValue(const std::string& value)
{
    fButton->setText(ToQLabel(value));
    Relayout();
}

void QtMenuField::SetDivider(float divider)
{
    fDivider = divider;
    Relayout();
}

void QtMenuField::SetColors(rgb_color viewColor, rgb_color highColor)
{
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ToQColor(viewColor));
    colours.setColor(QPalette::WindowText, ToQColor(highColor));
    setPalette(colours);
}

void QtMenuField::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Relayout();
}

void QtMenuField::Relayout()
{
    const int divider = std::clamp(qRound(fDivider), 0, width());
    fLabel->setGeometry(0, 0, divider, height());
    const QSize wanted = fButton->sizeHint();
    const int buttonWidth = std::min(wanted.width(), width() - divider);
    const int buttonHeight = std::min(wanted.height(), height());
    fButton->setGeometry(divider, (height() - buttonHeight) / 2, buttonWidth, buttonHeight);
}
