#pragma once
// What the window tests do as a person would: wait for what the window shows, and click the
// menu bar and then the items of the menus that open.

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

#include "tests/support/wait_until.h"

inline constexpr int kMenuWaitMs = 30000;

// Lets the window run until done() holds; false when it never did within timeoutMs.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = kMenuWaitMs) {
    return WaitUntilWith(
        done, [] { QTest::qWait(5); }, timeoutMs);
}

// A caption as a person reads it: the mnemonic marks are underlines, not letters.
inline QString Label(QString caption) {
    return caption.remove(QLatin1Char('&'));
}

inline QAction* FindAction(const QList<QAction*>& actions, const QString& text) {
    auto it = std::find_if(actions.begin(), actions.end(),
                           [&](QAction* a) { return Label(a->text()) == Label(text); });
    return it == actions.end() ? nullptr : *it;
}

// Runs `act` on the first modal dialog of type Dialog that opens, from the loop it runs.
template <typename Dialog>
void WhenOpened(std::function<void(Dialog&)> act) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        poll->stop();
        poll->deleteLater();
        act(*dialog);
    });
    poll->start(10);
}

// Clicks the menu bar's `path[0]`, then each further item of the path in the menu that opened.
// Returns once the last item's command has ended (its modal dialogs included).
inline void ClickMenu(QMenuBar* bar, const QStringList& path) {
    QAction* top = FindAction(bar->actions(), path[0]);
    ASSERT_NE(top, nullptr) << path[0].toStdString();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(top).center());
    QMenu* menu = top->menu();
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
    for (int i = 1; i < path.size(); ++i) {
        QAction* item = FindAction(menu->actions(), path[i]);
        ASSERT_NE(item, nullptr) << path[i].toStdString();
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        if (!item->menu()) return;
        menu = item->menu();
        ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
    }
}
