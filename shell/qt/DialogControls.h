// Controls put on a tool dialog's body by the dialog's units.
#pragma once

#include "WindowBinding.h"

#include <QObject>
#include <QPushButton>
#include <QRect>
#include <QString>

#include <utility>

namespace vq5::qt {

// `control` named `name` and put at `dlu` (x, y, width, height in the units of `dialog`).
template <class Control>
Control* Placed(const QWidget* dialog, Control* control, const QString& name, const QRect& dlu) {
    control->setObjectName(name);
    control->setGeometry(DluRect(dialog, dlu.x(), dlu.y(), dlu.width(), dlu.height()));
    return control;
}

// Plain: Enter does not press the button; Default: the dialog's default button, Enter presses it.
enum class ButtonRole { Plain, Default };

// A push button on `body`, placed as by Placed(); a click runs `onClick`.
template <class OnClick>
QPushButton* PlacedButton(QWidget* dialog, QWidget* body, const QString& text, const QString& name,
                          const QRect& dlu, OnClick&& onClick, ButtonRole role = ButtonRole::Plain) {
    auto* button = Placed(dialog, new QPushButton(text, body), name, dlu);
    if (role == ButtonRole::Default)
        button->setDefault(true);
    else
        button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, dialog, std::forward<OnClick>(onClick));
    return button;
}

} // namespace vq5::qt
