#pragma once

class QWidget;

// What screen readers learn about Korvan's own kinds of window and control beyond what Qt
// tells them by itself.
//
// - A window made of a plain QWidget is a window (a frame to AT-SPI), or a dialog when it is
//   one: Qt gives every plain widget the role of a client area ("filler"), window or not.
// - The look-up drop-down says what it is for as its name (its accessible name, or its
//   label's text), and the entry it shows as its value: on Linux Qt names a drop-down by
//   its entry alone, so that six drop-downs of six booking entries all sounded alike.

// Installs the above once; the drop-down calls it when it is made.
void installAccessibleRoles();
// A window of a class directly on QWidget is a window or a dialog to screen readers; called
// by its constructor, before anything asks.
void announceAsWindow(QWidget* window);
