#pragma once

class QApplication;
class QLineEdit;
class QWidget;

// The width a window needs for its whole title in a title bar (the text in the bar's bold font,
// the window's icon and its three buttons).
int TitleBarWidth(const QWidget *window);

// Windows and dialogs open at least as wide as their titles, so a window manager never cuts a
// title short ("Докачка ин…").
void InstallTitleFit(QApplication *app);

// A field for a short number (a port, a few seconds) as wide as its digits, not the window.
void SizeToDigits(QLineEdit *edit, int digits);

// The labels of every form inside the page take one width, so that the fields of its groups
// start on one line.
void AlignFormLabels(QWidget *page);

// Resizes a window to the wanted size, or to the screen it opens on when that is smaller (a
// window wider or taller than the screen hides its buttons).
void ResizeWithinScreen(QWidget *window, int width, int height);
