#pragma once

#include <QApplication>

// The one QApplication of a GUI test program, on Qt's offscreen platform; made on first use.
QApplication& QtTestApp();

#include <QString>
#include <ostream>

// Lets GoogleTest print QStrings (and lists of them) as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
