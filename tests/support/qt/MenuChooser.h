// A context menu as a user meets it: it comes up, its entries are read, one is chosen with
// Return. The menu runs its own event loop, so a timer inside that loop does the choosing.
#pragma once

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QStringList>
#include <QTimer>
#include <QtTest>

namespace vq5::test {

// What the menus that came up offered.
struct MenuSeen {
    int menus = 0;         // how many came up
    QStringList texts;     // their entries' texts, in order
    bool chosenOn = false; // the chosen entry was enabled
};

// Calls `open`, which brings up a context menu and returns when it is gone; chooses the entry
// at `index` (or closes the menu when it has no such entry).
template <class Open> MenuSeen ChooseInMenu(int index, Open open) {
    MenuSeen seen;
    QTimer chooser;
    chooser.setInterval(20);
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        ++seen.menus;
        for (QAction* a : menu->actions())
            seen.texts << a->text();
        QAction* chosen = menu->actions().value(index);
        seen.chosenOn = chosen && chosen->isEnabled();
        if (chosen) {
            menu->setActiveAction(chosen);
            QTest::keyClick(menu, Qt::Key_Return);
        } else {
            menu->close();
        }
    });
    chooser.start();
    open();
    chooser.stop();
    return seen;
}

} // namespace vq5::test
