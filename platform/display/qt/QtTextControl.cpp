#include "platform/display/qt/QtTextControl.h"

#include "platform/display/DisplayMessages.h"
#include "platform/display/qt/QtConversions.h"

#include <QLabel>
#include <QLineEdit>

#include <algorithm>

QtTextControl::QtTextControl(QWidget* parent, const ViewInfo& info, PeerAddress address)
    : QWidget(parent)
    , fAddress(std::move(address))
    , fLabel(new QLabel(this))
    , fField(new QLineEdit(this))
    , fDivider(info.divider)
{
    fLabel->setTextFormat(Qt::PlainText);
    fLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Only a navigable view is a Tab stop; a click still lets the user type.
    fField->setFocusPolicy((info.flags & B_NAVIGABLE) != 0 ? Qt::StrongFocus : Qt::ClickFocus);
    QObject::connect(fField, &QLineEdit::editingFinished, this, [this] { Committed(); });
    setAutoFillBackground(true);
    SetColors(info.viewColor, info.highColor);
    SetLabel(info.text);
    SetText(info.value);
}

void QtTextControl::SetLabel(const std::string& label)
{
    fLabel->setText(QString::fromStdString(label));
    fLabel->setVisible(!label.empty());
}

void QtTextControl::SetText(const std::string& text)
{
    // Text the program sets is no edit of the user's.
    fField->setText(QString::fromStdString(text));
}

void QtTextControl::SetDivider(float divider)
{
    fDivider = divider;
    Relayout();
}

void QtTextControl::SetColors(rgb_color viewColor, rgb_color highColor)
{
    QPalette colours = palette();
    colours.setColor(QPalette::Window, ToQColor(viewColor));
    colours.setColor(QPalette::WindowText, ToQColor(highColor));
    setPalette(colours);
}

QSize QtTextControl::sizeHint() const
{
    return QSize(width(), fField->sizeHint().height());
}

void QtTextControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Relayout();
}

void QtTextControl::Relayout()
{
    const int divider = std::clamp(qRound(fDivider), 0, width());
    fLabel->setGeometry(0, 0, divider, height());
    fField->setGeometry(divider, 0, width() - divider, height());
}

void QtTextControl::Committed()
{
    if (!fField->isModified())
        return;
    fField->setModified(false);
    BMessage commit(kTextCommitted);
    commit.AddString(kTextField, fField->text().toStdString().c_str());
    fAddress.Post(commit);
}
