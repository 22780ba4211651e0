#pragma once

// QtMenuStyle: the desktop's style, except that a menu taller than the
// screen scrolls instead of spreading into columns wider than the screen
// (a controller menu has 129 items).
//
// Thread rules: main thread only, as every style.

#include <QProxyStyle>

class QtMenuStyle final : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
        QStyleHintReturn* returnData = nullptr) const override;
};
