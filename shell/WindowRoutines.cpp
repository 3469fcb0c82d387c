#include "shell/WindowRoutines.h"

#include "shell/CursorFile.h"
#include "shell/Failure.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

namespace {

void setBackground(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

void ApplyButtonFace(QWidget* window)
{
    const QColor face = QApplication::palette().color(QPalette::Button);
    setBackground(window, face);
    const auto children = window->findChildren<QWidget*>();
    for (QWidget* child : children) {
        if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) ||
            qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child)) {
            setBackground(child, face);
        }
    }
}

void applyHandPointer(QWidget* window, const QString& cursorFile)
{
    const std::optional<QCursor> hand = loadCursorFile(cursorFile);
    if (!hand) {
        throw Failure(QStringLiteral("Invalid picture"));
    }
    const auto buttons = window->findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        button->setCursor(*hand);
    }
}

void applyButtonFonts(QWidget* window)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(11.25);
    font.setBold(true);
    const auto buttons = window->findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        button->setFont(font);
    }
}
