#include "platform/display/qt/QtMenuField.h"

#include "platform/display/qt/QtConversions.h"

#include <QAction>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include <algorithm>

namespace {

// Room kept free at the field's right edge.
constexpr int kGap = 4;

} // namespace

QtMenuField::QtMenuField(QWidget* parent, const ViewInfo& info, QMenu* menu)
    : QWidget(parent)
    , fLabel(new QLabel(this))
    , fButton(new QPushButton(this))
    , fDivider(info.divider)
{
    fLabel->setTextFormat(Qt::PlainText);
    fLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fButton->setMenu(menu);
    fButton->installEventFilter(this);
    // Only a navigable view is a Tab stop; a click still opens the menu.
    if ((info.flags & B_NAVIGABLE) == 0)
        fButton->setFocusPolicy(Qt::NoFocus);
    setAutoFillBackground(true);
    SetColors(info.viewColor, info.highColor);
    SetLabel(info.text);
    SetValue(info.value);
}

void QtMenuField::SetLabel(const std::string& label)
{
    fLabel->setText(QString::fromStdString(label));
    fLabel->setVisible(!label.empty());
}

void QtMenuField::SetValue(const std::string& value)
{
    fValue = QString::fromStdString(value);
    fButton->setToolTip(fValue);
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
    fButton->setText(ToQLabel(fValue));
    const QSize wanted = fButton->sizeHint();
    const int room = std::max(0, width() - divider - kGap);
    if (wanted.width() > room) {
        // What the button needs besides its text: frame, padding, arrow.
        const QFontMetrics metrics = fButton->fontMetrics();
        const int chrome = wanted.width() - metrics.horizontalAdvance(fValue);
        fButton->setText(ToQLabel(metrics.elidedText(fValue, Qt::ElideRight, room - chrome)));
    }
    const int buttonWidth = std::min(wanted.width(), room);
    const int buttonHeight = std::min(wanted.height(), height());
    fButton->setGeometry(divider, (height() - buttonHeight) / 2, buttonWidth, buttonHeight);
}

void QtMenuField::TakeFocus()
{
    fButton->setFocus(Qt::OtherFocusReason);
}

bool QtMenuField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == fButton && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            PickBeside(key == Qt::Key_Down ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void QtMenuField::PickBeside(int step)
{
    QMenu* menu = fButton->menu();
    if (menu == nullptr)
        return;
    QList<QAction*> items;
    for (QAction* action : menu->actions())
        if (action->isEnabled() && !action->isSeparator() && action->menu() == nullptr)
            items.append(action);
    if (items.isEmpty())
        return;
    const auto marked = std::find_if(items.begin(), items.end(), [](QAction* action) { return action->isChecked(); });
    const qsizetype from = marked == items.end() ? (step > 0 ? -1 : items.size()) : marked - items.begin();
    const qsizetype to = from + step;
    if (to >= 0 && to < items.size())
        items[to]->trigger();
}
