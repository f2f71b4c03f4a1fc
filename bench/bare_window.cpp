// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick for the window's start: a Qt Widgets program that shows one window with a
// label, saves it as Harborly --screenshot does, and ends.
#include <QApplication>
#include <QLabel>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("11.22.33.44"));
    window.resize(560, 400);
    window.show();
    QTimer::singleShot(0, &window, [&] {
        if (argc > 1)
            window.grab().save(QString::fromLocal8Bit(argv[1]));
        QApplication::quit();
    });
    return QApplication::exec();
}
