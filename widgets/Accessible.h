#pragma once

// What screen readers learn about Korvan's own kinds of window and control beyond what Qt
// tells them by itself. Installed once; every window and drop-down that needs it calls it
// when it is made, so that a window shown without the application around it says the same.
//
// - A window made of a plain QWidget is a window (a frame to AT-SPI), or a dialog when it is
//   one: Qt gives every plain widget the role of a client area ("filler"), window or not.
// - The look-up drop-down says what it is for as its name (its accessible name, or its
//   label's text), and the entry it shows as its value: on Linux Qt names a drop-down by
//   its entry alone, so that six drop-downs of six booking entries all sounded alike.
void installAccessibleRoles();
