#pragma once

// The dark palette Quandrel's windows take when the person asks for dark colours and no
// platform theme gives Qt dark ones, and the one the picture-check programs show their
// windows in with --dark.

#include <QColor>
#include <QPalette>

namespace quandrel::ui {

inline QPalette darkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2e));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
    dark.setColor(QPalette::AlternateBase, QColor(0x35, 0x35, 0x38));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3e));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Link, QColor(0x64, 0xaa, 0xff));
    dark.setColor(QPalette::ToolTipBase, QColor(0x35, 0x35, 0x38));
    dark.setColor(QPalette::ToolTipText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::PlaceholderText, QColor(0xa0, 0xa0, 0xa6));
    dark.setColor(QPalette::Light, QColor(0x50, 0x50, 0x55));
    dark.setColor(QPalette::Mid, QColor(0x30, 0x30, 0x33));
    dark.setColor(QPalette::Dark, QColor(0x20, 0x20, 0x22));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    return dark;
}

// Makes the application's windows dark, with the Fusion style, unless a platform theme is in
// charge of the colours.
void useDarkPalette();

} // namespace quandrel::ui
